#ifndef LINFOLD_RENDEROPTIONS_H
#define LINFOLD_RENDEROPTIONS_H

#include <array>
#include <string>
#include <vector>

#include "FieldSetting.h"

// The command line of linfold-render: the outputs it writes, its options and
// their parsing, the --help text.
namespace render {

enum OutputId { PNG, PDF, TGA, SVG, LINES_PDF, LINES_TXT, VRML, IV, PLOTTER_SVG, PLOTTER_TXT, OUTPUT_COUNT };

struct OutputKind {
  const char* name;    // in --formats
  const char* option;  // --name
  const char* suffix;  // appended to the model's base name in batch mode
  const char* help;
};

extern const OutputKind kOutputs[OUTPUT_COUNT];

// Where the camera looks from. Angles in degrees, about the model's centre:
// the azimuth turns the camera about the up axis (90: from the right), the
// elevation raises it above the horizon (90: from above), the roll turns the
// picture counter-clockwise about the line of sight. At 0,0,0 the camera
// looks along -z with y up (--up y, as the window starts), along +y with z up
// (--up z) or along -z with x up (--up x); x points right for y and z up.
struct View {
  float azimuth = 0.0f;
  float elevation = 0.0f;
  float roll = 0.0f;
  char up = 'y';             // 'x', 'y' or 'z'
  bool perspective = false;  // a 45-degree perspective camera instead of an orthographic one
  float fill = 0.9f;         // share of the picture's width or height the model fills
};

struct Options {
  std::vector<std::string> models;  // files, or folders in batch mode
  std::string outDir;               // batch mode when not empty
  int width = 800;
  int height = 600;
  std::array<std::string, OUTPUT_COUNT> files;  // single mode: the path of each requested output
  std::array<bool, OUTPUT_COUNT> wanted{};      // batch mode: requested outputs
  std::vector<FieldSetting> settings;
  int fieldCleanUp = 1;  // SoGenerateFlowFieldHQ::AUTO
  View view;
  bool pngView = false;     // the PNG shows the window's view, not the ink
  double maxSeconds = 0.0;  // --max-seconds: time allowed per model; 0 for no limit
  bool batch() const { return !outDir.empty(); }
};

// Returns 0 when the options are good, else the exit status (2) after a
// message; --help is reported through `help`.
int parseArguments(int argc, char** argv, Options& opt, bool& help);

// The --help text.
std::string usage();

// Prints "linfold-render: <message>" at once.
void fail(const std::string& message);

}  // namespace render

#endif
