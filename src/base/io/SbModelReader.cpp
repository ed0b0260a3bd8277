#include "io/SbModelReader.h"

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <sstream>
#include <unordered_map>
#include <utility>

#include "core/Finite.h"
#include "io/SbModelParts.h"
#include "io/SbReaderProcess.h"
#include "io/SbSceneFlattener.h"

namespace {

// Most triangles the NURBS surfaces of one model may become. Coin makes up
// to about 2000 triangles a knot span at complexity 1 (order 4; many more at
// higher orders): a 15 KB file of a 30 x 30 bicubic patch gave 1.3 million,
// far beyond what the later stages draw in reasonable time, and a few
// hundred KB would exhaust memory.
constexpr double kNurbsTriangleBudget = 1e6;

// Extensions Coin reads itself; everything else goes through assimp.
const char* const kCoinExtensions[] = {".iv", ".wrl", ".vrml", ".wrz", ".iv.gz", ".wrl.gz", ".vrml.gz"};

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

// `path` made absolute against the working directory; as given when that
// cannot be read.
std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(&buffer[0], buffer.size())) {
      std::string cwd(buffer.c_str());
      return cwd + (cwd.size() > 1 ? "/" : "") + path;
    }
    if (errno != ERANGE) return path;
    buffer.resize(buffer.size() * 2);
  }
}

// ---------------------------------------------------------------------------
// Headers that claim more than the file holds

// Bytes of one value of a PLY property type in a binary body; 0 when unknown.
int plyTypeSize(const std::string& type) {
  static const std::pair<const char*, int> sizes[] = {{"char", 1},   {"uchar", 1},   {"int8", 1},   {"uint8", 1},
                                                      {"short", 2},  {"ushort", 2},  {"int16", 2},  {"uint16", 2},
                                                      {"int", 4},    {"uint", 4},    {"float", 4},  {"int32", 4},
                                                      {"uint32", 4}, {"float32", 4}, {"double", 8}, {"float64", 8}};
  for (const auto& s : sizes)
    if (type == s.first) return s.second;
  return 0;
}

// Empty when the PLY file's header ends (within its first 64 KB, where every
// real header ends: assimp waits forever on a header cut short) and the
// elements it declares fit in the body; else why not. An element takes at
// least its properties' sizes in a binary body (a list at least its count)
// and two characters a property ("0 ") in a text body, so a header claiming
// more than the body can hold is refused before a reader sizes its arrays by
// the claim.
std::string plyHeaderProblem(const std::string& path, off_t fileSize) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "the file cannot be opened";
  std::string head(1 << 16, '\0');
  head.resize(std::fread(&head[0], 1, head.size(), f));
  std::fclose(f);
  const std::string::size_type at = head.find("end_header");
  const std::string::size_type end = at == std::string::npos ? at : head.find('\n', at);
  if (end == std::string::npos) return "the PLY header has no end";

  struct Element {
    std::string name;
    double count = 0;
    double bytes = 0;  // least bytes of one element in the body
  };
  std::vector<Element> elements;
  bool binary = false;
  std::istringstream lines(head.substr(0, end));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "format") {
      words >> word;
      binary = word.compare(0, 6, "binary") == 0;
    } else if (word == "element") {
      Element e;
      words >> e.name >> e.count;
      if (!words || !(e.count >= 0)) return "the PLY header has a bad element line";
      elements.push_back(e);
    } else if (word == "property" && !elements.empty()) {
      std::string type;
      words >> type;
      if (type == "list") words >> type;  // the count's type; a list may be empty
      const int size = plyTypeSize(type);
      elements.back().bytes += binary ? (size > 0 ? size : 1) : 2;
    }
  }
  const double body = static_cast<double>(fileSize) - static_cast<double>(end + 1);
  double need = 0;
  for (const Element& e : elements) {
    need += e.count * e.bytes;
    if (need > body) {
      char text[160];
      std::snprintf(text, sizeof text, "the PLY header claims %.0f %s elements, more than the file holds", e.count,
                    e.name.c_str());
      return text;
    }
  }
  return std::string();
}

// Empty when the counts an OFF file's header gives can fit in the file;
// else why not. A vertex takes at least six characters ("0 0 0\n") and a
// face two ("0\n"), so a header claiming more is refused before assimp
// sizes its arrays by the claim.
std::string offHeaderProblem(const std::string& path, off_t fileSize) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "the file cannot be opened";
  std::string head(4096, '\0');
  head.resize(std::fread(&head[0], 1, head.size(), f));
  std::fclose(f);
  // Comments run from '#' to the end of their line.
  std::string text;
  bool comment = false;
  for (char c : head) {
    if (c == '#') comment = true;
    if (c == '\n') comment = false;
    text += comment ? ' ' : c;
  }
  std::istringstream words(text);
  std::string keyword;
  double vertices = 0, faces = 0;
  words >> keyword;
  if (keyword.size() < 3 || keyword.compare(keyword.size() - 3, 3, "OFF") != 0) return std::string();
  if (!(words >> vertices >> faces) || vertices < 0 || faces < 0) return "the OFF header has no counts";
  if (vertices * 6 + faces * 2 > static_cast<double>(fileSize)) {
    char message[160];
    std::snprintf(message, sizeof message,
                  "the OFF header claims %.0f vertices and %.0f faces, more than the file holds", vertices, faces);
    return message;
  }
  return std::string();
}

// ---------------------------------------------------------------------------
// assimp's formats, converted in the reading process

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
    if (!finite(SbVec3f(p.x, p.y, p.z))) return c = -1;
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

// Reads the file with assimp; false with assimp's reason.
bool importMeshes(const std::string& path, std::vector<MeshData>& meshes, std::string& why) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(
      path, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_ValidateDataStructure);
  if (!scene) {
    const char* text = importer.GetErrorString();
    why = text ? text : "";
    return false;
  }
  convertScene(*scene, meshes);
  return true;
}

// Runs in the reading process: each mesh becomes a part of counter-clockwise
// triangles in world space.
bool readAssimpParts(const std::string& file, const std::string& absolute, SbModelParts& parts, std::string& message) {
  std::vector<MeshData> meshes;
  std::string why;
  if (!importMeshes(absolute, meshes, why)) {
    message = "Cannot read " + file + (why.empty() ? std::string() : ": " + why);
    return false;
  }
  if (meshes.empty()) {
    message = file + " holds no polygon faces";
    return false;
  }
  for (MeshData& m : meshes) {
    SbModelParts::Part part;
    part.kind = SbModelParts::FACES;
    part.ordering = SoShapeHints::COUNTERCLOCKWISE;
    part.block = parts.addBlock(std::move(m.points));
    part.coordIndex = parts.keep(std::move(m.coordIndex));
    parts.parts.push_back(part);
  }
  return true;
}

}  // namespace

SoSeparator* SbModelReader::read(const char* path, std::string* error, Failure* failure) {
  Failure kind = CANNOT_READ;
  std::string message;
  try {
    if (!path || !*path) {
      message = "No file name given";
      kind = CANNOT_OPEN;
    } else {
      const std::string file(path);
      struct stat info;
      // The type is known before anything opens the file: opening a pipe
      // waits for a writer, and a device may never end.
      if (stat(path, &info) != 0) {
        message = "Cannot open " + file + ": " + std::strerror(errno);
        kind = CANNOT_OPEN;
      } else if (S_ISDIR(info.st_mode)) {
        message = file + " is a directory";
        kind = CANNOT_OPEN;
      } else if (!S_ISREG(info.st_mode)) {
        message = file + " is not a regular file";
        kind = CANNOT_OPEN;
      } else if (access(path, R_OK) != 0) {
        message = "Cannot open " + file + ": " + std::strerror(errno);
        kind = CANNOT_OPEN;
      } else {
        const std::string ext = extensionOf(file);
        const std::string absolute = absolutePath(file);
        SbReaderProcess::Work work;
        if (info.st_size == 0) {
          message = file + " is empty";
        } else if (isCoinExtension(ext) || hasSceneHeader(file)) {
          work = [&](SbModelParts& parts, std::string& text) {
            return SbSceneFlattener::read(file, absolute, parts, text);
          };
        } else if (ext.empty() || !Assimp::Importer().IsExtensionSupported(ext.c_str())) {
          message = "Unsupported file type: " + file;
        } else if ((ext == ".ply" && !(message = plyHeaderProblem(file, info.st_size)).empty()) ||
                   (ext == ".off" && !(message = offHeaderProblem(file, info.st_size)).empty())) {
          message = "Cannot read " + file + ": " + message;
        } else {
          work = [&](SbModelParts& parts, std::string& text) { return readAssimpParts(file, absolute, parts, text); };
        }
        SbModelParts parts;
        if (work && SbReaderProcess::run(file, work, SbReaderProcess::limitsFor(info.st_size), parts, message)) {
          parts.limitNurbs(kNurbsTriangleBudget);
          parts.reportSkipped(file);
          if (failure) *failure = NO_FAILURE;
          return parts.buildScene();
        }
      }
    }
  } catch (const std::exception& e) {
    message = std::string("Cannot read ") + (path ? path : "") + ": " + e.what();
  } catch (...) {
    message = std::string("Cannot read ") + (path ? path : "");
  }
  setError(error, message);
  if (failure) *failure = kind;
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
  return "Models (" + all + ");;" + "Open Inventor and VRML (*.iv *.wrl *.vrml *.wrz *.gz);;" +
         "OBJ, PLY, STL, OFF, glTF (*.obj *.ply *.stl *.off *.gltf *.glb);;" + "All files (*)";
}
