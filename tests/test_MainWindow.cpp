// The real main window under Xvfb: texts, menus, start-up values, what each control does to the scene's nodes, exports,
// loading, and quitting.
#include <Inventor/Qt/SoQt.h>
#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/fields/SoSFString.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>

#include "LinfoldApplication.h"
#include "LinfoldControls.h"
#include "LinfoldScene.h"
#include "TestFiles.h"
#include "core/ProgressMeter.h"
#include "flowfield/SoGenerateFlowFieldHQ.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoSilhouetteSwitches.h"
#include "mesh/SoGenerateHeModelHQ.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoWingedEdge.h"
#include "registry/LibraryClasses.h"
#include "strokes/SoStreamlinerHQ.h"
#include "styling/SoLineShapeHQ.h"

namespace {

int qtArgc = 1;
char qtArg0[] = "test_MainWindow";
char* qtArgv[] = {qtArg0, nullptr};

enum Window { MODEL_INFO, SUBDIVISION, CURVATURE, VISUALIZATION, LINE_SETTINGS, STREAMLINER, FLOW };

const char* const kFormula = "( light - rim )*iso*(taper*.5 + .5 )";

std::string inventor(const std::string& shape, const std::string& prefix = std::string()) {
  return "#Inventor V2.1 ascii\n\nSeparator {\n" + prefix + shape + "}\n";
}
const char* const kTetrahedron =
    "  Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0, 0 0 1 ] }\n"
    "  IndexedTriangleStripSet { coordIndex [ 0, 2, 1, -1, 0, 1, 3, -1, 1, 2, 3, -1, 0, 3, 2, -1 ] }\n";
const char* const kOctahedron =
    "  Coordinate3 { point [ 1 0 0, -1 0 0, 0 1 0, 0 -1 0, 0 0 1, 0 0 -1 ] }\n"
    "  IndexedTriangleStripSet { coordIndex [ 0, 2, 4, -1, 2, 1, 4, -1, 1, 3, 4, -1, 3, 0, 4, -1,\n"
    "    2, 0, 5, -1, 1, 2, 5, -1, 3, 1, 5, -1, 0, 3, 5, -1 ] }\n";

// Every node below `root` (of exactly `type` when given), hidden ones too.
std::vector<SoNode*> nodesOf(SoNode* root, SoType type = SoType::badType()) {
  SoSearchAction search;
  search.setType(type == SoType::badType() ? SoNode::getClassTypeId() : type, type == SoType::badType());
  search.setInterest(SoSearchAction::ALL);
  search.setSearchingAll(TRUE);
  search.apply(root);
  std::vector<SoNode*> nodes;
  for (int i = 0; i < search.getPaths().getLength(); ++i) nodes.push_back(search.getPaths()[i]->getTail());
  return nodes;
}

// What the controls set, as text: every field below `root`, the state kept outside fields, and the library-wide
// switches.
std::string controlledState(SoNode* root, const SbColor& background) {
  std::ostringstream out;
  auto colour = [&out](const SbColor& c) { out << c[0] << " " << c[1] << " " << c[2] << "\n"; };
  for (SoNode* n : nodesOf(root)) {
    out << n->getTypeId().getName().getString() << "\n";
    SoFieldList fields;
    n->getFields(fields);
    for (int f = 0; f < fields.getLength(); ++f) {
      SbName name;
      SbString value;
      n->getFieldName(fields[f], name);
      fields[f]->get(value);
      out << "  " << name.getString() << " " << value.getString() << "\n";
    }
    if (auto* sil = dynamic_cast<SoGenerateSilhouette*>(n)) colour(sil->getColour());
    if (auto* mesh = dynamic_cast<SoWingedEdge*>(n)) colour(mesh->getLineColour());
    if (auto* shape = dynamic_cast<SoLineShapeHQ*>(n)) out << "  smoothing " << shape->lineSmoothing << "\n";
  }
  colour(background);
  out << SoSilhouetteSwitches::cameraStatic << SoSilhouetteSwitches::meshZigZagRepair
      << SoSilhouetteSwitches::triangleChunkRepair << SoSilhouetteSwitches::lineStripMode << "\n";
  return out.str();
}

QString valueOf(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* c = qobject_cast<QCheckBox*>(w)) return c->isChecked() ? "on" : "off";
  if (auto* s = qobject_cast<QSpinBox*>(w)) return QString::number(s->value());
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* s = qobject_cast<QSlider*>(w)) return QString::number(s->value());
  return "?";
}

// Types and presses return, ticks ("on") or clears, turns, picks an entry.
void set(QWidget* w, const QString& value) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setText(value);
    emit e->returnPressed();
  }
  if (auto* c = qobject_cast<QCheckBox*>(w); c && c->isChecked() != (value == "on")) c->click();
  if (auto* s = qobject_cast<QSpinBox*>(w)) s->setValue(value.toInt());
  if (auto* c = qobject_cast<QComboBox*>(w)) {
    c->setCurrentIndex(c->findText(value));
    emit c->activated(c->currentIndex());
  }
}

}  // namespace

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("LINFOLD_NO_DIALOGS", "1", 1);
    unsetenv("LINFOLD_SAVE_NAME");
    if (!qApp) new QApplication(qtArgc, qtArgv);
    testing::internal::CaptureStdout();
    window = new LinfoldApplication();
    windowStart = controlledState(window->sceneRoot(), window->examinerViewer()->getBackgroundColor());
    for (const char* name : {"Object Number", "Face Number", "Edge Number", "Vertex Number"})
      startNumbers += info(name) + " ";
    window->prepareMainWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->enablePolygonOffset();
    QApplication::processEvents();
    fflush(stdout);
    startOutput = testing::internal::GetCapturedStdout();
    dir = new TempDir;
  }
  static void TearDownTestSuite() {
    delete window;
    delete dir;
  }

  static QString text(const char* name) { return window->findChild<QLabel*>(name)->text(); }
  static QString info(const char* name) { return window->controlWindow(MODEL_INFO)->findChild<QLabel*>(name)->text(); }
  // A control by its object name, or by "@row,column" in its window's grid.
  static QWidget* widget(Window w, const char* name) {
    int row, column;
    if (std::sscanf(name, "@%d,%d", &row, &column) != 2) return window->controlWindow(w)->findChild<QWidget*>(name);
    auto* grid = qobject_cast<QGridLayout*>(window->controlWindow(w)->centralWidget()->layout());
    QLayoutItem* item = grid ? grid->itemAtPosition(row, column) : nullptr;
    return item ? item->widget() : nullptr;
  }
  static void click(Window w, const char* button) { qobject_cast<QAbstractButton*>(widget(w, button))->click(); }
  static QList<QAbstractButton*> radioButtons(Window w) {
    return window->controlWindow(w)->findChild<QGroupBox*>()->findChildren<QAbstractButton*>();
  }
  static QAction* item(const QString& text) {
    for (QAction* a : window->findChildren<QAction*>())
      if (a->text() == text) return a;
    return nullptr;
  }
  template <class T>
  static T* node() {
    return static_cast<T*>(nodesOf(window->sceneRoot(), T::getClassTypeId()).at(0));
  }
  // "Type.field" or "Type#n.field" (n-th node) as text; floats as Qt prints.
  static std::string field(const std::string& name) {
    const size_t dot = name.find('.'), hash = name.find('#');
    const size_t n = hash < dot ? std::stoul(name.substr(hash + 1)) : 0;
    const std::vector<SoNode*> nodes =
        nodesOf(window->sceneRoot(), SoType::fromName(name.substr(0, std::min(dot, hash)).c_str()));
    SoField* f = n < nodes.size() ? nodes[n]->getField(name.substr(dot + 1).c_str()) : nullptr;
    if (!f) return "(no field " + name + ")";
    if (f->isOfType(SoSFFloat::getClassTypeId()))
      return QString::number(static_cast<SoSFFloat*>(f)->getValue() + 0.0f).toStdString();
    if (f->isOfType(SoSFString::getClassTypeId())) return static_cast<SoSFString*>(f)->getValue().getString();
    SbString value;
    f->get(value);
    return value.getString();
  }
  // Opens a path as the open dialog would; returns what was printed.
  static std::string open(const std::string& path, bool loads = true) {
    testing::internal::CaptureStdout();
    const bool loaded = window->openModel(QString::fromLocal8Bit(path.c_str()));
    fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(loaded, loads) << path << "\n" << out;
    return out;
  }

  static bool on(const char* name) { return field(name) == "TRUE"; }

  inline static LinfoldApplication* window = nullptr;
  inline static std::string windowStart;  // controlledState right after construction
  inline static std::string startOutput;
  inline static QString startNumbers;
  inline static TempDir* dir = nullptr;
};

// The render tool builds the scene without a window and applies the start-up values itself; it must start from the very
// state the window's slots leave, whatever the library-wide switches were.
TEST_F(MainWindowTest, SceneStartUpLeavesWhatTheWindowsStartUpLeaves) {
  SoSilhouetteSwitches::cameraStatic = !SoSilhouetteSwitches::cameraStatic;
  SoSilhouetteSwitches::meshZigZagRepair = 1 - SoSilhouetteSwitches::meshZigZagRepair;
  SoSilhouetteSwitches::triangleChunkRepair = 1 - SoSilhouetteSwitches::triangleChunkRepair;
  testing::internal::CaptureStdout();
  const std::string sceneStart = [] {
    LinfoldScene scene;
    LinfoldControls(scene).applyStartup();
    return controlledState(scene.root(), scene.backgroundColour());
  }();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Creating the scene ...\n");
  EXPECT_EQ(sceneStart, windowStart);
}

// The start-up message, title, size, status row and model counts; the progress bar follows the hook.
TEST_F(MainWindowTest, StartsWithTheSceneMessageAndTheStatusRowAndDrivesTheProgressBar) {
  EXPECT_NE(startOutput.find("Creating the scene ...\n"), std::string::npos) << startOutput;
  EXPECT_EQ(window->objectName() + "|" + window->windowTitle(), "mainWindow|Linfold Demonstration");
  const QSize viewer = window->examinerViewer()->getWidget()->size();
  EXPECT_TRUE(window->size() == QSize(800, 600) && viewer.width() > 700 && viewer.height() > 450);
  EXPECT_FALSE(window->windowIcon().isNull());
  const char* const status[][2] = {{"Filename Label", "File:"}, {"Filename", "(none)"},
                                   {"Faces Label", "Faces:"},   {"Faces Orig Label", "Original Faces:"},
                                   {"FPS Label", "Fps:"},       {"Misc Space Label", ""}};
  for (const auto& s : status) EXPECT_EQ(text(s[0]), s[1]) << s[0];
  EXPECT_EQ(startNumbers, "0 0 0 0 ");
  EXPECT_TRUE(QRegExp("\\d+\\.\\d").exactMatch(text("FPS Number"))) << text("FPS Number").toStdString();
  EXPECT_EQ(SoNode::getByName("GeometryNode")->getTypeId().getName(), SbName("Cone"));
  EXPECT_TRUE(QTest::qWaitFor([] { return text("Faces") != "0"; }, 5000));
  EXPECT_TRUE(text("Faces Orig") == text("Faces") && info("Face Number") == text("Faces"));
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  // The progress hook: phase 0 sets the range, 1 the value, 2 resets; others do nothing.
  ASSERT_TRUE(progressClient == window && progressHook);
  auto* bar = window->findChild<QProgressBar*>("Progress");
  std::vector<int> seen;
  for (const auto& [value, phase] : {std::pair(40, 0), {25, 1}, {7, 9}}) {
    progressHook(progressClient, value, phase);
    seen.insert(seen.end(), {bar->maximum(), bar->value()});
  }
  progressHook(progressClient, 0, 2);
  EXPECT_EQ(seen, (std::vector<int>{40, 0, 40, 25, 40, 25}));
  EXPECT_EQ(bar->value(), bar->minimum() - 1);
}

// The window's own pixels show the drawing at start-up and after resizing (a lost first frame at a new size leaves the
// viewer black).
TEST_F(MainWindowTest, TheDisplayShowsTheDrawingAtEverySize) {
  double paper = 0, ink = 0;
  auto shown = [&paper, &ink] {
    const QImage picture = window->screenPicture();
    QWidget* gl = window->examinerViewer()->getGLWidget();
    const QRect area(gl->mapTo(window, QPoint(0, 0)), gl->size());
    if (picture.isNull() || !picture.rect().contains(area)) return false;
    const double n = double(area.width()) * area.height();
    paper = ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x)
        paper += (qGray(picture.pixel(x, y)) > 250) / n, ink += (qGray(picture.pixel(x, y)) < 128) / n;
    return paper > 0.9 && ink > 0.0005;
  };
  for (QSize size : {QSize(800, 600), QSize(640, 480), QSize(800, 600)})
    EXPECT_TRUE((window->resize(size), QTest::qWaitFor(shown, 5000))) << size.width() << ": " << paper << ", " << ink;
}

// Each control: the text shown and its node field at start-up; then the field after each entry ("|" between entries),
// and after each text that is no number (speeds: 1; widths and distances: 0; a limit's box signs its value, its field
// takes the magnitude above a floor); every entry is undone.
TEST_F(MainWindowTest, EachControlStartsWithItsValueAndDrivesItsNode) {
  struct Row {
    Window window;
    const char *control, *shown, *field = nullptr, *start = nullptr, *input = nullptr, *value = nullptr, *bad = nullptr;
    bool enabled = true;
  };
  // clang-format off
  const Row rows[] = {
      {SUBDIVISION, "@0,0", "Dividing Steps:"},
      {SUBDIVISION, "Dividing Steps", "0", "SoModifyWingedEdge.dividingSteps", "0", "2", "2"},
      {SUBDIVISION, "@1,1", "Loop", "SoModifyWingedEdge.dividingMode", "3", "Catmull-Clark", "2"},
      {SUBDIVISION, "Adaptive Loop Subdivision Steps", "0", "SoModifyWingedEdge.adaptiveSubdivisionSteps", "0", "1", "1"},
      {SUBDIVISION, "Adaptive Subdivision Algorithm", "Loop", "SoModifyWingedEdge.adaptiveSubdivisionMode", "3", "Modified Butterfly", "4"},
      {SUBDIVISION, "@4,0", "Regular Subdivision Steps:"},
      {SUBDIVISION, "Subdivision Steps", "0", "SoModifyWingedEdge.subdivisionSteps", "0", "1", "1"},
      {SUBDIVISION, "@5,1", "Loop", "SoModifyWingedEdge.subdivisionMode", "3", "Modified Butterfly|Catmull-Clark|Doo-Sabin", "4|2|1"},
      {SUBDIVISION, "Smoothing Steps", "0", "SoModifyWingedEdge.smoothingSteps", "0", "3", "3"},
      // Numbers are read as Qt's C-locale conversion reads them.
      {SUBDIVISION, "Smoothing Speed", "1.0", "SoModifyWingedEdge.smoothingSpeed", "1", "0.5| 2.5 |\xc2\xa0" "3|+.5e1|2.|0|0x10|1,5|1e-50|3.5e38|1e", "0.5|2.5|3|5|2|1|1|1|1|1|1", "1"},
      {SUBDIVISION, "Sharp Angles Check", "off", "SoModifyWingedEdge.useSharpAngles", "FALSE", "on", "TRUE"},
      {SUBDIVISION, "Sharp Angle", "115", "SoModifyWingedEdge.sharpAngle", "115", "90", "90"},
      {SUBDIVISION, "Large Faces Check", "off", "SoModifyWingedEdge.polygonationMode", "FALSE", "on", "TRUE"},
      {LINE_SETTINGS, "GL Lines", "on", "SoLineShapeHQ.glLines", "TRUE", "off", "FALSE"},
      {LINE_SETTINGS, "Line Mode", "Thickness & Density", "SoLineShapeHQ.mode", "M_THICK_DENS", "Black|Thickness|Density|Resolution", "M_BLACK|M_THICK|M_DENS|M_RESOLUTION"},
      {LINE_SETTINGS, "Rebalance Check", "on", "SoLineSettingsHQ.rebalance", "TRUE", "off", "FALSE"},
      {LINE_SETTINGS, "Line Width", "2", "SoLineSettingsHQ.lineWidth", "2", "-3", "0", "0"},
      {LINE_SETTINGS, "Max Line Width", "32", "SoLineSettingsHQ.maxWidth", "32", "-3", "0", "0"},
      {LINE_SETTINGS, "Min Distance", "2", "SoLineSettingsHQ.minDistance", "2", "-3", "0", "0"},
      {LINE_SETTINGS, "Max Distance", "100", "SoLineSettingsHQ.maxDistance", "100", "-3", "0", "0"},
      {LINE_SETTINGS, "Silhouette Check", "on", "SoGenerateSilhouette.doComputation", "TRUE", "off", "FALSE"},
      {LINE_SETTINGS, "@8,1", "1", "SoLineThickener.amplitude", "1", "2.5", "2.5", "0"},
      {LINE_SETTINGS, "Sharp Angle", "30", "SoGenerateSilhouette.sharpEdgesAngle", "30", "75", "75"},
      {LINE_SETTINGS, "Streamlines Check", "off", "SoStreamlinerHQ.doComputation", "FALSE", "on", "TRUE"},
      {LINE_SETTINGS, "@12,1", kFormula, "SoLineThickenerHQ.parserExpression", kFormula, "light*2", "light*2"},
      {LINE_SETTINGS, "Density", "1", "SoLineDensifierHQ.parserExpression", "1", "depth", "depth"},
      {STREAMLINER, "Sharp Edge Check", "on", "SoStreamlinerHQ.sharpEdge", "115", "off", "-115"},
      {STREAMLINER, "Max Bend Check", "off", "SoStreamlinerHQ.maxBend", "-60", "on", "60"},
      {STREAMLINER, "Min Length Check", "on", "SoStreamlinerHQ.minLength", "0.02", "off", "-0.02"},
      {STREAMLINER, "Max Length Check", "off", "SoStreamlinerHQ.maxLength", "-0.2", "on", "0.2"},
      {STREAMLINER, "Separation Distance", "0.01", "SoStreamlinerHQ.seperationDist", "0.01", "-0.3", "0.3", "0.0005"},
      {STREAMLINER, "Probe Distance", "0.012", "SoStreamlinerHQ.probeDist", "0.012", "-0.3", "0.3", "0.0005"},
      {STREAMLINER, "Sharp Edge", "115", "SoStreamlinerHQ.sharpEdge", "115", "-0.3", "1", "1"},
      {STREAMLINER, "Max Bend", "60", "SoStreamlinerHQ.maxBend", "-60", "-30", "30", "1", false},
      {STREAMLINER, "Min Length", ".02", "SoStreamlinerHQ.minLength", "0.02", "-0.3", "0.3", "0.0001"},
      {STREAMLINER, "Max Length", ".2", "SoStreamlinerHQ.maxLength", "-0.2", "-0.3", "0.3", "0.0001", false},
      {STREAMLINER, "Step Size", "0.025", "SoStreamlinerHQ.stepSize", "0.025", "-0.3", "0.3", "0.0005"},
      {STREAMLINER, "SelectMode", "Planar Distance", "SoStreamlinerHQ.taperMethod", "TM_PLANE", "Disabled|Spherical Distance|Planar Distance (Average L/R)", "TM_NONE|TM_SPHERE|TM_PLANE_AVG"},
      {STREAMLINER, "Cross-Hatching Check", "off", "SoStreamlinerHQ.crossHatching", "FALSE", "on", "TRUE"},
      {FLOW, "Show Flow Check", "on", "SoFlowFieldHQ.sendLines", "TRUE", "off", "FALSE"},
      {FLOW, "SelectMode", "All"},
      {FLOW, "Lock Radius", ".04", nullptr, nullptr, nullptr, nullptr, nullptr, false},
      {FLOW, "Select Tolerance", "500", nullptr, nullptr, nullptr, nullptr, nullptr, false},
      {FLOW, "Flow Cost", "0.0"},
      {FLOW, "Flow Rot", "0"},
  };
  // clang-format on
  for (const Row& r : rows) {
    SCOPED_TRACE(r.control);
    QWidget* w = widget(r.window, r.control);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(valueOf(w), r.shown);
    EXPECT_EQ(w->isEnabled(), r.enabled);
    EXPECT_EQ(r.field ? field(r.field) : "", r.field ? r.start : "");
  }
  EXPECT_EQ(field("SoGenerateWingedEdge.curvatureMode") + field("SoGenerateWingedEdge.visualizationMode"), "14");
  for (const Row& r : rows) {
    if (!r.input) continue;
    SCOPED_TRACE(std::string(r.control) + " <- \"" + r.input + "\"");
    QWidget* w = widget(r.window, r.control);
    const QString start = valueOf(w);
    const QStringList inputs = QString(r.input).split('|'), values = QString(r.value).split('|');
    for (int i = 0; i < inputs.size(); ++i) {
      set(w, inputs[i]);
      EXPECT_EQ(field(r.field), values.value(i).toStdString()) << inputs[i].toStdString();
    }
    const QString name = w->objectName();  // a limit's box (un)greys its field
    QWidget* limit = name.endsWith(" Check") ? widget(r.window, name.chopped(6).toUtf8().constData()) : nullptr;
    EXPECT_TRUE(!limit || limit->isEnabled() == (r.input == std::string("on")));
    for (const char* bad : {"abc", "", "-0", "1e999", "nan", "inf", "-inf"}) {
      if (!r.bad) break;
      set(w, bad);
      EXPECT_EQ(field(r.field), r.bad) << bad;
    }
    set(w, start);
  }
  // Curvature modes are id + 1; "Nothing" after "Lines" (not "Faces") drops the curvature.
  radioButtons(CURVATURE)[8]->click();
  EXPECT_EQ(field("SoGenerateWingedEdge.curvatureMode"), "9");
  radioButtons(CURVATURE)[0]->click();
  SoGenerateWingedEdge* gen = node<SoGenerateWingedEdge>();
  for (int first : {0, 1}) {
    radioButtons(VISUALIZATION)[first]->click();
    EXPECT_EQ(gen->visualizationMode.getValue(), first + 1);
    gen->workingModel().curvatureValid = true;
    radioButtons(VISUALIZATION)[5]->click();
    EXPECT_TRUE(gen->workingModel().curvatureValid == (first == 1) && gen->visualizationMode.getValue() == 4);
  }
}

// The control windows: names and titles, hidden top-level windows made once; the formula boxes' tip, the radio groups'
// titles and texts, the curvature and visualisation modes checked at start-up.
TEST_F(MainWindowTest, ControlWindowsHaveTheirTextsAndAreMadeOnce) {
  // clang-format off
  const QStringList names = {"Model Information|Model Information", "Subdivision Settings|Subdivision Settings", "Curvature Mode Settings|Curvature Mode Settings",
      "Curvature Mode Settings|Visualization Mode Settings", "Line Settings|Line Settings", "Streamliner|Streamliner", "Flow-Field|FlowField"};
  // clang-format on
  for (int i = 0; i < LinfoldApplication::controlWindowCount; ++i) {
    QMainWindow* w = window->controlWindow(i);
    EXPECT_EQ(w->objectName() + "|" + w->windowTitle(), names[i]);
    EXPECT_TRUE(w->parentWidget() == window && w->isWindow() && !w->isVisible()) << i;
  }
  EXPECT_EQ(window->controlWindow(7), nullptr);
  QMainWindow* subdivision = window->controlWindow(SUBDIVISION);
  const int before = window->findChildren<QMainWindow*>().size();
  for (int round = 0; round < 4; ++round) item("Sub&division ...")->trigger();
  EXPECT_TRUE(subdivision->isVisible());
  subdivision->close();
  item("Sub&division ...")->trigger();
  EXPECT_TRUE(subdivision->isVisible() && window->controlWindow(SUBDIVISION) == subdivision);
  EXPECT_EQ(window->findChildren<QMainWindow*>().size(), before);
  subdivision->close();
  for (const char* at : {"@12,1", "@13,1"})
    EXPECT_EQ(widget(LINE_SETTINGS, at)->toolTip(),
              "operators\t+, -, *, /, ^, <, >, abs\nbrackets\t()\nnumbers\n"
              "variables:\tlight, depth, rim, curvature, iso, taper");
  EXPECT_EQ(window->controlWindow(CURVATURE)->findChild<QGroupBox*>()->title() + "|" +
                window->controlWindow(VISUALIZATION)->findChild<QGroupBox*>()->title(),
            "Choose Curvature Mode|Choose Visialuzation Mode");
  ASSERT_EQ(radioButtons(CURVATURE).size() + radioButtons(VISUALIZATION).size(), 19);  // 13 and 6
  EXPECT_EQ(radioButtons(CURVATURE)[0]->text() + "|" + radioButtons(CURVATURE)[12]->text() + "|" +
                radioButtons(VISUALIZATION)[5]->text(),
            "Heuristic Curvature|Singularity Index|Nothing");
  EXPECT_TRUE(radioButtons(CURVATURE)[0]->isChecked() && radioButtons(VISUALIZATION)[5]->isChecked());
}

// Each menu's items: "text|shortcut", a toggle's start-up mark and id; "-" a separator. Toggles stand in tear-off
// menus; one mnemonic per item but for two pairs that the classic texts fix.
TEST_F(MainWindowTest, MenusHaveTheirTextsAcceleratorsAndIds) {
  // clang-format off
  const std::pair<const char*, QStringList> expected[] = {
      {"", {"&File|", "&Model Options|", "View &Options|", "&Help|"}},
      {"&File", {"&Open File|Ctrl+O", "Write &VRML File ...|", "Write &IV File ...|", "-|", "Write PDF File ...|", "Write TXT File ...|", "-|", "HQ PDF &Snapshot ...|Ctrl+S",
                 "HQ &TGA Snapshot ...| disabled #1", "HQ SV&G Snapshot ...|", "P&lotter SVG ...|", "Plotter Te&xt ...|", "-|", "&Quit|Ctrl+Q"}},
      {"&Model Options", {"&Model Information ...|", "&Model Settings|", "Sub&division ...|Ctrl+1", "&Curvature Modes ...|", "&Reset Scene|"}},
      {"View &Options", {"&Appearance|", "&Visibility|", "&Artifacts|", "&Property Visualization ...|", "Line Settings ...|Ctrl+2", "Flow-Field ...|Ctrl+3", "Streamliner ...|Ctrl+4"}},
      {"&Help", {"&About|"}},
      {"&Model Settings", {"Generate &Winged Edge|Ctrl+W on #0", "&Connect Objects|Ctrl+C off #1"}},
      {"&Appearance", {"&Background black/white| off #0", "&Render Objects (Light)| off #1", "Line &Antialiasing| on #2", "&Fill Line Cracks| on #3", "&Hide Backfaces| on #4"}},
      {"&Visibility", {"Hidden Line Remover| on #0", "&Camera Static| off #1"}},
      {"&Artifacts", {"Mesh &Zig-Zag Repair| on #0", "&Triangle Chunk Repair| on #1", "&Line Zig-Zag Repair| on #2", "&Short Edges Repair| on #3", "Sharp &Angles Repair| on #4"}},
  };
  // clang-format on
  for (const auto& e : expected) {
    QMenu* menu = *e.first ? item(e.first)->menu() : nullptr;
    QStringList actual;
    QMap<QChar, QStringList> byMnemonic;
    for (QAction* a : menu ? menu->actions() : window->menuBar()->actions()) {
      QString s = (a->isSeparator() ? "-" : a->text()) + "|" + a->shortcut().toString(QKeySequence::PortableText);
      if (a->isCheckable()) s += a->isChecked() ? " on" : " off";
      if (!a->isEnabled()) s += " disabled";
      if (a->data().isValid()) s += " #" + a->data().toString();
      actual << s;
      const int amp = a->text().indexOf(QRegExp("&[^&]"));
      if (amp >= 0) byMnemonic[a->text()[amp + 1].toUpper()] << a->text();
    }
    EXPECT_EQ(actual, e.second) << e.first;
    EXPECT_EQ(menu && menu->isTearOffEnabled(), actual[0].endsWith("#0")) << e.first;
    for (auto k = byMnemonic.begin(); k != byMnemonic.end(); ++k)
      EXPECT_TRUE(k.value().size() == 1 || (QString(e.first) == "&Model Options" && k.key() == 'M') ||
                  (QString(e.first) == "View &Options" && k.key() == 'A'))
          << k.value().join(", ").toStdString();
  }
}

// The scene's nodes in order, with what makes stages of one class differ; the concatenator and the hidden-line remover
// run twice as one instance each. Registering the classes again adds nothing.
TEST_F(MainWindowTest, SceneHasItsFixedOrder) {
  SoSeparator* root = window->sceneRoot();
  EXPECT_EQ(root->getRefCount(), 2);  // the scene and the viewer
  auto children = [](SoNode* group) {
    std::string s;
    for (int i = 0; i < static_cast<SoGroup*>(group)->getNumChildren(); ++i) {
      SoNode* child = static_cast<SoGroup*>(group)->getChild(i);
      s += child->getTypeId().getName().getString();
      if (child->getName().getLength()) s += std::string("(") + child->getName().getString() + ")";
      SbString value;
      for (const char* name : {"style", "method", "purifyMethod", "thickenMethod", "renderCaching"})
        if (SoField* f = child->getField(name)) f->get(value), s += std::string("=") + value.getString();
      s += " ";
    }
    return s;
  };
  auto* model = static_cast<SoGroup*>(root->getChild(1));
  auto* lines = static_cast<SoGroup*>(model->getChild(11));
  EXPECT_EQ(children(root) + "\n" + children(model) + "\n" + children(lines),
            "Callback TransformSeparator(ModelNode) \n"
            "DrawStyle=INVISIBLE SoGenerateWingedEdge(GeometryParentNode) DrawStyle=FILLED SoModifyWingedEdge "
            "SoGenerateHeModelHQ SoGenerateCurvatureHQ SoGenerateFlowFieldHQ SoWingedEdgeOutput SoWingedEdge "
            "SoFlowFieldHQ BaseColor Separator=OFF \n"
            "SoGenerateSilhouette SoLineConcatenator SoLineHiddenLineRemover SoLinePurifier=ELIMINATE_ZIG_ZAGS "
            "SoLinePurifier=ELIMINATE_SHORT_SEGMENTS SoLinePurifier=ELIMINATE_SHARP_ANGLES SoLineThickener=CONSTANT "
            "SoLineMergerHQ=LM_STORE SoStreamlinerHQ SoLineConcatenator SoLineHiddenLineRemover "
            "SoLineThickenerHQ=PARSER SoLineDensifierHQ=PARSER SoLineMergerHQ=LM_MERGE SoLineMergerHQ=LM_RESTORE "
            "SoLineSettingsHQ SoLineOutput SoLineOutputTgaHQ SoLineOutputPdfHQ SoLineShapeHQ ");
  EXPECT_EQ(root->renderCaching.getValue(), SoSeparator::OFF);
  EXPECT_TRUE(lines->getChild(1) == lines->getChild(9) && lines->getChild(2) == lines->getChild(10));
  const int types = SoType::getNumTypes();
  initLibraryClasses();
  EXPECT_EQ(SoType::getNumTypes(), types);
}

// A toggle's mark shows what its node runs with, at start-up and after; where one toggle drives two things they agree
// (else 2).
TEST_F(MainWindowTest, ToggleItemsSwitchTheirNodesBackAndForth) {
  static auto both = [](bool a, bool b) { return a == b ? int(a) : 2; };
  const std::pair<const char*, int (*)()> toggles[] = {
      {"Generate &Winged Edge", [] { return int(on("SoGenerateWingedEdge.doBuildWingedEdge")); }},
      {"&Connect Objects", [] { return int(on("SoModifyWingedEdge.connectObjects")); }},
      {"&Background black/white",
       [] {
         const bool dark = field("BaseColor.rgb") == "1 1 1";
         return node<SoGenerateSilhouette>()->getColour() == SbColor(dark, dark, dark) &&
                        window->examinerViewer()->getBackgroundColor() == SbColor(!dark, !dark, !dark)
                    ? int(dark)
                    : 2;
       }},
      {"Line &Antialiasing",
       [] { return both(on("SoGenerateSilhouette.antialiasing"), node<SoLineShapeHQ>()->lineSmoothing); }},
      {"&Fill Line Cracks", [] { return int(on("SoGenerateSilhouette.fillLineCracks")); }},
      {"Hidden Line Remover",
       [] { return both(on("SoLineHiddenLineRemover.active"), on("SoGenerateSilhouette.displaySilhouette")); }},
      {"&Camera Static", [] { return int(SoSilhouetteSwitches::cameraStatic); }},
      {"Mesh &Zig-Zag Repair", [] { return int(SoSilhouetteSwitches::meshZigZagRepair != 0); }},
      {"&Triangle Chunk Repair", [] { return int(SoSilhouetteSwitches::triangleChunkRepair != 0); }},
      {"&Line Zig-Zag Repair", [] { return int(on("SoLinePurifier#0.active")); }},
      {"&Short Edges Repair", [] { return int(on("SoLinePurifier#1.active")); }},
      {"Sharp &Angles Repair", [] { return int(on("SoLinePurifier#2.active")); }},
  };
  EXPECT_FALSE(SoSilhouetteSwitches::lineStripMode);
  for (const auto& t : toggles) {
    SCOPED_TRACE(t.first);
    const int start = int(item(t.first)->isChecked());
    for (int round = 0; round < 3; ++round) {
      EXPECT_EQ(t.second(), round == 1 ? 1 - start : start) << round;
      if (round < 2) item(t.first)->trigger();
    }
  }
}

// A model opened before the first frame (as main() does) is counted after it; a later one replaces it with its
// messages. A failed load names what is wrong (other formats: the model reader's message; what the reader refuses is
// test_ModelReader's) and keeps the previous model, its status row and the view. A model placed far away is framed.
// Relative paths load from the working directory, which an unreachable folder leaves as it was; "/name" is looked for
// in the root folder.
TEST_F(MainWindowTest, LoadingAModelUpdatesTheStatusAndFramesItAndAFailedLoadKeepsIt) {
  window->hide();
  open(dir->write("early.iv", inventor(kOctahedron)));
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_TRUE(QTest::qWaitFor([] { return text("Faces Orig") == "8"; }, 5000)) << text("Faces Orig").toStdString();
  EXPECT_EQ(text("Faces") + info("Vertex Number"), "86");
  const std::string first = dir->write("tetra.iv", inventor(kTetrahedron));
  const std::string out = open(first);
  EXPECT_NE(out.find("Reading file " + first + " ... \n"), std::string::npos) << out;
  EXPECT_NE(out.find("Model loaded!\n"), std::string::npos) << out;
  EXPECT_EQ(text("Filename").toStdString() + " " + text("Faces Orig").toStdString() + text("Faces").toStdString(),
            first + " 44");
  EXPECT_EQ(info("Object Number") + info("Vertex Number") + info("Edge Number"), "146");
  EXPECT_EQ(SoNode::getByName("GeometryNode")->getTypeId(), SoSeparator::getClassTypeId());
  SoNode* geometry = SoNode::getByName("GeometryNode");
  const std::string wrong = "Error: Wrong filename! Try again ...\n";
  const std::pair<std::string, std::string> failures[] = {
      {dir->file("missing.iv"), "Cannot load " + dir->file("missing.iv") + " ...\n"},
      {dir->path.string(), "Cannot load " + dir->path.string() + " ...\n"},
      {dir->write("empty.iv", ""), wrong},
      {dir->write("broken.iv", "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [ 0 0"), wrong},
      {dir->write("noise.obj", std::string("\x01\x02\x03 not a mesh", 15)), "Error: "},
  };
  SoCamera* camera = window->examinerViewer()->getCamera();
  camera->position = camera->position.getValue() + SbVec3f(0.3f, -0.2f, 0.1f);
  camera->orientation = SbRotation(SbVec3f(1, 1, 0), 0.4f);
  auto viewOf = [] {
    SoCamera* camera = window->examinerViewer()->getCamera();
    const SbVec3f p = camera->position.getValue();
    const float* q = camera->orientation.getValue().getValue();
    const SbViewVolume v = camera->getViewVolume(1.0f);
    return std::vector<float>{p[0], p[1], p[2], q[0], q[1], q[2], q[3], v.getWidth(), v.getHeight()};
  };
  const std::vector<float> view = viewOf();
  for (const auto& f : failures) {
    SCOPED_TRACE(f.first);
    const std::string out = open(f.first, false);
    for (size_t i = 0; i < view.size(); ++i) EXPECT_NEAR(viewOf()[i], view[i], 1e-5f) << i;
    EXPECT_NE(out.find(f.second), std::string::npos) << out;
    EXPECT_EQ(out.find("Model loaded!"), std::string::npos);
    EXPECT_EQ(text("Filename").toStdString() + " " + text("Faces Orig").toStdString(), first + " 4");
    EXPECT_TRUE(SoNode::getByName("GeometryNode") == geometry && node<SoGenerateHeModelHQ>()->isBuilt());
  }
  EXPECT_EQ(window->examinerViewer()->getSceneGraph(), window->sceneRoot());
  const std::string second =
      dir->write("octa.iv", inventor(kOctahedron, "  Transform { translation 100 50 -20 scaleFactor 2 2 2 }\n"));
  open(second);
  EXPECT_EQ(text("Filename").toStdString() + " " + text("Faces Orig").toStdString(), second + " 8");
  EXPECT_EQ(node<SoGenerateWingedEdge>()->getNumChildren(), 1);
  const SbViewVolume volume = window->examinerViewer()->getCamera()->getViewVolume(1.0f);
  for (const SbVec3f& p : {SbVec3f(102, 50, -20), SbVec3f(98, 50, -20), SbVec3f(100, 52, -20), SbVec3f(100, 48, -20),
                           SbVec3f(100, 50, -18)}) {
    SbVec3f screen;
    volume.projectToScreen(p, screen);
    EXPECT_TRUE(screen[0] > 0 && screen[0] < 1 && screen[1] > 0 && screen[1] < 1) << screen[0] << " " << screen[1];
  }
  dir->write("here.iv", inventor(kOctahedron));
  WorkingDirectory inTemp(dir->path);
  std::string said = open("here.iv");
  EXPECT_EQ(said.find("could not change"), std::string::npos) << said;
  EXPECT_EQ(text("Filename"), "here.iv");
  said = open("no_such_folder/here.iv");
  EXPECT_NE(said.find("could not change to directory no_such_folder\n"), std::string::npos) << said;
  EXPECT_EQ(std::filesystem::current_path(), dir->path);
  said = open("/here.iv", false);
  EXPECT_EQ(said.find("could not change"), std::string::npos) << said;
  EXPECT_NE(said.find("Cannot load /here.iv ...\n"), std::string::npos) << said;
}

// Streamliner settings wait for "Apply Changes", "Cross-Hatching" acts at once. The flow-field commands reach the
// node's field with the controls' mode, angle and tolerance (what they do is SbFlowFieldHQ's, tested with it); without
// a model they do nothing, and harmlessly.
TEST_F(MainWindowTest, StreamlinerSettingsAndFlowFieldCommandsReachTheirNodes) {
  open((sourceDir() / "data/sphere.iv").string());
  SoStreamlinerHQ* s = node<SoStreamlinerHQ>();
  click(LINE_SETTINGS, "Streamlines Check");
  ASSERT_TRUE(s->isComputed());
  const int traced = s->computations();
  set(widget(STREAMLINER, "Separation Distance"), "0.05");
  EXPECT_TRUE(s->isComputed());
  click(STREAMLINER, "Apply Changes");
  EXPECT_EQ(s->computations(), traced + 1);
  for (const char* cross : {"on", "off"}) {
    set(widget(STREAMLINER, "Cross-Hatching Check"), cross);
    EXPECT_EQ(s->strokes().crossStrokes > 0, std::string(cross) == "on");
  }
  EXPECT_EQ(s->computations(), traced + 1);
  click(LINE_SETTINGS, "Streamlines Check");
  SbFlowFieldHQ& flow = node<SoGenerateFlowFieldHQ>()->flowField();
  SbHeModelHQ& model = node<SoGenerateHeModelHQ>()->model();
  ASSERT_EQ(flow.size(), model.vertexCount());
  QWidget* mode = widget(FLOW, "SelectMode");
  auto* tolerance = qobject_cast<QSlider*>(widget(FLOW, "Select Tolerance"));
  auto count = [&flow](auto property) { return std::count_if(flow.records.begin(), flow.records.end(), property); };
  auto locked = [&count] { return count([](const FlowRecord* r) { return r->locked; }); };
  const char* const modes[] = {"Tension (Geodesic)", "Tension (Neighbours)", "Shape Index", "All", "Inverse", "All"};
  for (int i = 0; i < 6; ++i) {
    set(mode, modes[i]);
    EXPECT_TRUE(widget(FLOW, "Lock Radius")->isEnabled() == (i == 0) && tolerance->isEnabled() == (i < 3)) << i;
    click(FLOW, "Select");
    EXPECT_TRUE(i < 3 || locked() == (i == 4 ? flow.size() : 0)) << modes[i];
  }
  const SbVec3f before = flow.record(0)->direction;
  set(widget(FLOW, "Flow Rot"), "90");
  click(FLOW, "Rotate");
  EXPECT_NEAR(flow.record(0)->direction.dot(before), 0.0f, 1e-3f);
  for (const char* command : {"Reset", "Auto"}) {
    const uint32_t stamp = flow.stamp;
    click(FLOW, command);
    EXPECT_NE(flow.stamp, stamp) << command;
  }
  // 300 of 1000 locks exactly the vertices scoring below 0.3 x the largest.
  set(mode, "Tension (Neighbours)");
  click(FLOW, "Select");
  float largest = 0.0f;
  for (const FlowRecord* r : flow.records) largest = std::max(largest, r->score);
  const int below = count([largest](const FlowRecord* r) { return r->score < 0.3f * largest; });
  tolerance->setValue(300);
  emit tolerance->sliderMoved(300);
  EXPECT_EQ(locked(), below);
  EXPECT_TRUE(below > 0 && below < flow.size()) << below;
  const uint32_t stamp = model.stamp;
  item("Generate &Winged Edge")->trigger();
  testing::internal::CaptureStdout();
  for (const char* button : {"Select", "Reset", "Optimize", "Relax", "Unify", "Rotate", "Auto"}) click(FLOW, button);
  emit tolerance->sliderMoved(700);
  click(LINE_SETTINGS, "Streamlines Check"), click(STREAMLINER, "Apply Changes");
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(model.triangleCount() == 0 && flow.size() == 0 && node<SoStreamlinerHQ>()->strokes().points.empty());
  click(LINE_SETTINGS, "Streamlines Check");
  item("Generate &Winged Edge")->trigger();
  EXPECT_TRUE(model.triangleCount() == 2976 && model.stamp != stamp);
}

// Every export: its save dialog (Qt's own caption and name and no parent for the mesh exports), cancelled without
// changing a node; the file written under LINFOLD_SAVE_NAME, or the message when it cannot be. The TGA item stays
// disabled; its command is reached through its slot.
TEST_F(MainWindowTest, ExportsAskForAFileAndWriteItOrSayTheyCouldNot) {
  open((sourceDir() / "data/sphere.iv").string());
  const struct {
    const char *item, *caption, *filter, *objectName, *file, *head;
  } exports[] = {
      // clang-format off
      {"Write &VRML File ...", "", "VRML 2.0 Files (*.wrl)", "", "mesh.wrl", "#VRML V2.0 utf8"},
      {"Write &IV File ...", "", "Inventor 2.1 Files (*.iv)", "", "mesh.iv", "#Inventor V2.1 ascii"},
      {"Write PDF File ...", "Choose a PDF file to save vector graphic to ...", "*.pdf", "save PDF file dialog", "lines.pdf", "%PDF-"},
      {"Write TXT File ...", "Choose a TXT file to save vector graphic to ...", "*.txt", "save ASCII file dialog", "lines.txt", ""},
      {"HQ PDF &Snapshot ...", "Choose a PDF file to save a snapshot to...", "*.pdf", "save HQ-PDF file dialog", "snapshot.pdf", "%PDF-"},
      {"HQ &TGA Snapshot ...", "Choose a TGA file to save a snapshot to...", "*.tga", "save HQ-TGA file dialog", "snapshot.tga", ""},
      {"HQ SV&G Snapshot ...", "Choose an SVG file to save a snapshot to...", "*.svg", "save HQ-SVG file dialog", "snapshot.svg", "<?xml"},
      {"P&lotter SVG ...", "Choose an SVG file to save plotter paths to...", "*.svg", "save plotter SVG file dialog", "plotter.svg", "<?xml"},
      {"Plotter Te&xt ...", "Choose a TXT file to save plotter paths to...", "*.txt", "save plotter TXT file dialog", "plotter.txt", "#"},
      // clang-format on
  };
  auto run = [](const char* text, const char* path = nullptr) {
    if (path) setenv("LINFOLD_SAVE_NAME", path, 1);
    testing::internal::CaptureStdout();
    item(text)->isEnabled() ? item(text)->trigger() : void(QMetaObject::invokeMethod(window, "writeLinesToTgaFileHQ"));
    unsetenv("LINFOLD_SAVE_NAME");
    return testing::internal::GetCapturedStdout();
  };
  auto state = [] { return controlledState(window->sceneRoot(), window->examinerViewer()->getBackgroundColor()); };
  const std::string before = state();
  for (const auto& e : exports) run(e.item);  // no name given: cancelled
  unsetenv("LINFOLD_NO_DIALOGS");
  for (const auto& e : exports) {
    bool seen = false;
    QTimer::singleShot(0, [&e, &seen] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!(seen = dialog)) return;
      const bool ours = *e.objectName;
      const QString shown = ours ? dialog->windowTitle() + "|" + dialog->objectName() : "|";
      EXPECT_EQ(shown + "|" + dialog->nameFilters().join(";"),
                QString(e.caption) + "|" + e.objectName + "|" + e.filter);
      EXPECT_TRUE(dialog->acceptMode() == QFileDialog::AcceptSave && (dialog->parentWidget() == window) == ours);
      dialog->reject();
    });
    run(e.item);
    QApplication::processEvents();
    EXPECT_TRUE(seen) << e.item;
  }
  setenv("LINFOLD_NO_DIALOGS", "1", 1);
  EXPECT_EQ(state(), before);
  for (const auto& e : exports) {
    const std::string path = dir->file(e.file), missing = dir->file("missing/") + e.file;
    EXPECT_EQ(run(e.item, path.c_str()).find("Error:"), std::string::npos) << e.item;
    EXPECT_TRUE(readFile(path).rfind(e.head, 0) == 0 && readFile(path).size() > 100) << e.item;
    EXPECT_NE(run(e.item, missing.c_str()).find("Error: Could not write " + missing + "\n"), std::string::npos);
  }
  // The vector exports never hide a code; the PDF's line width is 0.4 x 2.
  EXPECT_EQ(field("SoLineOutput.steganoMode") + " " + field("SoLineOutput.lineWidth"), "NO_STEGANO 0.8");
}

// Last: Ctrl+Q closes the window and the main loop returns.
TEST_F(MainWindowTest, QuitClosesTheWindowAndEndsTheMainLoop) {
  QApplication::setActiveWindow(window);
  QTimer::singleShot(0, window, [] { QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier); });
  QTimer::singleShot(5000, window, [] { ADD_FAILURE() << "Ctrl+Q did not quit", window->close(); });
  SoQt::mainLoop();
  EXPECT_FALSE(window->isVisible());
}
