#include "LinfoldControls.h"

#include <Inventor/nodes/SoBaseColor.h>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>

#include "LinfoldScene.h"
#include "curvature/SoGenerateCurvatureHQ.h"
#include "flowfield/SoFlowFieldHQ.h"
#include "flowfield/SoGenerateFlowFieldHQ.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoLineHiddenLineRemover.h"
#include "lines/SoLinePurifier.h"
#include "lines/SoLineThickener.h"
#include "lines/SoSilhouetteSwitches.h"
#include "mesh/SoGenerateHeModelHQ.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoModifyWingedEdge.h"
#include "mesh/SoWingedEdge.h"
#include "strokes/SoStreamlinerHQ.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"
#include "styling/SoLineThickenerHQ.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A line edit's text as Qt's C-locale conversion reads it: spaces around a
// decimal number with optional sign, fraction and exponent, no group
// separators, hexadecimal or named values; the double rounded to a float.
// Text that is no such number, a value beyond the float range, one that
// underflows to 0 and one that is not finite all give 0.
float textToFloat(const std::string& text) {
  const char* const spaces = " \t\n\v\f\r";
  const std::string::size_type first = text.find_first_not_of(spaces);
  if (first == std::string::npos) return 0.0f;
  const std::string s = text.substr(first, text.find_last_not_of(spaces) + 1 - first);
  std::string::size_type i = 0;
  const bool negative = s[0] == '-';
  if (s[0] == '+' || s[0] == '-') ++i;
  const std::string::size_type start = i;
  int digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.')
    for (++i; i < s.size() && isDigit(s[i]); ++i) ++digits;
  if (digits == 0) return 0.0f;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    int exponent = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++exponent;
    if (exponent == 0) return 0.0f;
  }
  if (i != s.size()) return 0.0f;
  double value = 0.0;
  const std::from_chars_result read = std::from_chars(s.data() + start, s.data() + s.size(), value);
  if (read.ec != std::errc() || !std::isfinite(value) || value > FLT_MAX) return 0.0f;
  const float f = static_cast<float>(negative ? -value : value);
  return value != 0.0 && f == 0.0f ? 0.0f : f;
}

// |text| as a float, at least `floor`.
float magnitudeAtLeast(const std::string& text, float floor) { return std::max(std::fabs(textToFloat(text)), floor); }

// `value` with the sign a limit's check box gives it: positive while on,
// negative (off) otherwise.
float signedLimit(float value, bool on) { return on ? std::fabs(value) : -std::fabs(value); }

}  // namespace

void LinfoldControls::applyStartup(const LinfoldSettings& s) {
  // In the order the window builds its control windows, then its menus.
  setDividingSteps(s.dividingSteps);
  setDividingMode(s.dividingMode);
  setAdaptiveSubdivisionSteps(s.adaptiveSubdivisionSteps);
  setAdaptiveSubdivisionMode(s.adaptiveSubdivisionMode);
  setSubdivisionSteps(s.subdivisionSteps);
  setSubdivisionMode(s.subdivisionMode);
  setSmoothingSteps(s.smoothingSteps);
  setSmoothingSpeed(s.smoothingSpeed);
  setSharpAngles(s.sharpAngles);
  setSharpAngle(s.sharpAngle);
  setLargeFaces(s.largeFaces);
  setCurvatureMode(s.curvatureMode);
  setVisualizationMode(s.visualizationMode);

  setGlLines(s.glLines);
  setLineMode(s.lineMode);
  setRebalance(s.rebalance);
  setLineWidth(s.lineWidth);
  setMaxLineWidth(s.maxLineWidth);
  setMinDistance(s.minDistance);
  setMaxDistance(s.maxDistance);
  setSilhouettes(s.silhouettes);
  setSilhouetteThickness(s.silhouetteThickness);
  setSilhouetteSharpAngle(s.silhouetteSharpAngle);
  setStreamlines(s.streamlines);
  setCrossHatching(s.crossHatching);
  setStrokeThickness(s.strokeThickness);
  setStrokeDensity(s.strokeDensity);

  setSeparationDistance(s.separationDistance);
  setProbeDistance(s.probeDistance);
  setSharpEdge(s.sharpEdge);
  setSharpEdgeOn(s.sharpEdgeOn);
  setMaxBend(s.maxBend);
  setMaxBendOn(s.maxBendOn);
  setMinLength(s.minLength);
  setMinLengthOn(s.minLengthOn);
  setMaxLength(s.maxLength);
  setMaxLengthOn(s.maxLengthOn);
  setStepSize(s.stepSize);
  setTaper(s.taper);

  setFlowFieldShown(s.showFlowField);

  scene.setBuildWingedEdge(s.buildWingedEdge);
  setConnectObjects(s.connectObjects);
  setDarkBackground(s.darkBackground);
  setAntialiasing(s.antialiasing);
  setFillLineCracks(s.fillLineCracks);
  setHiddenLineRemover(s.hiddenLineRemover);
  setCameraStatic(s.cameraStatic);
  setMeshZigZagRepair(s.meshZigZagRepair);
  setTriangleChunkRepair(s.triangleChunkRepair);
  setLineZigZagRepair(s.lineZigZagRepair);
  setShortEdgesRepair(s.shortEdgesRepair);
  setSharpAnglesRepair(s.sharpAnglesRepair);
}

// ------------------------------------------------------------------ menus

void LinfoldControls::setConnectObjects(bool on) {
  scene.nodes().modifier->connectObjects = on;
  scene.meshChanged();
}

void LinfoldControls::setDarkBackground(bool on) {
  const LinfoldScene::Nodes& n = scene.nodes();
  const float c = on ? 1.0f : 0.0f;
  const float b = on ? 0.0f : 1.0f;
  n.silhouettes->setColour(SbColor(c, c, c));
  n.baseColor->rgb.setValue(c, c, c);
  n.wingedEdge->setLineColour(SbColor(c, c, c));
  scene.setBackgroundColour(SbColor(b, b, b));
  n.geometryParent->invalidateFaceColours();
}

void LinfoldControls::setAntialiasing(bool on) {
  scene.nodes().silhouettes->antialiasing = on;
  scene.nodes().lineShapeHQ->setLineSmoothing(on);
}

void LinfoldControls::setFillLineCracks(bool on) {
  scene.nodes().silhouettes->fillLineCracks = on;
  scene.nodes().geometryParent->invalidateFaceColours();
}

void LinfoldControls::setHiddenLineRemover(bool on) {
  scene.nodes().silhouettes->displaySilhouette = on;
  scene.nodes().hiddenLineRemover->active = on;
}

void LinfoldControls::setCameraStatic(bool on) { SoSilhouetteSwitches::cameraStatic = on; }

void LinfoldControls::setMeshZigZagRepair(bool on) { SoSilhouetteSwitches::meshZigZagRepair = on ? 1 : 0; }

void LinfoldControls::setTriangleChunkRepair(bool on) { SoSilhouetteSwitches::triangleChunkRepair = on ? 1 : 0; }

void LinfoldControls::setLineZigZagRepair(bool on) { scene.nodes().zigZagPurifier->active = on; }

void LinfoldControls::setShortEdgesRepair(bool on) { scene.nodes().shortSegmentPurifier->active = on; }

void LinfoldControls::setSharpAnglesRepair(bool on) { scene.nodes().sharpAnglePurifier->active = on; }

void LinfoldControls::setLineStyle(bool lines) {
  scene.nodes().silhouettes->sendLines = lines;
  scene.nodes().wingedEdge->sendLines = lines;
  scene.nodes().geometryParent->invalidateFaceColours();
}

void LinfoldControls::setLineStripMode(bool on) { SoSilhouetteSwitches::lineStripMode = on; }

// ------------------------------------------------------------------ subdivision

void LinfoldControls::setAdaptiveSubdivisionSteps(int steps) {
  scene.nodes().modifier->adaptiveSubdivisionSteps = steps;
  scene.meshChanged();
}

void LinfoldControls::setAdaptiveSubdivisionMode(int entry) {
  static const int schemes[] = {3, 4};
  if (entry >= 0 && entry < 2) scene.nodes().modifier->adaptiveSubdivisionMode = schemes[entry];
  scene.meshChanged();
}

void LinfoldControls::setSubdivisionSteps(int steps) {
  scene.nodes().modifier->subdivisionSteps = steps;
  scene.meshChanged();
}

void LinfoldControls::setSubdivisionMode(int entry) {
  static const int schemes[] = {3, 4, 2, 1};
  if (entry >= 0 && entry < 4) scene.nodes().modifier->subdivisionMode = schemes[entry];
  scene.meshChanged();
}

void LinfoldControls::setDividingSteps(int steps) {
  scene.nodes().modifier->dividingSteps = steps;
  scene.meshChanged();
}

void LinfoldControls::setDividingMode(int entry) {
  static const int schemes[] = {3, 4, 2};
  if (entry >= 0 && entry < 3) scene.nodes().modifier->dividingMode = schemes[entry];
  scene.meshChanged();
}

void LinfoldControls::setSmoothingSteps(int steps) {
  scene.nodes().modifier->smoothingSteps = steps;
  scene.meshChanged();
}

void LinfoldControls::setSmoothingSpeed(const std::string& text) {
  float speed = textToFloat(text);
  if (speed == 0.0f) speed = 1.0f;
  scene.nodes().modifier->smoothingSpeed = speed;
  scene.meshChanged();
}

void LinfoldControls::setSharpAngle(int degrees) {
  scene.nodes().modifier->sharpAngle = static_cast<float>(degrees);
  scene.meshChanged();
}

void LinfoldControls::setSharpAngles(bool on) {
  scene.nodes().modifier->useSharpAngles = on;
  scene.meshChanged();
}

void LinfoldControls::setLargeFaces(bool on) {
  scene.nodes().modifier->polygonationMode = on;
  scene.meshChanged();
}

void LinfoldControls::setCurvatureMode(int id) {
  if (id < 0 || id > 12) return;
  scene.nodes().geometryParent->curvatureMode = id + 1;
  scene.nodes().geometryParent->invalidateCurvature();
}

void LinfoldControls::setVisualizationMode(int id) {
  static const int modes[] = {1, 2, 3, 6, 7, 4};
  SoGenerateWingedEdge* geometry = scene.nodes().geometryParent;
  const int previous = geometry->visualizationMode.getValue();
  if (id >= 0 && id < 6) geometry->visualizationMode = modes[id];
  if (previous == 1 || id == 0) geometry->invalidateCurvature();
}

// ------------------------------------------------------------------ line settings

void LinfoldControls::setGlLines(bool on) { scene.nodes().lineShapeHQ->glLines = on; }

void LinfoldControls::setLineMode(int entry) {
  static const int modes[] = {SoLineShapeHQ::M_BLACK, SoLineShapeHQ::M_THICK, SoLineShapeHQ::M_DENS,
                              SoLineShapeHQ::M_THICK_DENS, SoLineShapeHQ::M_RESOLUTION};
  if (entry >= 0 && entry < 5) scene.nodes().lineShapeHQ->mode = modes[entry];
}

void LinfoldControls::setRebalance(bool on) { scene.nodes().lineSettings->rebalance = on; }

void LinfoldControls::setLineWidth(const std::string& text) {
  scene.nodes().lineSettings->lineWidth = std::max(textToFloat(text), 0.0f);
}

void LinfoldControls::setMaxLineWidth(const std::string& text) {
  scene.nodes().lineSettings->maxWidth = std::max(textToFloat(text), 0.0f);
}

void LinfoldControls::setMinDistance(const std::string& text) {
  scene.nodes().lineSettings->minDistance = std::max(textToFloat(text), 0.0f);
}

void LinfoldControls::setMaxDistance(const std::string& text) {
  scene.nodes().lineSettings->maxDistance = std::max(textToFloat(text), 0.0f);
}

void LinfoldControls::setSilhouettes(bool on) { scene.nodes().silhouettes->doComputation = on; }

void LinfoldControls::setSilhouetteSharpAngle(int degrees) {
  scene.nodes().silhouettes->sharpEdgesAngle = static_cast<float>(degrees);
}

void LinfoldControls::setSilhouetteThickness(const std::string& text) {
  scene.nodes().thickener->amplitude = textToFloat(text);
}

void LinfoldControls::setStreamlines(bool on) { scene.nodes().streamliner->doComputation = on; }

void LinfoldControls::setCrossHatching(bool on) { scene.nodes().streamliner->crossHatching = on; }

void LinfoldControls::setStrokeThickness(const std::string& formula) {
  scene.nodes().thickenerHQ->parserExpression = formula.c_str();
}

void LinfoldControls::setStrokeDensity(const std::string& formula) {
  scene.nodes().densifierHQ->parserExpression = formula.c_str();
}

// ------------------------------------------------------------------ streamliner

void LinfoldControls::setSeparationDistance(const std::string& text) {
  scene.nodes().streamliner->seperationDist = magnitudeAtLeast(text, 0.0005f);
}

void LinfoldControls::setProbeDistance(const std::string& text) {
  scene.nodes().streamliner->probeDist = magnitudeAtLeast(text, 0.0005f);
}

void LinfoldControls::setSharpEdge(const std::string& text) {
  scene.nodes().streamliner->sharpEdge = magnitudeAtLeast(text, 1.0f);
}

void LinfoldControls::setSharpEdgeOn(bool on) {
  SoStreamlinerHQ* s = scene.nodes().streamliner;
  s->sharpEdge = signedLimit(s->sharpEdge.getValue(), on);
}

void LinfoldControls::setMaxBend(const std::string& text) {
  scene.nodes().streamliner->maxBend = magnitudeAtLeast(text, 1.0f);
}

void LinfoldControls::setMaxBendOn(bool on) {
  SoStreamlinerHQ* s = scene.nodes().streamliner;
  s->maxBend = signedLimit(s->maxBend.getValue(), on);
}

void LinfoldControls::setMinLength(const std::string& text) {
  scene.nodes().streamliner->minLength = magnitudeAtLeast(text, 0.0001f);
}

void LinfoldControls::setMinLengthOn(bool on) {
  SoStreamlinerHQ* s = scene.nodes().streamliner;
  s->minLength = signedLimit(s->minLength.getValue(), on);
}

void LinfoldControls::setMaxLength(const std::string& text) {
  scene.nodes().streamliner->maxLength = magnitudeAtLeast(text, 0.0001f);
}

void LinfoldControls::setMaxLengthOn(bool on) {
  SoStreamlinerHQ* s = scene.nodes().streamliner;
  s->maxLength = signedLimit(s->maxLength.getValue(), on);
}

void LinfoldControls::setStepSize(const std::string& text) {
  scene.nodes().streamliner->stepSize = magnitudeAtLeast(text, 0.0005f);
}

void LinfoldControls::setTaper(int entry) {
  static const int methods[] = {SoStreamlinerHQ::TM_NONE, SoStreamlinerHQ::TM_SPHERE, SoStreamlinerHQ::TM_PLANE,
                                SoStreamlinerHQ::TM_PLANE_AVG};
  if (entry >= 0 && entry < 4) scene.nodes().streamliner->taperMethod = methods[entry];
}

void LinfoldControls::retrace() { scene.nodes().streamliner->invalidate(); }

// ------------------------------------------------------------------ flow field

void LinfoldControls::setFlowFieldShown(bool on) { scene.nodes().flowFieldDisplay->sendLines = on; }

void LinfoldControls::selectFlow(int mode, const std::string& radiusText, float tolerance) {
  const LinfoldScene::Nodes& n = scene.nodes();
  n.flowField->flowField().select(n.heModel->model(), n.curvature->curvature(), mode, tolerance,
                                  textToFloat(radiusText));
}

void LinfoldControls::applyFlowTolerance(float tolerance) {
  scene.nodes().flowField->flowField().applyTolerance(tolerance);
}

void LinfoldControls::resetFlow() {
  const LinfoldScene::Nodes& n = scene.nodes();
  n.flowField->flowField().from(n.heModel->model(), n.curvature->curvature());
}

void LinfoldControls::optimizeFlow(const std::string& costText) {
  const LinfoldScene::Nodes& n = scene.nodes();
  n.flowField->flowField().optimize(n.heModel->model(), textToFloat(costText));
}

void LinfoldControls::relaxFlow() { scene.nodes().flowField->flowField().relax(scene.nodes().heModel->model()); }

void LinfoldControls::unifyFlow() { scene.nodes().flowField->flowField().unify(scene.nodes().heModel->model()); }

void LinfoldControls::rotateFlow(const std::string& degreesText) {
  const LinfoldScene::Nodes& n = scene.nodes();
  n.flowField->flowField().rotate(n.heModel->model(), textToFloat(degreesText));
}

void LinfoldControls::autoFlow() {
  const LinfoldScene::Nodes& n = scene.nodes();
  n.flowField->flowField().cleanUp(n.heModel->model(), n.curvature->curvature());
}

void LinfoldControls::setFieldCleanUp(int mode) { scene.nodes().flowField->cleanUp = mode; }
