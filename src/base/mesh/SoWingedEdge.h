#ifndef LINFOLD_SOWINGEDGE_H
#define LINFOLD_SOWINGEDGE_H

#include <Inventor/SbColor.h>
#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/nodes/SoShape.h>

#include <cstdint>
#include <vector>

class SbWingedEdgeModel;
class SoGLDisplayList;
class SoState;

// Draws the winged-edge model of SoWingedEdgeElement in the model's
// visualisation mode (or an override):
//   1 lines, 2 lit flat faces, 3 faces coloured by the current curvature
//   measure, 4 depth only, 5 sharp and boundary edges only, 6 faces in three
//   curvature classes, 7 lines with the principal curvature directions,
//   8 lines without depth test.
// With sendLines TRUE the line modes draw nothing themselves: they publish the
// edges as a line set (SoCoordinateElement + SoLineCoordinateIndexElement,
// every edge its own polyline "a b -1") for the line nodes that follow.
class SoWingedEdge : public SoShape {
  typedef SoShape inherited;
  SO_NODE_HEADER(SoWingedEdge);

 public:
  static void initClass();
  SoWingedEdge();

  SoSFBool sendLines;       // hand the edges on as line geometry instead of drawing them
  SoSFBool hideBackfaces;   // hide lines behind the surface (depth-only face pass first)
  SoSFFloat lineWidth;      // line width, also the point size
  SoSFBool antialiasing;    // blended line and point smoothing
  SoSFBool fillLineCracks;  // round points at the line joints

  void setLineColour(const SbColor& colour);
  const SbColor& getLineColour() const { return lineColour; }
  // -1: draw in the model's visualisation mode; otherwise in this mode.
  void setVisualizationOverride(int mode);
  int getVisualizationOverride() const { return visualizationOverride; }

  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoWingedEdge() override;
  void computeBBox(SoAction* action, SbBox3f& box, SbVec3f& center) override;
  void generatePrimitives(SoAction* action) override;

 private:
  enum ListId { LIST_FACES, LIST_COLOURED, LIST_THREE_COLOURS, LIST_EDGES, LIST_DIRECTIONS, LIST_COUNT };

  int currentMode(const SbWingedEdgeModel* model) const;
  void renderModel(SoGLRenderAction* action, SbWingedEdgeModel* model, int mode);
  void callList(SoState* state, SbWingedEdgeModel* model, int list, int mode);
  void compileList(SoState* state, SbWingedEdgeModel* model, int list, int mode);
  void drawDepthOnly(SoState* state, SbWingedEdgeModel* model);
  void buildDepthTriangles(const SbWingedEdgeModel& model);
  void drawLines(SoState* state, SbWingedEdgeModel* model, int mode);
  void publishLines(SoState* state, SbWingedEdgeModel* model, int mode);
  void releaseLists();

  SbColor lineColour{1, 1, 1};
  SbColor secondColour{0.7f, 0.7f, 0.7f};
  int visualizationOverride = -1;

  // Line set handed on with sendLines: points, and "a b -1" per edge.
  std::vector<SbVec3f> linePoints;
  std::vector<int32_t> lineIndices;
  // Empty per-vertex arrays published with count 0 (never read).
  std::vector<float> noValues;

  // Display lists, valid for one GL context; rebuilt when the model, the mode,
  // sendLines or hideBackfaces changed since they were made.
  SoGLDisplayList* lists = nullptr;
  int listContext = -1;
  bool listValid[LIST_COUNT] = {false, false, false, false, false};
  int listEdgeVariant = -1;
  int lastMode = -1;
  int lastSendLines = -1;
  int lastHideBackfaces = -1;
  int lastFillLineCracks = -1;
  const SbWingedEdgeModel* lastModel = nullptr;

  // The faces as triangle fans, vertex indices per object, drawn from vertex
  // arrays into the depth buffer. A million faces compiled into a display
  // list cost 1.6 s and 115 MB under Mesa's software GL, and each frame then
  // transformed every corner of every face; indexed arrays share the corners.
  std::vector<std::vector<uint32_t>> depthTriangles;
  bool depthTrianglesValid = false;
};

#endif
