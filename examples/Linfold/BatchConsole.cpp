#include "BatchConsole.h"

#include <unistd.h>

#include <algorithm>

namespace render {

BatchConsole::BatchConsole(int total) : total(total), terminal(isatty(STDOUT_FILENO) == 1) {}

BatchConsole::~BatchConsole() { stopCapture(); }

void BatchConsole::begin(int index, const std::string& label) {
  std::fflush(stdout);
  if (!terminal) {
    std::printf("linfold-render: [%d/%d] %s\n", index + 1, total, label.c_str());
    std::fflush(stdout);
    return;
  }
  bar(index, label);
  startCapture();
}

void BatchConsole::end(bool ok) {
  if (!terminal) return;
  const std::string text = stopCapture();
  if (ok) return;
  // The last lines the model printed, above the bar.
  clearBar();
  size_t start = text.size();
  for (int lines = 0; lines < 16 && start > 0;) {
    start = text.rfind('\n', start - 1);
    if (start == std::string::npos) {
      start = 0;
      break;
    }
    ++lines;
  }
  if (start > 0) ++start;
  std::fputs(text.c_str() + start, stdout);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
}

void BatchConsole::finish() {
  if (!terminal) return;
  bar(total, "");
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void BatchConsole::bar(int done, const std::string& label) {
  const int width = 30;
  const int filled = total > 0 ? done * width / total : width;
  std::string text = "\r\033[K[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " +
                     std::to_string(done) + "/" + std::to_string(total) + " " + label;
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void BatchConsole::clearBar() { std::fputs("\r\033[K", stdout); }

void BatchConsole::startCapture() {
  capture = std::tmpfile();
  if (!capture) return;
  saved = dup(STDOUT_FILENO);
  if (saved < 0 || dup2(fileno(capture), STDOUT_FILENO) < 0) {
    if (saved >= 0) close(saved);
    saved = -1;
    std::fclose(capture);
    capture = nullptr;
  }
}

std::string BatchConsole::stopCapture() {
  if (!capture) return std::string();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  saved = -1;
  std::string text;
  std::rewind(capture);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0) text.append(buffer, n);
  std::fclose(capture);
  capture = nullptr;
  return text;
}

void printSummary(const std::vector<Job>& jobs, const std::vector<JobResult>& results) {
  size_t nameWidth = 5;
  for (const Job& job : jobs) nameWidth = std::max(nameWidth, job.label.size());
  nameWidth = std::min<size_t>(nameWidth, 40);
  std::printf("\n%-*s %9s %8s %9s %9s  %s\n", int(nameWidth), "model", "faces", "strokes", "time", "memory", "outputs");
  int failed = 0;
  JobResult notRun;
  notRun.error = "not run (interrupted)";
  for (size_t i = 0; i < jobs.size(); ++i) {
    const JobResult& r = i < results.size() ? results[i] : notRun;
    std::string outputs;
    for (const std::string& name : r.written) outputs += (outputs.empty() ? "" : " ") + name;
    if (!r.ok) {
      ++failed;
      outputs += std::string(outputs.empty() ? "" : "; ") + "FAILED: " + r.error;
    }
    const std::string faces = r.faces >= 0 ? std::to_string(r.faces) : "-";
    const std::string strokes = r.strokes >= 0 ? std::to_string(r.strokes) : "-";
    const std::string memory = r.peakKB >= 0 ? std::to_string((r.peakKB + 512) / 1024) + " MB" : "-";
    std::printf("%-*s %9s %8s %7.2f s %9s  %s\n", int(nameWidth), jobs[i].label.c_str(), faces.c_str(), strokes.c_str(),
                r.seconds, memory.c_str(), outputs.c_str());
  }
  if (failed)
    std::printf("linfold-render: %d of %d models failed\n", failed, int(jobs.size()));
  else
    std::printf("linfold-render: all %d models done\n", int(jobs.size()));
  std::fflush(stdout);
}

}  // namespace render
