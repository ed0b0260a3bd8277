#include "BatchJobs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

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

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec);
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
  std::map<std::string, int> uses;
  for (const std::string& model : models) {
    Job job;
    job.model = model;
    job.label = fs::path(model).filename().string();
    std::string base = baseName(model);
    // Two models of one name (torus.iv, torus.obj) keep apart: torus, torus-2.
    const int n = ++uses[base];
    if (n > 1) base += "-" + std::to_string(n);
    for (int id = 0; id < OUTPUT_COUNT; ++id)
      if (opt.wanted[id]) job.files[id] = (fs::path(opt.outDir) / (base + kOutputs[id].suffix)).string();
    jobs.push_back(job);
  }
  return true;
}

std::string replacedModel(const Job& job) {
  for (int id = 0; id < OUTPUT_COUNT; ++id)
    if (!job.files[id].empty() && sameFile(job.files[id], job.model))
      return "its " + std::string(kOutputs[id].name) + " output " + job.files[id] +
             " would replace the model";
  return std::string();
}

}  // namespace render
