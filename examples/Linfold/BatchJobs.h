#ifndef LINFOLD_BATCHJOBS_H
#define LINFOLD_BATCHJOBS_H

#include <string>
#include <vector>

#include "ModelRenderer.h"
#include "RenderOptions.h"

namespace render {

// The jobs of a batch run (--out-dir): every model named, a folder standing
// for the model files in it (by name), each output named after the model's
// base name in the output folder, which is created. False after a message
// when the folder cannot be made or no model is named.
bool batchJobs(const Options& opt, std::vector<Job>& jobs);

// Why the job must not run because one of its outputs would overwrite its own
// model; empty when none would.
std::string replacedModel(const Job& job);

}  // namespace render

#endif
