#ifndef LINFOLD_LINFOLDAPPLICATION_H
#define LINFOLD_LINFOLDAPPLICATION_H

#include <QMainWindow>
#include <QString>

#include <memory>
#include <string>

#include "LinfoldSettings.h"

class LinfoldControls;
class LinfoldScene;
class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QImage;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSlider;
class QTimer;
class SoAction;
class SoLineOutputHQ;
class SoNode;
class SoSeparator;
class SoQtExaminerViewer;

// The main window: viewer, status row, menus, the seven control windows and
// the slots that route every control to a node of the fixed scene. The scene
// itself (nodes, loading, counts) is a LinfoldScene; what each control does to
// it is LinfoldControls; the window reads its widgets, calls those and draws.
//
// Start-up as the program does it (main.cpp):
//   QApplication app(argc, argv);
//   LinfoldApplication* w = new LinfoldApplication();  // scene, viewer, menus,
//                                                      // control windows, every
//                                                      // start-up slot called
//   w->prepareMainWindow();   // progress hook, size, caption, icon
//   w->show();
//   w->enablePolygonOffset(); // needs the viewer's GL context, so after show()
//   SoQt::mainLoop();
//   delete w;
//
// The constructor shows nothing by itself and asks the viewer to render only
// while the viewer is visible. With LINFOLD_NO_DIALOGS set, errors are printed
// instead of shown in a message box and save dialogs take LINFOLD_SAVE_NAME.
class LinfoldApplication : public QMainWindow {
  Q_OBJECT

 public:
  // Requires a QApplication. Calls SoQt::init(this) and initLibraryClasses().
  LinfoldApplication();
  ~LinfoldApplication() override;

  // The steps between construction and showing: installs the progress hook
  // (client = this window), resizes to 800 x 600, sets the caption
  // "Linfold Demonstration" and the window icon.
  void prepareMainWindow();
  // Enables GL_POLYGON_OFFSET_FILL with factor 1, units 1 in the viewer's GL
  // context, so lines drawn over a surface win the depth test. Call after show().
  void enablePolygonOffset();
  // What the open dialog does with a chosen name, without the dialog: loads the
  // model (path in Qt's form, handed to the file system in the local 8-bit
  // encoding), shows the name in "Filename" when the load succeeded, frames the
  // scene, renders and updates the statistics. Returns loadModel's result.
  bool openModel(const QString& path);

  // Builds the scene (LinfoldScene) and hooks the frame counter and the view
  // reset to this window. Called once by the constructor.
  void createScene();
  // LinfoldScene::loadModel; a failure it reports goes to reportError.
  // Returns false when the file could not be read (the previous model stays).
  bool loadModel(const char* path);
  // Resets the scene's transformations, frames the scene, renders, counts.
  void resetTransformsAndView();
  void updateStatistics();

  SoSeparator* sceneRoot() const;
  SoQtExaminerViewer* examinerViewer() const { return viewer; }
  // The control windows, by their caption order: "Model Information",
  // "Subdivision Settings", "Curvature Mode Settings",
  // "Visualization Mode Settings", "Line Settings", "Streamliner", "FlowField".
  QMainWindow* controlWindow(int i) const;
  static constexpr int controlWindowCount = 7;

  // The window as the display shows it now, the viewer's GL picture
  // included (QWidget::grab draws the GL area black).
  QImage screenPicture() const;
  // Writes screenPicture() as a PNG to `path` once the drawing has settled
  // (no frame for half a second after the last one), prints
  // "Screenshot: <path>" and closes the window. main() arms it from the
  // environment variable LINFOLD_SCREENSHOT.
  void takeScreenshotWhenSettled(const QString& path);

  // Progress function installed as progressHook (client = the window).
  static void progressFunction(void* client, int value, int phase);

 public slots:
  void about();                                 // 0
  void openFile();                              // 1
  void resetScene();                            // 2
  void generateWingedEdge(int id);              // 3
  void changeBuildWEOnOffMode();                // 4
  void connectObjects(int id);                  // 5
  void changeBackgroundMode(int id);            // 6
  void changeObjectsVisibilityMode(int id);     // 7
  void changeAntialiasingMode(int id);          // 8
  void changeLineCrackMode(int id);             // 9
  void changeBackfacesMode(int id);             // 10
  void changeSilhouetteVisibilityMode(int id);  // 11
  void changeCameraStaticMode(int id);          // 12
  void changeMeshZigZagMode(int id);            // 13
  void changeTriagleChunkMode(int id);          // 14
  void changeLineZigZagMode(int id);            // 15
  void changeShortEdgesMode(int id);            // 16
  void changeSharpAnglesMode(int id);           // 17
  void changeLineStyleMode(bool b);             // 18
  void changeLineStripMode(bool b);             // 19
  void changeAdaptiveSubdivisionSteps(int v);   // 20
  void changeAdaptiveSubdivisionMode(int i);    // 21
  void changeSubdivisionSteps(int v);           // 22
  void changeSubdivisionMode(int i);            // 23
  void changeDividingSteps(int v);              // 24
  void changeDividingMode(int i);               // 25
  void changeSmoothingSteps(int v);             // 26
  void changeSmoothingSpeed();                  // 27
  void changeSharpEdgesAngle(int v);            // 28
  void changeSharpAngleMode(bool b);            // 29
  void changePolygonationMode(bool b);          // 30
  void changeVisualizationMode(int i);          // 31
  void changeLsGLlines(bool b);                 // 32
  void changeLSlineMode(int i);                 // 33
  void changeLsRebalance(bool b);               // 34
  void changeLsLineWidth();                     // 35
  void changeLsMaxLineWidth();                  // 36
  void changeLsMinDistance();                   // 37
  void changeLsMaxDistance();                   // 38
  void changeSilhouetteVis(bool b);             // 39
  void changeSilhouetteSharpAngle(int v);       // 40
  void changeSilhouetteThickness();             // 41
  void changeStreamlinerVis(bool b);            // 42
  void changeStreamlinerThickness();            // 43
  void changeStreamlinerDensity();              // 44
  void changeSSepDistance(const QString& t);    // 45
  void changeSProbeDistance(const QString& t);  // 46
  void changeSSharpEdge(const QString& t);      // 47
  void changeSSharpEdgeState(bool b);           // 48
  void changeSMaxBend(const QString& t);        // 49
  void changeSMaxBendState(bool b);             // 50
  void changeSMinLength(const QString& t);      // 51
  void changeSMinLengthState(bool b);           // 52
  void changeSMaxLength(const QString& t);      // 53
  void changeSMaxLengthState(bool b);           // 54
  void changeSStepSize(const QString& t);       // 55
  void changeSTaper(int i);                     // 56
  void changeStreamliner();                     // 57
  void changeFlowfieldVis(bool b);              // 58
  void changeFlowfieldMode(int m);              // 59
  void changeFlowfieldSelect();                 // 60
  void changeFlowfieldTolerance(int v);         // 61
  void changeFlowfieldReset();                  // 62
  void changeFlowfieldOptimize();               // 63
  void changeFlowfieldRelax();                  // 64
  void changeFlowfieldUnify();                  // 65
  void changeFlowfieldRot();                    // 66
  void changeCurvatureMode(int id);             // 67
  void writeWingedEdgeToVRMLFile();             // 68
  void writeWingedEdgeToIVFile();               // 69
  void writeLinesToASCIIFile();                 // 70
  void writeLinesToPDFFile();                   // 71
  void writeLinesToTgaFileHQ();                 // 72
  void writeLinesToPdfFileHQ();                 // 73
  // Exports beyond the classic table: the HQ ink as SVG, and the stroke centre
  // lines ordered for a pen plotter as SVG or as a text list.
  void writeLinesToSvgFileHQ();
  void writeLinesToPlotterSvg();
  void writeLinesToPlotterText();
  // The flow-field window's "Auto": SbFlowFieldHQ::cleanUp on the field.
  void changeFlowfieldAuto();
  // Cross-hatching (the Streamliner window's check box): adds or drops the
  // streamliner's second family of strokes at once.
  void changeSCrossHatching(bool b);

 private:
  void buildCentralWidget();
  void buildMenus();
  void buildControlWindows();
  QMainWindow* newControlWindow(const char* name, const char* caption);
  void buildModelInformation();
  void buildSubdivisionSettings();
  void buildCurvatureModes();
  void buildVisualizationModes();
  void buildLineSettings();
  void buildStreamliner();
  void buildFlowField();
  typedef void (LinfoldApplication::*ToggleSlot)(int);
  // A checkable tear-off submenu; item i (id i) calls handlers[i](i). Every item
  // is activated once, in id order, so each toggle applies its initial state.
  QMenu* newToggleMenu(const char* title, QAction** items, int count, const char* const* texts,
                       const ToggleSlot* handlers);

  // Redraws now when the viewer is on screen; a hidden viewer draws nothing.
  void render();
  // render, then updateStatistics.
  void refresh();
  // Sets a toggle item's check mark to `next`, returns it and inverts `next`.
  static bool toggle(QAction* item, bool& next);
  // Message box "Error" with the text, or "Error: <text>\n" on stdout when
  // LINFOLD_NO_DIALOGS is set.
  void reportError(const QString& text);
  // Save dialog: the chosen name, empty when cancelled. With LINFOLD_NO_DIALOGS
  // set no dialog is shown and the name is LINFOLD_SAVE_NAME (unset: cancelled),
  // so scripts and tests can drive the export commands.
  QString askSaveName(const char* caption, const char* filter, bool parented, const char* objectName);
  // After the render that ran an armed export: "Error" box when its file
  // could not be written.
  void reportFailedWrite(bool written, bool failed, const QString& name);
  // Arms an HQ snapshot writer with the name, renders, reports a failed write.
  void writeSnapshot(SoLineOutputHQ* output, const QString& name);
  void writePlotterFile(int format, const QString& name);
  // Renders once with `node` standing after the PDF snapshot.
  void renderWithExtraOutput(SoNode* node);
  static void fpsCallback(void* data, SoAction* action);
  // Called as every frame of the viewer begins (viewport size in pixels).
  void frameStarted(short width, short height);
  void writeScreenshot();
  // A line edit's text for LinfoldControls, without the white space around
  // it (all that Qt counts as such, as its number conversion skips it).
  static std::string numberText(const QString& text);
  static std::string numberText(const QLineEdit* edit);

  // The start-up value of every control.
  const LinfoldSettings startup;

  std::unique_ptr<LinfoldScene> scene;
  std::unique_ptr<LinfoldControls> sceneControls;
  SoQtExaminerViewer* viewer = nullptr;
  // Size of the viewer's last frame; whether counts are due after a frame.
  short frameWidth = -1, frameHeight = -1;
  bool statisticsDue = false;
  QTimer* screenshotTimer = nullptr;
  QString screenshotPath;

  // Next state of each toggle item, in menu order; the start-up check marks.
  bool nextBuildWingedEdge = startup.buildWingedEdge, nextConnectObjects = startup.connectObjects;
  bool nextDarkBackground = startup.darkBackground, nextObjectsLit = startup.objectsLit,
       nextAntialiasing = startup.antialiasing, nextFillCracks = startup.fillLineCracks,
       nextHideBackfaces = startup.hideBackfaces;
  bool nextHiddenLineRemover = startup.hiddenLineRemover, nextCameraStatic = startup.cameraStatic;
  bool nextMeshZigZag = startup.meshZigZagRepair, nextTriangleChunk = startup.triangleChunkRepair,
       nextLineZigZag = startup.lineZigZagRepair, nextShortEdges = startup.shortEdgesRepair,
       nextSharpAngles = startup.sharpAnglesRepair;

  // Status row and Model Information.
  QLabel* filenameLabel = nullptr;
  QLabel* facesOrigLabel = nullptr;
  QLabel* facesLabel = nullptr;
  QLabel* fpsLabel = nullptr;
  QProgressBar* progressBar = nullptr;
  QLabel* objectNumberLabel = nullptr;
  QLabel* faceNumberLabel = nullptr;
  QLabel* edgeNumberLabel = nullptr;
  QLabel* vertexNumberLabel = nullptr;
  QWidget* viewerArea = nullptr;

  // Menus.
  QAction* tgaSnapshotItem = nullptr;
  QAction* modelSettingsItems[2] = {};
  QAction* appearanceItems[5] = {};
  QAction* visibilityItems[2] = {};
  QAction* artifactItems[5] = {};

  QMainWindow* controls[controlWindowCount] = {};

  // Controls read by the slots.
  QLineEdit* smoothingSpeedEdit = nullptr;
  QButtonGroup* curvatureModeGroup = nullptr;
  QButtonGroup* visualizationModeGroup = nullptr;
  QCheckBox* glLinesCheck = nullptr;
  QComboBox* lineModeCombo = nullptr;
  QLineEdit* lineWidthEdit = nullptr;
  QLineEdit* maxLineWidthEdit = nullptr;
  QLineEdit* minDistanceEdit = nullptr;
  QLineEdit* maxDistanceEdit = nullptr;
  QLineEdit* silhouetteThicknessEdit = nullptr;
  QLineEdit* streamlineThicknessEdit = nullptr;
  QLineEdit* densityEdit = nullptr;
  QLineEdit* separationEdit = nullptr;
  QLineEdit* probeEdit = nullptr;
  QLineEdit* sharpEdgeEdit = nullptr;
  QLineEdit* maxBendEdit = nullptr;
  QLineEdit* minLengthEdit = nullptr;
  QLineEdit* maxLengthEdit = nullptr;
  QLineEdit* stepSizeEdit = nullptr;
  QComboBox* taperCombo = nullptr;
  QComboBox* selectModeCombo = nullptr;
  QLineEdit* lockRadiusEdit = nullptr;
  QSlider* toleranceSlider = nullptr;
  QLineEdit* flowCostEdit = nullptr;
  QLineEdit* flowRotEdit = nullptr;
};

#endif
