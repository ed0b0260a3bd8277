// linfold-render: draws a model the way the application shows it, without a
// window, and writes the picture as a PNG.
//
// The application's own main window is constructed (never shown), so the scene,
// its node fields and the start-up settings of every control are exactly the
// program's. One frame is drawn offscreen into a framebuffer object: Coin's
// SoOffscreenRenderer cannot create its GLX context under Xvfb, a Qt offscreen
// surface with its own context can.

#include <QApplication>
#include <QByteArray>
#include <QImage>
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
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSeparator.h>

#include <GL/gl.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "LinfoldApplication.h"

namespace {

const char* const kUsage =
    "usage: linfold-render MODEL [--size WxH] [--png FILE] [--set TYPE[N].FIELD=VALUE]...\n"
    "  Draws MODEL as the Linfold window shows it and writes the picture as a PNG.\n"
    "  --size WxH    picture size in pixels (default 800x600)\n"
    "  --png FILE    write the picture to FILE (without it nothing is written)\n"
    "  --set TYPE.FIELD=VALUE, --set TYPE[N].FIELD=VALUE\n"
    "                set a field of the first (or N-th, from 0, in traversal order)\n"
    "                scene node of exactly class TYPE before drawing; VALUE is in\n"
    "                Inventor file syntax. Repeatable; applied in the given order.\n";

constexpr int kMaxSize = 16384;

struct FieldSetting {
  std::string text;  // as given, for messages
  std::string type;
  int index = 0;
  std::string field;
  std::string value;
};

struct Options {
  std::string model;
  int width = 800;
  int height = 600;
  std::string png;
  std::vector<FieldSetting> settings;
};

void fail(const char* format, const std::string& a = std::string(), const std::string& b = std::string(),
          const std::string& c = std::string()) {
  std::printf("linfold-render: ");
  std::printf(format, a.c_str(), b.c_str(), c.c_str());
  std::printf("\n");
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

// Returns 0 when the options are good, else the exit status (2; 0 for --help
// is reported through `help`).
int parseArguments(int argc, char** argv, Options& opt, bool& help) {
  help = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto next = [&](std::string& value) {
      if (i + 1 >= argc) {
        fail("%s needs a value", arg);
        return false;
      }
      value = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      help = true;
      return 0;
    } else if (arg == "--size") {
      std::string value;
      if (!next(value)) return 2;
      if (!parseSize(value, opt.width, opt.height)) {
        fail("bad size \"%s\": expected WxH, each from 1 to 16384", value);
        return 2;
      }
    } else if (arg == "--png") {
      if (!next(opt.png)) return 2;
      if (opt.png.empty()) {
        fail("--png needs a file name");
        return 2;
      }
    } else if (arg == "--set") {
      std::string value;
      if (!next(value)) return 2;
      FieldSetting setting;
      if (!parseSetting(value, setting)) {
        fail("bad setting \"%s\": expected TYPE.FIELD=VALUE or TYPE[N].FIELD=VALUE", value);
        return 2;
      }
      opt.settings.push_back(setting);
    } else if (arg.size() > 1 && arg[0] == '-') {
      fail("unknown option %s", arg);
      return 2;
    } else if (opt.model.empty()) {
      opt.model = arg;
    } else {
      fail("more than one model given (%s and %s)", opt.model, arg);
      return 2;
    }
  }
  if (opt.model.empty()) {
    std::printf("%s", kUsage);
    return 2;
  }
  return 0;
}

// Accepts the class name with or without Coin's "So" prefix.
SoType findNodeType(const std::string& name) {
  SoType type = SoType::fromName(SbName(name.c_str()));
  if (type.isBad() && name.compare(0, 2, "So") == 0) type = SoType::fromName(SbName(name.c_str() + 2));
  if (type.isBad()) type = SoType::fromName(SbName(("So" + name).c_str()));
  return type;
}

bool applySetting(SoNode* root, const FieldSetting& s) {
  if (!root) {
    fail("the main window has no scene");
    return false;
  }
  SoType type = findNodeType(s.type);
  if (type.isBad()) {
    fail("unknown class \"%s\" in \"%s\"", s.type, s.text);
    return false;
  }
  if (!type.isDerivedFrom(SoNode::getClassTypeId())) {
    fail("\"%s\" is not a node class (in \"%s\")", s.type, s.text);
    return false;
  }
  SoSearchAction search;
  search.setType(type, FALSE);
  search.setInterest(SoSearchAction::ALL);
  search.setSearchingAll(TRUE);
  search.apply(root);
  const SoPathList& paths = search.getPaths();
  if (s.index >= paths.getLength()) {
    fail("no %s[%s] in the scene (it has %s of that class)", s.type, std::to_string(s.index),
         std::to_string(paths.getLength()));
    return false;
  }
  SoNode* node = paths[s.index]->getTail();
  SoField* field = node->getField(SbName(s.field.c_str()));
  if (!field) {
    fail("%s has no field \"%s\"", s.type, s.field);
    return false;
  }
  if (!field->set(s.value.c_str())) {
    fail("cannot set %s.%s to \"%s\"", s.type, s.field, s.value);
    return false;
  }
  SbString now;
  field->get(now);
  std::printf("set %s[%d].%s = %s\n", s.type.c_str(), s.index, s.field.c_str(),
              now.getString());
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

// Draws the viewer's whole scene (its camera and headlight above the
// application's scene root) into a framebuffer object of the given size.
bool renderScene(LinfoldApplication& window, int width, int height, QImage& picture) {
  SoQtExaminerViewer* viewer = window.examinerViewer();
  const SbViewportRegion viewport(static_cast<short>(width), static_cast<short>(height));
  SoNode* scene = viewer && viewer->getSceneManager() ? viewer->getSceneManager()->getSceneGraph() : nullptr;
  if (!scene || !window.frameScene(viewport)) {
    fail("the main window has no viewer or scene to draw");
    return false;
  }

  QSurfaceFormat format;
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(8);
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  QOffscreenSurface surface;
  surface.setFormat(format);
  surface.create();
  QOpenGLContext context;
  context.setFormat(format);
  if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface)) {
    fail("cannot create an OpenGL context");
    return false;
  }
  bool ok = false;
  {
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    fboFormat.setInternalTextureFormat(GL_RGBA8);
    QOpenGLFramebufferObject fbo(width, height, fboFormat);
    if (!fbo.isValid() || !fbo.bind()) {
      fail("cannot create a %s x %s framebuffer", std::to_string(width), std::to_string(height));
    } else {
      const SbColor& background = viewer->getBackgroundColor();
      glViewport(0, 0, width, height);
      glClearColor(background[0], background[1], background[2], 1.0f);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
      glEnable(GL_DEPTH_TEST);
      // As the application sets it in its viewer: lines over a surface win.
      glEnable(GL_POLYGON_OFFSET_FILL);
      glPolygonOffset(1.0f, 1.0f);

      const uint32_t cacheContext = SoGLCacheContextElement::getUniqueCacheContext();
      {
        SoGLRenderAction render(viewport);
        render.setCacheContext(cacheContext);
        if (SoGLRenderAction* shown = viewer->getGLRenderAction()) {
          render.setTransparencyType(shown->getTransparencyType());
          render.setSmoothing(shown->isSmoothing());
        }
        render.apply(scene);
      }
      glFinish();
      picture = fbo.toImage().convertToFormat(QImage::Format_RGB888);
      fbo.release();
      // Display lists and textures of this context go with it.
      SoContextHandler::destructingContext(cacheContext);
      ok = !picture.isNull();
      if (!ok) fail("cannot read the picture back");
    }
  }
  context.doneCurrent();
  return ok;
}

bool writePng(const QImage& picture, const std::string& path) {
  QSaveFile file(QString::fromLocal8Bit(path.c_str()));
  if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
    fail("cannot write %s: %s", path, file.errorString().toLocal8Bit().constData());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  bool help = false;
  if (int status = parseArguments(argc, argv, opt, help)) return status;
  if (help) {
    std::printf("%s", kUsage);
    return 0;
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
  clock.report("start-up");

  // The same path as a model named on the application's command line.
  if (!window->openModel(QString::fromLocal8Bit(opt.model.c_str()))) {
    fail("cannot load %s", opt.model);
    return 1;
  }
  clock.report("load");

  for (const FieldSetting& s : opt.settings)
    if (!applySetting(window->sceneRoot(), s)) return 1;

  clock.restart();
  QImage picture;
  if (!renderScene(*window, opt.width, opt.height, picture)) return 1;
  clock.report("render");

  if (!opt.png.empty()) {
    if (!writePng(picture, opt.png)) return 1;
    clock.report("write");
  }
  window.reset();
  return 0;
}
