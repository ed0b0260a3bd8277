#include "BatchJobs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "core/SbOutputFile.h"
#include "io/SbModelReader.h"

namespace render {

namespace {

namespace fs = std::filesystem;

std::string lowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Model files of a folder, by name; companions of models (buffers, materials,
// images) are not models even where the importer lists their suffixes.
std::vector<std::string> modelsInFolder(const fs::path& folder) {
  static const char* const companions[] = {".bin", ".mtl", ".txt", ".xml", ".png", ".jpg", ".jpeg"};
  const std::vector<std::string> extensions = SbModelReader::extensions();
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string name = lowerCase(it->path().filename().string());
    auto endsWith = [&](const std::string& suffix) {
      return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (std::any_of(std::begin(companions), std::end(companions), endsWith)) continue;
    if (std::any_of(extensions.begin(), extensions.end(), endsWith)) found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The model's file name without its model suffix ("torus.iv.gz" -> "torus").
std::string baseName(const std::string& model) {
  std::string name = fs::path(model).filename().string();
  const std::string lower = lowerCase(name);
  size_t best = 0;
  for (const std::string& ext : SbModelReader::extensions())
    if (lower.size() > ext.size() && ext.size() > best &&
        lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0)
      best = ext.size();
  if (best == 0) {
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) best = name.size() - dot;
  }
  name.resize(name.size() - best);
  return name.empty() ? "model" : name;
}

// A path as one spelling of the file it names, existing or not.
std::string canonical(const std::string& path) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? path : c.string();
}

// A child's result, one item a line: "faces N", "strokes N", "written NAME",
// "error TEXT".
std::string encodeResult(const JobResult& r) {
  std::string text = "faces " + std::to_string(r.faces) + "\nstrokes " + std::to_string(r.strokes) + "\n";
  for (const std::string& w : r.written) text += "written " + w + "\n";
  if (!r.error.empty()) {
    std::string error = r.error;
    std::replace(error.begin(), error.end(), '\n', ' ');
    text += "error " + error + "\n";
  }
  return text;
}

bool decodeResult(const std::string& text, JobResult& r) {
  std::istringstream lines(text);
  std::string line;
  bool any = false;
  while (std::getline(lines, line)) {
    const std::string::size_type space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string key = line.substr(0, space), value = line.substr(space + 1);
    if (key == "faces")
      r.faces = std::atoi(value.c_str());
    else if (key == "strokes")
      r.strokes = std::atoi(value.c_str());
    else if (key == "written")
      r.written.push_back(value);
    else if (key == "error")
      r.error = value;
    else
      continue;
    any = true;
  }
  return any;
}

void writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

// Signal state, read by the handlers.
volatile sig_atomic_t interruptSignal = 0;
bool supervising = false;
char timerMessage[1024];
size_t timerMessageLength = 0;
int timerStatus = 1;

void writeMessage(const char* text, size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void onInterrupt(int signal) {
  if (supervising) {
    interruptSignal = signal;
    return;
  }
  SbOutputFile::removeTemporaryFile();
  static const char message[] = "\nlinfold-render: interrupted\n";
  writeMessage(message, sizeof message - 1);
  _exit(128 + signal);
}

void onTimer(int) {
  SbOutputFile::removeTemporaryFile();
  writeMessage(timerMessage, timerMessageLength);
  _exit(timerStatus);
}

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

}  // namespace

bool batchJobs(const Options& opt, std::vector<Job>& jobs) {
  std::error_code made;
  fs::create_directories(opt.outDir, made);
  if (!fs::is_directory(opt.outDir, made)) {
    fail("cannot create the output folder " + opt.outDir);
    return false;
  }
  std::vector<std::string> models;
  for (const std::string& given : opt.models) {
    std::error_code ec;
    if (fs::is_directory(given, ec)) {
      std::vector<std::string> inside = modelsInFolder(given);
      if (inside.empty()) fail("no model files in the folder " + given);
      models.insert(models.end(), inside.begin(), inside.end());
    } else {
      models.push_back(given);  // a missing file fails as its model
    }
  }
  if (models.empty()) {
    fail("no models to draw");
    return false;
  }
  // Names no output may take: every model of the run, then each output given.
  std::set<std::string> taken;
  for (const std::string& model : models) taken.insert(canonical(model));
  for (const std::string& model : models) {
    Job job;
    job.model = model;
    job.label = fs::path(model).filename().string();
    const std::string base = baseName(model);
    for (int n = 1;; ++n) {
      const std::string name = n > 1 ? base + "-" + std::to_string(n) : base;
      bool free = true;
      for (int id = 0; id < OUTPUT_COUNT; ++id) {
        job.files[id].clear();
        if (!opt.wanted[id]) continue;
        job.files[id] = (fs::path(opt.outDir) / (name + kOutputs[id].suffix)).string();
        free = free && !taken.count(canonical(job.files[id]));
      }
      if (free) break;
    }
    for (const std::string& file : job.files)
      if (!file.empty()) taken.insert(canonical(file));
    jobs.push_back(job);
  }
  return true;
}

JobResult runIsolated(const Job& job, double maxSeconds, const std::function<JobResult()>& draw, bool& interrupted) {
  JobResult result;
  if (interruptSignal) {  // Ctrl+C between two models: the next one is not started
    result.error = "interrupted";
    interrupted = true;
    return result;
  }
  const auto start = std::chrono::steady_clock::now();
  // File times have whole-second resolution on some file systems.
  const auto startedFileTime = fs::file_time_type::clock::now() - std::chrono::seconds(1);
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) {
    result.error = std::string("cannot start a process for the model: ") + std::strerror(errno);
    fail(result.error);
    return result;
  }
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t child = fork();
  if (child < 0) {
    result.error = std::string("cannot start a process for the model: ") + std::strerror(errno);
    fail(result.error);
    close(channel[0]);
    close(channel[1]);
    return result;
  }
  if (child == 0) {
    // Its own process group, so that whatever it starts goes with it.
    setpgid(0, 0);
    // A background group may still write to the terminal (with `stty
    // tostop` the first progress line would stop the child for good).
    ::signal(SIGTTOU, SIG_IGN);
    close(channel[0]);
    handleInterrupts(false);
    armModelTimer(maxSeconds, job.label, kTimedOutStatus);
    const JobResult drawn = draw();
    // Done: a timer going off in the exit handlers would report a finished
    // model as stopped. The exit handlers are the parent's; none are run.
    disarmModelTimer();
    writeAll(channel[1], encodeResult(drawn));
    close(channel[1]);
    std::fflush(nullptr);
    _exit(drawn.ok ? 0 : 1);
  }
  setpgid(child, child);
  close(channel[1]);

  // The child stops itself at maxSeconds; past a grace it is killed, as it is
  // when it does not end within the grace after Ctrl+C was passed on to it.
  const double grace = 5.0;
  std::string text;
  bool killed = false;
  double forwardedAt = -1.0;
  for (;;) {
    pollfd p{channel[0], POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      char buffer[4096];
      const ssize_t n = read(channel[0], buffer, sizeof buffer);
      if (n > 0) {
        text.append(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n == 0 || errno != EINTR) break;  // the child closed its end: it is done
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (interruptSignal && forwardedAt < 0.0) {
      kill(-child, static_cast<int>(interruptSignal));
      forwardedAt = elapsed;
    }
    if ((maxSeconds > 0.0 && elapsed > maxSeconds + grace) || (forwardedAt >= 0.0 && elapsed > forwardedAt + grace)) {
      kill(-child, SIGKILL);
      killed = true;
      break;
    }
  }
  // The child has closed its end; it ends now, or is killed after the grace.
  int status = 0;
  rusage usage{};
  const auto closedAt = std::chrono::steady_clock::now();
  for (;;) {
    const pid_t done = wait4(child, &status, WNOHANG, &usage);
    if (done == child || (done < 0 && errno != EINTR)) break;
    if (!killed && std::chrono::steady_clock::now() - closedAt > std::chrono::duration<double>(grace)) {
      kill(-child, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(-child, SIGKILL);  // anything the child left running
  close(channel[0]);
  decodeResult(text, result);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.peakKB = usage.ru_maxrss;
  const bool exited = !killed && WIFEXITED(status);
  const int code = exited ? WEXITSTATUS(status) : -1;
  const int signal = !killed && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  if (interruptSignal || code == 130 || code == 143 || signal == SIGINT || signal == SIGTERM) {
    result.error = "interrupted";
    interrupted = true;
  } else if (killed || code == kTimedOutStatus) {
    result.error = "stopped after " + secondsText(maxSeconds) + " s (--max-seconds)";
  } else if (signal) {
    result.error = "ended by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
  } else if (code != 0 && result.error.empty()) {
    result.error = "ended with status " + std::to_string(code);
  }
  result.ok = exited && code == 0 && result.error.empty();
  if (!exited || code == kTimedOutStatus || code == 130 || code == 143) {
    // The file it was writing when it stopped goes; the files it finished
    // (each whole: they were renamed into place) stay and are listed.
    result.written.clear();
    for (int id = 0; id < OUTPUT_COUNT; ++id) {
      if (job.files[id].empty()) continue;
      SbOutputFile::removeLeftovers(job.files[id]);
      std::error_code ec;
      const auto modified = fs::last_write_time(job.files[id], ec);
      if (!ec && modified >= startedFileTime) result.written.push_back(kOutputs[id].name);
    }
    if (killed || signal) fail(job.label + ": " + result.error);
  }
  return result;
}

void armModelTimer(double seconds, const std::string& label, int status) {
  if (!(seconds > 0.0)) return;
  const std::string message =
      "\nlinfold-render: stopped " + label + " after " + secondsText(seconds) + " s (--max-seconds)\n";
  timerMessageLength = std::min(message.size(), sizeof timerMessage);
  std::memcpy(timerMessage, message.data(), timerMessageLength);
  timerStatus = status;
  struct sigaction action {};
  action.sa_handler = onTimer;
  sigemptyset(&action.sa_mask);
  sigaction(SIGALRM, &action, nullptr);
  itimerval timer{};
  timer.it_value.tv_sec = static_cast<time_t>(seconds);
  timer.it_value.tv_usec = static_cast<suseconds_t>((seconds - std::floor(seconds)) * 1e6);
  if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
  setitimer(ITIMER_REAL, &timer, nullptr);
}

void disarmModelTimer() {
  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
}

void handleInterrupts(bool supervisor) {
  supervising = supervisor;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool interruptRequested() { return interruptSignal != 0; }

}  // namespace render
