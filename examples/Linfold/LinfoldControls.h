#ifndef LINFOLD_LINFOLDCONTROLS_H
#define LINFOLD_LINFOLDCONTROLS_H

#include <string>

#include "LinfoldSettings.h"

class LinfoldScene;

// What each control of the main window does to the scene, without Qt: the
// window's slots read their widget and call one of these, then draw. Texts
// are what a line edit holds, read as Qt's C-locale number conversion reads
// them (a text that is no finite number is 0); indices are combo entries and
// radio-button ids, as the window numbers them. Nothing here draws.
class LinfoldControls {
 public:
  explicit LinfoldControls(LinfoldScene& scene) : scene(scene) {}

  // Applies every start-up value, in the order the window builds its control
  // windows and then its menus. The window hands only some of them to its
  // slots (a combo box, a radio button or a spin box at 0 emits nothing when
  // set up); the others equal the nodes' own defaults, so both leave the same
  // node fields.
  void applyStartup(const LinfoldSettings& settings = LinfoldSettings());

  // Menu toggles ("Generate Winged Edge" is LinfoldScene::setBuildWingedEdge).
  void setConnectObjects(bool on);
  // Black background with white lines, or the reverse.
  void setDarkBackground(bool on);
  void setAntialiasing(bool on);
  void setFillLineCracks(bool on);
  void setHiddenLineRemover(bool on);
  void setCameraStatic(bool on);
  void setMeshZigZagRepair(bool on);
  void setTriangleChunkRepair(bool on);
  void setLineZigZagRepair(bool on);
  void setShortEdgesRepair(bool on);
  void setSharpAnglesRepair(bool on);
  // Slots without a control.
  void setLineStyle(bool lines);
  void setLineStripMode(bool on);

  // "Subdivision Settings".
  void setAdaptiveSubdivisionSteps(int steps);
  void setAdaptiveSubdivisionMode(int entry);
  void setSubdivisionSteps(int steps);
  void setSubdivisionMode(int entry);
  void setDividingSteps(int steps);
  void setDividingMode(int entry);
  void setSmoothingSteps(int steps);
  void setSmoothingSpeed(const std::string& text);
  void setSharpAngle(int degrees);
  void setSharpAngles(bool on);
  void setLargeFaces(bool on);

  void setCurvatureMode(int id);
  void setVisualizationMode(int id);

  // "Line Settings".
  void setGlLines(bool on);
  void setLineMode(int entry);
  void setRebalance(bool on);
  void setLineWidth(const std::string& text);
  void setMaxLineWidth(const std::string& text);
  void setMinDistance(const std::string& text);
  void setMaxDistance(const std::string& text);
  void setSilhouettes(bool on);
  void setSilhouetteSharpAngle(int degrees);
  void setSilhouetteThickness(const std::string& text);
  void setStreamlines(bool on);
  // A second family of strokes across the first where one family cannot give
  // the tone; takes effect at once, without retrace().
  void setCrossHatching(bool on);
  // Formulas in Latin-1.
  void setStrokeThickness(const std::string& formula);
  void setStrokeDensity(const std::string& formula);

  // "Streamliner": settings take effect with retrace().
  void setSeparationDistance(const std::string& text);
  void setProbeDistance(const std::string& text);
  void setSharpEdge(const std::string& text);
  void setSharpEdgeOn(bool on);
  void setMaxBend(const std::string& text);
  void setMaxBendOn(bool on);
  void setMinLength(const std::string& text);
  void setMinLengthOn(bool on);
  void setMaxLength(const std::string& text);
  void setMaxLengthOn(bool on);
  void setStepSize(const std::string& text);
  void setTaper(int entry);
  void retrace();

  // "FlowField": the editing commands work on the field held by the
  // flow-field node, with the half-edge model and the curvature of their
  // nodes; each does nothing when the field was not built for the current
  // model. An edit that turns directions renews the field's stamp, so the
  // display and the strokes follow on the next draw.
  void setFlowFieldShown(bool on);
  // tolerance: the slider's share of its range, 0 ... 1.
  void selectFlow(int mode, const std::string& radiusText, float tolerance);
  void applyFlowTolerance(float tolerance);
  void resetFlow();
  void optimizeFlow(const std::string& costText);
  void relaxFlow();
  void unifyFlow();
  void rotateFlow(const std::string& degreesText);
  // "Auto": SbFlowFieldHQ::cleanUp on the node's field.
  void autoFlow();
  // What the flow-field node runs after every rebuild of its field
  // (SoGenerateFlowFieldHQ::CleanUp; the window keeps NONE).
  void setFieldCleanUp(int mode);

 private:
  LinfoldScene& scene;
};

#endif
