#ifndef LINFOLD_SBOUTPUTFILE_H
#define LINFOLD_SBOUTPUTFILE_H

#include <string>

// Writing a finished file in one piece: the bytes go to a temporary file beside
// the target, which is renamed into place only when everything was written.
// A failure (missing folder, no permission, full disk) leaves no partial file
// and any older file of that name untouched.
class SbOutputFile {
public:
  // Returns false and sets `why` (the system's reason) on failure.
  static bool write(const std::string& path, const std::string& data, std::string& why);
};

#endif
