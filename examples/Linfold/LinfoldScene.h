#ifndef LINFOLD_LINFOLDSCENE_H
#define LINFOLD_LINFOLDSCENE_H

#include <Inventor/SbColor.h>

#include <functional>
#include <string>

class SoBaseColor;
class SoCallback;
class SoFlowFieldHQ;
class SoGenerateCurvatureHQ;
class SoGenerateFlowFieldHQ;
class SoGenerateHeModelHQ;
class SoGenerateSilhouette;
class SoGenerateWingedEdge;
class SoLineConcatenator;
class SoLineDensifierHQ;
class SoLineHiddenLineRemover;
class SoLineOutput;
class SoLineOutputPdfHQ;
class SoLineOutputSvgHQ;
class SoLineOutputTgaHQ;
class SoLinePlotterOutput;
class SoLinePurifier;
class SoLineSettingsHQ;
class SoLineShapeHQ;
class SoLineThickener;
class SoLineThickenerHQ;
class SoModifyWingedEdge;
class SoNode;
class SoSeparator;
class SoStreamlinerHQ;
class SoWingedEdge;
class SoWingedEdgeOutput;

// The program's one fixed scene graph, shared by the main window and the
// render tool: builds it, loads a model into the place of "GeometryNode",
// resets the scene's transformations, counts the model, and holds every node
// a control drives or an export arms. Needs no Qt and no window; drawing it is
// the caller's business (the window's viewer, the tool's offscreen canvas).
//
//   LinfoldScene scene;                         // "Creating the scene ..."
//   LinfoldControls(scene).applyStartup();      // the window's start-up values
//   scene.loadModel("data/torus.iv");           // then draw scene.root()
class LinfoldScene {
 public:
  // The nodes of the scene by their role, in traversal order.
  struct Nodes {
    SoCallback* frameCounter = nullptr;              // the window counts frames with it
    SoGenerateWingedEdge* geometryParent = nullptr;  // "GeometryParentNode"
    SoModifyWingedEdge* modifier = nullptr;
    SoGenerateHeModelHQ* heModel = nullptr;
    SoGenerateCurvatureHQ* curvature = nullptr;
    SoGenerateFlowFieldHQ* flowField = nullptr;
    SoWingedEdgeOutput* wingedEdgeOutput = nullptr;
    SoWingedEdge* wingedEdge = nullptr;
    SoFlowFieldHQ* flowFieldDisplay = nullptr;
    SoBaseColor* baseColor = nullptr;
    SoSeparator* lineSeparator = nullptr;
    SoGenerateSilhouette* silhouettes = nullptr;
    SoLineConcatenator* concatenator = nullptr;            // runs twice
    SoLineHiddenLineRemover* hiddenLineRemover = nullptr;  // runs twice
    SoLinePurifier* zigZagPurifier = nullptr;
    SoLinePurifier* shortSegmentPurifier = nullptr;
    SoLinePurifier* sharpAnglePurifier = nullptr;
    SoLineThickener* thickener = nullptr;
    SoStreamlinerHQ* streamliner = nullptr;
    SoLineThickenerHQ* thickenerHQ = nullptr;
    SoLineDensifierHQ* densifierHQ = nullptr;
    SoLineSettingsHQ* lineSettings = nullptr;
    SoLineOutput* lineOutput = nullptr;
    SoLineOutputTgaHQ* tgaOutput = nullptr;
    SoLineOutputPdfHQ* pdfOutput = nullptr;
    SoLineShapeHQ* lineShapeHQ = nullptr;
    // Kept outside the scene: an export places them right after the PDF
    // snapshot writer (same line set, settings and view); see placeAfterPdf.
    SoLineOutputSvgHQ* svgOutput = nullptr;
    SoLinePlotterOutput* plotterOutput = nullptr;
  };

  // Counts of the status row and the "Model Information" window; 0 while a
  // node has no model.
  struct Statistics {
    int originalFaces = 0;  // the winged-edge model as built from the file
    int faces = 0;          // the model after the modifier, and its parts:
    int objects = 0;
    int edges = 0;
    int vertices = 0;
  };

  struct LoadResult {
    bool loaded = false;
    // A failure to show the user ("Wrong filename! Try again ...", or what the
    // model reader found wrong); empty when the console line said it all.
    std::string message;
  };

  // Initialises Coin (database, node kits, draggers) and the library's
  // classes, prints "Creating the scene ...\n" and builds the scene with the
  // fields its nodes are created with (no control value applied yet).
  LinfoldScene();
  ~LinfoldScene();
  LinfoldScene(const LinfoldScene&) = delete;
  LinfoldScene& operator=(const LinfoldScene&) = delete;

  SoSeparator* root() const { return root_; }
  // The loaded model as read ("GeometryNode"; the placeholder cone before).
  SoNode* geometry() const;
  const Nodes& nodes() const { return nodes_; }

  // Reads a model file (path in the file system's encoding) into the place of
  // "GeometryNode": Inventor and VRML through Coin, other formats through the
  // model reader. On success the winged-edge model is rebuilt, everything
  // after it recomputes, and resetTransformsAndView runs; on failure the
  // previous model stays and nothing else changes. The working directory is
  // the same afterwards. An empty path only resets the transformations.
  LoadResult loadModel(const char* path);

  // Puts every transformation of the scene outside the loaded model back to
  // its defaults (a model's own transformations place its parts), then calls
  // the view hook.
  void resetTransformsAndView();
  // What a viewer does after the transformations are reset (frame the scene,
  // draw, show the counts); none by default.
  void setViewHook(std::function<void()> hook) { viewHook = std::move(hook); }

  Statistics statistics() const;

  // Whether a loaded model gets a winged-edge model ("Generate Winged Edge").
  bool buildsWingedEdge() const { return buildWingedEdge; }
  // Sets the flag and rebuilds with it (rebuildWingedEdge).
  void setBuildWingedEdge(bool on);
  // Copies the flag into "GeometryParentNode", rebuilds the winged-edge model
  // (or empties it) and everything derived from it, resets the view.
  void rebuildWingedEdge();
  // The modifier chain and the half-edge model must be computed again.
  void meshChanged();

  // The colour the scene is drawn on (set with the colour scheme).
  const SbColor& backgroundColour() const { return background; }
  void setBackgroundColour(const SbColor& colour) { background = colour; }

  // Inserts an output node right after the PDF snapshot writer, and takes it
  // out again.
  void placeAfterPdf(SoNode* node);
  void removeFromLines(SoNode* node);

  // The classic line export as the window's "Write PDF File" command writes
  // it: no hidden code, lines 0.4 times the export's line width.
  void setLineExportStyle();

 private:
  void build();

  SoSeparator* root_ = nullptr;
  Nodes nodes_;
  std::function<void()> viewHook;
  bool buildWingedEdge = true;
  SbColor background{1.0f, 1.0f, 1.0f};
  // Line width of the vector PDF export (times 0.4).
  float pdfLineWidth = 2.0f;
};

#endif
