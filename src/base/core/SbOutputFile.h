#ifndef LINFOLD_SBOUTPUTFILE_H
#define LINFOLD_SBOUTPUTFILE_H

#include <cstddef>
#include <string>

// The one way the library writes a file: the bytes go to a temporary file
// beside the target (same folder, so the rename cannot cross file systems),
// are flushed to the disk, and only then is the temporary file renamed over
// the target. A failure at any point (missing folder, no permission, full
// disk, a write cut short) removes the temporary file and leaves any older
// file of that name untouched; a reader never sees a half-written file.
//
// Some targets are refused before anything is written:
// - an existing entry that is not a regular file: a folder, a device, a pipe
//   or a socket (writing through a device or a pipe could block or destroy
//   what lies behind it, and renaming over one would lose it);
// - a symbolic link (replacing it would cut the link; writing through it
//   would change a file the user did not name);
// - a read-only file (the user protected it);
// - a file registered as an input of the run (the model being drawn, or a
//   later model of a batch), under whatever name or hard link it is reached.
// A replaced file keeps its permission bits; a new one gets those of the
// umask.
class SbOutputFile {
 public:
  // Whether `path` may be written, without writing anything; `why` says why
  // not ("it is a folder", "it is a symbolic link", ...).
  static bool check(const std::string& path, std::string& why);

  // Writes the bytes to `path`. Returns false and sets `why` (the reason, in
  // words) on failure.
  static bool write(const std::string& path, const void* data, std::size_t size, std::string& why);
  static bool write(const std::string& path, const std::string& data, std::string& why) {
    return write(path, data.data(), data.size(), why);
  }

  // Registers an existing file as an input of the run, which no write may
  // replace until clearInputs(). A path that does not exist is ignored.
  static void protectInput(const std::string& path);
  static void clearInputs();
  // Whether `path` names a registered input (through any of its names).
  static bool isInput(const std::string& path);

  // For signal handlers: removes the temporary file of a write in progress,
  // if there is one. Async-signal-safe.
  static void removeTemporaryFile();
  // Removes temporary files that a writer killed during a write to `path` left
  // beside it; returns how many.
  static int removeLeftovers(const std::string& path);
};

#endif
