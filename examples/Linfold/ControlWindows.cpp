// The widgets of the main window: central widget with the status row, the
// menu bar, and the seven control windows, which show the start-up values of
// LinfoldSettings and hand them to their slots.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include "LinfoldApplication.h"

namespace {

QLabel* newLabel(QWidget* parent, const char* text, const char* name) {
  QLabel* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QLineEdit* newLineEdit(QWidget* parent, const char* name) {
  QLineEdit* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

QSpinBox* newSpinBox(QWidget* parent, const char* name, int maximum) {
  QSpinBox* spin = new QSpinBox(parent);
  spin->setObjectName(name);
  spin->setRange(0, maximum);
  spin->setSingleStep(1);
  return spin;
}

QComboBox* newComboBox(QWidget* parent, const char* name, const QStringList& items) {
  QComboBox* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->addItems(items);
  return combo;
}

QCheckBox* newCheckBox(QWidget* parent, const char* name) {
  QCheckBox* check = new QCheckBox(parent);
  check->setObjectName(name);
  return check;
}

QPushButton* newButton(QWidget* parent, const char* text, const char* name) {
  QPushButton* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

QFrame* newSeparatorLine(QWidget* parent, const char* name) {
  QFrame* line = new QFrame(parent);
  line->setObjectName(name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QGridLayout* newGrid(QWidget* parent) {
  QGridLayout* grid = new QGridLayout(parent);
  grid->setContentsMargins(5, 5, 5, 5);
  return grid;
}

// A titled group of radio buttons with ids 0, 1, ... laid out in `strips`
// rows, filled column by column.
QGroupBox* newRadioGroup(QWidget* parent, const char* title, const QStringList& texts, int strips,
                         QButtonGroup* group) {
  QGroupBox* box = new QGroupBox(title, parent);
  QGridLayout* grid = new QGridLayout(box);
  for (int id = 0; id < texts.size(); ++id) {
    QRadioButton* button = new QRadioButton(texts[id], box);
    group->addButton(button, id);
    grid->addWidget(button, id % strips, id / strips);
  }
  return box;
}

// A formula field wide enough to show its whole start-up text (a line edit
// is sized for about 17 characters otherwise), with room for a few more.
void fitFormula(QLineEdit* edit) {
  const QFontMetrics metrics = edit->fontMetrics();
  QStyleOptionFrame frame;
  frame.initFrom(edit);
  frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit);
  const int text = metrics.horizontalAdvance(edit->text() + QString(4, QChar('x')));
  // QLineEdit keeps 2 pixels on each side of its text inside the frame.
  const QSize needed =
      edit->style()->sizeFromContents(QStyle::CT_LineEdit, &frame, QSize(text + 4, metrics.height()), edit);
  edit->setMinimumWidth(needed.width());
}

const char* const expressionToolTip =
    "operators\t+, -, *, /, ^, <, >, abs\nbrackets\t()\nnumbers\n"
    "variables:\tlight, depth, rim, curvature, iso, taper";

}  // namespace

void LinfoldApplication::buildCentralWidget() {
  QWidget* central = new QWidget(this);
  QVBoxLayout* box = new QVBoxLayout(central);
  box->setSpacing(5);

  viewerArea = new QWidget(central);
  QVBoxLayout* viewerLayout = new QVBoxLayout(viewerArea);
  viewerLayout->setContentsMargins(0, 0, 0, 0);
  box->addWidget(viewerArea, 1);

  QHBoxLayout* status = new QHBoxLayout;
  status->setSpacing(10);
  box->addLayout(status);
  status->addWidget(newLabel(central, "File:", "Filename Label"));
  filenameLabel = newLabel(central, "(none)", "Filename");
  status->addWidget(filenameLabel);
  status->addWidget(newLabel(central, "Original Faces:", "Faces Orig Label"));
  facesOrigLabel = newLabel(central, "0", "Faces Orig");
  status->addWidget(facesOrigLabel);
  status->addWidget(newLabel(central, "Faces:", "Faces Label"));
  facesLabel = newLabel(central, "0", "Faces");
  status->addWidget(facesLabel);
  status->addWidget(newLabel(central, "Fps:", "FPS Label"));
  fpsLabel = newLabel(central, "0", "FPS Number");
  status->addWidget(fpsLabel);
  progressBar = new QProgressBar(central);
  progressBar->setObjectName("Progress");
  status->addWidget(progressBar);
  status->addWidget(newLabel(central, "", "Misc Space Label"), 1);

  setCentralWidget(central);
}

QMenu* LinfoldApplication::newToggleMenu(const char* title, QAction** items, int count, const char* const* texts,
                                         const ToggleSlot* handlers) {
  QMenu* menu = new QMenu(title, this);
  menu->setTearOffEnabled(true);
  for (int id = 0; id < count; ++id) {
    QAction* item = menu->addAction(texts[id]);
    item->setCheckable(true);
    item->setData(id);
    items[id] = item;
    const ToggleSlot slot = handlers[id];
    connect(item, &QAction::triggered, this, [this, slot, id]() { (this->*slot)(id); });
  }
  for (int id = 0; id < count; ++id) items[id]->trigger();
  return menu;
}

void LinfoldApplication::buildMenus() {
  QMenuBar* bar = menuBar();

  QMenu* file = bar->addMenu("&File");
  file->addAction("&Open File", this, &LinfoldApplication::openFile, QKeySequence("Ctrl+O"));
  file->addAction("Write &VRML File ...", this, &LinfoldApplication::writeWingedEdgeToVRMLFile);
  file->addAction("Write &IV File ...", this, &LinfoldApplication::writeWingedEdgeToIVFile);
  file->addSeparator();
  file->addAction("Write PDF File ...", this, &LinfoldApplication::writeLinesToPDFFile);
  file->addAction("Write TXT File ...", this, &LinfoldApplication::writeLinesToASCIIFile);
  file->addSeparator();
  file->addAction("HQ PDF &Snapshot ...", this, &LinfoldApplication::writeLinesToPdfFileHQ, QKeySequence("Ctrl+S"));
  tgaSnapshotItem = file->addAction("HQ &TGA Snapshot ...", this, &LinfoldApplication::writeLinesToTgaFileHQ);
  tgaSnapshotItem->setData(1);
  tgaSnapshotItem->setEnabled(false);
  // The added exports take letters no other item of the menu uses.
  file->addAction("HQ SV&G Snapshot ...", this, &LinfoldApplication::writeLinesToSvgFileHQ);
  file->addAction("P&lotter SVG ...", this, &LinfoldApplication::writeLinesToPlotterSvg);
  file->addAction("Plotter Te&xt ...", this, &LinfoldApplication::writeLinesToPlotterText);
  file->addSeparator();
  file->addAction("&Quit", this, &QWidget::close, QKeySequence("Ctrl+Q"));

  auto shower = [this](int i) {
    return [this, i]() {
      controls[i]->show();
      controls[i]->raise();
    };
  };

  QMenu* model = bar->addMenu("&Model Options");
  model->addAction("&Model Information ...", this, shower(0));
  {
    static const char* const texts[] = {"Generate &Winged Edge", "&Connect Objects"};
    static const ToggleSlot handlers[] = {&LinfoldApplication::generateWingedEdge, &LinfoldApplication::connectObjects};
    QMenu* menu = newToggleMenu("&Model Settings", modelSettingsItems, 2, texts, handlers);
    modelSettingsItems[0]->setShortcut(QKeySequence("Ctrl+W"));
    modelSettingsItems[1]->setShortcut(QKeySequence("Ctrl+C"));
    model->addMenu(menu);
  }
  model->addAction("Sub&division ...", this, shower(1), QKeySequence("Ctrl+1"));
  model->addAction("&Curvature Modes ...", this, shower(2));
  model->addAction("&Reset Scene", this, &LinfoldApplication::resetScene);

  QMenu* view = bar->addMenu("View &Options");
  {
    static const char* const texts[] = {"&Background black/white", "&Render Objects (Light)", "Line &Antialiasing",
                                        "&Fill Line Cracks", "&Hide Backfaces"};
    static const ToggleSlot handlers[] = {
        &LinfoldApplication::changeBackgroundMode, &LinfoldApplication::changeObjectsVisibilityMode,
        &LinfoldApplication::changeAntialiasingMode, &LinfoldApplication::changeLineCrackMode,
        &LinfoldApplication::changeBackfacesMode};
    QMenu* menu = newToggleMenu("&Appearance", appearanceItems, 5, texts, handlers);
    view->addMenu(menu);
  }
  {
    static const char* const texts[] = {"Hidden Line Remover", "&Camera Static"};
    static const ToggleSlot handlers[] = {&LinfoldApplication::changeSilhouetteVisibilityMode,
                                          &LinfoldApplication::changeCameraStaticMode};
    QMenu* menu = newToggleMenu("&Visibility", visibilityItems, 2, texts, handlers);
    view->addMenu(menu);
  }
  {
    static const char* const texts[] = {"Mesh &Zig-Zag Repair", "&Triangle Chunk Repair", "&Line Zig-Zag Repair",
                                        "&Short Edges Repair", "Sharp &Angles Repair"};
    static const ToggleSlot handlers[] = {
        &LinfoldApplication::changeMeshZigZagMode, &LinfoldApplication::changeTriagleChunkMode,
        &LinfoldApplication::changeLineZigZagMode, &LinfoldApplication::changeShortEdgesMode,
        &LinfoldApplication::changeSharpAnglesMode};
    QMenu* menu = newToggleMenu("&Artifacts", artifactItems, 5, texts, handlers);
    view->addMenu(menu);
  }
  view->addAction("&Property Visualization ...", this, shower(3));
  view->addAction("Line Settings ...", this, shower(4), QKeySequence("Ctrl+2"));
  view->addAction("Flow-Field ...", this, shower(6), QKeySequence("Ctrl+3"));
  view->addAction("Streamliner ...", this, shower(5), QKeySequence("Ctrl+4"));

  QMenu* help = bar->addMenu("&Help");
  help->addAction("&About", this, &LinfoldApplication::about);
}

QMainWindow* LinfoldApplication::newControlWindow(const char* name, const char* caption) {
  QMainWindow* window = new QMainWindow(this, Qt::Window);
  window->setObjectName(name);
  window->setWindowTitle(caption);
  window->setCentralWidget(new QWidget(window));
  return window;
}

void LinfoldApplication::buildControlWindows() {
  buildModelInformation();
  buildSubdivisionSettings();
  buildCurvatureModes();
  buildVisualizationModes();
  buildLineSettings();
  buildStreamliner();
  buildFlowField();
}

void LinfoldApplication::buildModelInformation() {
  QMainWindow* window = newControlWindow("Model Information", "Model Information");
  controls[0] = window;
  QWidget* w = window->centralWidget();
  QVBoxLayout* box = new QVBoxLayout(w);
  QLabel** numbers[] = {&objectNumberLabel, &faceNumberLabel, &edgeNumberLabel, &vertexNumberLabel};
  static const char* const texts[] = {"Objects: ", "Faces: ", "Edges: ", "Vertices: "};
  static const char* const names[] = {"Object Number", "Face Number", "Edge Number", "Vertex Number"};
  for (int i = 0; i < 4; ++i) {
    QHBoxLayout* row = new QHBoxLayout;
    box->addLayout(row);
    row->addWidget(new QLabel(texts[i], w));
    *numbers[i] = newLabel(w, "0", names[i]);
    row->addWidget(*numbers[i]);
  }
}

void LinfoldApplication::buildSubdivisionSettings() {
  QMainWindow* window = newControlWindow("Subdivision Settings", "Subdivision Settings");
  controls[1] = window;
  QWidget* w = window->centralWidget();
  QGridLayout* grid = newGrid(w);

  grid->addWidget(newLabel(w, "Dividing Steps:", "Subdivision Steps Label"), 0, 0);
  QSpinBox* dividingSteps = newSpinBox(w, "Dividing Steps", 99);
  grid->addWidget(dividingSteps, 0, 1);
  connect(dividingSteps, QOverload<int>::of(&QSpinBox::valueChanged), this, &LinfoldApplication::changeDividingSteps);
  dividingSteps->setValue(startup.dividingSteps);

  grid->addWidget(newLabel(w, "Dividing Algorithm:", "Dividing Mode Label"), 1, 0);
  QComboBox* dividingMode = newComboBox(w, "Subdivision Algorithm", {"Loop", "Modified Butterfly", "Catmull-Clark"});
  dividingMode->setCurrentIndex(startup.dividingMode);
  grid->addWidget(dividingMode, 1, 1);
  connect(dividingMode, QOverload<int>::of(&QComboBox::activated), this, &LinfoldApplication::changeDividingMode);

  grid->addWidget(newLabel(w, "Adaptive Subdivision Steps:", "Adaptive Subdivision Steps Label"), 2, 0);
  QSpinBox* adaptiveSteps = newSpinBox(w, "Adaptive Loop Subdivision Steps", 99);
  grid->addWidget(adaptiveSteps, 2, 1);
  connect(adaptiveSteps, QOverload<int>::of(&QSpinBox::valueChanged), this,
          &LinfoldApplication::changeAdaptiveSubdivisionSteps);
  adaptiveSteps->setValue(startup.adaptiveSubdivisionSteps);

  grid->addWidget(newLabel(w, "Adaptive Subdivision Algorithm:", "Adaptive Subdivision Mode Label"), 3, 0);
  QComboBox* adaptiveMode = newComboBox(w, "Adaptive Subdivision Algorithm", {"Loop", "Modified Butterfly"});
  adaptiveMode->setCurrentIndex(startup.adaptiveSubdivisionMode);
  grid->addWidget(adaptiveMode, 3, 1);
  connect(adaptiveMode, QOverload<int>::of(&QComboBox::activated), this,
          &LinfoldApplication::changeAdaptiveSubdivisionMode);

  grid->addWidget(newLabel(w, "Regular Subdivision Steps:", "Subdivision Steps Label"), 4, 0);
  QSpinBox* subdivisionSteps = newSpinBox(w, "Subdivision Steps", 99);
  grid->addWidget(subdivisionSteps, 4, 1);
  connect(subdivisionSteps, QOverload<int>::of(&QSpinBox::valueChanged), this,
          &LinfoldApplication::changeSubdivisionSteps);
  subdivisionSteps->setValue(startup.subdivisionSteps);

  grid->addWidget(newLabel(w, "Regular Subdivision Algorithm:", "Subdivision Mode Label"), 5, 0);
  QComboBox* subdivisionMode =
      newComboBox(w, "Subdivision Algorithm", {"Loop", "Modified Butterfly", "Catmull-Clark", "Doo-Sabin"});
  subdivisionMode->setCurrentIndex(startup.subdivisionMode);
  grid->addWidget(subdivisionMode, 5, 1);
  connect(subdivisionMode, QOverload<int>::of(&QComboBox::activated), this, &LinfoldApplication::changeSubdivisionMode);

  grid->addWidget(newLabel(w, "Smoothing Steps:", "Smoothing Steps Label"), 6, 0);
  QSpinBox* smoothingSteps = newSpinBox(w, "Smoothing Steps", 99);
  grid->addWidget(smoothingSteps, 6, 1);
  connect(smoothingSteps, QOverload<int>::of(&QSpinBox::valueChanged), this, &LinfoldApplication::changeSmoothingSteps);
  smoothingSteps->setValue(startup.smoothingSteps);

  grid->addWidget(newLabel(w, "Smoothing Speed:", "Smoothing Speed Label"), 7, 0);
  smoothingSpeedEdit = newLineEdit(w, "Smoothing Speed");
  grid->addWidget(smoothingSpeedEdit, 7, 1);
  connect(smoothingSpeedEdit, &QLineEdit::returnPressed, this, &LinfoldApplication::changeSmoothingSpeed);
  smoothingSpeedEdit->setText(startup.smoothingSpeed);
  changeSmoothingSpeed();

  grid->addWidget(newLabel(w, "Sharp Angles:", "Sharp Angles Label"), 8, 0);
  QCheckBox* sharpAngles = newCheckBox(w, "Sharp Angles Check");
  grid->addWidget(sharpAngles, 8, 1);
  connect(sharpAngles, &QCheckBox::toggled, this, &LinfoldApplication::changeSharpAngleMode);
  sharpAngles->setChecked(startup.sharpAngles);
  changeSharpAngleMode(sharpAngles->isChecked());

  grid->addWidget(newLabel(w, "Sharp Angle:", "Sharp Angle Label"), 9, 0);
  QSpinBox* sharpAngle = newSpinBox(w, "Sharp Angle", 360);
  grid->addWidget(sharpAngle, 9, 1);
  connect(sharpAngle, QOverload<int>::of(&QSpinBox::valueChanged), this, &LinfoldApplication::changeSharpEdgesAngle);
  sharpAngle->setValue(startup.sharpAngle);

  grid->addWidget(newLabel(w, "Large Faces:", "Large Faces Label"), 10, 0);
  QCheckBox* largeFaces = newCheckBox(w, "Large Faces Check");
  grid->addWidget(largeFaces, 10, 1);
  connect(largeFaces, &QCheckBox::toggled, this, &LinfoldApplication::changePolygonationMode);
  largeFaces->setChecked(startup.largeFaces);
  changePolygonationMode(largeFaces->isChecked());
}

void LinfoldApplication::buildCurvatureModes() {
  QMainWindow* window = newControlWindow("Curvature Mode Settings", "Curvature Mode Settings");
  controls[2] = window;
  QWidget* w = window->centralWidget();
  QVBoxLayout* box = new QVBoxLayout(w);
  curvatureModeGroup = new QButtonGroup(window);
  box->addWidget(
      newRadioGroup(w, "Choose Curvature Mode",
                    {"Heuristic Curvature", "Min Curvature", "Max Curvature", "Mean Curvature", "Gauss Curvature",
                     "Max Absolute Curvature", "Min Absolute Curvature", "Min/Max Separately", "Shape Index",
                     "Modified Shape Index", "Scaled Modified Shape Index", "Fold Index", "Singularity Index"},
                    7, curvatureModeGroup));
  curvatureModeGroup->button(startup.curvatureMode)->setChecked(true);
  connect(curvatureModeGroup, &QButtonGroup::idClicked, this, &LinfoldApplication::changeCurvatureMode);
}

void LinfoldApplication::buildVisualizationModes() {
  QMainWindow* window = newControlWindow("Curvature Mode Settings", "Visualization Mode Settings");
  controls[3] = window;
  QWidget* w = window->centralWidget();
  QVBoxLayout* box = new QVBoxLayout(w);
  visualizationModeGroup = new QButtonGroup(window);
  box->addWidget(
      newRadioGroup(w, "Choose Visialuzation Mode",
                    {"Lines", "Faces", "Colored Faces", "3-Colored Faces", "Curvature Directions", "Nothing"}, 6,
                    visualizationModeGroup));
  visualizationModeGroup->button(startup.visualizationMode)->setChecked(true);
  connect(visualizationModeGroup, &QButtonGroup::idClicked, this, &LinfoldApplication::changeVisualizationMode);
  changeVisualizationMode(startup.visualizationMode);
}

void LinfoldApplication::buildLineSettings() {
  QMainWindow* window = newControlWindow("Line Settings", "Line Settings");
  controls[4] = window;
  QWidget* w = window->centralWidget();
  QGridLayout* grid = newGrid(w);

  grid->addWidget(newLabel(w, "OpenGL Lines only:", "GL Lines Label"), 0, 0);
  QHBoxLayout* glRow = new QHBoxLayout;
  glRow->setObjectName("GL Lines Layout");
  glRow->setSpacing(6);
  grid->addLayout(glRow, 0, 1);
  glLinesCheck = newCheckBox(w, "GL Lines");
  glRow->addWidget(glLinesCheck);
  lineModeCombo = newComboBox(w, "Line Mode", {"Black", "Thickness", "Density", "Thickness & Density", "Resolution"});
  glRow->addWidget(lineModeCombo);
  connect(glLinesCheck, &QCheckBox::toggled, this, &LinfoldApplication::changeLsGLlines);
  connect(lineModeCombo, QOverload<int>::of(&QComboBox::activated), this, &LinfoldApplication::changeLSlineMode);
  glLinesCheck->setChecked(startup.glLines);
  lineModeCombo->setCurrentIndex(startup.lineMode);

  grid->addWidget(newLabel(w, "Rebalance Dots:", "Rebalance Label"), 1, 0);
  QCheckBox* rebalance = newCheckBox(w, "Rebalance Check");
  grid->addWidget(rebalance, 1, 1);
  connect(rebalance, &QCheckBox::toggled, this, &LinfoldApplication::changeLsRebalance);
  rebalance->setChecked(startup.rebalance);
  changeLsRebalance(rebalance->isChecked());

  struct EditRow {
    const char* label;
    const char* labelName;
    const char* editName;
    const char* initial;
    QLineEdit** edit;
    void (LinfoldApplication::*slot)();
  };
  const EditRow rows[] = {
      {"Line Width Scale:", "Line Width Label", "Line Width", startup.lineWidth, &lineWidthEdit,
       &LinfoldApplication::changeLsLineWidth},
      {"Max Line Width:", "Max Line Width Label", "Max Line Width", startup.maxLineWidth, &maxLineWidthEdit,
       &LinfoldApplication::changeLsMaxLineWidth},
      {"Min Distance:", "Min Distance Label", "Min Distance", startup.minDistance, &minDistanceEdit,
       &LinfoldApplication::changeLsMinDistance},
      {"Max Distance:", "Max Distance Label", "Max Distance", startup.maxDistance, &maxDistanceEdit,
       &LinfoldApplication::changeLsMaxDistance},
  };
  int row = 2;
  for (const EditRow& r : rows) {
    grid->addWidget(newLabel(w, r.label, r.labelName), row, 0);
    *r.edit = newLineEdit(w, r.editName);
    grid->addWidget(*r.edit, row, 1);
    connect(*r.edit, &QLineEdit::returnPressed, this, r.slot);
    (*r.edit)->setText(r.initial);
    (this->*r.slot)();
    ++row;
  }

  grid->addWidget(newSeparatorLine(w, "line1"), 6, 0, 1, 2);

  grid->addWidget(newLabel(w, "Show Silhouette:", "Silhouette Label"), 7, 0);
  QCheckBox* silhouette = newCheckBox(w, "Silhouette Check");
  grid->addWidget(silhouette, 7, 1);
  connect(silhouette, &QCheckBox::toggled, this, &LinfoldApplication::changeSilhouetteVis);
  silhouette->setChecked(startup.silhouettes);
  changeSilhouetteVis(silhouette->isChecked());

  grid->addWidget(newLabel(w, "Thickness:", "Thickness1 Label"), 8, 0);
  silhouetteThicknessEdit = newLineEdit(w, "Thickness");
  grid->addWidget(silhouetteThicknessEdit, 8, 1);
  connect(silhouetteThicknessEdit, &QLineEdit::returnPressed, this, &LinfoldApplication::changeSilhouetteThickness);
  silhouetteThicknessEdit->setText(startup.silhouetteThickness);
  changeSilhouetteThickness();

  grid->addWidget(newLabel(w, "Sharp Angle:", "Sharp Angle Label"), 9, 0);
  QSpinBox* sharpAngle = newSpinBox(w, "Sharp Angle", 360);
  grid->addWidget(sharpAngle, 9, 1);
  connect(sharpAngle, QOverload<int>::of(&QSpinBox::valueChanged), this,
          &LinfoldApplication::changeSilhouetteSharpAngle);
  sharpAngle->setValue(startup.silhouetteSharpAngle);
  changeSilhouetteSharpAngle(sharpAngle->value());

  grid->addWidget(newSeparatorLine(w, "line2"), 10, 0, 1, 2);

  grid->addWidget(newLabel(w, "Show Streamlines:", "Streamlines Label"), 11, 0);
  QCheckBox* streamlines = newCheckBox(w, "Streamlines Check");
  grid->addWidget(streamlines, 11, 1);
  connect(streamlines, &QCheckBox::toggled, this, &LinfoldApplication::changeStreamlinerVis);
  streamlines->setChecked(startup.streamlines);
  changeStreamlinerVis(streamlines->isChecked());

  grid->addWidget(newLabel(w, "Thickness:", "Thickness2 Label"), 12, 0);
  streamlineThicknessEdit = newLineEdit(w, "Thickness");
  streamlineThicknessEdit->setToolTip(expressionToolTip);
  grid->addWidget(streamlineThicknessEdit, 12, 1);
  connect(streamlineThicknessEdit, &QLineEdit::returnPressed, this, &LinfoldApplication::changeStreamlinerThickness);
  streamlineThicknessEdit->setText(startup.strokeThickness);
  fitFormula(streamlineThicknessEdit);
  changeStreamlinerThickness();

  grid->addWidget(newLabel(w, "Density:", "Density Label"), 13, 0);
  densityEdit = newLineEdit(w, "Density");
  densityEdit->setToolTip(expressionToolTip);
  grid->addWidget(densityEdit, 13, 1);
  connect(densityEdit, &QLineEdit::returnPressed, this, &LinfoldApplication::changeStreamlinerDensity);
  densityEdit->setText(startup.strokeDensity);
  // As wide as the thickness formula: the two hold formulas of one kind.
  densityEdit->setMinimumWidth(streamlineThicknessEdit->minimumWidth());
  changeStreamlinerDensity();
}

void LinfoldApplication::buildStreamliner() {
  QMainWindow* window = newControlWindow("Streamliner", "Streamliner");
  controls[5] = window;
  QWidget* w = window->centralWidget();
  QGridLayout* grid = newGrid(w);

  struct LimitRow {
    const char* checkName;  // nullptr: the limit is always on
    bool checked;
    const char* label;
    const char* labelName;
    const char* editName;
    const char* initial;
    QLineEdit** edit;
    void (LinfoldApplication::*textSlot)(const QString&);
    void (LinfoldApplication::*stateSlot)(bool);
  };
  const LimitRow rows[] = {
      {nullptr, true, "Separation Distance:", "Separation Distance Label", "Separation Distance",
       startup.separationDistance, &separationEdit, &LinfoldApplication::changeSSepDistance, nullptr},
      {nullptr, true, "Probe Distance:", "Probe Distance Label", "Probe Distance", startup.probeDistance, &probeEdit,
       &LinfoldApplication::changeSProbeDistance, nullptr},
      {"Sharp Edge Check", startup.sharpEdgeOn, "Sharp Edge:", "Sharp Edge Label", "Sharp Edge", startup.sharpEdge,
       &sharpEdgeEdit, &LinfoldApplication::changeSSharpEdge, &LinfoldApplication::changeSSharpEdgeState},
      {"Max Bend Check", startup.maxBendOn, "Max Bend:", "Max Bend Label", "Max Bend", startup.maxBend, &maxBendEdit,
       &LinfoldApplication::changeSMaxBend, &LinfoldApplication::changeSMaxBendState},
      {"Min Length Check", startup.minLengthOn, "Min Length:", "Min Length Label", "Min Length", startup.minLength,
       &minLengthEdit, &LinfoldApplication::changeSMinLength, &LinfoldApplication::changeSMinLengthState},
      {"Max Length Check", startup.maxLengthOn, "Max Length:", "Max Length Label", "Max Length", startup.maxLength,
       &maxLengthEdit, &LinfoldApplication::changeSMaxLength, &LinfoldApplication::changeSMaxLengthState},
      {nullptr, true, "Step Size:", "Step Size Label", "Step Size", startup.stepSize, &stepSizeEdit,
       &LinfoldApplication::changeSStepSize, nullptr},
  };
  int row = 0;
  for (const LimitRow& r : rows) {
    QCheckBox* check = nullptr;
    if (r.checkName) {
      check = newCheckBox(w, r.checkName);
      grid->addWidget(check, row, 0);
    }
    grid->addWidget(newLabel(w, r.label, r.labelName), row, 1);
    QLineEdit* edit = newLineEdit(w, r.editName);
    *r.edit = edit;
    grid->addWidget(edit, row, 2);
    connect(edit, &QLineEdit::textChanged, this, r.textSlot);
    edit->setText(r.initial);
    (this->*r.textSlot)(edit->text());
    if (check) {
      connect(check, &QCheckBox::toggled, this, r.stateSlot);
      check->setChecked(r.checked);
      (this->*r.stateSlot)(check->isChecked());
    }
    ++row;
  }

  grid->addWidget(newLabel(w, "Taper:", "Follow Label"), 7, 1);
  taperCombo = newComboBox(w, "SelectMode",
                           {"Disabled", "Spherical Distance", "Planar Distance", "Planar Distance (Average L/R)"});
  taperCombo->setCurrentIndex(startup.taper);
  grid->addWidget(taperCombo, 7, 2);
  connect(taperCombo, QOverload<int>::of(&QComboBox::activated), this, &LinfoldApplication::changeSTaper);

  grid->addWidget(newLabel(w, "Cross-Hatching:", "Cross-Hatching Label"), 8, 1);
  QCheckBox* crossHatching = newCheckBox(w, "Cross-Hatching Check");
  grid->addWidget(crossHatching, 8, 2);
  connect(crossHatching, &QCheckBox::toggled, this, &LinfoldApplication::changeSCrossHatching);
  crossHatching->setChecked(startup.crossHatching);
  changeSCrossHatching(crossHatching->isChecked());

  QPushButton* apply = newButton(w, "Apply Changes", "Apply Changes");
  grid->addWidget(apply, 9, 2);
  connect(apply, &QPushButton::clicked, this, &LinfoldApplication::changeStreamliner);
}

void LinfoldApplication::buildFlowField() {
  QMainWindow* window = newControlWindow("Flow-Field", "FlowField");
  controls[6] = window;
  QWidget* w = window->centralWidget();
  QGridLayout* grid = newGrid(w);

  grid->addWidget(newLabel(w, "Show Flow-Field:", "Show Label"), 0, 0);
  QCheckBox* show = newCheckBox(w, "Show Flow Check");
  grid->addWidget(show, 0, 1);
  connect(show, &QCheckBox::toggled, this, &LinfoldApplication::changeFlowfieldVis);
  show->setChecked(startup.showFlowField);
  changeFlowfieldVis(show->isChecked());

  grid->addWidget(newSeparatorLine(w, "line1"), 1, 0, 1, 3);

  QHBoxLayout* select = new QHBoxLayout;
  select->setObjectName("Select Flow Layout");
  select->setSpacing(5);
  grid->addLayout(select, 2, 0, 1, 3);
  selectModeCombo =
      newComboBox(w, "SelectMode", {"All", "Inverse", "Tension (Geodesic)", "Tension (Neighbours)", "Shape Index"});
  select->addWidget(selectModeCombo);
  connect(selectModeCombo, QOverload<int>::of(&QComboBox::activated), this, &LinfoldApplication::changeFlowfieldMode);
  select->addWidget(newLabel(w, "Radius:", "Radius Label"));
  lockRadiusEdit = newLineEdit(w, "Lock Radius");
  lockRadiusEdit->setText(startup.lockRadius);
  select->addWidget(lockRadiusEdit);
  QPushButton* selectButton = newButton(w, "Select", "Select");
  select->addWidget(selectButton);
  connect(selectButton, &QPushButton::clicked, this, &LinfoldApplication::changeFlowfieldSelect);

  grid->addWidget(newLabel(w, "Tolerance:", "Tolerance Label"), 3, 0);
  toleranceSlider = new QSlider(Qt::Horizontal, w);
  toleranceSlider->setObjectName("Select Tolerance");
  toleranceSlider->setRange(0, 1000);
  toleranceSlider->setPageStep(100);
  toleranceSlider->setValue(startup.tolerance);
  grid->addWidget(toleranceSlider, 3, 1, 1, 2);
  connect(toleranceSlider, &QSlider::sliderMoved, this, &LinfoldApplication::changeFlowfieldTolerance);

  grid->addWidget(newSeparatorLine(w, "line2"), 4, 0, 1, 3);

  QPushButton* reset = newButton(w, "Reset Flow", "Reset");
  grid->addWidget(reset, 5, 0, 1, 3);
  connect(reset, &QPushButton::clicked, this, &LinfoldApplication::changeFlowfieldReset);

  grid->addWidget(newLabel(w, "Cost:", "Cost Label"), 6, 0);
  flowCostEdit = newLineEdit(w, "Flow Cost");
  flowCostEdit->setText(startup.flowCost);
  grid->addWidget(flowCostEdit, 6, 1);
  QPushButton* optimize = newButton(w, "Optimize", "Optimize");
  grid->addWidget(optimize, 6, 2);
  connect(optimize, &QPushButton::clicked, this, &LinfoldApplication::changeFlowfieldOptimize);

  QPushButton* relax = newButton(w, "Relax", "Relax");
  grid->addWidget(relax, 7, 0, 1, 3);
  connect(relax, &QPushButton::clicked, this, &LinfoldApplication::changeFlowfieldRelax);

  QPushButton* unify = newButton(w, "Unify", "Unify");
  grid->addWidget(unify, 8, 0, 1, 3);
  connect(unify, &QPushButton::clicked, this, &LinfoldApplication::changeFlowfieldUnify);

  grid->addWidget(newLabel(w, "Angle:", "Rot Label"), 9, 0);
  flowRotEdit = newLineEdit(w, "Flow Rot");
  flowRotEdit->setText(startup.flowRotation);
  grid->addWidget(flowRotEdit, 9, 1);
  QPushButton* rotate = newButton(w, "Rotate", "Rotate");
  grid->addWidget(rotate, 9, 2);
  connect(rotate, &QPushButton::clicked, this, &LinfoldApplication::changeFlowfieldRot);

  QPushButton* automatic = newButton(w, "Auto", "Auto");
  automatic->setToolTip("Smooth the field, keeping the trusted curvature directions");
  grid->addWidget(automatic, 10, 0, 1, 3);
  connect(automatic, &QPushButton::clicked, this, &LinfoldApplication::changeFlowfieldAuto);

  selectModeCombo->setCurrentIndex(startup.selectMode);
  changeFlowfieldMode(selectModeCombo->currentIndex());
}
