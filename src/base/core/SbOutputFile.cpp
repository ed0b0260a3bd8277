#include "core/SbOutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <utility>

namespace {

// The temporary file of the write in progress, kept where a signal handler
// can read it without allocating: mkstemp fills in the name in place.
char temporary[PATH_MAX + 1];
volatile sig_atomic_t haveTemporary = 0;

// Longest file name kept in a temporary name: "." + name + ".linfold-XXXXXX" must
// stay within the 255 bytes a file name may have.
constexpr size_t kMaxNameInTemporary = 200;

std::set<std::pair<dev_t, ino_t>>& inputs() {
  static std::set<std::pair<dev_t, ino_t>> files;
  return files;
}

// The folder part ("." when there is none) and the name part of a path.
void splitPath(const std::string& path, std::string& folder, std::string& name) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
    name = path;
  } else {
    folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

// ".<name>.linfold-" for the temporary files of a target, the name cut
// short: marked as ours, so that clearing the leftovers of a stopped writer
// never takes a user's ".<name>.backup".
std::string temporaryPrefix(const std::string& name) { return "." + name.substr(0, kMaxNameInTemporary) + ".linfold-"; }

// The permission bits a new file gets: 0666 less the process's umask, read
// from /proc without changing it (umask() would briefly change it for every
// thread of the process).
mode_t newFileMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "Umask:") == 0)
      return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  return 0644;
}

// Why an existing directory entry may not be replaced; empty when it may.
std::string refusal(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return "it is a symbolic link";
  if (S_ISDIR(info.st_mode)) return "it is a folder";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "it is a device";
  if (S_ISFIFO(info.st_mode)) return "it is a pipe";
  if (S_ISSOCK(info.st_mode)) return "it is a socket";
  if (!S_ISREG(info.st_mode)) return "it is not a regular file";
  if (inputs().count({info.st_dev, info.st_ino})) return "it is an input of this run";
  return std::string();
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool SbOutputFile::check(const std::string& path, std::string& why) {
  if (path.empty()) {
    why = "no file name";
    return false;
  }
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return true;  // a new file; its folder is checked when writing
  why = refusal(info);
  if (!why.empty()) return false;
  // The owner's write bit decides (root could write anyway, but the user
  // took that bit away to keep the file).
  if ((info.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0) {
    why = "it is read-only";
    return false;
  }
  return true;
}

bool SbOutputFile::write(const std::string& path, const void* data, std::size_t size, std::string& why) {
  if (!check(path, why)) return false;
  std::string folder, name;
  splitPath(path, folder, name);
  if (name.empty()) {
    why = "no file name";
    return false;
  }
  const std::string pattern = folder + "/" + temporaryPrefix(name) + "XXXXXX";
  if (pattern.size() >= sizeof temporary) {
    why = "the path is too long";
    return false;
  }
  struct stat old;
  const bool replacing = lstat(path.c_str(), &old) == 0;
  const mode_t mode = replacing ? (old.st_mode & 07777) : newFileMode();

  std::memcpy(temporary, pattern.c_str(), pattern.size() + 1);
  haveTemporary = 1;
  const int fd = mkstemp(temporary);
  if (fd < 0) {
    haveTemporary = 0;
    why = std::strerror(errno);
    return false;
  }
  const std::string tmp(temporary);
  auto failed = [&](const std::string& reason) {
    unlink(tmp.c_str());
    haveTemporary = 0;
    why = reason;
    return false;
  };
  if (fchmod(fd, mode) != 0 || !writeAll(fd, static_cast<const char*>(data), size) || fsync(fd) != 0) {
    const std::string reason = std::strerror(errno);
    close(fd);
    return failed(reason);
  }
  if (close(fd) != 0) return failed(std::string("close failed: ") + std::strerror(errno));
  // The target may have been replaced while the bytes were written.
  struct stat now;
  if (lstat(path.c_str(), &now) == 0) {
    const std::string reason = refusal(now);
    if (!reason.empty()) return failed(reason);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) return failed(std::strerror(errno));
  haveTemporary = 0;
  return true;
}

void SbOutputFile::protectInput(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) inputs().insert({info.st_dev, info.st_ino});
}

void SbOutputFile::clearInputs() { inputs().clear(); }

bool SbOutputFile::isInput(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && inputs().count({info.st_dev, info.st_ino}) > 0;
}

void SbOutputFile::removeTemporaryFile() {
  if (haveTemporary) unlink(temporary);
  haveTemporary = 0;
}

int SbOutputFile::removeLeftovers(const std::string& path) {
  std::string folder, name;
  splitPath(path, folder, name);
  const std::string prefix = temporaryPrefix(name);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string entryName = entry->d_name;
    // mkstemp replaces the six X by letters and digits.
    if (entryName.size() != prefix.size() + 6 || entryName.compare(0, prefix.size(), prefix) != 0) continue;
    bool generated = true;
    for (size_t i = prefix.size(); i < entryName.size(); ++i)
      generated = generated && std::isalnum(static_cast<unsigned char>(entryName[i]));
    if (generated && unlink((folder + "/" + entryName).c_str()) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}
