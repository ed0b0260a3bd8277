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

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
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

// One mesh placed by `world` as a separator with its coordinates and faces,
// or nullptr when it has no usable face.
SoSeparator* convertMesh(const aiMesh& mesh, const aiMatrix4x4& world) {
  if (!mesh.mVertices || mesh.mNumVertices == 0 || !mesh.mFaces) return nullptr;
  // A mirroring transform turns counter-clockwise faces clockwise.
  const bool mirrored = world.Determinant() < 0.0f;

  std::vector<SbVec3f> points;
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

  std::vector<int32_t> coordIndex;
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
  if (coordIndex.empty()) return nullptr;

  auto* separator = new SoSeparator;
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, static_cast<int>(points.size()), points.data());
  auto* faces = new SoIndexedFaceSet;
  faces->coordIndex.setValues(0, static_cast<int>(coordIndex.size()), coordIndex.data());
  separator->addChild(coords);
  separator->addChild(faces);
  return separator;
}

// Adds one separator per mesh reference of the node hierarchy, in
// depth-first order; walks with its own stack so a deep hierarchy cannot
// exhaust the call stack.
void convertScene(const aiScene& scene, SoSeparator& root) {
  auto addMesh = [&](unsigned m, const aiMatrix4x4& world) {
    if (m >= scene.mNumMeshes || !scene.mMeshes[m]) return;
    if (SoSeparator* s = convertMesh(*scene.mMeshes[m], world)) root.addChild(s);
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

SoSeparator* readWithAssimp(const std::string& path, std::string* error) {
  Assimp::Importer importer;
  const aiScene* scene =
      importer.ReadFile(path, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                  aiProcess_ValidateDataStructure);
  if (!scene) {
    const char* why = importer.GetErrorString();
    setError(error, "Cannot read " + path + (why && *why ? std::string(": ") + why : std::string()));
    return nullptr;
  }
  auto* root = new SoSeparator;
  root->ref();
  auto* hints = new SoShapeHints;
  hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
  root->addChild(hints);
  convertScene(*scene, *root);
  if (root->getNumChildren() == 1) {
    root->unref();
    setError(error, path + " holds no polygon faces");
    return nullptr;
  }
  root->unrefNoDelete();
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
    return readWithAssimp(file, error);
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
