// linfold-render: draws a model the way the application shows it, without a
// window, and writes the picture and the program's exports of that view.
//
// The application's own main window is constructed (never shown), so the scene,
// its node fields and the start-up settings of every control are exactly the
// program's, except that the hatching is switched on (a user of this tool wants
// the strokes). One frame is drawn offscreen into a framebuffer object: Coin's
// SoOffscreenRenderer cannot create its GLX context under Xvfb, a Qt offscreen
// surface with its own context can. The export nodes of the scene write during
// a render traversal, so the tool arms them and draws the same view once more.
//
// With --out-dir the tool illustrates many models in one run and ends with a
// summary table.

#include <QApplication>
#include <QByteArray>
#include <QImage>
#include <QLabel>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSaveFile>
#include <QSurfaceFormat>

#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <Inventor/SbColor.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoPath.h>
#include <Inventor/SoSceneManager.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/fields/SoField.h>
#include <Inventor/misc/SoContextHandler.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSeparator.h>

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "LinfoldApplication.h"
#include "io/SbModelReader.h"
#include "output/SoLineOutput.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputSvgHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "output/SoLinePlotterOutput.h"
#include "output/SoWingedEdgeOutput.h"
#include "strokes/SoStreamlinerHQ.h"

namespace {

namespace fs = std::filesystem;

// ------------------------------------------------------------------ outputs

enum OutputId { PNG, PDF, TGA, SVG, LINES_PDF, LINES_TXT, VRML, IV, PLOTTER_SVG, PLOTTER_TXT, OUTPUT_COUNT };

struct OutputKind {
  const char* name;    // in --formats
  const char* option;  // --name
  const char* suffix;  // appended to the model's base name in batch mode
  const char* help;
};

const OutputKind kOutputs[OUTPUT_COUNT] = {
    {"png", "--png", ".png", "the picture as the window shows it"},
    {"pdf", "--pdf", ".pdf", "HQ PDF snapshot: the ink of hatching and silhouettes, vector outlines"},
    {"tga", "--tga", ".tga", "HQ TGA snapshot: the same ink, anti-aliased 8-bit greyscale"},
    {"svg", "--svg", ".svg", "HQ SVG snapshot: the same ink and page as the PDF snapshot"},
    {"lines-pdf", "--lines-pdf", ".lines.pdf", "the line set (silhouettes and hatching) as a vector PDF"},
    {"lines-txt", "--lines-txt", ".lines.txt", "the same line set as a text list of 2D points"},
    {"vrml", "--vrml", ".wrl", "the processed mesh as a VRML 2.0 file"},
    {"iv", "--iv", ".iv", "the processed mesh as an Inventor 2.1 file"},
    {"plotter-svg", "--plotter-svg", ".plotter.svg", "stroke centre lines for a pen plotter, ordered, SVG"},
    {"plotter-txt", "--plotter-txt", ".plotter.txt", "the same pen paths as a plain polyline text file"},
};

int outputByOption(const std::string& option) {
  for (int i = 0; i < OUTPUT_COUNT; ++i)
    if (option == kOutputs[i].option) return i;
  return -1;
}

int outputByName(const std::string& name) {
  for (int i = 0; i < OUTPUT_COUNT; ++i)
    if (name == kOutputs[i].name) return i;
  return -1;
}

std::string usage() {
  std::string text =
      "usage: linfold-render MODEL [--size WxH] [OUTPUT FILE]... [--set TYPE[N].FIELD=VALUE]...\n"
      "       linfold-render --out-dir DIR [--formats LIST | OUTPUT...] [--size WxH] [--set ...]\n"
      "                      MODEL|FOLDER...\n"
      "  Draws MODEL as the Linfold window shows it (hatching switched on) and writes\n"
      "  the picture and the exports of that view. Every output shows the same view:\n"
      "  the picture's size, the model framed for it.\n"
      "\n"
      "Outputs (without one nothing is written):\n";
  for (const OutputKind& kind : kOutputs) {
    char line[200];
    std::snprintf(line, sizeof line, "  %-13s FILE  %s\n", kind.option, kind.help);
    text += line;
  }
  text +=
      "\n"
      "Options:\n"
      "  --size WxH          picture size in pixels, each from 1 to 16384 (default 800x600)\n"
      "  --set TYPE.FIELD=VALUE, --set TYPE[N].FIELD=VALUE\n"
      "                      set a field of the first (or N-th, from 0, in traversal\n"
      "                      order) scene node of exactly class TYPE after the model is\n"
      "                      loaded; VALUE is in Inventor file syntax. Repeatable; applied\n"
      "                      in the given order, after the tool's own start-up settings.\n"
      "  --out-dir DIR       batch mode: every MODEL (a FOLDER stands for every model\n"
      "                      file in it) gets each requested output in DIR, named after\n"
      "                      the model's base name: torus.iv gives DIR/torus.png,\n"
      "                      DIR/torus.pdf, ... The outputs are then given without FILE\n"
      "                      (--png --pdf) or as a list; with neither, a PNG is written.\n"
      "                      A model that fails is reported and the run goes on; a\n"
      "                      summary table ends the run, and the exit status is 1 when\n"
      "                      any model failed. On a terminal a progress bar is shown\n"
      "                      and the console output of a model only when it fails.\n"
      "  --formats LIST      batch mode: comma-separated outputs, from\n"
      "                      ";
  for (int i = 0; i < OUTPUT_COUNT; ++i) text += std::string(i ? "," : "") + kOutputs[i].name;
  text +=
      "\n"
      "                      (file suffixes: ";
  for (int i = 0; i < OUTPUT_COUNT; ++i) text += std::string(i ? " " : "") + kOutputs[i].suffix;
  text +=
      ")\n"
      "  --help, -h          this text\n"
      "\n"
      "Settings users change most (quote VALUEs with spaces for the shell and, as\n"
      "Inventor strings, with double quotes):\n"
      "  --set SoStreamlinerHQ.seperationDist=0.02     stroke separation (model sizes)\n"
      "  --set SoStreamlinerHQ.doComputation=FALSE     no hatching, silhouettes only\n"
      "  --set SoStreamlinerHQ.crossHatching=FALSE     one family of strokes, no cross-hatching\n"
      "  --set 'SoLineThickenerHQ.parserExpression=\"( light - rim )*iso*(taper*.5 + .5 )\"'\n"
      "                                                stroke thickness formula\n"
      "  --set 'SoLineDensifierHQ.parserExpression=\"1 - light\"'\n"
      "                                                stroke density formula (variables:\n"
      "                                                light depth rim curvature iso taper)\n"
      "  --set SoGenerateWingedEdge.visualizationMode=2   shade the faces (1 lines,\n"
      "                                                2 faces, 3 coloured faces, 4 nothing)\n"
      "  --set SoModifyWingedEdge.subdivisionSteps=2   subdivide the mesh twice\n"
      "  --set SoLinePurifier[1].active=FALSE          keep short segments (the second\n"
      "                                                purifier; [N] counts from 0)\n"
      "\n"
      "Exit status: 0 when everything asked for was written, 1 when a model, a setting\n"
      "or an output failed (the reason is printed), 2 for malformed arguments.\n";
  return text;
}

constexpr int kMaxSize = 16384;

struct FieldSetting {
  std::string text;  // as given, for messages
  std::string type;
  int index = 0;
  std::string field;
  std::string value;
};

struct Options {
  std::vector<std::string> models;  // files, or folders in batch mode
  std::string outDir;               // batch mode when not empty
  int width = 800;
  int height = 600;
  std::array<std::string, OUTPUT_COUNT> files;  // single mode: the path of each requested output
  std::array<bool, OUTPUT_COUNT> wanted{};      // batch mode: requested outputs
  std::vector<FieldSetting> settings;
  bool batch() const { return !outDir.empty(); }
};

std::string formatted(const char* format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

void fail(const std::string& message) {
  std::printf("linfold-render: %s\n", message.c_str());
  std::fflush(stdout);
}

bool parseInt(const std::string& s, int& value) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  value = std::atoi(s.c_str());
  return true;
}

bool parseSize(const std::string& s, int& w, int& h) {
  size_t x = s.find('x');
  if (x == std::string::npos) return false;
  return parseInt(s.substr(0, x), w) && parseInt(s.substr(x + 1), h) && w >= 1 && h >= 1 &&
         w <= kMaxSize && h <= kMaxSize;
}

bool isIdentifier(const std::string& s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

// TYPE.FIELD=VALUE or TYPE[N].FIELD=VALUE
bool parseSetting(const std::string& text, FieldSetting& out) {
  out.text = text;
  size_t eq = text.find('=');
  if (eq == std::string::npos) return false;
  std::string target = text.substr(0, eq);
  out.value = text.substr(eq + 1);
  size_t dot = target.find('.');
  if (dot == std::string::npos) return false;
  std::string type = target.substr(0, dot);
  out.field = target.substr(dot + 1);
  out.index = 0;
  size_t bracket = type.find('[');
  if (bracket != std::string::npos) {
    if (type.back() != ']') return false;
    if (!parseInt(type.substr(bracket + 1, type.size() - bracket - 2), out.index)) return false;
    type = type.substr(0, bracket);
  }
  out.type = type;
  return isIdentifier(out.type) && isIdentifier(out.field) && !out.value.empty();
}

bool takesValue(const std::string& arg, bool batch) {
  if (arg == "--size" || arg == "--set" || arg == "--out-dir" || arg == "--formats") return true;
  return !batch && outputByOption(arg) >= 0;
}

// Returns 0 when the options are good, else the exit status (2); --help is
// reported through `help`.
int parseArguments(int argc, char** argv, Options& opt, bool& help) {
  help = false;
  // Whether the outputs take a file name depends on --out-dir, wherever it stands.
  bool batch = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--out-dir") batch = true;
    if (arg == "--size" || arg == "--set" || arg == "--out-dir" || arg == "--formats") ++i;
  }
  bool formatsGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    if (takesValue(arg, batch)) {
      if (i + 1 >= argc) {
        fail(arg + " needs a value");
        return 2;
      }
      value = argv[++i];
    }
    const int output = outputByOption(arg);
    if (arg == "--help" || arg == "-h") {
      help = true;
      return 0;
    } else if (arg == "--size") {
      if (!parseSize(value, opt.width, opt.height)) {
        fail("bad size \"" + value + "\": expected WxH, each from 1 to 16384");
        return 2;
      }
    } else if (output >= 0) {
      if (batch) {
        opt.wanted[output] = true;
      } else if (value.empty()) {
        fail(arg + " needs a file name");
        return 2;
      } else {
        opt.files[output] = value;
      }
    } else if (arg == "--set") {
      FieldSetting setting;
      if (!parseSetting(value, setting)) {
        fail("bad setting \"" + value + "\": expected TYPE.FIELD=VALUE or TYPE[N].FIELD=VALUE");
        return 2;
      }
      opt.settings.push_back(setting);
    } else if (arg == "--out-dir") {
      if (value.empty()) {
        fail("--out-dir needs a folder name");
        return 2;
      }
      opt.outDir = value;
    } else if (arg == "--formats") {
      formatsGiven = true;
      size_t start = 0;
      while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string::npos) comma = value.size();
        const std::string name = value.substr(start, comma - start);
        const int id = outputByName(name);
        if (id < 0) {
          fail("unknown format \"" + name + "\" in --formats (known: png,pdf,tga,svg,lines-pdf,lines-txt,"
               "vrml,iv,plotter-svg,plotter-txt)");
          return 2;
        }
        opt.wanted[id] = true;
        start = comma + 1;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      fail("unknown option " + arg);
      return 2;
    } else if (batch || opt.models.empty()) {
      opt.models.push_back(arg);
    } else {
      fail("more than one model given (" + opt.models[0] + " and " + arg +
           "); use --out-dir DIR for many");
      return 2;
    }
  }
  if (formatsGiven && !batch) {
    fail("--formats needs --out-dir (outside batch mode each output names its file)");
    return 2;
  }
  if (opt.models.empty()) {
    std::printf("usage: linfold-render MODEL [--size WxH] [OUTPUT FILE]... [--set TYPE[N].FIELD=VALUE]...\n"
                "       linfold-render --out-dir DIR [--formats LIST | OUTPUT...] MODEL|FOLDER...\n"
                "  linfold-render --help lists every option.\n");
    return 2;
  }
  if (batch && std::none_of(opt.wanted.begin(), opt.wanted.end(), [](bool b) { return b; }))
    opt.wanted[PNG] = true;
  return 0;
}

// ------------------------------------------------------------------ scene

// Accepts the class name with or without Coin's "So" prefix.
SoType findNodeType(const std::string& name) {
  SoType type = SoType::fromName(SbName(name.c_str()));
  if (type.isBad() && name.compare(0, 2, "So") == 0) type = SoType::fromName(SbName(name.c_str() + 2));
  if (type.isBad()) type = SoType::fromName(SbName(("So" + name).c_str()));
  return type;
}

// The first node of exactly the given class in traversal order, searching
// switched-off children too.
template <class T>
T* findNode(SoNode* root) {
  if (!root) return nullptr;
  SoSearchAction search;
  search.setType(T::getClassTypeId(), FALSE);
  search.setInterest(SoSearchAction::FIRST);
  search.setSearchingAll(TRUE);
  search.apply(root);
  return search.getPath() ? static_cast<T*>(search.getPath()->getTail()) : nullptr;
}

// The SVG and plotter writers stand beside the PDF snapshot writer (same line
// set, line settings and view); when the window's scene has none, one is put
// right after the PDF writer.
template <class T>
T* findOrPlaceBesidePdf(SoNode* root) {
  if (T* node = findNode<T>(root)) return node;
  SoSearchAction search;
  search.setType(SoLineOutputPdfHQ::getClassTypeId(), FALSE);
  search.setInterest(SoSearchAction::FIRST);
  search.setSearchingAll(TRUE);
  search.apply(root);
  const SoPath* path = search.getPath();
  if (!path || path->getLength() < 2 || !path->getNodeFromTail(1)->isOfType(SoGroup::getClassTypeId()))
    return nullptr;
  SoGroup* parent = static_cast<SoGroup*>(path->getNodeFromTail(1));
  T* node = new T;
  parent->insertChild(node, path->getIndexFromTail(0) + 1);
  return node;
}

bool applySetting(SoNode* root, const FieldSetting& s, std::string& error) {
  if (!root) {
    error = "the main window has no scene";
    return false;
  }
  SoType type = findNodeType(s.type);
  if (type.isBad()) {
    error = "unknown class \"" + s.type + "\" in \"" + s.text + "\"";
    return false;
  }
  if (!type.isDerivedFrom(SoNode::getClassTypeId())) {
    error = "\"" + s.type + "\" is not a node class (in \"" + s.text + "\")";
    return false;
  }
  SoSearchAction search;
  search.setType(type, FALSE);
  search.setInterest(SoSearchAction::ALL);
  search.setSearchingAll(TRUE);
  search.apply(root);
  const SoPathList& paths = search.getPaths();
  if (s.index >= paths.getLength()) {
    error = formatted("no %s[%d] in the scene (it has %d of that class)", s.type.c_str(), s.index,
                      paths.getLength());
    return false;
  }
  SoNode* node = paths[s.index]->getTail();
  SoField* field = node->getField(SbName(s.field.c_str()));
  if (!field) {
    error = s.type + " has no field \"" + s.field + "\"";
    return false;
  }
  if (!field->set(s.value.c_str())) {
    error = "cannot set " + s.type + "." + s.field + " to \"" + s.value + "\"";
    return false;
  }
  SbString now;
  field->get(now);
  std::printf("set %s[%d].%s = %s\n", s.type.c_str(), s.index, s.field.c_str(), now.getString());
  return true;
}

class StageClock {
public:
  void report(const char* stage) {
    auto now = std::chrono::steady_clock::now();
    std::printf("linfold-render: %s took %.1f ms\n", stage,
                std::chrono::duration<double, std::milli>(now - start).count());
    std::fflush(stdout);
    start = now;
  }
  void restart() { start = std::chrono::steady_clock::now(); }

private:
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// An offscreen GL context with a framebuffer object of the picture's size,
// kept for the whole run. Draws the viewer's whole scene (its camera and
// headlight above the application's scene root).
class OffscreenCanvas {
public:
  ~OffscreenCanvas() { release(); }

  // Display lists and textures of this context go with it; call while the
  // scene still exists.
  void release() {
    if (!context.isValid() || !context.makeCurrent(&surface)) return;
    if (cacheContext) SoContextHandler::destructingContext(cacheContext);
    cacheContext = 0;
    fbo.reset();
    context.doneCurrent();
  }

  bool create(int w, int h, std::string& error) {
    width = w;
    height = h;
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    surface.setFormat(format);
    surface.create();
    context.setFormat(format);
    if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface)) {
      error = "cannot create an OpenGL context";
      return false;
    }
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    fboFormat.setInternalTextureFormat(GL_RGBA8);
    fbo.reset(new QOpenGLFramebufferObject(width, height, fboFormat));
    if (!fbo->isValid()) {
      error = formatted("cannot create a %d x %d framebuffer", width, height);
      fbo.reset();
      context.doneCurrent();
      return false;
    }
    cacheContext = SoGLCacheContextElement::getUniqueCacheContext();
    context.doneCurrent();
    return true;
  }

  SbViewportRegion viewport() const {
    return SbViewportRegion(static_cast<short>(width), static_cast<short>(height));
  }

  // One frame of the scene; the picture read back when asked for.
  bool draw(LinfoldApplication& window, QImage* picture, std::string& error) {
    SoQtExaminerViewer* viewer = window.examinerViewer();
    SoNode* scene =
        viewer && viewer->getSceneManager() ? viewer->getSceneManager()->getSceneGraph() : nullptr;
    if (!scene || !fbo) {
      error = "the main window has no viewer or scene to draw";
      return false;
    }
    if (!context.makeCurrent(&surface) || !fbo->bind()) {
      error = "cannot make the OpenGL context current";
      return false;
    }
    const SbColor& background = viewer->getBackgroundColor();
    glViewport(0, 0, width, height);
    glClearColor(background[0], background[1], background[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    // As the application sets it in its viewer: lines over a surface win.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 1.0f);
    {
      SoGLRenderAction render(viewport());
      render.setCacheContext(cacheContext);
      if (SoGLRenderAction* shown = viewer->getGLRenderAction()) {
        render.setTransparencyType(shown->getTransparencyType());
        render.setSmoothing(shown->isSmoothing());
      }
      render.apply(scene);
    }
    glFinish();
    bool ok = true;
    if (picture) {
      // Blending leaves the framebuffer's alpha below 1 under translucent
      // lines; a window shows the colour channels alone, so read them as such.
      QImage drawn = fbo->toImage();
      drawn.reinterpretAsFormat(QImage::Format_RGB32);
      *picture = drawn.convertToFormat(QImage::Format_RGB888);
      ok = !picture->isNull();
      if (!ok) error = "cannot read the picture back";
    }
    fbo->release();
    context.doneCurrent();
    return ok;
  }

private:
  int width = 0, height = 0;
  QOffscreenSurface surface;
  QOpenGLContext context;
  std::unique_ptr<QOpenGLFramebufferObject> fbo;
  uint32_t cacheContext = 0;
};

bool writePng(const QImage& picture, const std::string& path, std::string& error) {
  QSaveFile file(QString::fromLocal8Bit(path.c_str()));
  if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
    error = "cannot write " + path + ": " + file.errorString().toLocal8Bit().constData();
    return false;
  }
  return true;
}

// The export nodes of the window's scene.
struct Exporters {
  SoLineOutputPdfHQ* pdf = nullptr;
  SoLineOutputTgaHQ* tga = nullptr;
  SoLineOutputSvgHQ* svg = nullptr;
  SoLineOutput* lines = nullptr;
  SoWingedEdgeOutput* mesh = nullptr;
  SoLinePlotterOutput* plotter = nullptr;
  SoStreamlinerHQ* streamliner = nullptr;

  // The node an output is written by; outputs of one node need a draw each.
  SoNode* node(int id) const {
    switch (id) {
      case PDF: return pdf;
      case TGA: return tga;
      case SVG: return svg;
      case LINES_PDF:
      case LINES_TXT: return lines;
      case VRML:
      case IV: return mesh;
      case PLOTTER_SVG:
      case PLOTTER_TXT: return plotter;
      default: return nullptr;
    }
  }

  void arm(int id, const std::string& path) {
    const SbString name(path.c_str());
    switch (id) {
      case PDF: pdf->requestWrite(name); break;
      case TGA: tga->requestWrite(name); break;
      case SVG: svg->requestWrite(name); break;
      case LINES_PDF:
      case LINES_TXT:
        lines->filename = name;
        if (id == LINES_PDF)
          lines->requestPdfWrite();
        else
          lines->requestTextWrite();
        break;
      case VRML:
      case IV:
        mesh->filename = name;
        if (id == VRML)
          mesh->requestVrmlWrite();
        else
          mesh->requestInventorWrite();
        break;
      case PLOTTER_SVG:
      case PLOTTER_TXT:
        plotter->format = id == PLOTTER_SVG ? SoLinePlotterOutput::SVG : SoLinePlotterOutput::TEXT;
        plotter->requestWrite(name);
        break;
      default: break;
    }
  }

  // After the draw that ran the armed node: whether the file was written. A
  // writer that found nothing to draw stays armed; it is disarmed here so a
  // later model does not write under this name.
  bool check(int id, const std::string& path, std::string& error) {
    const char* const nothing = "nothing to draw in the view (no strokes or silhouettes)";
    auto hq = [&](SoLineOutputHQ* node) {
      if (node->getWriteResult() == SoLineOutputHQ::WR_WRITTEN) return true;
      if (node->getWriteResult() == SoLineOutputHQ::WR_NONE) {
        node->requestWrite(SbString());
        error = path + " not written: " + nothing;
      } else {
        error = "cannot write " + path;
      }
      return false;
    };
    switch (id) {
      case PDF: return hq(pdf);
      case TGA: return hq(tga);
      case SVG: return hq(svg);
      case LINES_PDF:
      case LINES_TXT:
      case VRML:
      case IV: {
        const bool written = id == VRML || id == IV ? mesh->written : lines->written;
        const bool failed = id == VRML || id == IV ? mesh->writeFailed() : lines->writeFailed();
        if (written && !failed) return true;
        if (!written) {
          // Not reached by the traversal: disarm.
          if (id == VRML || id == IV)
            mesh->written = true;
          else
            lines->written = true;
          error = path + " not written: the scene did not reach its writer";
        } else {
          error = "cannot write " + path;
        }
        return false;
      }
      case PLOTTER_SVG:
      case PLOTTER_TXT:
        if (plotter->getWriteResult() == SoLinePlotterOutput::WR_WRITTEN) return true;
        if (plotter->getWriteResult() == SoLinePlotterOutput::WR_NONE) {
          plotter->requestWrite(SbString());
          error = path + " not written: " + nothing;
        } else {
          error = "cannot write " + path;
        }
        return false;
      default: return false;
    }
  }
};

// Finds the export nodes; the SVG and plotter writers are placed when asked for.
bool findExporters(SoNode* root, const std::array<bool, OUTPUT_COUNT>& wanted, Exporters& e,
                   std::string& error) {
  e.pdf = findNode<SoLineOutputPdfHQ>(root);
  e.tga = findNode<SoLineOutputTgaHQ>(root);
  e.lines = findNode<SoLineOutput>(root);
  e.mesh = findNode<SoWingedEdgeOutput>(root);
  e.streamliner = findNode<SoStreamlinerHQ>(root);
  if (wanted[SVG]) e.svg = findOrPlaceBesidePdf<SoLineOutputSvgHQ>(root);
  if (wanted[PLOTTER_SVG] || wanted[PLOTTER_TXT]) e.plotter = findOrPlaceBesidePdf<SoLinePlotterOutput>(root);
  for (int id = PDF; id < OUTPUT_COUNT; ++id)
    if (wanted[id] && !e.node(id)) {
      error = std::string("the scene has no writer for ") + kOutputs[id].option;
      return false;
    }
  return true;
}

// ------------------------------------------------------------------ one model

struct Job {
  std::string model;
  std::string label;                         // the model as shown in the summary
  std::array<std::string, OUTPUT_COUNT> files;  // empty: not requested
};

struct JobResult {
  bool ok = false;
  int faces = -1;
  int strokes = -1;
  double seconds = 0.0;
  std::vector<std::string> written;  // names of the outputs written
  std::string error;                 // the first failure
};

class Renderer {
public:
  Renderer(LinfoldApplication& w, OffscreenCanvas& c, Exporters& e, const Options& o, bool timings)
      : window(w), canvas(c), exporters(e), opt(o), reportTimings(timings) {}

  JobResult run(const Job& job) {
    JobResult result;
    const auto start = std::chrono::steady_clock::now();
    process(job, result);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.ok = result.error.empty();
    return result;
  }

private:
  void note(JobResult& result, const std::string& error) {
    fail(error);
    if (result.error.empty()) result.error = error;
  }

  void stage(const char* name) {
    if (reportTimings) clock.report(name);
  }

  void process(const Job& job, JobResult& result) {
    clock.restart();
    // The same path as a model named on the application's command line.
    if (!window.openModel(QString::fromLocal8Bit(job.model.c_str()))) {
      note(result, "cannot load " + job.model);
      return;
    }
    stage("load");

    std::string error;
    for (const FieldSetting& s : opt.settings)
      if (!applySetting(window.sceneRoot(), s, error)) {
        note(result, error);
        return;
      }

    clock.restart();
    window.frameScene(canvas.viewport());
    QImage picture;
    if (!canvas.draw(window, &picture, error)) {
      note(result, error);
      return;
    }
    stage("render");
    counts(result);

    if (!job.files[PNG].empty()) {
      if (writePng(picture, job.files[PNG], error))
        result.written.push_back(kOutputs[PNG].name);
      else
        note(result, error);
    }

    // Exports in as few draws as possible: one per output of the same node.
    std::vector<int> pending;
    for (int id = PDF; id < OUTPUT_COUNT; ++id)
      if (!job.files[id].empty()) pending.push_back(id);
    while (!pending.empty()) {
      std::set<SoNode*> used;
      std::vector<int> armed, later;
      for (int id : pending) {
        if (used.insert(exporters.node(id)).second) {
          exporters.arm(id, job.files[id]);
          armed.push_back(id);
        } else {
          later.push_back(id);
        }
      }
      const bool drawn = canvas.draw(window, nullptr, error);
      for (int id : armed) {
        std::string why;
        if (drawn && exporters.check(id, job.files[id], why))
          result.written.push_back(kOutputs[id].name);
        else
          note(result, drawn ? why : error);
        if (!drawn) exporters.check(id, job.files[id], why);  // disarms
      }
      pending.swap(later);
    }
    if (std::any_of(job.files.begin(), job.files.end(), [](const std::string& f) { return !f.empty(); }))
      stage("write");
  }

  void counts(JobResult& result) {
    window.updateStatistics();
    if (QLabel* faces = window.findChild<QLabel*>("Faces")) {
      bool ok = false;
      const int n = faces->text().toInt(&ok);
      if (ok) result.faces = n;
    }
    if (exporters.streamliner)
      result.strokes = exporters.streamliner->doComputation.getValue()
                           ? exporters.streamliner->strokes().strokeCount
                           : 0;
  }

  LinfoldApplication& window;
  OffscreenCanvas& canvas;
  Exporters& exporters;
  const Options& opt;
  bool reportTimings;
  StageClock clock;
};

// ------------------------------------------------------------------ batch

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

// Jobs of a batch run; false (after a message) when the arguments name no model.
bool batchJobs(const Options& opt, std::vector<Job>& jobs) {
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

// On a terminal: a progress bar, and the console output of each model kept
// back (shown only when the model fails). Elsewhere: a line per model and all
// output as it comes.
class BatchConsole {
public:
  explicit BatchConsole(int total) : total(total), terminal(isatty(STDOUT_FILENO) == 1) {}
  ~BatchConsole() { stopCapture(); }

  void begin(int index, const std::string& label) {
    std::fflush(stdout);
    if (!terminal) {
      std::printf("linfold-render: [%d/%d] %s\n", index + 1, total, label.c_str());
      std::fflush(stdout);
      return;
    }
    bar(index, label);
    startCapture();
  }

  void end(bool ok) {
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

  void finish() {
    if (!terminal) return;
    bar(total, "");
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

private:
  void bar(int done, const std::string& label) {
    const int width = 30;
    const int filled = total > 0 ? done * width / total : width;
    std::string text = "\r\033[K[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " +
                       std::to_string(done) + "/" + std::to_string(total) + " " + label;
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
  void clearBar() { std::fputs("\r\033[K", stdout); }

  void startCapture() {
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

  std::string stopCapture() {
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

  int total;
  bool terminal;
  FILE* capture = nullptr;
  int saved = -1;
};

void printSummary(const std::vector<Job>& jobs, const std::vector<JobResult>& results) {
  size_t nameWidth = 5;
  for (const Job& job : jobs) nameWidth = std::max(nameWidth, job.label.size());
  nameWidth = std::min<size_t>(nameWidth, 40);
  std::printf("\n%-*s %9s %8s %9s  %s\n", int(nameWidth), "model", "faces", "strokes", "time", "outputs");
  int failed = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    const JobResult& r = results[i];
    std::string outputs;
    for (const std::string& name : r.written) outputs += (outputs.empty() ? "" : " ") + name;
    if (!r.ok) {
      ++failed;
      outputs += std::string(outputs.empty() ? "" : "; ") + "FAILED: " + r.error;
    }
    const std::string faces = r.faces >= 0 ? std::to_string(r.faces) : "-";
    const std::string strokes = r.strokes >= 0 ? std::to_string(r.strokes) : "-";
    std::printf("%-*s %9s %8s %7.2f s  %s\n", int(nameWidth), jobs[i].label.c_str(), faces.c_str(),
                strokes.c_str(), r.seconds, outputs.c_str());
  }
  if (failed)
    std::printf("linfold-render: %d of %d models failed\n", failed, int(jobs.size()));
  else
    std::printf("linfold-render: all %d models done\n", int(jobs.size()));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  bool help = false;
  if (int status = parseArguments(argc, argv, opt, help)) return status;
  if (help) {
    std::printf("%s", usage().c_str());
    return 0;
  }

  std::vector<Job> jobs;
  if (opt.batch()) {
    std::error_code ec;
    fs::create_directories(opt.outDir, ec);
    if (!fs::is_directory(opt.outDir, ec)) {
      fail("cannot create the output folder " + opt.outDir);
      return 1;
    }
    if (!batchJobs(opt, jobs)) return 1;
  } else {
    Job job;
    job.model = opt.models[0];
    job.label = job.model;
    job.files = opt.files;
    jobs.push_back(job);
  }

  StageClock clock;
  // Load errors are printed instead of shown in a message box nobody can close.
  qputenv("LINFOLD_NO_DIALOGS", "1");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  // Qt sets the locale from the environment; Inventor values use a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  std::unique_ptr<LinfoldApplication> window(new LinfoldApplication());

  std::array<bool, OUTPUT_COUNT> wanted = opt.wanted;
  for (int id = 0; id < OUTPUT_COUNT; ++id) wanted[id] = wanted[id] || !opt.files[id].empty();
  Exporters exporters;
  std::string error;
  if (!findExporters(window->sceneRoot(), wanted, exporters, error)) {
    fail(error);
    return 1;
  }
  // The tool's start-up settings (--set may change them): hatching on, with
  // cross-hatching in the darkest parts; the vector line export as the
  // window's "Write PDF File" command writes it.
  if (exporters.streamliner) {
    exporters.streamliner->doComputation = TRUE;
    exporters.streamliner->crossHatching = TRUE;
  }
  if (exporters.lines) {
    exporters.lines->steganoMode = SoLineOutput::NO_STEGANO;
    exporters.lines->lineWidth = 0.8f;
  }

  OffscreenCanvas canvas;
  if (!canvas.create(opt.width, opt.height, error)) {
    fail(error);
    return 1;
  }
  clock.report("start-up");

  Renderer renderer(*window, canvas, exporters, opt, !opt.batch());
  int status = 0;
  if (!opt.batch()) {
    status = renderer.run(jobs[0]).ok ? 0 : 1;
  } else {
    std::vector<JobResult> results;
    BatchConsole console(static_cast<int>(jobs.size()));
    for (size_t i = 0; i < jobs.size(); ++i) {
      console.begin(static_cast<int>(i), jobs[i].label);
      JobResult result;
      // Names made for this model must not replace the model itself.
      for (int id = 0; id < OUTPUT_COUNT && result.error.empty(); ++id)
        if (!jobs[i].files[id].empty() && sameFile(jobs[i].files[id], jobs[i].model))
          result.error = "its " + std::string(kOutputs[id].name) + " output " + jobs[i].files[id] +
                         " would replace the model";
      if (result.error.empty())
        result = renderer.run(jobs[i]);
      else
        fail(result.error);
      console.end(result.ok);
      results.push_back(result);
    }
    console.finish();
    printSummary(jobs, results);
    status = std::all_of(results.begin(), results.end(), [](const JobResult& r) { return r.ok; }) ? 0 : 1;
  }
  canvas.release();
  window.reset();
  return status;
}
