#include "LinfoldScene.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/SoPath.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodekits/SoNodeKit.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransformSeparator.h>
#include <Inventor/nodes/SoTransformation.h>

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "registry/LibraryClasses.h"
#include "curvature/SoGenerateCurvatureHQ.h"
#include "flowfield/SoFlowFieldHQ.h"
#include "flowfield/SoGenerateFlowFieldHQ.h"
#include "io/SbModelReader.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoLineConcatenator.h"
#include "lines/SoLineHiddenLineRemover.h"
#include "lines/SoLinePurifier.h"
#include "lines/SoLineThickener.h"
#include "mesh/SoGenerateHeModelHQ.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoModifyWingedEdge.h"
#include "mesh/SoWingedEdge.h"
#include "output/SoLineOutput.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputSvgHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "output/SoLinePlotterOutput.h"
#include "output/SoWingedEdgeOutput.h"
#include "strokes/SoStreamlinerHQ.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"
#include "styling/SoLineThickenerHQ.h"

namespace {

// The working directory, however long; empty when it cannot be read.
std::string currentDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(&buffer[0], buffer.size())) return std::string(buffer.c_str());
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

// The file name's suffix after its last '.', in lower case; empty without one.
std::string lowerSuffix(const std::string& fileName) {
  const std::string::size_type dot = fileName.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string suffix = fileName.substr(dot + 1);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix;
}

// The tail of the first node below `root` with the given name, searching
// switched-off children too.
SoNode* findNamed(SoNode* root, const char* name) {
  SoSearchAction search;
  search.setSearchingAll(TRUE);
  search.setInterest(SoSearchAction::FIRST);
  search.setName(name);
  search.apply(root);
  return search.getPath() ? search.getPath()->getTail() : nullptr;
}

}  // namespace

LinfoldScene::LinfoldScene() {
  // What SoQt::init does for a window; each call returns at once when done.
  SoDB::init();
  SoNodeKit::init();
  SoInteraction::init();
  initLibraryClasses();
  build();
}

LinfoldScene::~LinfoldScene() {
  root_->unref();
  nodes_.svgOutput->unref();
  nodes_.plotterOutput->unref();
}

void LinfoldScene::build() {
  printf("Creating the scene ...\n");
  Nodes& n = nodes_;

  root_ = new SoSeparator;
  root_->renderCaching = SoSeparator::OFF;

  n.frameCounter = new SoCallback;
  root_->addChild(n.frameCounter);

  SoTransformSeparator* modelNode = new SoTransformSeparator;
  modelNode->setName("ModelNode");
  root_->addChild(modelNode);

  SoDrawStyle* hidden = new SoDrawStyle;
  hidden->style = SoDrawStyle::INVISIBLE;
  modelNode->addChild(hidden);

  n.geometryParent = new SoGenerateWingedEdge;
  n.geometryParent->setName("GeometryParentNode");
  modelNode->addChild(n.geometryParent);
  SoCone* cone = new SoCone;
  cone->setName("GeometryNode");
  n.geometryParent->addChild(cone);

  SoDrawStyle* filled = new SoDrawStyle;
  filled->style = SoDrawStyle::FILLED;
  modelNode->addChild(filled);

  n.modifier = new SoModifyWingedEdge;
  modelNode->addChild(n.modifier);
  n.heModel = new SoGenerateHeModelHQ;
  modelNode->addChild(n.heModel);
  n.curvature = new SoGenerateCurvatureHQ;
  modelNode->addChild(n.curvature);
  n.flowField = new SoGenerateFlowFieldHQ;
  modelNode->addChild(n.flowField);
  n.wingedEdgeOutput = new SoWingedEdgeOutput;
  modelNode->addChild(n.wingedEdgeOutput);
  n.wingedEdge = new SoWingedEdge;
  modelNode->addChild(n.wingedEdge);
  n.flowFieldDisplay = new SoFlowFieldHQ;
  modelNode->addChild(n.flowFieldDisplay);
  n.baseColor = new SoBaseColor;
  modelNode->addChild(n.baseColor);

  n.lineSeparator = new SoSeparator;
  n.lineSeparator->renderCaching = SoSeparator::OFF;
  modelNode->addChild(n.lineSeparator);
  SoSeparator* lines = n.lineSeparator;

  // Silhouettes and sharp edges, cleaned up and stored aside.
  n.silhouettes = new SoGenerateSilhouette;
  lines->addChild(n.silhouettes);
  n.concatenator = new SoLineConcatenator;
  lines->addChild(n.concatenator);
  n.hiddenLineRemover = new SoLineHiddenLineRemover;
  lines->addChild(n.hiddenLineRemover);
  n.zigZagPurifier = new SoLinePurifier;
  n.zigZagPurifier->purifyMethod = SoLinePurifier::ELIMINATE_ZIG_ZAGS;
  lines->addChild(n.zigZagPurifier);
  n.shortSegmentPurifier = new SoLinePurifier;
  n.shortSegmentPurifier->purifyMethod = SoLinePurifier::ELIMINATE_SHORT_SEGMENTS;
  lines->addChild(n.shortSegmentPurifier);
  n.sharpAnglePurifier = new SoLinePurifier;
  n.sharpAnglePurifier->purifyMethod = SoLinePurifier::ELIMINATE_SHARP_ANGLES;
  lines->addChild(n.sharpAnglePurifier);
  n.thickener = new SoLineThickener;
  n.thickener->amplitude = 1.0f;
  n.thickener->thickenMethod = SoLineThickener::CONSTANT;
  lines->addChild(n.thickener);
  SoLineMergerHQ* store = new SoLineMergerHQ;
  store->method = SoLineMergerHQ::LM_STORE;
  lines->addChild(store);

  // Hatching strokes: traced, cut by the same concatenator and hidden-line
  // remover, styled, then drawn together with the stored silhouettes.
  n.streamliner = new SoStreamlinerHQ;
  lines->addChild(n.streamliner);
  lines->addChild(n.concatenator);
  lines->addChild(n.hiddenLineRemover);
  n.thickenerHQ = new SoLineThickenerHQ;
  n.thickenerHQ->method = SoLineThickenerHQ::PARSER;
  lines->addChild(n.thickenerHQ);
  n.densifierHQ = new SoLineDensifierHQ;
  n.densifierHQ->method = SoLineDensifierHQ::PARSER;
  lines->addChild(n.densifierHQ);
  SoLineMergerHQ* merge = new SoLineMergerHQ;
  merge->method = SoLineMergerHQ::LM_MERGE;
  lines->addChild(merge);
  SoLineMergerHQ* restore = new SoLineMergerHQ;
  restore->method = SoLineMergerHQ::LM_RESTORE;
  lines->addChild(restore);
  n.lineSettings = new SoLineSettingsHQ;
  lines->addChild(n.lineSettings);
  n.lineOutput = new SoLineOutput;
  lines->addChild(n.lineOutput);
  n.tgaOutput = new SoLineOutputTgaHQ;
  lines->addChild(n.tgaOutput);
  n.pdfOutput = new SoLineOutputPdfHQ;
  lines->addChild(n.pdfOutput);
  n.lineShapeHQ = new SoLineShapeHQ;
  lines->addChild(n.lineShapeHQ);

  n.svgOutput = new SoLineOutputSvgHQ;
  n.svgOutput->ref();
  n.plotterOutput = new SoLinePlotterOutput;
  n.plotterOutput->ref();

  root_->ref();
}

LinfoldScene::LoadResult LinfoldScene::loadModel(const char* path) {
  LoadResult result;
  const std::string startDirectory = currentDirectory();
  if (startDirectory.empty()) printf("_getcwd error: %s\n", std::strerror(errno));

  if (!path || !*path) {
    resetTransformsAndView();
    return result;
  }

  SoGroup* parent = nullptr;
  SoNode* parentNode = findNamed(root_, "GeometryParentNode");
  if (parentNode && parentNode->isOfType(SoGroup::getClassTypeId())) parent = static_cast<SoGroup*>(parentNode);
  SoNode* oldGeometry = findNamed(root_, "GeometryNode");
  const int index = parent && oldGeometry ? parent->findChild(oldGeometry) : -1;

  printf("Reading file %s ... \n", path);

  // "dir/name": change to dir and open name; "/name" lies in the root folder;
  // a bare name lies in the current directory.
  const std::string full(path);
  const std::string::size_type slash = full.rfind('/');
  std::string directory, fileName = full;
  if (slash != std::string::npos) {
    directory = slash == 0 ? std::string("/") : full.substr(0, slash);
    fileName = full.substr(slash + 1);
  }
  // The reader resolves the name, and the File and Inline names inside the
  // file, itself: the directory is entered only to tell whether it can be.
  const bool entered = directory.empty() || chdir(directory.c_str()) == 0;
  if (!entered) printf("could not change to directory %s\n", directory.c_str());
  bool returned = true;
  if (entered && !directory.empty()) {
    returned = !startDirectory.empty() && chdir(startDirectory.c_str()) == 0;
    if (!returned && !startDirectory.empty()) printf("could not change to directory %s\n", startDirectory.c_str());
  }
  // The name as seen from the working directory the reader starts in.
  const std::string& name = entered && returned ? full : fileName;

  if (index < 0) {
    printf("Cannot load %s ...\n", path);
    return result;
  }
  std::string error;
  SbModelReader::Failure failure = SbModelReader::NO_FAILURE;
  SoSeparator* scene = SbModelReader::read(name.c_str(), &error, &failure);
  if (!scene) {
    if (failure == SbModelReader::CANNOT_OPEN) {
      printf("%s\nCannot load %s ...\n", error.c_str(), path);
      return result;
    }
    // An Inventor or VRML name keeps the classic message, with the reader's
    // reason on the console; for other formats the reader's reason is the message.
    const std::string suffix = lowerSuffix(fileName);
    const bool inventorName = suffix == "iv" || suffix == "wrl" || suffix == "vrml";
    if (inventorName) printf("%s\n", error.c_str());
    result.message = inventorName ? std::string("Wrong filename! Try again ...") : error;
    return result;
  }
  parent->replaceChild(index, scene);
  scene->setName("GeometryNode");

  nodes_.geometryParent->doBuildWingedEdge = buildWingedEdge;
  nodes_.geometryParent->requestRebuild();
  meshChanged();
  resetTransformsAndView();
  printf("Model loaded!\n");
  result.loaded = true;
  return result;
}

void LinfoldScene::resetTransformsAndView() {
  SoSearchAction search;
  search.setType(SoTransformation::getClassTypeId(), TRUE);
  search.setInterest(SoSearchAction::ALL);
  search.setSearchingAll(TRUE);
  search.apply(root_);
  // The transformations a model file places its parts with belong to the
  // model: resetting them would stack every part of a jointed figure in one
  // spot. Only those of the scene around the loaded geometry go back to their
  // defaults.
  const SoPathList& paths = search.getPaths();
  for (int i = 0; i < paths.getLength(); ++i) {
    const SoPath* path = paths[i];
    bool insideModel = false;
    for (int k = 0; k + 1 < path->getLength() && !insideModel; ++k)
      insideModel = path->getNode(k)->getName() == SbName("GeometryNode");
    if (!insideModel) path->getTail()->setToDefaults();
  }
  if (viewHook) viewHook();
}

SoNode* LinfoldScene::geometry() const { return findNamed(root_, "GeometryNode"); }

LinfoldScene::Statistics LinfoldScene::statistics() const {
  const SbWingedEdgeModel& working = nodes_.geometryParent->workingModel();
  Statistics s;
  s.originalFaces = nodes_.geometryParent->builtModel().faceCount();
  s.faces = working.faceCount();
  s.objects = static_cast<int>(working.objects.size());
  s.edges = working.edgeCount();
  s.vertices = working.vertexCount();
  return s;
}

void LinfoldScene::setBuildWingedEdge(bool on) {
  buildWingedEdge = on;
  rebuildWingedEdge();
}

void LinfoldScene::rebuildWingedEdge() {
  nodes_.geometryParent->doBuildWingedEdge = buildWingedEdge;
  nodes_.geometryParent->requestRebuild();
  // Everything derived from the mesh follows the rebuilt (or emptied) model.
  meshChanged();
  resetTransformsAndView();
}

void LinfoldScene::meshChanged() {
  nodes_.modifier->markChanged();
  nodes_.heModel->invalidate();
}

void LinfoldScene::placeAfterPdf(SoNode* node) {
  nodes_.lineSeparator->insertChild(node, nodes_.lineSeparator->findChild(nodes_.pdfOutput) + 1);
}

void LinfoldScene::removeFromLines(SoNode* node) { nodes_.lineSeparator->removeChild(node); }

void LinfoldScene::setLineExportStyle() {
  nodes_.lineOutput->steganoMode = SoLineOutput::NO_STEGANO;
  nodes_.lineOutput->lineWidth = 0.4f * pdfLineWidth;
}
