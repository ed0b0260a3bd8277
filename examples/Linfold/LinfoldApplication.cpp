#include "LinfoldApplication.h"

#include <Inventor/SbTime.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/Qt/SoQt.h>
#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoInfo.h>
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

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/LibraryClasses.h"
#include "curvature/SoGenerateCurvatureHQ.h"
#include "core/ProgressMeter.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoModifyWingedEdge.h"
#include "mesh/SoWingedEdge.h"
#include "mesh/SoGenerateHeModelHQ.h"

#include "LinfoldIcon.xpm"

namespace {

// Qt's C-locale conversion; text that is not a finite number gives 0.
float textToFloat(const QString& text) {
  bool ok = false;
  float v = text.toFloat(&ok);
  return ok && std::isfinite(v) ? v : 0.0f;
}

// The working directory, however long; empty when it cannot be read.
std::string currentDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(&buffer[0], buffer.size())) return std::string(buffer.c_str());
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool isDirectory(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Placeholder for a stage of the pipeline that is not part of this build yet;
// it keeps the stage's position in the scene and says what belongs there.
SoNode* placeholder(const char* role) {
  SoInfo* info = new SoInfo;
  info->string = role;
  return info;
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
  flowField = placeholder("SoGenerateFlowFieldHQ");
  modelNode->addChild(flowField);
  wingedEdgeOutput = placeholder("SoWingedEdgeOutput");
  modelNode->addChild(wingedEdgeOutput);
  wingedEdge = new SoWingedEdge;
  modelNode->addChild(wingedEdge);
  flowFieldDisplay = placeholder("SoFlowFieldHQ");
  modelNode->addChild(flowFieldDisplay);
  baseColor = new SoBaseColor;
  modelNode->addChild(baseColor);

  lineSeparator = new SoSeparator;
  lineSeparator->renderCaching = SoSeparator::OFF;
  modelNode->addChild(lineSeparator);

  silhouettes = placeholder("SoGenerateSilhouette");
  lineSeparator->addChild(silhouettes);
  concatenator = placeholder("SoLineConcatenator");
  lineSeparator->addChild(concatenator);
  hiddenLineRemover = placeholder("SoLineHiddenLineRemover");
  lineSeparator->addChild(hiddenLineRemover);
  zigZagPurifier = placeholder("SoLinePurifier ELIMINATE_ZIG_ZAGS");
  lineSeparator->addChild(zigZagPurifier);
  shortSegmentPurifier = placeholder("SoLinePurifier ELIMINATE_SHORT_SEGMENTS");
  lineSeparator->addChild(shortSegmentPurifier);
  sharpAnglePurifier = placeholder("SoLinePurifier ELIMINATE_SHARP_ANGLES");
  lineSeparator->addChild(sharpAnglePurifier);
  thickener = placeholder("SoLineThickener CONSTANT 1.0");
  lineSeparator->addChild(thickener);
  lineSeparator->addChild(placeholder("SoLineMergerHQ LM_STORE"));
  streamliner = placeholder("SoStreamlinerHQ");
  lineSeparator->addChild(streamliner);
  lineSeparator->addChild(concatenator);
  lineSeparator->addChild(hiddenLineRemover);
  thickenerHQ = placeholder("SoLineThickenerHQ PARSER");
  lineSeparator->addChild(thickenerHQ);
  densifierHQ = placeholder("SoLineDensifierHQ PARSER");
  lineSeparator->addChild(densifierHQ);
  lineSeparator->addChild(placeholder("SoLineMergerHQ LM_MERGE"));
  lineSeparator->addChild(placeholder("SoLineMergerHQ LM_RESTORE"));
  lineSettings = placeholder("SoLineSettingsHQ");
  lineSeparator->addChild(lineSettings);
  lineOutput = placeholder("SoLineOutput");
  lineSeparator->addChild(lineOutput);
  tgaOutput = placeholder("SoLineOutputTgaHQ");
  lineSeparator->addChild(tgaOutput);
  pdfOutput = placeholder("SoLineOutputPdfHQ");
  lineSeparator->addChild(pdfOutput);
  lineShapeHQ = placeholder("SoLineShapeHQ");
  lineSeparator->addChild(lineShapeHQ);

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
  if (!directory.empty() && chdir(directory.c_str()) != 0)
    printf("could not change to directory %s\n", directory.c_str());

  auto restoreDirectory = [&startDirectory]() {
    if (!startDirectory.empty() && chdir(startDirectory.c_str()) != 0)
      printf("could not change to directory %s\n", startDirectory.c_str());
  };

  SoInput input;
  if (fileName.empty() || isDirectory(fileName.c_str()) || !input.openFile(fileName.c_str())) {
    printf("Cannot load %s ...\n", path);
    restoreDirectory();
    return false;
  }
  restoreDirectory();

  if (index < 0) {
    input.closeFile();
    printf("Cannot load %s ...\n", path);
    return false;
  }
  if (!input.isValidFile()) {
    input.closeFile();
    reportError("Wrong filename! Try again ...");
    return false;
  }
  SoSeparator* scene = SoDB::readAll(&input);
  input.closeFile();
  if (!scene) {
    reportError("Wrong filename! Try again ...");
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
  const SoPathList& paths = search.getPaths();
  for (int i = 0; i < paths.getLength(); ++i) paths[i]->getTail()->setToDefaults();
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
  QFileDialog dialog(this, "Choose an Inventor file to open ...", QString(),
                     "Open Inventor (*.iv)");
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
  toggle(appearanceItems[2], nextAntialiasing);
  render();
}

void LinfoldApplication::changeLineCrackMode(int) {
  toggle(appearanceItems[3], nextFillCracks);
  geometryParent->invalidateFaceColours();
  render();
}

void LinfoldApplication::changeBackfacesMode(int) { toggle(appearanceItems[4], nextHideBackfaces); }

void LinfoldApplication::changeSilhouetteVisibilityMode(int) {
  toggle(visibilityItems[0], nextHiddenLineRemover);
}

void LinfoldApplication::changeCameraStaticMode(int) {
  toggle(visibilityItems[1], nextCameraStatic);
  render();
}

void LinfoldApplication::changeMeshZigZagMode(int) {
  toggle(artifactItems[0], nextMeshZigZag);
  render();
}

void LinfoldApplication::changeTriagleChunkMode(int) {
  toggle(artifactItems[1], nextTriangleChunk);
  render();
}

void LinfoldApplication::changeLineZigZagMode(int) {
  toggle(artifactItems[2], nextLineZigZag);
  render();
}

void LinfoldApplication::changeShortEdgesMode(int) {
  toggle(artifactItems[3], nextShortEdges);
  render();
}

void LinfoldApplication::changeSharpAnglesMode(int) {
  toggle(artifactItems[4], nextSharpAngles);
  render();
}

void LinfoldApplication::changeLineStyleMode(bool b) {
  wingedEdge->sendLines = b;
  geometryParent->invalidateFaceColours();
}

void LinfoldApplication::changeLineStripMode(bool) { render(); }

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

void LinfoldApplication::changeLsGLlines(bool) {}
void LinfoldApplication::changeLSlineMode(int) {}
void LinfoldApplication::changeLsRebalance(bool) {}
void LinfoldApplication::changeLsLineWidth() {}
void LinfoldApplication::changeLsMaxLineWidth() {}
void LinfoldApplication::changeLsMinDistance() {}
void LinfoldApplication::changeLsMaxDistance() {}
void LinfoldApplication::changeSilhouetteVis(bool) {}
void LinfoldApplication::changeSilhouetteSharpAngle(int) {}
void LinfoldApplication::changeSilhouetteThickness() {}
void LinfoldApplication::changeStreamlinerVis(bool) {}
void LinfoldApplication::changeStreamlinerThickness() {}
void LinfoldApplication::changeStreamlinerDensity() {}
void LinfoldApplication::changeSSepDistance(const QString&) {}
void LinfoldApplication::changeSProbeDistance(const QString&) {}
void LinfoldApplication::changeSSharpEdge(const QString&) {}
void LinfoldApplication::changeSSharpEdgeState(bool b) { sharpEdgeEdit->setEnabled(b); }
void LinfoldApplication::changeSMaxBend(const QString&) {}
void LinfoldApplication::changeSMaxBendState(bool b) { maxBendEdit->setEnabled(b); }
void LinfoldApplication::changeSMinLength(const QString&) {}
void LinfoldApplication::changeSMinLengthState(bool b) { minLengthEdit->setEnabled(b); }
void LinfoldApplication::changeSMaxLength(const QString&) {}
void LinfoldApplication::changeSMaxLengthState(bool b) { maxLengthEdit->setEnabled(b); }
void LinfoldApplication::changeSStepSize(const QString&) {}
void LinfoldApplication::changeSTaper(int) {}
void LinfoldApplication::changeStreamliner() {}
void LinfoldApplication::changeFlowfieldVis(bool) {}

void LinfoldApplication::changeFlowfieldMode(int m) {
  lockRadiusEdit->setEnabled(m == 2);
  toleranceSlider->setEnabled(m >= 2);
}

void LinfoldApplication::changeFlowfieldSelect() {}
void LinfoldApplication::changeFlowfieldTolerance(int) {}
void LinfoldApplication::changeFlowfieldReset() {}
void LinfoldApplication::changeFlowfieldOptimize() {}
void LinfoldApplication::changeFlowfieldRelax() {}
void LinfoldApplication::changeFlowfieldUnify() {}
void LinfoldApplication::changeFlowfieldRot() {}

void LinfoldApplication::changeCurvatureMode(int id) {
  if (id < 0 || id > 12) return;
  geometryParent->curvatureMode = id + 1;
  geometryParent->invalidateCurvature();
  render();
}

void LinfoldApplication::writeWingedEdgeToVRMLFile() {}
void LinfoldApplication::writeWingedEdgeToIVFile() {}
void LinfoldApplication::writeLinesToASCIIFile() {}
void LinfoldApplication::writeLinesToPDFFile() {}
void LinfoldApplication::writeLinesToTgaFileHQ() {}
void LinfoldApplication::writeLinesToPdfFileHQ() {}
