#include "RenderOptions.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstdlib>

#include "flowfield/SoGenerateFlowFieldHQ.h"

namespace render {

const OutputKind kOutputs[OUTPUT_COUNT] = {
    {"png", "--png", ".png", "the drawing: the ink of the TGA snapshot as an anti-aliased PNG"},
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

namespace {

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

}  // namespace

std::string usage() {
  std::string text =
      "usage: linfold-render MODEL [--size WxH] [VIEW OPTION]... [OUTPUT FILE]...\n"
      "                      [--set TYPE[N].FIELD=VALUE]...\n"
      "       linfold-render --out-dir DIR [--formats LIST | OUTPUT...] [--size WxH] [VIEW OPTION]...\n"
      "                      [--set ...] MODEL|FOLDER...\n"
      "  Draws MODEL with the Linfold window's settings (hatching switched on) and\n"
      "  writes the drawing and the exports of that view. Every output shows the same\n"
      "  view: the picture's size, the camera of --view/--up/--perspective, the model\n"
      "  framed to --fill it.\n"
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
      "  --size WxH          picture size in pixels, each from 1 to 16384 (default 800x600).\n"
      "                      Line widths are points of the PDF page (A4), so a larger\n"
      "                      size draws the same drawing at a finer resolution\n"
      "  --field MODE        clean-up of the hatching's direction field: none, auto\n"
      "                      (default auto)\n"
      "  --view AZIMUTH,ELEVATION[,ROLL]\n"
      "                      camera angles in degrees about the model's centre: the\n"
      "                      azimuth turns it about the up axis (90: from the right),\n"
      "                      the elevation raises it (90: from above), the roll turns\n"
      "                      the picture counter-clockwise (default 0,0,0: from the front)\n"
      "  --up x|y|z          the model's axis that points up in the picture (default y;\n"
      "                      z for models made with z up, seen then from -y)\n"
      "  --perspective       a perspective camera (45 degrees) instead of an orthographic one\n"
      "  --fill F            share of the picture's width or height the model fills,\n"
      "                      above 0 and at most 1 (default 0.9)\n"
      "  --png-view          the PNG shows the window's view (plain GL lines, flow-field\n"
      "                      marks, shading) instead of the drawing\n"
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
      "  --max-seconds S     time allowed per model (start-up, drawing and writing);\n"
      "                      a model that takes longer is stopped, its unfinished\n"
      "                      files removed, and reported as failed (in batch mode\n"
      "                      the run goes on with the next model)\n"
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
      "  --set 'SoLineDensifierHQ.parserExpression=\"light\"'\n"
      "                                                stroke density formula: solid in the\n"
      "                                                shade, dots where the light falls\n"
      "                                                (light is 1 - |n.l|: 0 facing the\n"
      "                                                light, 1 turned away; other variables:\n"
      "                                                depth rim curvature iso taper)\n"
      "  --set SoGenerateWingedEdge.visualizationMode=2   shade the faces (1 lines,\n"
      "                                                2 faces, 3 coloured faces, 4 nothing)\n"
      "  --set SoModifyWingedEdge.subdivisionSteps=2   subdivide the mesh twice\n"
      "  --set SoLinePurifier[1].active=FALSE          keep short segments (the second\n"
      "                                                purifier; [N] counts from 0)\n"
      "\n"
      "Outputs are written whole or not at all (a temporary file renamed into place).\n"
      "An output that names a model of the run, a folder, a device, a pipe, a\n"
      "symbolic link or a read-only file is refused. Ctrl+C stops the run and\n"
      "removes a file being written.\n"
      "\n"
      "Exit status: 0 when everything asked for was written, 1 when a model, a setting\n"
      "or an output failed (the reason is printed), 2 for malformed arguments, 130\n"
      "when interrupted.\n";
  return text;
}

void fail(const std::string& message) {
  std::printf("linfold-render: %s\n", message.c_str());
  std::fflush(stdout);
}

namespace {

constexpr int kMaxSize = 16384;

bool parseInt(const std::string& s, int& value) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  value = std::atoi(s.c_str());
  return true;
}

// A number of seconds: digits with an optional fraction, above 0 and at most
// a million (about eleven days).
bool parseSeconds(const std::string& s, double& seconds) {
  if (s.empty() || s.size() > 16) return false;
  int dots = 0;
  for (char c : s) {
    if (c == '.')
      ++dots;
    else if (c < '0' || c > '9')
      return false;
  }
  if (dots > 1 || s == ".") return false;
  seconds = std::strtod(s.c_str(), nullptr);
  return seconds > 0.0 && seconds <= 1e6;
}

bool parseSize(const std::string& s, int& w, int& h) {
  size_t x = s.find('x');
  if (x == std::string::npos) return false;
  return parseInt(s.substr(0, x), w) && parseInt(s.substr(x + 1), h) && w >= 1 && h >= 1 && w <= kMaxSize &&
         h <= kMaxSize;
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

// Options that always take a value.
bool isValueOption(const std::string& arg) {
  return arg == "--size" || arg == "--set" || arg == "--out-dir" || arg == "--formats" || arg == "--view" ||
         arg == "--up" || arg == "--fill" || arg == "--field" || arg == "--max-seconds";
}

bool takesValue(const std::string& arg, bool batch) {
  return isValueOption(arg) || (!batch && outputByOption(arg) >= 0);
}

// A finite decimal number, all of the text.
bool parseFloat(const std::string& s, float& value) {
  if (s.empty() || s.find_first_of(" \t\n") != std::string::npos) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v) || std::fabs(v) > 1e6) return false;
  value = static_cast<float>(v);
  return true;
}

// AZIMUTH,ELEVATION[,ROLL]
bool parseView(const std::string& s, View& view) {
  std::vector<float> angles;
  size_t start = 0;
  for (;;) {
    const size_t comma = s.find(',', start);
    float a = 0.0f;
    if (!parseFloat(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start), a)) return false;
    angles.push_back(a);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (angles.size() < 2 || angles.size() > 3) return false;
  view.azimuth = angles[0];
  view.elevation = angles[1];
  view.roll = angles.size() > 2 ? angles[2] : 0.0f;
  return true;
}

}  // namespace

int parseArguments(int argc, char** argv, Options& opt, bool& help) {
  help = false;
  // Whether the outputs take a file name depends on --out-dir, wherever it stands.
  bool batch = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--out-dir") batch = true;
    if (isValueOption(arg)) ++i;
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
    } else if (arg == "--max-seconds") {
      if (!parseSeconds(value, opt.maxSeconds)) {
        fail("bad time \"" + value + "\" for --max-seconds: expected seconds above 0, at most 1000000");
        return 2;
      }
    } else if (arg == "--view") {
      if (!parseView(value, opt.view)) {
        fail("bad view \"" + value + "\": expected AZIMUTH,ELEVATION[,ROLL] in degrees");
        return 2;
      }
    } else if (arg == "--up") {
      if (value != "x" && value != "y" && value != "z") {
        fail("bad up axis \"" + value + "\": expected x, y or z");
        return 2;
      }
      opt.view.up = value[0];
    } else if (arg == "--fill") {
      float fill = 0.0f;
      if (!parseFloat(value, fill) || !(fill > 0.0f) || fill > 1.0f) {
        fail("bad fill \"" + value + "\": expected a number above 0 and at most 1");
        return 2;
      }
      opt.view.fill = fill;
    } else if (arg == "--perspective") {
      opt.view.perspective = true;
    } else if (arg == "--png-view") {
      opt.pngView = true;
    } else if (output >= 0) {
      if (batch) {
        opt.wanted[output] = true;
      } else if (value.empty()) {
        fail(arg + " needs a file name");
        return 2;
      } else {
        opt.files[output] = value;
      }
    } else if (arg == "--field") {
      opt.fieldCleanUp = SoGenerateFlowFieldHQ::cleanUpByName(value.c_str());
      if (opt.fieldCleanUp < 0) {
        fail("unknown --field \"" + value + "\" (known: " + SoGenerateFlowFieldHQ::cleanUpNames() + ")");
        return 2;
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
          fail("unknown format \"" + name +
               "\" in --formats (known: png,pdf,tga,svg,lines-pdf,lines-txt,"
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
      fail("more than one model given (" + opt.models[0] + " and " + arg + "); use --out-dir DIR for many");
      return 2;
    }
  }
  if (formatsGiven && !batch) {
    fail("--formats needs --out-dir (outside batch mode each output names its file)");
    return 2;
  }
  if (opt.models.empty()) {
    std::printf(
        "usage: linfold-render MODEL [--size WxH] [OUTPUT FILE]... [--set TYPE[N].FIELD=VALUE]...\n"
        "       linfold-render --out-dir DIR [--formats LIST | OUTPUT...] MODEL|FOLDER...\n"
        "  linfold-render --help lists every option.\n");
    return 2;
  }
  if (batch && std::none_of(opt.wanted.begin(), opt.wanted.end(), [](bool b) { return b; })) opt.wanted[PNG] = true;
  return 0;
}

}  // namespace render
