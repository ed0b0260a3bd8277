#ifndef LINFOLD_SBREADERPROCESS_H
#define LINFOLD_SBREADERPROCESS_H

#include <cstddef>
#include <functional>
#include <string>

struct SbModelParts;

// Runs a model reader in a child process, so that a file which makes a
// parser crash, loop or ask for absurd amounts of memory ends as a failure
// with a message instead of taking the application down.
//
// The child runs the work under limits that grow with the file's size: a
// time limit, a cap on the size of its answer and (outside sanitizer builds,
// whose shadow memory needs far more) on the address space it may add. It
// writes the parts to a memory file and ends; the parent maps that file and
// checks every value before it hands the parts on (SbModelParts::read).
class SbReaderProcess {
 public:
  struct Limits {
    int seconds = 10;        // until the child is killed
    size_t memory = 0;       // address space the child may add to what it starts with
    size_t answerBytes = 0;  // most the child may write
  };
  // 10 s plus 1 s per 512 KB; 1 GB plus 64 bytes per byte of the file;
  // 256 MB plus 64 bytes per byte of the file.
  static Limits limitsFor(long long fileSize);

  // Runs in the child: fills `parts`, or returns false with `message` for
  // the user. It may throw; the child reports that as a failure.
  using Work = std::function<bool(SbModelParts& parts, std::string& message)>;

  // Runs `work` in a child within `limits`. On success `parts` holds its
  // parts (and the mapping they point into). Otherwise returns false with
  // `message`: the work's own, or one naming `file` when the child failed,
  // was killed by a signal, ran out of time, memory or answer size, or
  // answered with anything that does not check out.
  static bool run(const std::string& file, const Work& work, const Limits& limits, SbModelParts& parts,
                  std::string& message);
};

#endif
