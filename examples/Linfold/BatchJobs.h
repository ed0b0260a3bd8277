#ifndef LINFOLD_BATCHJOBS_H
#define LINFOLD_BATCHJOBS_H

#include <functional>
#include <string>
#include <vector>

#include "ModelRenderer.h"
#include "RenderOptions.h"

namespace render {

// The jobs of a batch run (--out-dir): every model named, a folder standing
// for the model files in it (by name), each output named after the model's
// base name in the output folder, which is created. A name that another job
// already uses, or that is one of the run's models (the output folder may be
// the models' folder: m.obj's VRML export must not replace m.wrl), gets a
// number: m-2.wrl. False after a message when the folder cannot be made or no
// model is named.
bool batchJobs(const Options& opt, std::vector<Job>& jobs);

// Runs `draw` for one job in a child process, so that nothing a model does
// (a crash, memory exhausted, a hang) ends the run: a child still working
// `maxSeconds` (when above 0) plus a grace of a few seconds after it started
// is killed. The child stops itself at `maxSeconds` (see
// armModelTimer). After a child that did not end normally, temporary files
// beside the job's outputs are removed. The result carries the child's peak
// memory; `interrupted` is set when the child ended by Ctrl+C.
JobResult runIsolated(const Job& job, double maxSeconds, const std::function<JobResult()>& draw, bool& interrupted);

// The exit status of a model stopped by its time limit in a child process.
constexpr int kTimedOutStatus = 124;

// Stops the process after `seconds` (nothing for 0): removes a file being
// written, prints "linfold-render: stopped <label> after S s (--max-seconds)"
// and exits with `status`.
void armModelTimer(double seconds, const std::string& label, int status);
// Stops the timer of armModelTimer.
void disarmModelTimer();

// Makes Ctrl+C (and SIGTERM) remove a file being written, print
// "linfold-render: interrupted" and exit with 130 (143). In a batch's parent
// the signal only marks the run interrupted (see interruptRequested).
void handleInterrupts(bool supervisor);
bool interruptRequested();

}  // namespace render

#endif
