#ifndef LINFOLD_BATCHCONSOLE_H
#define LINFOLD_BATCHCONSOLE_H

#include <cstdio>
#include <string>
#include <vector>

#include "ModelRenderer.h"

namespace render {

// What a batch run shows while it goes. On a terminal: a progress bar, and the
// console output of each model kept back (shown, its last lines, only when the
// model fails). Elsewhere: a line per model and all output as it comes.
class BatchConsole {
 public:
  explicit BatchConsole(int total);
  ~BatchConsole();
  BatchConsole(const BatchConsole&) = delete;
  BatchConsole& operator=(const BatchConsole&) = delete;

  // Model `index` (from 0) starts; `label` names it.
  void begin(int index, const std::string& label);
  // The model ended, well or not.
  void end(bool ok);
  // After the last model.
  void finish();

 private:
  void bar(int done, const std::string& label);
  void clearBar();
  void startCapture();
  std::string stopCapture();

  int total;
  bool terminal;
  FILE* capture = nullptr;
  int saved = -1;
};

// The table that ends a batch run: per model its faces, strokes, time, peak
// memory and outputs written (or why it failed; models without a result were
// not run), then the count of failed models.
void printSummary(const std::vector<Job>& jobs, const std::vector<JobResult>& results);

}  // namespace render

#endif
