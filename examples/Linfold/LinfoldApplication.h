#ifndef LINFOLD_LINFOLDAPPLICATION_H
#define LINFOLD_LINFOLDAPPLICATION_H

#include <QMainWindow>
#include <QString>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSlider;
class QSpinBox;
class SoCallback;
class SoBaseColor;
class SoGenerateWingedEdge;
class SoNode;
class SoSeparator;
class SoQtExaminerViewer;

// The main window: viewer, status row, menus, the seven control windows and
// the slots that route every control to a node of the fixed scene.
class LinfoldApplication : public QMainWindow {
  Q_OBJECT

public:
  LinfoldApplication();
  ~LinfoldApplication() override;

  void createScene();
  // Reads an Inventor file into the place of "GeometryNode". Returns false when
  // the file could not be read (the previous model stays).
  bool loadModel(const char* path);
  void resetTransformsAndView();
  void updateStatistics();

  SoSeparator* sceneRoot() const { return root; }
  SoQtExaminerViewer* examinerViewer() const { return viewer; }
  // The control windows, by their caption order: "Model Information",
  // "Subdivision Settings", "Curvature Mode Settings",
  // "Visualization Mode Settings", "Line Settings", "Streamliner", "FlowField".
  QMainWindow* controlWindow(int i) const;
  static constexpr int controlWindowCount = 7;

  // Progress function installed as progressHook (client = the window).
  static void progressFunction(void* client, int value, int phase);

public slots:
  void about();                                    // 0
  void openFile();                                 // 1
  void resetScene();                               // 2
  void generateWingedEdge(int id);                 // 3
  void changeBuildWEOnOffMode();                   // 4
  void connectObjects(int id);                     // 5
  void changeBackgroundMode(int id);               // 6
  void changeObjectsVisibilityMode(int id);        // 7
  void changeAntialiasingMode(int id);             // 8
  void changeLineCrackMode(int id);                // 9
  void changeBackfacesMode(int id);                // 10
  void changeSilhouetteVisibilityMode(int id);     // 11
  void changeCameraStaticMode(int id);             // 12
  void changeMeshZigZagMode(int id);               // 13
  void changeTriagleChunkMode(int id);             // 14
  void changeLineZigZagMode(int id);               // 15
  void changeShortEdgesMode(int id);               // 16
  void changeSharpAnglesMode(int id);              // 17
  void changeLineStyleMode(bool b);                // 18
  void changeLineStripMode(bool b);                // 19
  void changeAdaptiveSubdivisionSteps(int v);      // 20
  void changeAdaptiveSubdivisionMode(int i);       // 21
  void changeSubdivisionSteps(int v);              // 22
  void changeSubdivisionMode(int i);               // 23
  void changeDividingSteps(int v);                 // 24
  void changeDividingMode(int i);                  // 25
  void changeSmoothingSteps(int v);                // 26
  void changeSmoothingSpeed();                     // 27
  void changeSharpEdgesAngle(int v);               // 28
  void changeSharpAngleMode(bool b);               // 29
  void changePolygonationMode(bool b);             // 30
  void changeVisualizationMode(int i);             // 31
  void changeLsGLlines(bool b);                    // 32
  void changeLSlineMode(int i);                    // 33
  void changeLsRebalance(bool b);                  // 34
  void changeLsLineWidth();                        // 35
  void changeLsMaxLineWidth();                     // 36
  void changeLsMinDistance();                      // 37
  void changeLsMaxDistance();                      // 38
  void changeSilhouetteVis(bool b);                // 39
  void changeSilhouetteSharpAngle(int v);          // 40
  void changeSilhouetteThickness();                // 41
  void changeStreamlinerVis(bool b);               // 42
  void changeStreamlinerThickness();               // 43
  void changeStreamlinerDensity();                 // 44
  void changeSSepDistance(const QString& t);       // 45
  void changeSProbeDistance(const QString& t);     // 46
  void changeSSharpEdge(const QString& t);         // 47
  void changeSSharpEdgeState(bool b);              // 48
  void changeSMaxBend(const QString& t);           // 49
  void changeSMaxBendState(bool b);                // 50
  void changeSMinLength(const QString& t);         // 51
  void changeSMinLengthState(bool b);              // 52
  void changeSMaxLength(const QString& t);         // 53
  void changeSMaxLengthState(bool b);              // 54
  void changeSStepSize(const QString& t);          // 55
  void changeSTaper(int i);                        // 56
  void changeStreamliner();                        // 57
  void changeFlowfieldVis(bool b);                 // 58
  void changeFlowfieldMode(int m);                 // 59
  void changeFlowfieldSelect();                    // 60
  void changeFlowfieldTolerance(int v);            // 61
  void changeFlowfieldReset();                     // 62
  void changeFlowfieldOptimize();                  // 63
  void changeFlowfieldRelax();                     // 64
  void changeFlowfieldUnify();                     // 65
  void changeFlowfieldRot();                       // 66
  void changeCurvatureMode(int id);                // 67
  void writeWingedEdgeToVRMLFile();                // 68
  void writeWingedEdgeToIVFile();                  // 69
  void writeLinesToASCIIFile();                    // 70
  void writeLinesToPDFFile();                      // 71
  void writeLinesToTgaFileHQ();                    // 72
  void writeLinesToPdfFileHQ();                    // 73

private:
  // (members are the implementation's)
  SoSeparator* root = nullptr;
  SoQtExaminerViewer* viewer = nullptr;
};

#endif
