#include "io/SbReaderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "io/SbModelParts.h"

// An address space limit would starve the address sanitizer's shadow memory.
#if defined(__SANITIZE_ADDRESS__)
#define LINFOLD_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LINFOLD_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

// The child's answer in its memory file:
//   u32 0, then the parts as SbModelParts::write writes them; or
//   u32 1, u32 length, the message.
// Exit statuses of the child besides 0:
const int kWriteFailed = 2;
const int kTooLarge = 3;

bool writeAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void limitChild(const SbReaderProcess::Limits& limits) {
  rlimit limit;
  // Writing past the answer's cap fails with EFBIG instead of raising SIGXFSZ.
  signal(SIGXFSZ, SIG_IGN);
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
      (limit.rlim_max == RLIM_INFINITY || limits.answerBytes < limit.rlim_max)) {
    limit.rlim_cur = limits.answerBytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
#ifndef LINFOLD_ADDRESS_SANITIZER
  unsigned long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  if (pages > 0 && getrlimit(RLIMIT_AS, &limit) == 0) {
    const rlim_t wanted = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + limits.memory;
    if (limit.rlim_max == RLIM_INFINITY || wanted < limit.rlim_max) {
      limit.rlim_cur = wanted;
      setrlimit(RLIMIT_AS, &limit);
    }
  }
#endif
}

[[noreturn]] void runChild(int answer, const SbReaderProcess::Work& work, const std::string& file,
                           const SbReaderProcess::Limits& limits, pid_t parent) {
  // The reader must not outlive the program that waits for it (a parent
  // stopped by --max-seconds or killed while a model is read would leave it
  // reading on its own), nor answer the program's signals as the program
  // does (a second "interrupted" for one Ctrl+C): the parent decides.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) _exit(kWriteFailed);
  for (int s : {SIGINT, SIGTERM, SIGALRM, SIGHUP}) ::signal(s, SIG_DFL);
  struct itimerval off {};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  // A bound of its own on the processor time, should the parent's clock stop.
  struct rlimit cpu {};
  cpu.rlim_cur = cpu.rlim_max = static_cast<rlim_t>(limits.seconds) + 1;
  ::setrlimit(RLIMIT_CPU, &cpu);
  // Coin's warnings and assimp's failed assertions go to standard error; the
  // parent reports what matters.
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) ::dup2(null, 2);
  limitChild(limits);
  SbModelParts parts;
  std::string message;
  bool ok = false;
  try {
    ok = work(parts, message);
  } catch (const std::bad_alloc&) {
    message = "Cannot read " + file + ": reading needs more memory than a file of its size may";
  } catch (const std::exception& e) {
    message = "Cannot read " + file + ": " + e.what();
  } catch (...) {
    message = "Cannot read " + file;
  }
  bool written = false;
  if (ok) {
    const uint32_t status = 0;
    written = writeAll(answer, &status, sizeof status) && parts.write(answer);
  } else {
    const uint32_t head[2] = {1, static_cast<uint32_t>(message.size())};
    written = writeAll(answer, head, sizeof head) && writeAll(answer, message.data(), message.size());
  }
  _exit(written ? 0 : errno == EFBIG ? kTooLarge : kWriteFailed);
}

// Waits until the child closes its end of the pipe (it ends) or `deadline`.
bool waitForEnd(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    char byte;
    const ssize_t n = ::read(fd, &byte, 1);
    if (n == 0) return true;
    if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
  }
}

}  // namespace

SbReaderProcess::Limits SbReaderProcess::limitsFor(long long fileSize) {
  Limits limits;
  const size_t size = static_cast<size_t>(std::max<long long>(fileSize, 0));
  limits.seconds = 10 + static_cast<int>(std::min<size_t>(size / (1 << 19), 1 << 20));
  limits.memory = (size_t(1) << 30) + 64 * size;
  limits.answerBytes = (size_t(1) << 28) + 64 * size;
  return limits;
}

bool SbReaderProcess::run(const std::string& file, const Work& work, const Limits& limits, SbModelParts& parts,
                          std::string& message) {
  const std::string cannot = "Cannot read " + file + ": ";
  const int answer = ::memfd_create("linfold-reader", MFD_CLOEXEC);
  if (answer < 0) {
    message = cannot + "no memory file for the reader (" + std::strerror(errno) + ")";
    return false;
  }
  int ends[2];
  // Close-on-exec: a program started elsewhere meanwhile must not hold the pipe open.
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    message = cannot + "no pipe to the reader (" + std::strerror(errno) + ")";
    ::close(answer);
    return false;
  }
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) {
    message = cannot + "no reader process (" + std::strerror(errno) + ")";
    ::close(ends[0]);
    ::close(ends[1]);
    ::close(answer);
    return false;
  }
  if (child == 0) {
    ::close(ends[0]);  // the write end closes when the child ends
    runChild(answer, work, file, limits, parent);
  }
  ::close(ends[1]);
  const bool ended = waitForEnd(ends[0], std::chrono::steady_clock::now() + std::chrono::seconds(limits.seconds));
  ::close(ends[0]);
  if (!ended) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  struct stat info;
  const bool exited = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ended) {
    message = cannot + "reading did not finish within " + std::to_string(limits.seconds) + " s";
  } else if (WIFSIGNALED(status)) {
    message = cannot + "the reader crashed on this file (" + strsignal(WTERMSIG(status)) + ")";
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == kTooLarge) {
    message = cannot + "reading gives more data than a file of its size may";
  } else if (!exited || ::fstat(answer, &info) != 0 || info.st_size < 8) {
    message = cannot + "the reader failed on this file";
  } else {
    const size_t size = static_cast<size_t>(info.st_size);
    // Mapped in one go: faulting the pages in one by one costs more than reading them.
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, answer, 0);
    ::close(answer);
    if (map == MAP_FAILED) {
      message = cannot + "the reader's answer cannot be mapped (" + std::strerror(errno) + ")";
      return false;
    }
    const std::shared_ptr<const void> mapping(map, [size](const void* p) { ::munmap(const_cast<void*>(p), size); });
    const char* bytes = static_cast<const char*>(map);
    uint32_t head[2];
    std::memcpy(head, bytes, sizeof head);
    if (head[0] == 1 && head[1] == size - 8) {
      message.assign(bytes + 8, head[1]);
      return false;
    }
    if (head[0] == 0 && parts.read(bytes + 4, size - 4)) {
      parts.keepAlive(mapping);
      return true;
    }
    parts = SbModelParts();
    message = cannot + "the reader's answer does not check out";
    return false;
  }
  ::close(answer);
  return false;
}
