#ifndef LINFOLD_SBWRITERESULT_H
#define LINFOLD_SBWRITERESULT_H

#include <string>

// What became of an export node's last write request, the same for every
// export node: none yet (armed, or never asked), the file written, or a
// failure with its reason in words (a message was printed as well).
class SbWriteResult {
 public:
  enum WriteResult { WR_NONE, WR_WRITTEN, WR_FAILED };

  WriteResult getWriteResult() const { return writeResult; }
  bool writeSucceeded() const { return writeResult == WR_WRITTEN; }
  bool writeFailed() const { return writeResult == WR_FAILED; }
  // The path of the last write attempt.
  const std::string& lastPath() const { return writtenPath; }
  // Why the last write failed; empty otherwise.
  const std::string& writeError() const { return error; }

 protected:
  // A new request: no result yet.
  void resetWriteResult() {
    writeResult = WR_NONE;
    error.clear();
  }
  void setWritten(const std::string& path) {
    writtenPath = path;
    writeResult = WR_WRITTEN;
    error.clear();
  }
  void setWriteFailed(const std::string& path, const std::string& why) {
    writtenPath = path;
    writeResult = WR_FAILED;
    error = why;
  }

 private:
  WriteResult writeResult = WR_NONE;
  std::string writtenPath;
  std::string error;
};

#endif
