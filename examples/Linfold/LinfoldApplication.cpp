#include "LinfoldApplication.h"

#include <Inventor/SbTime.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/Qt/SoQt.h>
#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransformSeparator.h>
#include <Inventor/nodes/SoTransformation.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGLWidget>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QSlider>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/LibraryClasses.h"
#include "core/ProgressMeter.h"
#include "curvature/SoGenerateCurvatureHQ.h"
#include "flowfield/SoFlowFieldHQ.h"
#include "flowfield/SoGenerateFlowFieldHQ.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoLineConcatenator.h"
#include "lines/SoLineHiddenLineRemover.h"
#include "lines/SoLinePurifier.h"
#include "lines/SoLineThickener.h"
#include "lines/SoSilhouetteSwitches.h"
#include "mesh/SoGenerateHeModelHQ.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoModifyWingedEdge.h"
#include "mesh/SoWingedEdge.h"
#include "io/SbModelReader.h"
#include "output/SoLineOutput.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputSvgHQ.h"
#include "output/SoLinePlotterOutput.h"
#include "output/SoLineOutputTgaHQ.h"
#include "output/SoWingedEdgeOutput.h"
#include "strokes/SoStreamlinerHQ.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"
#include "styling/SoLineThickenerHQ.h"

#include "LinfoldIcon.xpm"

namespace {

// Qt's C-locale conversion; text that is not a finite number gives 0.
float textToFloat(const QString& text) {
  bool ok = false;
  float v = text.toFloat(&ok);
  return ok && std::isfinite(v) ? v : 0.0f;
}

// |text| as a float, at least `floor`.
float magnitudeAtLeast(const QString& text, float floor) {
  return std::max(std::fabs(textToFloat(text)), floor);
}

// `value` with the sign a limit's check box gives it: positive while on,
// negative (off) otherwise.
float signedLimit(float value, bool on) { return on ? std::fabs(value) : -std::fabs(value); }

// The working directory, however long; empty when it cannot be read.
std::string currentDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(&buffer[0], buffer.size())) return std::string(buffer.c_str());
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

LinfoldApplication::LinfoldApplication() : QMainWindow(nullptr, Qt::Window) {
  // Inventor files and diagnostics use '.' as the decimal point whatever the
  // user's locale (QApplication switched LC_NUMERIC to it).
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());

  setObjectName("mainWindow");
  darkBackground = true;
  buildWingedEdge = true;

  SoQt::init(this);
  initLibraryClasses();

  buildCentralWidget();
  createScene();

  viewer = new SoQtExaminerViewer(viewerArea, nullptr, TRUE, SoQtFullViewer::BUILD_ALL,
                                  SoQtViewer::BROWSER);
  viewerArea->layout()->addWidget(viewer->getWidget());
  viewer->setCameraType(SoOrthographicCamera::getClassTypeId());
  viewer->setDecoration(FALSE);
  viewer->setSceneGraph(root);
  viewer->show();

  // The control windows exist before the toggle items are activated, because
  // the toggle slots may read them.
  buildControlWindows();
  buildMenus();
}

LinfoldApplication::~LinfoldApplication() {
  if (progressClient == this) {
    progressHook = nullptr;
    progressClient = nullptr;
  }
  delete viewer;
  viewer = nullptr;
  if (root) root->unref();
  root = nullptr;
  if (svgOutput) svgOutput->unref();
  if (plotterOutput) plotterOutput->unref();
}

void LinfoldApplication::prepareMainWindow() {
  progressHook = &LinfoldApplication::progressFunction;
  progressClient = this;
  resize(800, 600);
  setWindowTitle("Linfold Demonstration");
  setWindowIcon(QIcon(QPixmap(linfoldIcon)));
}

void LinfoldApplication::enablePolygonOffset() {
  QGLWidget* gl = qobject_cast<QGLWidget*>(viewer->getGLWidget());
  if (!gl) return;
  gl->makeCurrent();
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(1.0f, 1.0f);
}

SoCamera* LinfoldApplication::frameScene(const SbViewportRegion& viewport) {
  SoCamera* camera = viewer->getCamera();
  if (camera) camera->viewAll(root, viewport);
  return camera;
}

QMainWindow* LinfoldApplication::controlWindow(int i) const {
  return i >= 0 && i < controlWindowCount ? controls[i] : nullptr;
}

void LinfoldApplication::progressFunction(void* client, int value, int phase) {
  LinfoldApplication* window = static_cast<LinfoldApplication*>(client);
  if (!window || !window->progressBar) return;
  switch (phase) {
    case 0:
      window->progressBar->setMaximum(value);
      window->progressBar->setValue(0);
      break;
    case 1:
      window->progressBar->setValue(value);
      break;
    case 2:
      window->progressBar->reset();
      break;
    default:
      break;
  }
}

// ------------------------------------------------------------------ scene

void LinfoldApplication::createScene() {
  printf("Creating the scene ...\n");

  root = new SoSeparator;
  root->renderCaching = SoSeparator::OFF;

  fpsCounter = new SoCallback;
  fpsCounter->setCallback(&LinfoldApplication::fpsCallback, this);
  root->addChild(fpsCounter);

  SoTransformSeparator* modelNode = new SoTransformSeparator;
  modelNode->setName("ModelNode");
  root->addChild(modelNode);

  SoDrawStyle* hidden = new SoDrawStyle;
  hidden->style = SoDrawStyle::INVISIBLE;
  modelNode->addChild(hidden);

  geometryParent = new SoGenerateWingedEdge;
  geometryParent->setName("GeometryParentNode");
  modelNode->addChild(geometryParent);
  SoCone* cone = new SoCone;
  cone->setName("GeometryNode");
  geometryParent->addChild(cone);

  SoDrawStyle* filled = new SoDrawStyle;
  filled->style = SoDrawStyle::FILLED;
  modelNode->addChild(filled);

  modifier = new SoModifyWingedEdge;
  modelNode->addChild(modifier);
  heModel = new SoGenerateHeModelHQ;
  modelNode->addChild(heModel);
  curvature = new SoGenerateCurvatureHQ;
  modelNode->addChild(curvature);
  flowField = new SoGenerateFlowFieldHQ;
  modelNode->addChild(flowField);
  wingedEdgeOutput = new SoWingedEdgeOutput;
  modelNode->addChild(wingedEdgeOutput);
  wingedEdge = new SoWingedEdge;
  modelNode->addChild(wingedEdge);
  flowFieldDisplay = new SoFlowFieldHQ;
  modelNode->addChild(flowFieldDisplay);
  baseColor = new SoBaseColor;
  modelNode->addChild(baseColor);

  lineSeparator = new SoSeparator;
  lineSeparator->renderCaching = SoSeparator::OFF;
  modelNode->addChild(lineSeparator);

  // Silhouettes and sharp edges, cleaned up and stored aside.
  silhouettes = new SoGenerateSilhouette;
  lineSeparator->addChild(silhouettes);
  concatenator = new SoLineConcatenator;
  lineSeparator->addChild(concatenator);
  hiddenLineRemover = new SoLineHiddenLineRemover;
  lineSeparator->addChild(hiddenLineRemover);
  zigZagPurifier = new SoLinePurifier;
  zigZagPurifier->purifyMethod = SoLinePurifier::ELIMINATE_ZIG_ZAGS;
  lineSeparator->addChild(zigZagPurifier);
  shortSegmentPurifier = new SoLinePurifier;
  shortSegmentPurifier->purifyMethod = SoLinePurifier::ELIMINATE_SHORT_SEGMENTS;
  lineSeparator->addChild(shortSegmentPurifier);
  sharpAnglePurifier = new SoLinePurifier;
  sharpAnglePurifier->purifyMethod = SoLinePurifier::ELIMINATE_SHARP_ANGLES;
  lineSeparator->addChild(sharpAnglePurifier);
  thickener = new SoLineThickener;
  thickener->amplitude = 1.0f;
  thickener->thickenMethod = SoLineThickener::CONSTANT;
  lineSeparator->addChild(thickener);
  SoLineMergerHQ* store = new SoLineMergerHQ;
  store->method = SoLineMergerHQ::LM_STORE;
  lineSeparator->addChild(store);

  // Hatching strokes: traced, cut by the same concatenator and hidden-line
  // remover, styled, then drawn together with the stored silhouettes.
  streamliner = new SoStreamlinerHQ;
  lineSeparator->addChild(streamliner);
  lineSeparator->addChild(concatenator);
  lineSeparator->addChild(hiddenLineRemover);
  thickenerHQ = new SoLineThickenerHQ;
  thickenerHQ->method = SoLineThickenerHQ::PARSER;
  lineSeparator->addChild(thickenerHQ);
  densifierHQ = new SoLineDensifierHQ;
  densifierHQ->method = SoLineDensifierHQ::PARSER;
  lineSeparator->addChild(densifierHQ);
  SoLineMergerHQ* merge = new SoLineMergerHQ;
  merge->method = SoLineMergerHQ::LM_MERGE;
  lineSeparator->addChild(merge);
  SoLineMergerHQ* restore = new SoLineMergerHQ;
  restore->method = SoLineMergerHQ::LM_RESTORE;
  lineSeparator->addChild(restore);
  lineSettings = new SoLineSettingsHQ;
  lineSeparator->addChild(lineSettings);
  lineOutput = new SoLineOutput;
  lineSeparator->addChild(lineOutput);
  tgaOutput = new SoLineOutputTgaHQ;
  lineSeparator->addChild(tgaOutput);
  pdfOutput = new SoLineOutputPdfHQ;
  lineSeparator->addChild(pdfOutput);
  lineShapeHQ = new SoLineShapeHQ;
  lineSeparator->addChild(lineShapeHQ);

  svgOutput = new SoLineOutputSvgHQ;
  svgOutput->ref();
  plotterOutput = new SoLinePlotterOutput;
  plotterOutput->ref();

  root->ref();
}

void LinfoldApplication::fpsCallback(void* data, SoAction* action) {
  if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
  LinfoldApplication* window = static_cast<LinfoldApplication*>(data);
  static SbTime start(0.0);
  static int frames = 0;
  static SbTime now;
  now = SbTime::getTimeOfDay();
  ++frames;
  double elapsed = (now - start).getValue();
  if (elapsed > 1.0) {
    if (window && window->fpsLabel)
      window->fpsLabel->setText(QString::number(frames / elapsed, 'f', 1));
    frames = 0;
    start = SbTime::getTimeOfDay();
  }
}

bool LinfoldApplication::openModel(const QString& path) {
  if (path.isEmpty()) return false;
  // The scene is detached while its geometry is replaced.
  viewer->setSceneGraph(new SoSeparator);
  bool loaded = loadModel(QFile::encodeName(path).constData());
  viewer->setSceneGraph(root);
  if (loaded) filenameLabel->setText(path);
  // Framed only now that the viewer has the scene again.
  viewer->viewAll();
  render();
  updateStatistics();
  return loaded;
}

bool LinfoldApplication::loadModel(const char* path) {
  const std::string startDirectory = currentDirectory();
  if (startDirectory.empty()) printf("_getcwd error: %s\n", std::strerror(errno));

  if (!path || !*path) {
    resetTransformsAndView();
    return false;
  }

  SoSearchAction search;
  search.setSearchingAll(TRUE);
  search.setInterest(SoSearchAction::FIRST);
  search.setName("GeometryParentNode");
  search.apply(root);
  SoGroup* parent = nullptr;
  if (search.getPath() && search.getPath()->getTail()->isOfType(SoGroup::getClassTypeId()))
    parent = static_cast<SoGroup*>(search.getPath()->getTail());
  search.reset();
  search.setSearchingAll(TRUE);
  search.setInterest(SoSearchAction::FIRST);
  search.setName("GeometryNode");
  search.apply(root);
  SoNode* oldGeometry = search.getPath() ? search.getPath()->getTail() : nullptr;
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
    if (!returned && !startDirectory.empty())
      printf("could not change to directory %s\n", startDirectory.c_str());
  }
  // The name as seen from the working directory the reader starts in.
  const std::string& name = entered && returned ? full : fileName;

  if (index < 0) {
    printf("Cannot load %s ...\n", path);
    return false;
  }
  std::string error;
  SbModelReader::Failure failure = SbModelReader::NO_FAILURE;
  SoSeparator* scene = SbModelReader::read(name.c_str(), &error, &failure);
  if (!scene) {
    if (failure == SbModelReader::CANNOT_OPEN) {
      printf("%s\nCannot load %s ...\n", error.c_str(), path);
      return false;
    }
    // An Inventor or VRML name keeps the classic message, with the reader's
    // reason on the console; for other formats the reader's reason is the message.
    const QString suffix = QFileInfo(QString::fromLocal8Bit(fileName.c_str())).suffix().toLower();
    const bool inventorName = suffix == "iv" || suffix == "wrl" || suffix == "vrml";
    if (inventorName) printf("%s\n", error.c_str());
    reportError(inventorName ? QString("Wrong filename! Try again ...") : QString::fromStdString(error));
    return false;
  }
  parent->replaceChild(index, scene);
  scene->setName("GeometryNode");

  geometryParent->doBuildWingedEdge = buildWingedEdge;
  geometryParent->requestRebuild();
  modifier->markChanged();
  heModel->invalidate();
  resetTransformsAndView();
  printf("Model loaded!\n");
  return true;
}

void LinfoldApplication::resetTransformsAndView() {
  SoSearchAction search;
  search.setType(SoTransformation::getClassTypeId(), TRUE);
  search.setInterest(SoSearchAction::ALL);
  search.setSearchingAll(TRUE);
  search.apply(root);
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
  if (viewer) viewer->viewAll();
  render();
  updateStatistics();
}

void LinfoldApplication::updateStatistics() {
  const SbWingedEdgeModel& built = geometryParent->builtModel();
  const SbWingedEdgeModel& working = geometryParent->workingModel();
  facesOrigLabel->setText(QString::number(built.faceCount()));
  facesLabel->setText(QString::number(working.faceCount()));
  objectNumberLabel->setText(QString::number(working.objects.size()));
  faceNumberLabel->setText(QString::number(working.faceCount()));
  edgeNumberLabel->setText(QString::number(working.edgeCount()));
  vertexNumberLabel->setText(QString::number(working.vertexCount()));
}

// ------------------------------------------------------------------ helpers

void LinfoldApplication::render() {
  if (viewer && viewer->getGLWidget() && viewer->getGLWidget()->isVisible()) viewer->render();
}

void LinfoldApplication::refresh() {
  render();
  updateStatistics();
}

void LinfoldApplication::meshChanged() {
  modifier->markChanged();
  heModel->invalidate();
}

bool LinfoldApplication::toggle(QAction* item, bool& next) {
  const bool state = next;
  if (item) item->setChecked(state);
  next = !next;
  return state;
}

void LinfoldApplication::reportError(const QString& text) {
  if (std::getenv("LINFOLD_NO_DIALOGS")) {
    printf("Error: %s\n", text.toLocal8Bit().constData());
    fflush(stdout);
    return;
  }
  QMessageBox::information(this, "Error", text);
}

QString LinfoldApplication::askSaveName(const char* caption, const char* filter, bool parented,
                                        const char* objectName) {
  if (std::getenv("LINFOLD_NO_DIALOGS")) return QString::fromLocal8Bit(qgetenv("LINFOLD_SAVE_NAME"));
  QFileDialog dialog(parented ? this : nullptr, caption ? QString(caption) : QString(),
                     QString(), filter);
  if (objectName) dialog.setObjectName(objectName);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

void LinfoldApplication::applyColourScheme() {
  const float c = darkBackground ? 1.0f : 0.0f;
  const float b = darkBackground ? 0.0f : 1.0f;
  silhouettes->setColour(SbColor(c, c, c));
  baseColor->rgb.setValue(c, c, c);
  wingedEdge->setLineColour(SbColor(c, c, c));
  if (viewer) viewer->setBackgroundColor(SbColor(b, b, b));
  geometryParent->invalidateFaceColours();
}

// ------------------------------------------------------------------ slots

void LinfoldApplication::about() {
  QMessageBox::about(
      this, "Linfold Application v0.01",
      "Linfold turns polygonal models into pen-and-ink illustrations.\n\n"
      "It demonstrates strokes and dotted lines that follow flow fields on polygonal "
      "meshes, and the extraction and optimisation of those flow fields. Results are "
      "exported as vector PDF and as anti-aliased TGA snapshots.\n\n"
      "Built with Coin, SoQt, Qt, OpenGL, zlib, libart and L-BFGS-B.");
}

void LinfoldApplication::openFile() {
  // Every format the model reader knows; the classic Inventor filter stays
  // among them.
  const QString filter = QString::fromStdString(SbModelReader::fileDialogFilter()) +
                         ";;Open Inventor (*.iv)";
  QFileDialog dialog(this, "Choose an Inventor file to open ...", QString(), filter);
  dialog.setObjectName("open inventor file dialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString name = dialog.selectedFiles().first();
  if (name.isEmpty()) return;
  openModel(name);
}

void LinfoldApplication::resetScene() { resetTransformsAndView(); }

void LinfoldApplication::generateWingedEdge(int) {
  buildWingedEdge = toggle(modelSettingsItems[0], nextBuildWingedEdge);
  changeBuildWEOnOffMode();
  render();
}

void LinfoldApplication::changeBuildWEOnOffMode() {
  geometryParent->doBuildWingedEdge = buildWingedEdge;
  geometryParent->requestRebuild();
  // Everything derived from the mesh follows the rebuilt (or emptied) model.
  meshChanged();
  resetTransformsAndView();
}

void LinfoldApplication::connectObjects(int) {
  modifier->connectObjects = toggle(modelSettingsItems[1], nextConnectObjects);
  meshChanged();
  refresh();
}

void LinfoldApplication::changeBackgroundMode(int) {
  darkBackground = toggle(appearanceItems[0], nextDarkBackground);
  applyColourScheme();
}

void LinfoldApplication::changeObjectsVisibilityMode(int) {
  toggle(appearanceItems[1], nextObjectsLit);
}

void LinfoldApplication::changeAntialiasingMode(int) {
  const bool on = toggle(appearanceItems[2], nextAntialiasing);
  silhouettes->antialiasing = on;
  lineShapeHQ->setLineSmoothing(on);
  render();
}

void LinfoldApplication::changeLineCrackMode(int) {
  silhouettes->fillLineCracks = toggle(appearanceItems[3], nextFillCracks);
  geometryParent->invalidateFaceColours();
  render();
}

void LinfoldApplication::changeBackfacesMode(int) { toggle(appearanceItems[4], nextHideBackfaces); }

void LinfoldApplication::changeSilhouetteVisibilityMode(int) {
  const bool on = toggle(visibilityItems[0], nextHiddenLineRemover);
  silhouettes->displaySilhouette = on;
  hiddenLineRemover->active = on;
}

void LinfoldApplication::changeCameraStaticMode(int) {
  SoSilhouetteSwitches::cameraStatic = toggle(visibilityItems[1], nextCameraStatic);
  render();
}

// The repair switches get the state the check mark shows, so what the menu
// shows is what runs.
void LinfoldApplication::changeMeshZigZagMode(int) {
  SoSilhouetteSwitches::meshZigZagRepair = toggle(artifactItems[0], nextMeshZigZag) ? 1 : 0;
  render();
}

void LinfoldApplication::changeTriagleChunkMode(int) {
  SoSilhouetteSwitches::triangleChunkRepair = toggle(artifactItems[1], nextTriangleChunk) ? 1 : 0;
  render();
}

void LinfoldApplication::changeLineZigZagMode(int) {
  zigZagPurifier->active = toggle(artifactItems[2], nextLineZigZag);
  render();
}

void LinfoldApplication::changeShortEdgesMode(int) {
  shortSegmentPurifier->active = toggle(artifactItems[3], nextShortEdges);
  render();
}

void LinfoldApplication::changeSharpAnglesMode(int) {
  sharpAnglePurifier->active = toggle(artifactItems[4], nextSharpAngles);
  render();
}

void LinfoldApplication::changeLineStyleMode(bool b) {
  silhouettes->sendLines = b;
  wingedEdge->sendLines = b;
  geometryParent->invalidateFaceColours();
}

void LinfoldApplication::changeLineStripMode(bool b) {
  SoSilhouetteSwitches::lineStripMode = b;
  render();
}

void LinfoldApplication::changeAdaptiveSubdivisionSteps(int v) {
  modifier->adaptiveSubdivisionSteps = v;
  meshChanged();
  refresh();
}

void LinfoldApplication::changeAdaptiveSubdivisionMode(int i) {
  static const int schemes[] = {3, 4};
  if (i >= 0 && i < 2) modifier->adaptiveSubdivisionMode = schemes[i];
  meshChanged();
  refresh();
}

void LinfoldApplication::changeSubdivisionSteps(int v) {
  modifier->subdivisionSteps = v;
  meshChanged();
  refresh();
}

void LinfoldApplication::changeSubdivisionMode(int i) {
  static const int schemes[] = {3, 4, 2, 1};
  if (i >= 0 && i < 4) modifier->subdivisionMode = schemes[i];
  meshChanged();
  refresh();
}

void LinfoldApplication::changeDividingSteps(int v) {
  modifier->dividingSteps = v;
  meshChanged();
  refresh();
}

void LinfoldApplication::changeDividingMode(int i) {
  static const int schemes[] = {3, 4, 2};
  if (i >= 0 && i < 3) modifier->dividingMode = schemes[i];
  meshChanged();
  refresh();
}

void LinfoldApplication::changeSmoothingSteps(int v) {
  modifier->smoothingSteps = v;
  meshChanged();
}

void LinfoldApplication::changeSmoothingSpeed() {
  float speed = textToFloat(smoothingSpeedEdit->text());
  if (speed == 0.0f) speed = 1.0f;
  modifier->smoothingSpeed = speed;
  meshChanged();
}

void LinfoldApplication::changeSharpEdgesAngle(int v) {
  modifier->sharpAngle = static_cast<float>(v);
  meshChanged();
}

void LinfoldApplication::changeSharpAngleMode(bool b) {
  modifier->useSharpAngles = b;
  meshChanged();
  refresh();
}

void LinfoldApplication::changePolygonationMode(bool b) {
  modifier->polygonationMode = b;
  meshChanged();
  refresh();
}

void LinfoldApplication::changeVisualizationMode(int i) {
  static const int modes[] = {1, 2, 3, 6, 7, 4};
  const int previous = geometryParent->visualizationMode.getValue();
  if (i >= 0 && i < 6) geometryParent->visualizationMode = modes[i];
  if (previous == 1 || i == 0) geometryParent->invalidateCurvature();
  render();
}

void LinfoldApplication::changeLsGLlines(bool b) {
  lineShapeHQ->glLines = b;
  render();
}

void LinfoldApplication::changeLSlineMode(int i) {
  static const int modes[] = {SoLineShapeHQ::M_BLACK, SoLineShapeHQ::M_THICK,
                              SoLineShapeHQ::M_DENS, SoLineShapeHQ::M_THICK_DENS,
                              SoLineShapeHQ::M_RESOLUTION};
  if (i >= 0 && i < 5) lineShapeHQ->mode = modes[i];
  render();
}

void LinfoldApplication::changeLsRebalance(bool b) {
  lineSettings->rebalance = b;
  render();
}

void LinfoldApplication::changeLsLineWidth() {
  lineSettings->lineWidth = std::max(textToFloat(lineWidthEdit->text()), 0.0f);
  render();
}

void LinfoldApplication::changeLsMaxLineWidth() {
  lineSettings->maxWidth = std::max(textToFloat(maxLineWidthEdit->text()), 0.0f);
  render();
}

void LinfoldApplication::changeLsMinDistance() {
  lineSettings->minDistance = std::max(textToFloat(minDistanceEdit->text()), 0.0f);
  render();
}

void LinfoldApplication::changeLsMaxDistance() {
  lineSettings->maxDistance = std::max(textToFloat(maxDistanceEdit->text()), 0.0f);
  render();
}

void LinfoldApplication::changeSilhouetteVis(bool b) {
  silhouettes->doComputation = b;
  render();
}

void LinfoldApplication::changeSilhouetteSharpAngle(int v) {
  silhouettes->sharpEdgesAngle = static_cast<float>(v);
  render();
}

void LinfoldApplication::changeSilhouetteThickness() {
  thickener->amplitude = textToFloat(silhouetteThicknessEdit->text());
  render();
}

void LinfoldApplication::changeStreamlinerVis(bool b) {
  streamliner->doComputation = b;
  render();
}

void LinfoldApplication::changeStreamlinerThickness() {
  thickenerHQ->parserExpression = streamlineThicknessEdit->text().toLatin1().constData();
  render();
}

void LinfoldApplication::changeStreamlinerDensity() {
  densifierHQ->parserExpression = densityEdit->text().toLatin1().constData();
  render();
}

// The streamliner's settings take effect with "Apply Changes" (slot 57).
void LinfoldApplication::changeSSepDistance(const QString& t) {
  streamliner->seperationDist = magnitudeAtLeast(t, 0.0005f);
}

void LinfoldApplication::changeSProbeDistance(const QString&) {
  streamliner->probeDist = magnitudeAtLeast(probeEdit->text(), 0.0005f);
}

void LinfoldApplication::changeSSharpEdge(const QString& t) {
  streamliner->sharpEdge = magnitudeAtLeast(t, 1.0f);
}

void LinfoldApplication::changeSSharpEdgeState(bool b) {
  streamliner->sharpEdge = signedLimit(streamliner->sharpEdge.getValue(), b);
  sharpEdgeEdit->setEnabled(b);
}

void LinfoldApplication::changeSMaxBend(const QString& t) {
  streamliner->maxBend = magnitudeAtLeast(t, 1.0f);
}

void LinfoldApplication::changeSMaxBendState(bool b) {
  streamliner->maxBend = signedLimit(streamliner->maxBend.getValue(), b);
  maxBendEdit->setEnabled(b);
}

void LinfoldApplication::changeSMinLength(const QString& t) {
  streamliner->minLength = magnitudeAtLeast(t, 0.0001f);
}

void LinfoldApplication::changeSMinLengthState(bool b) {
  streamliner->minLength = signedLimit(streamliner->minLength.getValue(), b);
  minLengthEdit->setEnabled(b);
}

void LinfoldApplication::changeSMaxLength(const QString& t) {
  streamliner->maxLength = magnitudeAtLeast(t, 0.0001f);
}

void LinfoldApplication::changeSMaxLengthState(bool b) {
  streamliner->maxLength = signedLimit(streamliner->maxLength.getValue(), b);
  maxLengthEdit->setEnabled(b);
}

void LinfoldApplication::changeSStepSize(const QString& t) {
  streamliner->stepSize = magnitudeAtLeast(t, 0.0005f);
}

void LinfoldApplication::changeSTaper(int i) {
  static const int methods[] = {SoStreamlinerHQ::TM_NONE, SoStreamlinerHQ::TM_SPHERE,
                                SoStreamlinerHQ::TM_PLANE, SoStreamlinerHQ::TM_PLANE_AVG};
  if (i >= 0 && i < 4) streamliner->taperMethod = methods[i];
}

void LinfoldApplication::changeStreamliner() {
  streamliner->invalidate();
  render();
}

void LinfoldApplication::changeFlowfieldVis(bool b) {
  flowFieldDisplay->sendLines = b;
  render();
}

void LinfoldApplication::changeFlowfieldMode(int m) {
  lockRadiusEdit->setEnabled(m == 2);
  toleranceSlider->setEnabled(m >= 2);
}

// The editing commands work on the field held by the flow-field node, with the
// half-edge model and the curvature of their nodes; each does nothing when the
// field was not built for the current model. An edit that turns directions
// renews the field's stamp, so the display and the strokes follow on render.
void LinfoldApplication::changeFlowfieldSelect() {
  const int mode = selectModeCombo->currentIndex();
  const float radius = textToFloat(lockRadiusEdit->text());
  const float tolerance =
      static_cast<float>(toleranceSlider->value()) / static_cast<float>(toleranceSlider->maximum());
  flowField->flowField().select(heModel->model(), curvature->curvature(), mode, tolerance, radius);
  render();
}

void LinfoldApplication::changeFlowfieldTolerance(int v) {
  flowField->flowField().applyTolerance(static_cast<float>(v) /
                                        static_cast<float>(toleranceSlider->maximum()));
  render();
}

void LinfoldApplication::changeFlowfieldReset() {
  flowField->flowField().from(heModel->model(), curvature->curvature());
  render();
}

void LinfoldApplication::changeFlowfieldOptimize() {
  flowField->flowField().optimize(heModel->model(), textToFloat(flowCostEdit->text()));
  render();
}

void LinfoldApplication::changeFlowfieldRelax() {
  flowField->flowField().relax(heModel->model());
  render();
}

void LinfoldApplication::changeFlowfieldUnify() {
  flowField->flowField().unify(heModel->model());
  render();
}

void LinfoldApplication::changeFlowfieldRot() {
  flowField->flowField().rotate(heModel->model(), textToFloat(flowRotEdit->text()));
  render();
}

void LinfoldApplication::changeCurvatureMode(int id) {
  if (id < 0 || id > 12) return;
  geometryParent->curvatureMode = id + 1;
  geometryParent->invalidateCurvature();
  render();
}

// The export commands arm their output node with the chosen name; the node
// writes during the next render. A cancelled dialog changes nothing.
void LinfoldApplication::reportFailedWrite(bool written, bool failed, const QString& name) {
  if (written && failed) reportError(QString("Could not write %1").arg(name));
}

void LinfoldApplication::writeWingedEdgeToVRMLFile() {
  const QString name = askSaveName(nullptr, "VRML 2.0 Files (*.wrl)", false, nullptr);
  if (name.isEmpty()) return;
  wingedEdgeOutput->filename = QFile::encodeName(name).constData();
  wingedEdgeOutput->requestVrmlWrite();
  render();
  reportFailedWrite(wingedEdgeOutput->written, wingedEdgeOutput->writeFailed(), name);
}

void LinfoldApplication::writeWingedEdgeToIVFile() {
  const QString name = askSaveName(nullptr, "Inventor 2.1 Files (*.iv)", false, nullptr);
  if (name.isEmpty()) return;
  wingedEdgeOutput->filename = QFile::encodeName(name).constData();
  wingedEdgeOutput->requestInventorWrite();
  render();
  reportFailedWrite(wingedEdgeOutput->written, wingedEdgeOutput->writeFailed(), name);
}

// The application never hides a code in its exports.
void LinfoldApplication::writeLinesToASCIIFile() {
  const QString name = askSaveName("Choose a TXT file to save vector graphic to ...", "*.txt",
                                   true, "save ASCII file dialog");
  if (name.isEmpty()) return;
  lineOutput->filename = QFile::encodeName(name).constData();
  lineOutput->steganoMode = SoLineOutput::NO_STEGANO;
  lineOutput->requestTextWrite();
  render();
  reportFailedWrite(lineOutput->written, lineOutput->writeFailed(), name);
}

void LinfoldApplication::writeLinesToPDFFile() {
  const QString name = askSaveName("Choose a PDF file to save vector graphic to ...", "*.pdf",
                                   true, "save PDF file dialog");
  if (name.isEmpty()) return;
  lineOutput->filename = QFile::encodeName(name).constData();
  lineOutput->steganoMode = SoLineOutput::NO_STEGANO;
  lineOutput->lineWidth = 0.4f * pdfLineWidth;
  lineOutput->requestPdfWrite();
  render();
  reportFailedWrite(lineOutput->written, lineOutput->writeFailed(), name);
}

void LinfoldApplication::writeSnapshot(SoLineOutputHQ* output, const QString& name) {
  if (!output->requestWrite(SbString(QFile::encodeName(name).constData()))) return;
  render();
  if (output->getWriteResult() == SoLineOutputHQ::WR_FAILED)
    reportError(QString("Could not write %1").arg(name));
}

void LinfoldApplication::writeLinesToTgaFileHQ() {
  const QString name = askSaveName("Choose a TGA file to save a snapshot to...", "*.tga", true,
                                   "save HQ-TGA file dialog");
  if (name.isEmpty()) return;
  writeSnapshot(tgaOutput, name);
}

void LinfoldApplication::writeLinesToPdfFileHQ() {
  const QString name = askSaveName("Choose a PDF file to save a snapshot to...", "*.pdf", true,
                                   "save HQ-PDF file dialog");
  if (name.isEmpty()) return;
  writeSnapshot(pdfOutput, name);
}

void LinfoldApplication::renderWithExtraOutput(SoNode* node) {
  const int at = lineSeparator->findChild(pdfOutput) + 1;
  lineSeparator->insertChild(node, at);
  render();
  lineSeparator->removeChild(node);
}

void LinfoldApplication::writeLinesToSvgFileHQ() {
  const QString name = askSaveName("Choose an SVG file to save a snapshot to...", "*.svg", true,
                                   "save HQ-SVG file dialog");
  if (name.isEmpty()) return;
  if (!svgOutput->requestWrite(SbString(QFile::encodeName(name).constData()))) return;
  renderWithExtraOutput(svgOutput);
  if (svgOutput->getWriteResult() == SoLineOutputHQ::WR_FAILED)
    reportError(QString("Could not write %1").arg(name));
  else if (svgOutput->getWriteResult() == SoLineOutputHQ::WR_NONE)
    reportError(QString("Nothing is drawn yet; %1 was not written").arg(name));
  svgOutput->requestWrite(SbString());
}

void LinfoldApplication::writePlotterFile(int format, const QString& name) {
  plotterOutput->format = format;
  if (!plotterOutput->requestWrite(SbString(QFile::encodeName(name).constData()))) return;
  renderWithExtraOutput(plotterOutput);
  if (plotterOutput->getWriteResult() == SoLinePlotterOutput::WR_FAILED)
    reportError(QString("Could not write %1").arg(name));
  else if (plotterOutput->getWriteResult() == SoLinePlotterOutput::WR_NONE)
    reportError(QString("Nothing is drawn yet; %1 was not written").arg(name));
  plotterOutput->requestWrite(SbString());
}

void LinfoldApplication::writeLinesToPlotterSvg() {
  const QString name = askSaveName("Choose an SVG file to save plotter paths to...", "*.svg", true,
                                   "save plotter SVG file dialog");
  if (!name.isEmpty()) writePlotterFile(SoLinePlotterOutput::SVG, name);
}

void LinfoldApplication::writeLinesToPlotterText() {
  const QString name = askSaveName("Choose a TXT file to save plotter paths to...", "*.txt", true,
                                   "save plotter TXT file dialog");
  if (!name.isEmpty()) writePlotterFile(SoLinePlotterOutput::TEXT, name);
}
