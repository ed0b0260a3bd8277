#include "output/SbOutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool SbOutputFile::write(const std::string& path, const std::string& data, std::string& why) {
  if (path.empty()) {
    why = "no file name";
    return false;
  }
  std::string tmp = path + ".XXXXXX";
  const int fd = mkstemp(&tmp[0]);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  // mkstemp makes the file private; give it the permissions of a new file.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  FILE* f = fdopen(fd, "wb");
  if (!f) {
    why = std::strerror(errno);
    close(fd);
    unlink(tmp.c_str());
    return false;
  }
  bool ok = true;
  if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f) != data.size()) {
    ok = false;
    why = std::string("short write: ") + std::strerror(errno);
  }
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    why = std::string("close failed: ") + std::strerror(errno);
  }
  if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
    ok = false;
    why = std::strerror(errno);
  }
  if (!ok) unlink(tmp.c_str());
  return ok;
}
