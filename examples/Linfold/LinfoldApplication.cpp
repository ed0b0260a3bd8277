#include "LinfoldApplication.h"

#include <Inventor/SbTime.h>
#include <Inventor/Qt/SoQt.h>
#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGLWidget>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QWindow>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "LinfoldControls.h"
#include "LinfoldScene.h"
#include "core/ProgressMeter.h"
#include "io/SbModelReader.h"
#include "output/SoLineOutput.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputSvgHQ.h"
#include "output/SoLinePlotterOutput.h"
#include "output/SoLineOutputTgaHQ.h"
#include "output/SoWingedEdgeOutput.h"

#include "LinfoldIcon.xpm"

LinfoldApplication::LinfoldApplication() : QMainWindow(nullptr, Qt::Window) {
  // Inventor files and diagnostics use '.' as the decimal point whatever the
  // user's locale (QApplication switched LC_NUMERIC to it).
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());

  setObjectName("mainWindow");

  SoQt::init(this);

  buildCentralWidget();
  createScene();

  viewer = new SoQtExaminerViewer(viewerArea, nullptr, TRUE, SoQtFullViewer::BUILD_ALL, SoQtViewer::BROWSER);
  viewerArea->layout()->addWidget(viewer->getWidget());
  viewer->setCameraType(SoOrthographicCamera::getClassTypeId());
  viewer->setDecoration(FALSE);
  viewer->setSceneGraph(sceneRoot());
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
  sceneControls.reset();
  scene.reset();
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
    case 1: window->progressBar->setValue(value); break;
    case 2: window->progressBar->reset(); break;
    default: break;
  }
}

// ------------------------------------------------------------------ scene

void LinfoldApplication::createScene() {
  scene.reset(new LinfoldScene);
  sceneControls.reset(new LinfoldControls(*scene));
  scene->nodes().frameCounter->setCallback(&LinfoldApplication::fpsCallback, this);
  scene->setViewHook([this]() {
    if (viewer) viewer->viewAll();
    render();
    updateStatistics();
  });
}

SoSeparator* LinfoldApplication::sceneRoot() const { return scene->root(); }

void LinfoldApplication::fpsCallback(void* data, SoAction* action) {
  if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
  LinfoldApplication* window = static_cast<LinfoldApplication*>(data);
  static SbTime start(0.0);
  static int frames = 0;
  static SbTime now;
  if (window) {
    const SbVec2s size = static_cast<SoGLRenderAction*>(action)->getViewportRegion().getWindowSize();
    window->frameStarted(size[0], size[1]);
  }
  now = SbTime::getTimeOfDay();
  ++frames;
  double elapsed = (now - start).getValue();
  if (elapsed > 1.0) {
    if (window && window->fpsLabel) window->fpsLabel->setText(QString::number(frames / elapsed, 'f', 1));
    frames = 0;
    start = SbTime::getTimeOfDay();
  }
}

void LinfoldApplication::frameStarted(short width, short height) {
  // Mesa's software GL (as under Xvfb) loses the first frame drawn after the
  // GL window changed size: the screen stays black until something draws
  // again. Draw once more whenever the size is new.
  if (width != frameWidth || height != frameHeight) {
    frameWidth = width;
    frameHeight = height;
    QTimer::singleShot(0, this, [this]() {
      if (viewer) viewer->scheduleRedraw();
    });
  }
  // This frame may build the models (a model opened before the viewer could
  // draw, the start-up cone): show their counts once it has ended.
  if (!statisticsDue) {
    statisticsDue = true;
    QTimer::singleShot(0, this, [this]() {
      statisticsDue = false;
      updateStatistics();
    });
  }
  if (screenshotTimer) screenshotTimer->start();
}

QImage LinfoldApplication::screenPicture() const {
  QScreen* screen = windowHandle() ? windowHandle()->screen() : QGuiApplication::primaryScreen();
  if (!screen) return QImage();
  return screen->grabWindow(winId()).toImage();
}

void LinfoldApplication::takeScreenshotWhenSettled(const QString& path) {
  screenshotPath = path;
  if (!screenshotTimer) {
    screenshotTimer = new QTimer(this);
    screenshotTimer->setSingleShot(true);
    screenshotTimer->setInterval(500);
    connect(screenshotTimer, &QTimer::timeout, this, &LinfoldApplication::writeScreenshot);
  }
  screenshotTimer->start();
}

void LinfoldApplication::writeScreenshot() {
  const QImage picture = screenPicture();
  if (picture.isNull() || !picture.save(screenshotPath, "PNG"))
    printf("Could not write the screenshot %s\n", screenshotPath.toLocal8Bit().constData());
  else
    printf("Screenshot: %s\n", screenshotPath.toLocal8Bit().constData());
  fflush(stdout);
  close();
}

bool LinfoldApplication::openModel(const QString& path) {
  if (path.isEmpty()) return false;
  // A failed load leaves the view alone; the viewer may make itself a new
  // camera while the scene is detached, so its values are kept aside.
  SoCamera* camera = viewer->getCamera();
  SoCamera* before = camera ? static_cast<SoCamera*>(camera->copy()) : nullptr;
  if (before) before->ref();
  // The scene is detached while its geometry is replaced.
  viewer->setSceneGraph(new SoSeparator);
  bool loaded = loadModel(QFile::encodeName(path).constData());
  viewer->setSceneGraph(sceneRoot());
  if (loaded) {
    filenameLabel->setText(path);
    // Framed only now that the viewer has the scene again.
    viewer->viewAll();
  } else if (before && viewer->getCamera() && viewer->getCamera()->getTypeId() == before->getTypeId()) {
    viewer->getCamera()->copyFieldValues(before);
  }
  if (before) before->unref();
  render();
  updateStatistics();
  return loaded;
}

bool LinfoldApplication::loadModel(const char* path) {
  const LinfoldScene::LoadResult result = scene->loadModel(path);
  if (!result.message.empty()) reportError(QString::fromStdString(result.message));
  return result.loaded;
}

void LinfoldApplication::resetTransformsAndView() { scene->resetTransformsAndView(); }

void LinfoldApplication::updateStatistics() {
  const LinfoldScene::Statistics s = scene->statistics();
  facesOrigLabel->setText(QString::number(s.originalFaces));
  facesLabel->setText(QString::number(s.faces));
  objectNumberLabel->setText(QString::number(s.objects));
  faceNumberLabel->setText(QString::number(s.faces));
  edgeNumberLabel->setText(QString::number(s.edges));
  vertexNumberLabel->setText(QString::number(s.vertices));
}

// ------------------------------------------------------------------ helpers

void LinfoldApplication::render() {
  if (viewer && viewer->getGLWidget() && viewer->getGLWidget()->isVisible()) viewer->render();
}

void LinfoldApplication::refresh() {
  render();
  updateStatistics();
}

bool LinfoldApplication::toggle(QAction* item, bool& next) {
  const bool state = next;
  if (item) item->setChecked(state);
  next = !next;
  return state;
}

std::string LinfoldApplication::numberText(const QString& text) { return text.trimmed().toStdString(); }

std::string LinfoldApplication::numberText(const QLineEdit* edit) { return numberText(edit->text()); }

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
  QFileDialog dialog(parented ? this : nullptr, caption ? QString(caption) : QString(), QString(), filter);
  if (objectName) dialog.setObjectName(objectName);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

// ------------------------------------------------------------------ slots

void LinfoldApplication::about() {
  QMessageBox::about(this, "Linfold Application v0.01",
                     "Linfold turns polygonal models into pen-and-ink illustrations.\n\n"
                     "It demonstrates strokes and dotted lines that follow flow fields on polygonal "
                     "meshes, and the extraction and optimisation of those flow fields. Results are "
                     "exported as vector PDF and as anti-aliased TGA snapshots.\n\n"
                     "Built with Coin, SoQt, Qt, OpenGL, zlib, libart and L-BFGS-B.");
}

void LinfoldApplication::openFile() {
  // Every format the model reader knows; the classic Inventor filter stays
  // among them.
  const QString filter = QString::fromStdString(SbModelReader::fileDialogFilter()) + ";;Open Inventor (*.iv)";
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
  scene->setBuildWingedEdge(toggle(modelSettingsItems[0], nextBuildWingedEdge));
  render();
}

void LinfoldApplication::changeBuildWEOnOffMode() { scene->rebuildWingedEdge(); }

void LinfoldApplication::connectObjects(int) {
  sceneControls->setConnectObjects(toggle(modelSettingsItems[1], nextConnectObjects));
  refresh();
}

void LinfoldApplication::changeBackgroundMode(int) {
  sceneControls->setDarkBackground(toggle(appearanceItems[0], nextDarkBackground));
  if (viewer) viewer->setBackgroundColor(scene->backgroundColour());
}

void LinfoldApplication::changeObjectsVisibilityMode(int) { toggle(appearanceItems[1], nextObjectsLit); }

void LinfoldApplication::changeAntialiasingMode(int) {
  sceneControls->setAntialiasing(toggle(appearanceItems[2], nextAntialiasing));
  render();
}

void LinfoldApplication::changeLineCrackMode(int) {
  sceneControls->setFillLineCracks(toggle(appearanceItems[3], nextFillCracks));
  render();
}

void LinfoldApplication::changeBackfacesMode(int) { toggle(appearanceItems[4], nextHideBackfaces); }

void LinfoldApplication::changeSilhouetteVisibilityMode(int) {
  sceneControls->setHiddenLineRemover(toggle(visibilityItems[0], nextHiddenLineRemover));
}

void LinfoldApplication::changeCameraStaticMode(int) {
  sceneControls->setCameraStatic(toggle(visibilityItems[1], nextCameraStatic));
  render();
}

// The repair switches get the state the check mark shows, so what the menu
// shows is what runs.
void LinfoldApplication::changeMeshZigZagMode(int) {
  sceneControls->setMeshZigZagRepair(toggle(artifactItems[0], nextMeshZigZag));
  render();
}

void LinfoldApplication::changeTriagleChunkMode(int) {
  sceneControls->setTriangleChunkRepair(toggle(artifactItems[1], nextTriangleChunk));
  render();
}

void LinfoldApplication::changeLineZigZagMode(int) {
  sceneControls->setLineZigZagRepair(toggle(artifactItems[2], nextLineZigZag));
  render();
}

void LinfoldApplication::changeShortEdgesMode(int) {
  sceneControls->setShortEdgesRepair(toggle(artifactItems[3], nextShortEdges));
  render();
}

void LinfoldApplication::changeSharpAnglesMode(int) {
  sceneControls->setSharpAnglesRepair(toggle(artifactItems[4], nextSharpAngles));
  render();
}

void LinfoldApplication::changeLineStyleMode(bool b) { sceneControls->setLineStyle(b); }

void LinfoldApplication::changeLineStripMode(bool b) {
  sceneControls->setLineStripMode(b);
  render();
}

void LinfoldApplication::changeAdaptiveSubdivisionSteps(int v) {
  sceneControls->setAdaptiveSubdivisionSteps(v);
  refresh();
}

void LinfoldApplication::changeAdaptiveSubdivisionMode(int i) {
  sceneControls->setAdaptiveSubdivisionMode(i);
  refresh();
}

void LinfoldApplication::changeSubdivisionSteps(int v) {
  sceneControls->setSubdivisionSteps(v);
  refresh();
}

void LinfoldApplication::changeSubdivisionMode(int i) {
  sceneControls->setSubdivisionMode(i);
  refresh();
}

void LinfoldApplication::changeDividingSteps(int v) {
  sceneControls->setDividingSteps(v);
  refresh();
}

void LinfoldApplication::changeDividingMode(int i) {
  sceneControls->setDividingMode(i);
  refresh();
}

void LinfoldApplication::changeSmoothingSteps(int v) { sceneControls->setSmoothingSteps(v); }

void LinfoldApplication::changeSmoothingSpeed() { sceneControls->setSmoothingSpeed(numberText(smoothingSpeedEdit)); }

void LinfoldApplication::changeSharpEdgesAngle(int v) { sceneControls->setSharpAngle(v); }

void LinfoldApplication::changeSharpAngleMode(bool b) {
  sceneControls->setSharpAngles(b);
  refresh();
}

void LinfoldApplication::changePolygonationMode(bool b) {
  sceneControls->setLargeFaces(b);
  refresh();
}

void LinfoldApplication::changeVisualizationMode(int i) {
  sceneControls->setVisualizationMode(i);
  render();
}

void LinfoldApplication::changeLsGLlines(bool b) {
  sceneControls->setGlLines(b);
  render();
}

void LinfoldApplication::changeLSlineMode(int i) {
  sceneControls->setLineMode(i);
  render();
}

void LinfoldApplication::changeLsRebalance(bool b) {
  sceneControls->setRebalance(b);
  render();
}

void LinfoldApplication::changeLsLineWidth() {
  sceneControls->setLineWidth(numberText(lineWidthEdit));
  render();
}

void LinfoldApplication::changeLsMaxLineWidth() {
  sceneControls->setMaxLineWidth(numberText(maxLineWidthEdit));
  render();
}

void LinfoldApplication::changeLsMinDistance() {
  sceneControls->setMinDistance(numberText(minDistanceEdit));
  render();
}

void LinfoldApplication::changeLsMaxDistance() {
  sceneControls->setMaxDistance(numberText(maxDistanceEdit));
  render();
}

void LinfoldApplication::changeSilhouetteVis(bool b) {
  sceneControls->setSilhouettes(b);
  render();
}

void LinfoldApplication::changeSilhouetteSharpAngle(int v) {
  sceneControls->setSilhouetteSharpAngle(v);
  render();
}

void LinfoldApplication::changeSilhouetteThickness() {
  sceneControls->setSilhouetteThickness(numberText(silhouetteThicknessEdit));
  render();
}

void LinfoldApplication::changeStreamlinerVis(bool b) {
  sceneControls->setStreamlines(b);
  render();
}

void LinfoldApplication::changeStreamlinerThickness() {
  sceneControls->setStrokeThickness(streamlineThicknessEdit->text().toLatin1().constData());
  render();
}

void LinfoldApplication::changeStreamlinerDensity() {
  sceneControls->setStrokeDensity(densityEdit->text().toLatin1().constData());
  render();
}

// The streamliner's settings take effect with "Apply Changes" (slot 57).
void LinfoldApplication::changeSSepDistance(const QString& t) { sceneControls->setSeparationDistance(numberText(t)); }

void LinfoldApplication::changeSProbeDistance(const QString&) {
  sceneControls->setProbeDistance(numberText(probeEdit));
}

void LinfoldApplication::changeSSharpEdge(const QString& t) { sceneControls->setSharpEdge(numberText(t)); }

void LinfoldApplication::changeSSharpEdgeState(bool b) {
  sceneControls->setSharpEdgeOn(b);
  sharpEdgeEdit->setEnabled(b);
}

void LinfoldApplication::changeSMaxBend(const QString& t) { sceneControls->setMaxBend(numberText(t)); }

void LinfoldApplication::changeSMaxBendState(bool b) {
  sceneControls->setMaxBendOn(b);
  maxBendEdit->setEnabled(b);
}

void LinfoldApplication::changeSMinLength(const QString& t) { sceneControls->setMinLength(numberText(t)); }

void LinfoldApplication::changeSMinLengthState(bool b) {
  sceneControls->setMinLengthOn(b);
  minLengthEdit->setEnabled(b);
}

void LinfoldApplication::changeSMaxLength(const QString& t) { sceneControls->setMaxLength(numberText(t)); }

void LinfoldApplication::changeSMaxLengthState(bool b) {
  sceneControls->setMaxLengthOn(b);
  maxLengthEdit->setEnabled(b);
}

void LinfoldApplication::changeSStepSize(const QString& t) { sceneControls->setStepSize(numberText(t)); }

void LinfoldApplication::changeSTaper(int i) { sceneControls->setTaper(i); }

void LinfoldApplication::changeStreamliner() {
  sceneControls->retrace();
  render();
}

void LinfoldApplication::changeSCrossHatching(bool b) {
  sceneControls->setCrossHatching(b);
  render();
}

void LinfoldApplication::changeFlowfieldVis(bool b) {
  sceneControls->setFlowFieldShown(b);
  render();
}

void LinfoldApplication::changeFlowfieldMode(int m) {
  lockRadiusEdit->setEnabled(m == 2);
  toleranceSlider->setEnabled(m >= 2);
}

void LinfoldApplication::changeFlowfieldSelect() {
  const float tolerance = static_cast<float>(toleranceSlider->value()) / static_cast<float>(toleranceSlider->maximum());
  sceneControls->selectFlow(selectModeCombo->currentIndex(), numberText(lockRadiusEdit), tolerance);
  render();
}

void LinfoldApplication::changeFlowfieldTolerance(int v) {
  sceneControls->applyFlowTolerance(static_cast<float>(v) / static_cast<float>(toleranceSlider->maximum()));
  render();
}

void LinfoldApplication::changeFlowfieldReset() {
  sceneControls->resetFlow();
  render();
}

void LinfoldApplication::changeFlowfieldOptimize() {
  sceneControls->optimizeFlow(numberText(flowCostEdit));
  render();
}

void LinfoldApplication::changeFlowfieldRelax() {
  sceneControls->relaxFlow();
  render();
}

void LinfoldApplication::changeFlowfieldUnify() {
  sceneControls->unifyFlow();
  render();
}

void LinfoldApplication::changeFlowfieldRot() {
  sceneControls->rotateFlow(numberText(flowRotEdit));
  render();
}

void LinfoldApplication::changeFlowfieldAuto() {
  sceneControls->autoFlow();
  render();
}

void LinfoldApplication::changeCurvatureMode(int id) {
  sceneControls->setCurvatureMode(id);
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
  scene->nodes().wingedEdgeOutput->filename = QFile::encodeName(name).constData();
  scene->nodes().wingedEdgeOutput->requestVrmlWrite();
  render();
  reportFailedWrite(scene->nodes().wingedEdgeOutput->written, scene->nodes().wingedEdgeOutput->writeFailed(), name);
}

void LinfoldApplication::writeWingedEdgeToIVFile() {
  const QString name = askSaveName(nullptr, "Inventor 2.1 Files (*.iv)", false, nullptr);
  if (name.isEmpty()) return;
  scene->nodes().wingedEdgeOutput->filename = QFile::encodeName(name).constData();
  scene->nodes().wingedEdgeOutput->requestInventorWrite();
  render();
  reportFailedWrite(scene->nodes().wingedEdgeOutput->written, scene->nodes().wingedEdgeOutput->writeFailed(), name);
}

// The application never hides a code in its exports.
void LinfoldApplication::writeLinesToASCIIFile() {
  const QString name =
      askSaveName("Choose a TXT file to save vector graphic to ...", "*.txt", true, "save ASCII file dialog");
  if (name.isEmpty()) return;
  SoLineOutput* lines = scene->nodes().lineOutput;
  lines->filename = QFile::encodeName(name).constData();
  lines->steganoMode = SoLineOutput::NO_STEGANO;
  lines->requestTextWrite();
  render();
  reportFailedWrite(lines->written, lines->writeFailed(), name);
}

void LinfoldApplication::writeLinesToPDFFile() {
  const QString name =
      askSaveName("Choose a PDF file to save vector graphic to ...", "*.pdf", true, "save PDF file dialog");
  if (name.isEmpty()) return;
  SoLineOutput* lines = scene->nodes().lineOutput;
  lines->filename = QFile::encodeName(name).constData();
  scene->setLineExportStyle();
  lines->requestPdfWrite();
  render();
  reportFailedWrite(lines->written, lines->writeFailed(), name);
}

void LinfoldApplication::writeSnapshot(SoLineOutputHQ* output, const QString& name) {
  if (!output->requestWrite(SbString(QFile::encodeName(name).constData()))) return;
  render();
  if (output->getWriteResult() == SoLineOutputHQ::WR_FAILED) reportError(QString("Could not write %1").arg(name));
}

void LinfoldApplication::writeLinesToTgaFileHQ() {
  const QString name =
      askSaveName("Choose a TGA file to save a snapshot to...", "*.tga", true, "save HQ-TGA file dialog");
  if (name.isEmpty()) return;
  writeSnapshot(scene->nodes().tgaOutput, name);
}

void LinfoldApplication::writeLinesToPdfFileHQ() {
  const QString name =
      askSaveName("Choose a PDF file to save a snapshot to...", "*.pdf", true, "save HQ-PDF file dialog");
  if (name.isEmpty()) return;
  writeSnapshot(scene->nodes().pdfOutput, name);
}

void LinfoldApplication::renderWithExtraOutput(SoNode* node) {
  scene->placeAfterPdf(node);
  render();
  scene->removeFromLines(node);
}

void LinfoldApplication::writeLinesToSvgFileHQ() {
  const QString name =
      askSaveName("Choose an SVG file to save a snapshot to...", "*.svg", true, "save HQ-SVG file dialog");
  if (name.isEmpty()) return;
  SoLineOutputSvgHQ* svg = scene->nodes().svgOutput;
  if (!svg->requestWrite(SbString(QFile::encodeName(name).constData()))) return;
  renderWithExtraOutput(svg);
  if (svg->getWriteResult() == SoLineOutputHQ::WR_FAILED)
    reportError(QString("Could not write %1").arg(name));
  else if (svg->getWriteResult() == SoLineOutputHQ::WR_NONE)
    reportError(QString("Nothing is drawn yet; %1 was not written").arg(name));
  svg->requestWrite(SbString());
}

void LinfoldApplication::writePlotterFile(int format, const QString& name) {
  SoLinePlotterOutput* plotter = scene->nodes().plotterOutput;
  plotter->format = format;
  if (!plotter->requestWrite(SbString(QFile::encodeName(name).constData()))) return;
  renderWithExtraOutput(plotter);
  if (plotter->getWriteResult() == SoLinePlotterOutput::WR_FAILED)
    reportError(QString("Could not write %1").arg(name));
  else if (plotter->getWriteResult() == SoLinePlotterOutput::WR_NONE)
    reportError(QString("Nothing is drawn yet; %1 was not written").arg(name));
  plotter->requestWrite(SbString());
}

void LinfoldApplication::writeLinesToPlotterSvg() {
  const QString name =
      askSaveName("Choose an SVG file to save plotter paths to...", "*.svg", true, "save plotter SVG file dialog");
  if (!name.isEmpty()) writePlotterFile(SoLinePlotterOutput::SVG, name);
}

void LinfoldApplication::writeLinesToPlotterText() {
  const QString name =
      askSaveName("Choose a TXT file to save plotter paths to...", "*.txt", true, "save plotter TXT file dialog");
  if (!name.isEmpty()) writePlotterFile(SoLinePlotterOutput::TEXT, name);
}
