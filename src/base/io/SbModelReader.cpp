#include "io/SbModelReader.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <unordered_map>
#include <utility>

namespace {

// Extensions Coin reads itself; everything else goes through assimp.
const char* const kCoinExtensions[] = {".iv", ".wrl", ".vrml", ".wrz", ".iv.gz", ".wrl.gz",
                                       ".vrml.gz"};

void setError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

std::string lowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The file name's extension in lower case, with the dot; for "x.wrl.gz" the
// two last ones (".wrl.gz"). Empty when the name has none.
std::string extensionOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string name = lowerCase(slash == std::string::npos ? path : path.substr(slash + 1));
  std::string::size_type dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return std::string();
  if (name.compare(dot, std::string::npos, ".gz") == 0 && dot > 0) {
    const std::string::size_type inner = name.rfind('.', dot - 1);
    if (inner != std::string::npos && inner > 0) dot = inner;
  }
  return name.substr(dot);
}

bool isCoinExtension(const std::string& ext) {
  for (const char* e : kCoinExtensions)
    if (ext == e) return true;
  return false;
}

// True when a PLY file's header ends (within its first 64 KB, where every
// real header ends): assimp would wait forever on a header cut short.
bool plyHeaderEnds(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string head(1 << 16, '\0');
  head.resize(std::fread(&head[0], 1, head.size(), f));
  std::fclose(f);
  const std::string::size_type at = head.find("end_header");
  return at != std::string::npos && head.find('\n', at) != std::string::npos;
}

// True when the file starts like an Inventor or VRML file (uncompressed).
bool hasSceneHeader(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char head[16] = {0};
  const size_t n = std::fread(head, 1, sizeof(head) - 1, f);
  std::fclose(f);
  const std::string start(head, n);
  return start.compare(0, 9, "#Inventor") == 0 || start.compare(0, 5, "#VRML") == 0;
}

// Collects Coin's read errors while it reads one file, instead of letting
// them go to standard error; restores the previous handler when done.
class ReadErrorCapture {
public:
  ReadErrorCapture()
      : previous(SoReadError::getHandlerCallback()), previousData(SoReadError::getHandlerData()) {
    SoReadError::setHandlerCallback(&ReadErrorCapture::handle, this);
  }
  ~ReadErrorCapture() { SoReadError::setHandlerCallback(previous, previousData); }
  ReadErrorCapture(const ReadErrorCapture&) = delete;
  ReadErrorCapture& operator=(const ReadErrorCapture&) = delete;

  // The first error's text without Coin's prefix, on one line.
  const std::string& first() const { return firstMessage; }

private:
  static void handle(const SoError* error, void* data) {
    auto* self = static_cast<ReadErrorCapture*>(data);
    if (!self->firstMessage.empty() || !error) return;
    std::string text = error->getDebugString().getString();
    const std::string prefix = "Coin read error: ";
    if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    for (char& c : text)
      if (c == '\n' || c == '\t') c = ' ';
    text.erase(std::unique(text.begin(), text.end(),
                           [](char a, char b) { return a == ' ' && b == ' '; }),
               text.end());
    while (!text.empty() && text.back() == ' ') text.pop_back();
    self->firstMessage = text;
  }

  SoErrorCB* previous;
  void* previousData;
  std::string firstMessage;
};

SoSeparator* readWithCoin(const std::string& path, std::string* error) {
  ReadErrorCapture capture;
  SoInput input;
  if (!input.openFile(path.c_str(), TRUE)) {
    setError(error, "Cannot open " + path);
    return nullptr;
  }
  if (!input.isValidFile()) {
    input.closeFile();
    setError(error, path + " is not an Open Inventor or VRML file");
    return nullptr;
  }
  SoSeparator* scene = SoDB::readAll(&input);
  input.closeFile();
  if (!scene) {
    setError(error, "Cannot read " + path +
                        (capture.first().empty() ? std::string() : ": " + capture.first()));
    return nullptr;
  }
  return scene;
}

bool finite(const aiVector3D& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Exact-position key; -0 and +0 are the same point.
struct PositionKey {
  uint32_t bits[3];
  bool operator==(const PositionKey& o) const {
    return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
  }
};
struct PositionKeyHash {
  size_t operator()(const PositionKey& k) const {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t b : k.bits) h = (h ^ b) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};
PositionKey keyOf(const SbVec3f& p) {
  PositionKey k;
  for (int i = 0; i < 3; ++i) {
    const float v = p[i] + 0.0f;
    std::memcpy(&k.bits[i], &v, sizeof(float));
  }
  return k;
}

// One converted mesh: world-space points and an SoIndexedFaceSet index list.
struct MeshData {
  std::vector<SbVec3f> points;
  std::vector<int32_t> coordIndex;
};

// Converts one mesh placed by `world`; false when it has no usable face.
bool convertMesh(const aiMesh& mesh, const aiMatrix4x4& world, MeshData& out) {
  if (!mesh.mVertices || mesh.mNumVertices == 0 || !mesh.mFaces) return false;
  // A mirroring transform turns counter-clockwise faces clockwise.
  const bool mirrored = world.Determinant() < 0.0f;

  std::vector<SbVec3f>& points = out.points;
  std::vector<int32_t>& coordIndex = out.coordIndex;
  points.clear();
  coordIndex.clear();
  std::vector<int> coordOf(mesh.mNumVertices, -2);  // -2: not placed yet, -1: not finite
  std::unordered_map<PositionKey, int, PositionKeyHash> byPosition;
  auto coordinate = [&](unsigned v) {
    int& c = coordOf[v];
    if (c != -2) return c;
    const aiVector3D p = world * mesh.mVertices[v];
    if (!finite(p)) return c = -1;
    const SbVec3f q(p.x, p.y, p.z);
    auto inserted = byPosition.emplace(keyOf(q), static_cast<int>(points.size()));
    if (inserted.second) points.push_back(q);
    return c = inserted.first->second;
  };

  std::vector<int32_t> face;
  for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
    const aiFace& in = mesh.mFaces[f];
    if (in.mNumIndices < 3 || !in.mIndices) continue;  // points and lines
    face.clear();
    bool usable = true;
    for (unsigned i = 0; i < in.mNumIndices && usable; ++i) {
      const unsigned v = in.mIndices[i];
      const int c = v < mesh.mNumVertices ? coordinate(v) : -1;
      usable = c >= 0 && std::find(face.begin(), face.end(), c) == face.end();
      face.push_back(c);
    }
    if (!usable) continue;
    if (mirrored) std::reverse(face.begin(), face.end());
    coordIndex.insert(coordIndex.end(), face.begin(), face.end());
    coordIndex.push_back(-1);
  }
  return !coordIndex.empty();
}

// One entry per mesh reference of the node hierarchy, in depth-first order;
// walks with its own stack so a deep hierarchy cannot exhaust the call stack.
void convertScene(const aiScene& scene, std::vector<MeshData>& meshes) {
  auto addMesh = [&](unsigned m, const aiMatrix4x4& world) {
    if (m >= scene.mNumMeshes || !scene.mMeshes[m]) return;
    MeshData data;
    if (convertMesh(*scene.mMeshes[m], world, data)) meshes.push_back(std::move(data));
  };
  if (!scene.mRootNode) {
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) addMesh(m, aiMatrix4x4());
    return;
  }
  std::vector<std::pair<const aiNode*, aiMatrix4x4>> stack;
  stack.emplace_back(scene.mRootNode, scene.mRootNode->mTransformation);
  while (!stack.empty()) {
    const aiNode* node = stack.back().first;
    const aiMatrix4x4 world = stack.back().second;
    stack.pop_back();
    for (unsigned i = 0; i < node->mNumMeshes; ++i) addMesh(node->mMeshes[i], world);
    // Children pushed last to first so they are converted first to last.
    for (unsigned i = node->mNumChildren; i-- > 0;) {
      const aiNode* child = node->mChildren[i];
      if (child) stack.emplace_back(child, world * child->mTransformation);
    }
  }
}

// Reads the file with assimp in this process; false with assimp's reason.
bool importMeshes(const std::string& path, std::vector<MeshData>& meshes, std::string& why) {
  try {
    Assimp::Importer importer;
    const aiScene* scene =
        importer.ReadFile(path, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                    aiProcess_ValidateDataStructure);
    if (!scene) {
      const char* text = importer.GetErrorString();
      why = text ? text : "";
      return false;
    }
    convertScene(*scene, meshes);
    return true;
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
    why = "unknown failure";
  }
  return false;
}

// The import runs in a child process: assimp 5.2 loops forever on some cut
// PLY headers and aborts on an assertion on cut PLY bodies, and neither may
// take the application down. The child sends its meshes back through a pipe:
//   status byte (0 meshes follow, 1 message follows)
//   message: u32 length, bytes
//   meshes:  u32 count, then per mesh u32 n, n * 3 floats, u32 m, m * i32
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

[[noreturn]] void runImportChild(int fd, const std::string& path) {
  std::vector<MeshData> meshes;
  std::string why;
  const bool ok = importMeshes(path, meshes, why);
  const uint8_t status = ok ? 0 : 1;
  bool written = writeAll(fd, &status, 1);
  auto writeU32 = [&](uint32_t v) { written = written && writeAll(fd, &v, sizeof(v)); };
  if (!ok) {
    writeU32(static_cast<uint32_t>(why.size()));
    written = written && writeAll(fd, why.data(), why.size());
  } else {
    writeU32(static_cast<uint32_t>(meshes.size()));
    for (const MeshData& m : meshes) {
      writeU32(static_cast<uint32_t>(m.points.size()));
      written = written && writeAll(fd, m.points.data(), m.points.size() * sizeof(SbVec3f));
      writeU32(static_cast<uint32_t>(m.coordIndex.size()));
      written = written && writeAll(fd, m.coordIndex.data(), m.coordIndex.size() * sizeof(int32_t));
    }
  }
  ::close(fd);
  _exit(written ? 0 : 2);
}

// Reads what the child sends until it closes the pipe, or fails at `deadline`.
bool readAll(int fd, std::string& bytes, std::chrono::steady_clock::time_point deadline) {
  char chunk[1 << 16];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    const ssize_t n = ::read(fd, chunk, sizeof(chunk));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

// Bounds-checked reader of the child's message.
struct Cursor {
  const std::string& bytes;
  size_t at = 0;
  bool get(void* out, size_t size) {
    if (size > bytes.size() - at) return false;
    std::memcpy(out, bytes.data() + at, size);
    at += size;
    return true;
  }
  bool u32(uint32_t& v) { return get(&v, sizeof(v)); }
};

bool decodeMeshes(const std::string& bytes, std::vector<MeshData>& meshes, std::string& why,
                  bool& failed) {
  Cursor in{bytes};
  uint8_t status = 0;
  uint32_t count = 0;
  if (!in.get(&status, 1) || !in.u32(count)) return false;
  if (status == 1) {
    if (count > bytes.size()) return false;
    why.assign(count, '\0');
    failed = true;
    return in.get(&why[0], count);
  }
  for (uint32_t i = 0; i < count; ++i) {
    MeshData m;
    uint32_t n = 0;
    if (!in.u32(n) || n > bytes.size() / sizeof(SbVec3f)) return false;
    m.points.resize(n);
    if (!in.get(m.points.data(), n * sizeof(SbVec3f)) || !in.u32(n) ||
        n > bytes.size() / sizeof(int32_t))
      return false;
    m.coordIndex.resize(n);
    if (!in.get(m.coordIndex.data(), n * sizeof(int32_t))) return false;
    // The indices name points that exist: the face set is safe to traverse.
    for (int32_t c : m.coordIndex)
      if (c < -1 || c >= static_cast<int32_t>(m.points.size())) return false;
    meshes.push_back(std::move(m));
  }
  return in.at == bytes.size();
}

// Imports in a child process bounded by a time that grows with the file size;
// false with a reason when the import fails, crashes or does not finish.
bool importMeshesIsolated(const std::string& path, off_t fileSize, std::vector<MeshData>& meshes,
                          std::string& why) {
  int fds[2];
  // Close-on-exec: a program started elsewhere meanwhile must not hold the pipe open.
  if (::pipe2(fds, O_CLOEXEC) != 0) return importMeshes(path, meshes, why);
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return importMeshes(path, meshes, why);
  }
  if (child == 0) {
    ::close(fds[0]);
    // assimp's failed assertions print to standard error; the parent reports them.
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, 2);
    runImportChild(fds[1], path);
  }
  ::close(fds[1]);
  const int seconds = 10 + static_cast<int>(std::min<off_t>(fileSize / (1 << 19), 1 << 20));
  std::string bytes;
  const bool finished =
      readAll(fds[0], bytes, std::chrono::steady_clock::now() + std::chrono::seconds(seconds));
  ::close(fds[0]);
  if (!finished) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!finished) {
    why = "the importer did not finish within " + std::to_string(seconds) + " s";
    return false;
  }
  if (WIFSIGNALED(status)) {
    why = std::string("the importer failed on this file (") + strsignal(WTERMSIG(status)) + ")";
    return false;
  }
  bool failed = false;
  if (!decodeMeshes(bytes, meshes, why, failed)) {
    meshes.clear();
    why = "the importer failed on this file";
    return false;
  }
  return !failed;
}

SoSeparator* readWithAssimp(const std::string& path, off_t fileSize, std::string* error) {
  std::vector<MeshData> meshes;
  std::string why;
  if (!importMeshesIsolated(path, fileSize, meshes, why)) {
    setError(error, "Cannot read " + path + (why.empty() ? std::string() : ": " + why));
    return nullptr;
  }
  if (meshes.empty()) {
    setError(error, path + " holds no polygon faces");
    return nullptr;
  }
  auto* root = new SoSeparator;
  auto* hints = new SoShapeHints;
  hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
  root->addChild(hints);
  for (const MeshData& m : meshes) {
    auto* separator = new SoSeparator;
    auto* coords = new SoCoordinate3;
    coords->point.setValues(0, static_cast<int>(m.points.size()), m.points.data());
    auto* faces = new SoIndexedFaceSet;
    faces->coordIndex.setValues(0, static_cast<int>(m.coordIndex.size()), m.coordIndex.data());
    separator->addChild(coords);
    separator->addChild(faces);
    root->addChild(separator);
  }
  return root;
}

}  // namespace

SoSeparator* SbModelReader::read(const char* path, std::string* error) {
  try {
    if (!path || !*path) {
      setError(error, "No file name given");
      return nullptr;
    }
    const std::string file(path);
    struct stat info;
    if (stat(path, &info) != 0) {
      setError(error, "Cannot open " + file + ": " + std::strerror(errno));
      return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
      setError(error, file + " is a directory");
      return nullptr;
    }
    // Reading a pipe or a device could wait forever.
    if (!S_ISREG(info.st_mode)) {
      setError(error, file + " is not a regular file");
      return nullptr;
    }
    if (info.st_size == 0) {
      setError(error, file + " is empty");
      return nullptr;
    }
    FILE* probe = std::fopen(path, "rb");
    if (!probe) {
      setError(error, "Cannot open " + file + ": " + std::strerror(errno));
      return nullptr;
    }
    std::fclose(probe);

    const std::string ext = extensionOf(file);
    if (isCoinExtension(ext) || hasSceneHeader(file)) return readWithCoin(file, error);

    Assimp::Importer importer;
    if (ext.empty() || !importer.IsExtensionSupported(ext.c_str())) {
      setError(error, "Unsupported file type: " + file);
      return nullptr;
    }
    if (ext == ".ply" && !plyHeaderEnds(file)) {
      setError(error, "Cannot read " + file + ": the PLY header has no end");
      return nullptr;
    }
    return readWithAssimp(file, info.st_size, error);
  } catch (const std::exception& e) {
    setError(error, std::string("Cannot read ") + path + ": " + e.what());
  } catch (...) {
    setError(error, std::string("Cannot read ") + path);
  }
  return nullptr;
}

std::vector<std::string> SbModelReader::extensions() {
  std::vector<std::string> list(std::begin(kCoinExtensions), std::end(kCoinExtensions));
  std::string assimpList;  // "*.3ds;*.obj;..."
  Assimp::Importer importer;
  importer.GetExtensionList(assimpList);
  std::string::size_type start = 0;
  while (start < assimpList.size()) {
    std::string::size_type end = assimpList.find(';', start);
    if (end == std::string::npos) end = assimpList.size();
    std::string item = lowerCase(assimpList.substr(start, end - start));
    start = end + 1;
    if (item.compare(0, 1, "*") == 0) item.erase(0, 1);
    if (item.size() < 2 || item[0] != '.') continue;
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
  }
  return list;
}

std::string SbModelReader::fileDialogFilter() {
  std::string all;
  for (const std::string& ext : extensions()) all += (all.empty() ? "*" : " *") + ext;
  return "Models (" + all + ");;" +
         "Open Inventor and VRML (*.iv *.wrl *.vrml *.wrz *.gz);;" +
         "OBJ, PLY, STL, OFF, glTF (*.obj *.ply *.stl *.off *.gltf *.glb);;" + "All files (*)";
}
