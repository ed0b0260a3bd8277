#ifndef LINFOLD_LINFOLDSETTINGS_H
#define LINFOLD_LINFOLDSETTINGS_H

// The value every control of the main window starts with, in one place. The
// window shows these values in its menus and control windows and applies them
// through its slots; LinfoldControls::applyStartup applies the same values to
// a scene without a window (the render tool), so both start from the same
// node fields. Texts are what the line edits show; indices are combo entries
// and radio-button ids.
struct LinfoldSettings {
  // Check marks of the toggle items ("&Model Settings", "&Appearance",
  // "&Visibility", "&Artifacts"), in menu order.
  bool buildWingedEdge = true;
  bool connectObjects = false;
  bool darkBackground = false;
  bool objectsLit = false;
  bool antialiasing = true;
  bool fillLineCracks = true;
  bool hideBackfaces = true;
  bool hiddenLineRemover = true;
  bool cameraStatic = false;
  bool meshZigZagRepair = true;
  bool triangleChunkRepair = true;
  bool lineZigZagRepair = true;
  bool shortEdgesRepair = true;
  bool sharpAnglesRepair = true;

  // "Subdivision Settings".
  int dividingSteps = 0;
  int dividingMode = 0;  // "Loop"
  int adaptiveSubdivisionSteps = 0;
  int adaptiveSubdivisionMode = 0;  // "Loop"
  int subdivisionSteps = 0;
  int subdivisionMode = 0;  // "Loop"
  int smoothingSteps = 0;
  const char* smoothingSpeed = "1.0";
  bool sharpAngles = false;
  int sharpAngle = 115;
  bool largeFaces = false;

  int curvatureMode = 0;      // "Heuristic Curvature"
  int visualizationMode = 5;  // "Nothing"

  // "Line Settings".
  bool glLines = true;
  int lineMode = 3;  // "Thickness & Density"
  bool rebalance = true;
  const char* lineWidth = "2";
  const char* maxLineWidth = "32";
  const char* minDistance = "2";
  const char* maxDistance = "100";
  bool silhouettes = true;
  const char* silhouetteThickness = "1";
  int silhouetteSharpAngle = 30;
  bool streamlines = false;
  bool crossHatching = false;
  const char* strokeThickness = "( light - rim )*iso*(taper*.5 + .5 )";
  const char* strokeDensity = "1";

  // "Streamliner": a limit whose box is off starts negative (off).
  const char* separationDistance = "0.01";
  const char* probeDistance = "0.012";
  bool sharpEdgeOn = true;
  const char* sharpEdge = "115";
  bool maxBendOn = false;
  const char* maxBend = "60";
  bool minLengthOn = true;
  const char* minLength = ".02";
  bool maxLengthOn = false;
  const char* maxLength = ".2";
  const char* stepSize = "0.025";
  int taper = 2;  // "Planar Distance"

  // "FlowField".
  bool showFlowField = true;
  int selectMode = 0;  // "All"
  const char* lockRadius = ".04";
  int tolerance = 500;  // of the slider's 1000
  const char* flowCost = "0.0";
  const char* flowRotation = "0";
};

#endif
