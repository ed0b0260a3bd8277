// The main window's controls drive the fields and operations of the scene's
// nodes: start-up state, every control's effect, the clamping of typed text,
// the flow-field commands and the save dialogs. Runs the real window under
// Xvfb with LINFOLD_NO_DIALOGS set.
#include <Inventor/SbColor.h>
#include <Inventor/SoPath.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/fields/SoField.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/fields/SoMFFloat.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransformSeparator.h>
#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "LinfoldApplication.h"
#include "LinfoldControls.h"
#include "LinfoldScene.h"
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
#include "output/SoLineOutput.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "output/SoWingedEdgeOutput.h"
#include "strokes/SoStreamlinerHQ.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"
#include "styling/SoLineThickenerHQ.h"

namespace {

int qtArgc = 1;
char qtArg0[] = "test_ControlRouting";
char* qtArgv[] = {qtArg0, nullptr};

enum Window { MODEL_INFO, SUBDIVISION, CURVATURE, VISUALIZATION, LINE_SETTINGS, STREAMLINER, FLOW };

const char* const kBadTexts[] = {"abc", "", "-0", "1e999", "nan", "inf", "-inf"};

// What the controls set, as text: every field of every node below `root` in
// traversal order, the state the controls keep outside fields, and the
// library-wide switches.
std::string controlledState(SoNode* root, const SbColor& background) {
  std::ostringstream out;
  SoSearchAction search;
  search.setType(SoNode::getClassTypeId(), TRUE);
  search.setInterest(SoSearchAction::ALL);
  search.setSearchingAll(TRUE);
  search.apply(root);
  const SoPathList& paths = search.getPaths();
  auto colour = [&out](const SbColor& c) { out << c[0] << " " << c[1] << " " << c[2] << "\n"; };
  for (int i = 0; i < paths.getLength(); ++i) {
    SoNode* n = paths[i]->getTail();
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

}  // namespace

class ControlRoutingTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setenv("LINFOLD_NO_DIALOGS", "1", 1);
    unsetenv("LINFOLD_SAVE_NAME");
    if (!qApp) new QApplication(qtArgc, qtArgv);
    testing::internal::CaptureStdout();
    window = new LinfoldApplication();
    windowStart = controlledState(window->sceneRoot(), window->examinerViewer()->getBackgroundColor());
    window->prepareMainWindow();
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::processEvents();
    testing::internal::GetCapturedStdout();
  }
  static void TearDownTestSuite() {
    delete window;
    window = nullptr;
  }

  // The n-th node of exactly this class in traversal order (hidden children
  // included; a node inserted twice counts twice).
  template <class T>
  static T* node(int n = 0) {
    SoSearchAction search;
    search.setType(T::getClassTypeId(), FALSE);
    search.setInterest(SoSearchAction::ALL);
    search.setSearchingAll(TRUE);
    search.apply(window->sceneRoot());
    const SoPathList& paths = search.getPaths();
    return n < paths.getLength() ? static_cast<T*>(paths[n]->getTail()) : nullptr;
  }
  template <class T>
  static T* control(Window w, const char* name) {
    T* c = window->controlWindow(w)->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  // The widget in a control window's grid at (row, column).
  static QWidget* at(Window w, int row, int column) {
    auto* grid = qobject_cast<QGridLayout*>(window->controlWindow(w)->centralWidget()->layout());
    if (!grid || !grid->itemAtPosition(row, column)) return nullptr;
    return grid->itemAtPosition(row, column)->widget();
  }
  static QMenu* submenu(const QString& title) {
    for (QAction* top : window->menuBar()->actions())
      for (QAction* a : top->menu()->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return nullptr;
  }
  static QAction* menuItem(const QString& menuTitle, const QString& text) {
    for (QAction* top : window->menuBar()->actions()) {
      if (top->text() != menuTitle) continue;
      for (QAction* a : top->menu()->actions())
        if (a->text() == text) return a;
    }
    return nullptr;
  }
  static QAction* toggleItem(const QString& menuTitle, int id) {
    QMenu* m = submenu(menuTitle);
    return m && id < m->actions().size() ? m->actions()[id] : nullptr;
  }
  // Types text and presses return, as a user does in a field that reacts to
  // return (textChanged fields react to the typing itself).
  static void enter(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    emit edit->returnPressed();
  }
  static void loadModel(const std::string& path) {
    testing::internal::CaptureStdout();
    const bool loaded = window->openModel(QString::fromLocal8Bit(path.c_str()));
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(loaded) << path;
  }
  // Every float of every node in the scene is finite.
  static void expectAllFieldsFinite(const std::string& context) {
    SoSearchAction search;
    search.setType(SoNode::getClassTypeId(), TRUE);
    search.setInterest(SoSearchAction::ALL);
    search.setSearchingAll(TRUE);
    search.apply(window->sceneRoot());
    const SoPathList& paths = search.getPaths();
    for (int i = 0; i < paths.getLength(); ++i) {
      SoNode* n = paths[i]->getTail();
      SoFieldList fields;
      n->getFields(fields);
      for (int f = 0; f < fields.getLength(); ++f) {
        SoField* field = fields[f];
        SbName name;
        n->getFieldName(field, name);
        if (field->isOfType(SoSFFloat::getClassTypeId())) {
          const float v = static_cast<SoSFFloat*>(field)->getValue();
          EXPECT_TRUE(std::isfinite(v)) << context << ": " << n->getTypeId().getName().getString()
                                        << "." << name.getString() << " = " << v;
        } else if (field->isOfType(SoMFFloat::getClassTypeId())) {
          auto* mf = static_cast<SoMFFloat*>(field);
          for (int k = 0; k < mf->getNum(); ++k)
            EXPECT_TRUE(std::isfinite((*mf)[k])) << context << ": " << name.getString();
        }
      }
    }
  }
  static void expectFieldUnitDirections(const std::string& context) {
    const SbFlowFieldHQ& field = node<SoGenerateFlowFieldHQ>()->flowField();
    for (int i = 0; i < field.size(); ++i) {
      const SbVec3f& d = field.record(i)->direction;
      ASSERT_TRUE(std::isfinite(d[0]) && std::isfinite(d[1]) && std::isfinite(d[2]))
          << context << " vertex " << i;
      ASSERT_NEAR(d.length(), 1.0f, 1e-3f) << context << " vertex " << i;
    }
  }

  static LinfoldApplication* window;
  static std::string windowStart;  // controlledState right after construction
};

LinfoldApplication* ControlRoutingTest::window = nullptr;
std::string ControlRoutingTest::windowStart;

// The render tool builds the scene without a window and applies the start-up
// values itself; it must start from the very state the window's slots leave.
TEST_F(ControlRoutingTest, SceneStartUpLeavesWhatTheWindowsStartUpLeaves) {
  const bool cameraStatic = SoSilhouetteSwitches::cameraStatic;
  const int meshRepair = SoSilhouetteSwitches::meshZigZagRepair;
  const int chunkRepair = SoSilhouetteSwitches::triangleChunkRepair;
  // Switches the start-up must set, not inherit from the window.
  SoSilhouetteSwitches::cameraStatic = !cameraStatic;
  SoSilhouetteSwitches::meshZigZagRepair = 1 - meshRepair;
  SoSilhouetteSwitches::triangleChunkRepair = 1 - chunkRepair;
  testing::internal::CaptureStdout();
  std::string sceneStart;
  {
    LinfoldScene scene;
    LinfoldControls(scene).applyStartup();
    sceneStart = controlledState(scene.root(), scene.backgroundColour());
  }
  const std::string output = testing::internal::GetCapturedStdout();
  SoSilhouetteSwitches::cameraStatic = cameraStatic;
  SoSilhouetteSwitches::meshZigZagRepair = meshRepair;
  SoSilhouetteSwitches::triangleChunkRepair = chunkRepair;
  EXPECT_EQ(output, "Creating the scene ...\n");
  EXPECT_EQ(sceneStart, windowStart);
}

TEST_F(ControlRoutingTest, SceneHoldsEveryStageInItsPlace) {
  auto* model = static_cast<SoGroup*>(window->sceneRoot()->getChild(1));
  ASSERT_TRUE(model->isOfType(SoTransformSeparator::getClassTypeId()));
  ASSERT_EQ(model->getNumChildren(), 12);
  EXPECT_EQ(model->getChild(5)->getTypeId(), SoGenerateCurvatureHQ::getClassTypeId());
  EXPECT_EQ(model->getChild(6)->getTypeId(), SoGenerateFlowFieldHQ::getClassTypeId());
  EXPECT_EQ(model->getChild(7)->getTypeId(), SoWingedEdgeOutput::getClassTypeId());
  EXPECT_EQ(model->getChild(9)->getTypeId(), SoFlowFieldHQ::getClassTypeId());
  auto* lines = static_cast<SoGroup*>(model->getChild(11));
  ASSERT_EQ(lines->getNumChildren(), 20);
  // The stages by their position in the line separator.
  const struct {
    int index;
    SoType type;
  } rows[] = {
      {0, SoGenerateSilhouette::getClassTypeId()},    {1, SoLineConcatenator::getClassTypeId()},
      {2, SoLineHiddenLineRemover::getClassTypeId()}, {3, SoLinePurifier::getClassTypeId()},
      {4, SoLinePurifier::getClassTypeId()},          {5, SoLinePurifier::getClassTypeId()},
      {6, SoLineThickener::getClassTypeId()},         {7, SoLineMergerHQ::getClassTypeId()},
      {8, SoStreamlinerHQ::getClassTypeId()},         {9, SoLineConcatenator::getClassTypeId()},
      {10, SoLineHiddenLineRemover::getClassTypeId()}, {11, SoLineThickenerHQ::getClassTypeId()},
      {12, SoLineDensifierHQ::getClassTypeId()},      {13, SoLineMergerHQ::getClassTypeId()},
      {14, SoLineMergerHQ::getClassTypeId()},         {15, SoLineSettingsHQ::getClassTypeId()},
      {16, SoLineOutput::getClassTypeId()},           {17, SoLineOutputTgaHQ::getClassTypeId()},
      {18, SoLineOutputPdfHQ::getClassTypeId()},      {19, SoLineShapeHQ::getClassTypeId()},
  };
  for (const auto& r : rows)
    EXPECT_EQ(lines->getChild(r.index)->getTypeId(), r.type) << "line stage " << r.index;

  const int methods[] = {SoLinePurifier::ELIMINATE_ZIG_ZAGS, SoLinePurifier::ELIMINATE_SHORT_SEGMENTS,
                         SoLinePurifier::ELIMINATE_SHARP_ANGLES};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(static_cast<SoLinePurifier*>(lines->getChild(3 + i))->purifyMethod.getValue(),
              methods[i]);
  auto* thickener = static_cast<SoLineThickener*>(lines->getChild(6));
  EXPECT_EQ(thickener->thickenMethod.getValue(), SoLineThickener::CONSTANT);
  const int mergers[][2] = {{7, SoLineMergerHQ::LM_STORE},
                            {13, SoLineMergerHQ::LM_MERGE},
                            {14, SoLineMergerHQ::LM_RESTORE}};
  for (const auto& m : mergers)
    EXPECT_EQ(static_cast<SoLineMergerHQ*>(lines->getChild(m[0]))->method.getValue(), m[1]);
  EXPECT_EQ(static_cast<SoLineThickenerHQ*>(lines->getChild(11))->method.getValue(),
            SoLineThickenerHQ::PARSER);
  EXPECT_EQ(static_cast<SoLineDensifierHQ*>(lines->getChild(12))->method.getValue(),
            SoLineDensifierHQ::PARSER);
}

// With the winged-edge build switched off every model is empty: every command
// still runs on the empty models and makes nothing.
TEST_F(ControlRoutingTest, CommandsRunOnEmptyModels) {
  QAction* generate = toggleItem("&Model Settings", 0);
  generate->trigger();
  ASSERT_FALSE(generate->isChecked());
  SbFlowFieldHQ& field = node<SoGenerateFlowFieldHQ>()->flowField();
  ASSERT_EQ(node<SoGenerateHeModelHQ>()->model().triangleCount(), 0);
  control<QLineEdit>(FLOW, "Flow Rot")->setText("45");
  for (const char* button : {"Select", "Reset", "Optimize", "Relax", "Unify", "Rotate", "Auto"})
    control<QPushButton>(FLOW, button)->click();
  emit control<QSlider>(FLOW, "Select Tolerance")->sliderMoved(700);
  control<QLineEdit>(FLOW, "Flow Rot")->setText("0");
  EXPECT_EQ(field.size(), 0);
  control<QCheckBox>(LINE_SETTINGS, "Streamlines Check")->click();
  control<QPushButton>(STREAMLINER, "Apply Changes")->click();
  EXPECT_EQ(node<SoStreamlinerHQ>()->strokes().points.size(), 0u);
  control<QCheckBox>(LINE_SETTINGS, "Streamlines Check")->click();
  generate->trigger();
  EXPECT_TRUE(generate->isChecked());
}

TEST_F(ControlRoutingTest, StartUpLeavesTheNodesAsTheControlsShow) {
  // Toggle items, applied once each at start-up.
  SoGenerateSilhouette* sil = node<SoGenerateSilhouette>();
  EXPECT_TRUE(node<SoGenerateWingedEdge>()->doBuildWingedEdge.getValue());
  EXPECT_FALSE(node<SoModifyWingedEdge>()->connectObjects.getValue());
  EXPECT_EQ(window->examinerViewer()->getBackgroundColor(), SbColor(1, 1, 1));
  EXPECT_EQ(sil->getColour(), SbColor(0, 0, 0));
  EXPECT_EQ(node<SoBaseColor>()->rgb[0], SbColor(0, 0, 0));
  EXPECT_TRUE(sil->antialiasing.getValue());
  EXPECT_TRUE(node<SoLineShapeHQ>()->lineSmoothing);
  EXPECT_TRUE(sil->fillLineCracks.getValue());
  EXPECT_TRUE(sil->displaySilhouette.getValue());
  EXPECT_TRUE(node<SoLineHiddenLineRemover>()->active.getValue());
  EXPECT_FALSE(SoSilhouetteSwitches::cameraStatic);
  EXPECT_EQ(SoSilhouetteSwitches::meshZigZagRepair, 1);
  EXPECT_EQ(SoSilhouetteSwitches::triangleChunkRepair, 1);
  EXPECT_FALSE(SoSilhouetteSwitches::lineStripMode);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(node<SoLinePurifier>(i)->active.getValue()) << i;

  // Line settings window ("Line Mode" is not applied at start-up: the node's
  // own default is the entry the combo shows).
  EXPECT_TRUE(node<SoLineShapeHQ>()->glLines.getValue());
  EXPECT_EQ(node<SoLineShapeHQ>()->mode.getValue(), SoLineShapeHQ::M_THICK_DENS);
  SoLineSettingsHQ* settings = node<SoLineSettingsHQ>();
  EXPECT_TRUE(settings->rebalance.getValue());
  EXPECT_FLOAT_EQ(settings->lineWidth.getValue(), 2.0f);
  EXPECT_FLOAT_EQ(settings->maxWidth.getValue(), 32.0f);
  EXPECT_FLOAT_EQ(settings->minDistance.getValue(), 2.0f);
  EXPECT_FLOAT_EQ(settings->maxDistance.getValue(), 100.0f);
  EXPECT_TRUE(sil->doComputation.getValue());
  EXPECT_FLOAT_EQ(sil->sharpEdgesAngle.getValue(), 30.0f);
  EXPECT_FLOAT_EQ(node<SoLineThickener>()->amplitude.getValue(), 1.0f);
  EXPECT_STREQ(node<SoLineThickenerHQ>()->parserExpression.getValue().getString(),
               "( light - rim )*iso*(taper*.5 + .5 )");
  EXPECT_STREQ(node<SoLineDensifierHQ>()->parserExpression.getValue().getString(), "1");

  // Streamliner window: limits whose box is off start negative.
  SoStreamlinerHQ* s = node<SoStreamlinerHQ>();
  EXPECT_FALSE(s->doComputation.getValue());
  EXPECT_FLOAT_EQ(s->seperationDist.getValue(), 0.01f);
  EXPECT_FLOAT_EQ(s->probeDist.getValue(), 0.012f);
  EXPECT_FLOAT_EQ(s->sharpEdge.getValue(), 115.0f);
  EXPECT_FLOAT_EQ(s->maxBend.getValue(), -60.0f);
  EXPECT_FLOAT_EQ(s->minLength.getValue(), 0.02f);
  EXPECT_FLOAT_EQ(s->maxLength.getValue(), -0.2f);
  EXPECT_FLOAT_EQ(s->stepSize.getValue(), 0.025f);
  EXPECT_EQ(s->taperMethod.getValue(), SoStreamlinerHQ::TM_PLANE);
  EXPECT_FALSE(s->crossHatching.getValue());

  // Flow-field window.
  EXPECT_TRUE(node<SoFlowFieldHQ>()->sendLines.getValue());
}

TEST_F(ControlRoutingTest, ToggleItemsSwitchTheirNodesBackAndForth) {
  SoGenerateSilhouette* sil = node<SoGenerateSilhouette>();
  const struct {
    const char* menu;
    int id;
    std::function<bool()> state;
  } toggles[] = {
      {"&Appearance", 2,
       [sil] {
         const bool on = sil->antialiasing.getValue();
         EXPECT_EQ(node<SoLineShapeHQ>()->lineSmoothing, on);
         return on;
       }},
      {"&Appearance", 3, [sil] { return bool(sil->fillLineCracks.getValue()); }},
      {"&Visibility", 0,
       [sil] {
         const bool shown = sil->displaySilhouette.getValue();
         EXPECT_EQ(node<SoLineHiddenLineRemover>()->active.getValue(), shown);
         return shown;
       }},
      {"&Visibility", 1, [] { return SoSilhouetteSwitches::cameraStatic; }},
      {"&Artifacts", 0, [] { return SoSilhouetteSwitches::meshZigZagRepair != 0; }},
      {"&Artifacts", 1, [] { return SoSilhouetteSwitches::triangleChunkRepair != 0; }},
      {"&Artifacts", 2, [] { return bool(node<SoLinePurifier>(0)->active.getValue()); }},
      {"&Artifacts", 3, [] { return bool(node<SoLinePurifier>(1)->active.getValue()); }},
      {"&Artifacts", 4, [] { return bool(node<SoLinePurifier>(2)->active.getValue()); }},
  };
  for (const auto& t : toggles) {
    QAction* item = toggleItem(t.menu, t.id);
    ASSERT_NE(item, nullptr) << t.menu << " " << t.id;
    const std::string what = item->text().toStdString();
    // What the check mark shows is what the node runs with.
    EXPECT_EQ(t.state(), item->isChecked()) << what;
    for (int round = 0; round < 2; ++round) {
      const bool before = t.state();
      item->trigger();
      EXPECT_EQ(t.state(), !before) << what;
      EXPECT_EQ(item->isChecked(), t.state()) << what;
    }
  }
  // The background item recolours the silhouettes and the base colour too.
  QAction* background = toggleItem("&Appearance", 0);
  background->trigger();
  EXPECT_EQ(sil->getColour(), SbColor(1, 1, 1));
  EXPECT_EQ(node<SoBaseColor>()->rgb[0], SbColor(1, 1, 1));
  background->trigger();
  EXPECT_EQ(sil->getColour(), SbColor(0, 0, 0));
}

TEST_F(ControlRoutingTest, SwitchingTheWingedEdgeOffRebuildsEverythingDerived) {
  loadModel((sourceDir() / "data/sphere.iv").string());
  SoGenerateHeModelHQ* he = node<SoGenerateHeModelHQ>();
  ASSERT_EQ(he->model().triangleCount(), 2976);
  const uint32_t stamp = he->model().stamp;
  QAction* generate = toggleItem("&Model Settings", 0);
  generate->trigger();  // off: an empty model, and the half-edge model follows
  EXPECT_FALSE(generate->isChecked());
  EXPECT_FALSE(node<SoGenerateWingedEdge>()->doBuildWingedEdge.getValue());
  EXPECT_EQ(he->model().triangleCount(), 0);
  generate->trigger();
  EXPECT_TRUE(node<SoGenerateWingedEdge>()->doBuildWingedEdge.getValue());
  EXPECT_EQ(he->model().triangleCount(), 2976);
  EXPECT_NE(he->model().stamp, stamp);
}

TEST_F(ControlRoutingTest, LineSettingsFieldsClampAndReachTheirNodes) {
  SoLineSettingsHQ* settings = node<SoLineSettingsHQ>();
  const struct {
    const char* name;
    SoSFFloat* field;
  } edits[] = {{"Line Width", &settings->lineWidth},
               {"Max Line Width", &settings->maxWidth},
               {"Min Distance", &settings->minDistance},
               {"Max Distance", &settings->maxDistance}};
  for (const auto& e : edits) {
    QLineEdit* edit = control<QLineEdit>(LINE_SETTINGS, e.name);
    const QString initial = edit->text();
    enter(edit, "7.5");
    EXPECT_FLOAT_EQ(e.field->getValue(), 7.5f) << e.name;
    enter(edit, "-3");
    EXPECT_FLOAT_EQ(e.field->getValue(), 0.0f) << e.name;
    for (const char* bad : kBadTexts) {
      enter(edit, bad);
      EXPECT_EQ(e.field->getValue(), 0.0f) << e.name << " <- " << bad;
    }
    enter(edit, initial);
  }

  // Silhouette thickness ("Thickness" in row 8) is taken as typed.
  auto* thickness = qobject_cast<QLineEdit*>(at(LINE_SETTINGS, 8, 1));
  ASSERT_NE(thickness, nullptr);
  SoLineThickener* thickener = node<SoLineThickener>();
  enter(thickness, "2.5");
  EXPECT_FLOAT_EQ(thickener->amplitude.getValue(), 2.5f);
  for (const char* bad : kBadTexts) {
    enter(thickness, bad);
    EXPECT_EQ(thickener->amplitude.getValue(), 0.0f) << bad;
  }
  enter(thickness, "1");

  // The formulas (row 12 and "Density") go to the HQ thickener and densifier.
  auto* formula = qobject_cast<QLineEdit*>(at(LINE_SETTINGS, 12, 1));
  enter(formula, "light*2");
  EXPECT_STREQ(node<SoLineThickenerHQ>()->parserExpression.getValue().getString(), "light*2");
  enter(formula, "( light - rim )*iso*(taper*.5 + .5 )");
  enter(control<QLineEdit>(LINE_SETTINGS, "Density"), "depth");
  EXPECT_STREQ(node<SoLineDensifierHQ>()->parserExpression.getValue().getString(), "depth");
  enter(control<QLineEdit>(LINE_SETTINGS, "Density"), "1");

  // Plain lines and their colouring.
  QCheckBox* glLines = control<QCheckBox>(LINE_SETTINGS, "GL Lines");
  glLines->click();
  EXPECT_FALSE(node<SoLineShapeHQ>()->glLines.getValue());
  glLines->click();
  EXPECT_TRUE(node<SoLineShapeHQ>()->glLines.getValue());
  auto* lineMode = control<QComboBox>(LINE_SETTINGS, "Line Mode");
  const int modes[] = {SoLineShapeHQ::M_BLACK, SoLineShapeHQ::M_THICK, SoLineShapeHQ::M_DENS,
                       SoLineShapeHQ::M_THICK_DENS, SoLineShapeHQ::M_RESOLUTION};
  for (int i = 0; i < 5; ++i) {
    emit lineMode->activated(i);
    EXPECT_EQ(node<SoLineShapeHQ>()->mode.getValue(), modes[i]) << i;
  }
  emit lineMode->activated(3);

  // Check boxes and the spin box.
  QCheckBox* rebalance = control<QCheckBox>(LINE_SETTINGS, "Rebalance Check");
  rebalance->click();
  EXPECT_FALSE(settings->rebalance.getValue());
  rebalance->click();
  EXPECT_TRUE(settings->rebalance.getValue());
  QCheckBox* silhouette = control<QCheckBox>(LINE_SETTINGS, "Silhouette Check");
  silhouette->click();
  EXPECT_FALSE(node<SoGenerateSilhouette>()->doComputation.getValue());
  silhouette->click();
  EXPECT_TRUE(node<SoGenerateSilhouette>()->doComputation.getValue());
  auto* angle = qobject_cast<QSpinBox*>(at(LINE_SETTINGS, 9, 1));
  ASSERT_NE(angle, nullptr);
  angle->setValue(75);
  EXPECT_FLOAT_EQ(node<SoGenerateSilhouette>()->sharpEdgesAngle.getValue(), 75.0f);
  angle->setValue(30);
  QCheckBox* streamlines = control<QCheckBox>(LINE_SETTINGS, "Streamlines Check");
  streamlines->click();
  EXPECT_TRUE(node<SoStreamlinerHQ>()->doComputation.getValue());
  streamlines->click();
  EXPECT_FALSE(node<SoStreamlinerHQ>()->doComputation.getValue());
}

TEST_F(ControlRoutingTest, StreamlinerFieldsClampTakeTheirSignFromTheBoxesAndWaitForApply) {
  SoStreamlinerHQ* s = node<SoStreamlinerHQ>();
  const struct {
    const char* name;
    SoSFFloat* field;
    float floor;
    const char* initial;
  } edits[] = {{"Separation Distance", &s->seperationDist, 0.0005f, "0.01"},
               {"Probe Distance", &s->probeDist, 0.0005f, "0.012"},
               {"Sharp Edge", &s->sharpEdge, 1.0f, "115"},
               {"Max Bend", &s->maxBend, 1.0f, "60"},
               {"Min Length", &s->minLength, 0.0001f, ".02"},
               {"Max Length", &s->maxLength, 0.0001f, ".2"},
               {"Step Size", &s->stepSize, 0.0005f, "0.025"}};
  for (const auto& e : edits) {
    QLineEdit* edit = control<QLineEdit>(STREAMLINER, e.name);
    edit->setText("-0.3");  // textChanged: the magnitude, at least the floor
    EXPECT_FLOAT_EQ(e.field->getValue(), std::max(0.3f, e.floor)) << e.name;
    edit->setText("250");
    EXPECT_FLOAT_EQ(e.field->getValue(), 250.0f) << e.name;
    for (const char* bad : kBadTexts) {
      edit->setText(bad);
      EXPECT_FLOAT_EQ(e.field->getValue(), e.floor) << e.name << " <- " << bad;
    }
    edit->setText(e.initial);
  }
  control<QLineEdit>(STREAMLINER, "Separation Distance")->setText("abc");
  EXPECT_FLOAT_EQ(s->seperationDist.getValue(), 0.0005f);
  control<QLineEdit>(STREAMLINER, "Separation Distance")->setText("0.01");

  // A limit's box gives its value a sign and (un)greys its field.
  const struct {
    const char* check;
    const char* edit;
    SoSFFloat* field;
  } limits[] = {{"Sharp Edge Check", "Sharp Edge", &s->sharpEdge},
                {"Max Bend Check", "Max Bend", &s->maxBend},
                {"Min Length Check", "Min Length", &s->minLength},
                {"Max Length Check", "Max Length", &s->maxLength}};
  for (const auto& l : limits) {
    QCheckBox* check = control<QCheckBox>(STREAMLINER, l.check);
    QLineEdit* edit = control<QLineEdit>(STREAMLINER, l.edit);
    const bool initially = check->isChecked();
    const float magnitude = std::fabs(l.field->getValue());
    for (int round = 0; round < 2; ++round) {
      check->click();
      const bool on = check->isChecked();
      EXPECT_EQ(edit->isEnabled(), on) << l.check;
      EXPECT_FLOAT_EQ(l.field->getValue(), on ? magnitude : -magnitude) << l.check;
    }
    EXPECT_EQ(check->isChecked(), initially);
  }
  // The named case: "Min Length Check" off makes minLength -0.02.
  QCheckBox* minCheck = control<QCheckBox>(STREAMLINER, "Min Length Check");
  minCheck->click();
  EXPECT_FLOAT_EQ(s->minLength.getValue(), -0.02f);
  EXPECT_FALSE(control<QLineEdit>(STREAMLINER, "Min Length")->isEnabled());
  minCheck->click();
  EXPECT_FLOAT_EQ(s->minLength.getValue(), 0.02f);

  auto* taper = control<QComboBox>(STREAMLINER, "SelectMode");
  const int methods[] = {SoStreamlinerHQ::TM_NONE, SoStreamlinerHQ::TM_SPHERE,
                         SoStreamlinerHQ::TM_PLANE, SoStreamlinerHQ::TM_PLANE_AVG};
  for (int i = 0; i < 4; ++i) {
    emit taper->activated(i);
    EXPECT_EQ(s->taperMethod.getValue(), methods[i]);
  }
  emit taper->activated(2);

  // Settings alone do not trace; "Apply Changes" traces once more.
  loadModel((sourceDir() / "data/sphere.iv").string());
  control<QCheckBox>(LINE_SETTINGS, "Streamlines Check")->click();
  ASSERT_TRUE(s->isComputed());
  const int traced = s->computations();
  control<QLineEdit>(STREAMLINER, "Separation Distance")->setText("0.05");
  EXPECT_EQ(s->computations(), traced);
  EXPECT_TRUE(s->isComputed());
  control<QPushButton>(STREAMLINER, "Apply Changes")->click();
  EXPECT_EQ(s->computations(), traced + 1);
  // "Cross-Hatching" adds the second family at once, and drops it, without
  // tracing the first again.
  QCheckBox* cross = control<QCheckBox>(STREAMLINER, "Cross-Hatching Check");
  cross->click();
  EXPECT_TRUE(s->crossHatching.getValue());
  EXPECT_GT(s->strokes().crossStrokes, 0);
  cross->click();
  EXPECT_FALSE(s->crossHatching.getValue());
  EXPECT_EQ(s->strokes().crossStrokes, 0);
  EXPECT_EQ(s->computations(), traced + 1);
  control<QLineEdit>(STREAMLINER, "Separation Distance")->setText("0.01");
  control<QCheckBox>(LINE_SETTINGS, "Streamlines Check")->click();
  EXPECT_FALSE(s->doComputation.getValue());
}

TEST_F(ControlRoutingTest, FlowFieldCommandsEditTheNodesField) {
  loadModel((sourceDir() / "data/sphere.iv").string());
  SbFlowFieldHQ& field = node<SoGenerateFlowFieldHQ>()->flowField();
  SbHeModelHQ& model = node<SoGenerateHeModelHQ>()->model();
  ASSERT_TRUE(field.matches(model));
  ASSERT_EQ(field.size(), model.vertexCount());

  QCheckBox* show = control<QCheckBox>(FLOW, "Show Flow Check");
  show->click();
  EXPECT_FALSE(node<SoFlowFieldHQ>()->sendLines.getValue());
  show->click();
  EXPECT_TRUE(node<SoFlowFieldHQ>()->sendLines.getValue());

  auto* mode = control<QComboBox>(FLOW, "SelectMode");
  auto* select = control<QPushButton>(FLOW, "Select");
  auto lockedCount = [&field] {
    int n = 0;
    for (int i = 0; i < field.size(); ++i) n += field.record(i)->locked ? 1 : 0;
    return n;
  };
  // "All" frees every vertex; "Inverse" then locks every one.
  mode->setCurrentIndex(0);
  emit mode->activated(0);
  select->click();
  EXPECT_EQ(lockedCount(), 0);
  mode->setCurrentIndex(1);
  emit mode->activated(1);
  select->click();
  EXPECT_EQ(lockedCount(), field.size());
  // Nothing turns while every vertex is locked.
  auto* angle = control<QLineEdit>(FLOW, "Flow Rot");
  angle->setText("90");
  uint32_t stamp = field.stamp;
  control<QPushButton>(FLOW, "Rotate")->click();
  EXPECT_EQ(field.stamp, stamp);

  // Free again: a quarter turn turns every direction by 90 degrees about its
  // vertex normal, and a turn back restores it.
  mode->setCurrentIndex(0);
  emit mode->activated(0);
  select->click();
  const SbVec3f before = field.record(0)->direction;
  control<QPushButton>(FLOW, "Rotate")->click();
  EXPECT_NE(field.stamp, stamp);
  EXPECT_NEAR(field.record(0)->direction.dot(before), 0.0f, 1e-3f);
  angle->setText("-90");
  control<QPushButton>(FLOW, "Rotate")->click();
  EXPECT_NEAR(field.record(0)->direction.dot(before), 1.0f, 1e-3f);
  expectFieldUnitDirections("rotate");

  // Text that is no number rotates by 0: nothing changes.
  for (const char* bad : kBadTexts) {
    angle->setText(bad);
    stamp = field.stamp;
    control<QPushButton>(FLOW, "Rotate")->click();
    EXPECT_EQ(field.stamp, stamp) << bad;
  }
  angle->setText("0");

  // Reset rebuilds from the curvature with a new stamp; relax, unify and
  // optimize (also with a cost that is no number) keep unit directions.
  stamp = field.stamp;
  control<QPushButton>(FLOW, "Reset")->click();
  EXPECT_NE(field.stamp, stamp);
  EXPECT_TRUE(field.matches(model));
  control<QPushButton>(FLOW, "Relax")->click();
  control<QPushButton>(FLOW, "Unify")->click();
  auto* cost = control<QLineEdit>(FLOW, "Flow Cost");
  testing::internal::CaptureStdout();
  for (const char* text : {"0.5", "nan", "1e999", "abc"}) {
    cost->setText(text);
    control<QPushButton>(FLOW, "Optimize")->click();
    expectFieldUnitDirections(std::string("optimize ") + text);
  }
  testing::internal::GetCapturedStdout();
  cost->setText("0.0");

  // Auto cleans the field: it turns, and locks the vertices whose curvature
  // directions it trusts, of which a sphere has none.
  stamp = field.stamp;
  control<QPushButton>(FLOW, "Auto")->click();
  EXPECT_NE(field.stamp, stamp);
  expectFieldUnitDirections("auto");
  EXPECT_EQ(lockedCount(), 0);

  // The tolerance slider thresholds the scores of a scoring selection.
  auto* tolerance = control<QSlider>(FLOW, "Select Tolerance");
  mode->setCurrentIndex(3);
  emit mode->activated(3);
  EXPECT_TRUE(tolerance->isEnabled());
  select->click();
  tolerance->setValue(0);
  emit tolerance->sliderMoved(0);
  EXPECT_EQ(lockedCount(), 0);  // nothing lies below 0 x the largest score
  // At 300 of 1000: exactly the vertices scoring below 0.3 x the largest score.
  float largest = 0.0f;
  for (int i = 0; i < field.size(); ++i) largest = std::max(largest, field.record(i)->score);
  ASSERT_GT(largest, 0.0f);
  int below = 0;
  for (int i = 0; i < field.size(); ++i) below += field.record(i)->score < 0.3f * largest ? 1 : 0;
  tolerance->setValue(300);
  emit tolerance->sliderMoved(300);
  EXPECT_EQ(lockedCount(), below);
  EXPECT_GT(below, 0);
  for (const char* bad : kBadTexts) {
    control<QLineEdit>(FLOW, "Lock Radius")->setText(bad);
    mode->setCurrentIndex(2);
    emit mode->activated(2);
    select->click();
    expectFieldUnitDirections(std::string("radius ") + bad);
  }
  control<QLineEdit>(FLOW, "Lock Radius")->setText(".04");
  tolerance->setValue(500);
  mode->setCurrentIndex(0);
  emit mode->activated(0);
}

TEST_F(ControlRoutingTest, NoTypedTextPutsANonFiniteNumberIntoANode) {
  for (int w = 0; w < LinfoldApplication::controlWindowCount; ++w) {
    for (QLineEdit* edit : window->controlWindow(w)->findChildren<QLineEdit*>()) {
      const QString initial = edit->text();
      const std::string where = window->controlWindow(w)->windowTitle().toStdString() + "/" +
                                edit->objectName().toStdString();
      for (const char* bad : kBadTexts) {
        enter(edit, bad);  // textChanged fires with setText, returnPressed here
        expectAllFieldsFinite(where + " <- \"" + bad + "\"");
      }
      enter(edit, initial);
    }
  }
}

// Export commands whose dialog is cancelled change no node; a name from the
// scripted dialog (LINFOLD_SAVE_NAME) is what the command uses.
TEST_F(ControlRoutingTest, CancelledSaveDialogsChangeNothing) {
  const char* const items[] = {"Write &VRML File ...", "Write &IV File ...", "Write PDF File ...",
                               "Write TXT File ...", "HQ PDF &Snapshot ...",
                               "HQ &TGA Snapshot ..."};
  auto snapshot = [] {
    std::string all;
    SoGroup* lines = static_cast<SoGroup*>(
        static_cast<SoGroup*>(window->sceneRoot()->getChild(1))->getChild(11));
    SoGroup* model = static_cast<SoGroup*>(window->sceneRoot()->getChild(1));
    for (SoGroup* g : {model, lines})
      for (int i = 0; i < g->getNumChildren(); ++i) {
        SoFieldList fields;
        g->getChild(i)->getFields(fields);
        for (int f = 0; f < fields.getLength(); ++f) {
          SbString value;
          fields[f]->get(value);
          all += value.getString();
          all += "\n";
        }
      }
    return all;
  };
  const std::string before = snapshot();
  unsetenv("LINFOLD_SAVE_NAME");
  for (const char* text : items) {
    QAction* item = menuItem("&File", text);
    ASSERT_NE(item, nullptr) << text;
    item->trigger();
  }
  QMetaObject::invokeMethod(window, "writeLinesToTgaFileHQ");  // its item is disabled
  EXPECT_TRUE(node<SoWingedEdgeOutput>()->written);
  EXPECT_TRUE(node<SoLineOutput>()->written);
  EXPECT_FALSE(node<SoLineOutputTgaHQ>()->writePending);
  EXPECT_FALSE(node<SoLineOutputPdfHQ>()->writePending);
  EXPECT_EQ(snapshot(), before);
}

TEST_F(ControlRoutingTest, ExportsWriteTheChosenFileOrSayTheyCouldNot) {
  loadModel((sourceDir() / "data/sphere.iv").string());
  char dir[] = "/tmp/linfold_routing_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string folder = dir;
  const struct {
    const char* item;
    const char* file;
    const char* head;
  } exports[] = {{"Write &VRML File ...", "mesh.wrl", "#VRML V2.0 utf8"},
                 {"Write &IV File ...", "mesh.iv", "#Inventor V2.1 ascii"},
                 {"Write PDF File ...", "lines.pdf", "%PDF-"},
                 {"Write TXT File ...", "lines.txt", ""},
                 {"HQ PDF &Snapshot ...", "snapshot.pdf", "%PDF-"},
                 {"HQ &TGA Snapshot ...", "snapshot.tga", ""},
                 {"HQ SV&G Snapshot ...", "snapshot.svg", "<?xml"},
                 {"P&lotter SVG ...", "plotter.svg", "<?xml"},
                 {"Plotter Te&xt ...", "plotter.txt", "#"}};
  // The TGA item stays disabled; its command is reached through its slot.
  auto run = [](const char* item) {
    QAction* action = menuItem("&File", item);
    ASSERT_NE(action, nullptr) << item;
    if (action->isEnabled())
      action->trigger();
    else
      QMetaObject::invokeMethod(window, "writeLinesToTgaFileHQ");
  };
  for (const auto& e : exports) {
    const std::string path = folder + "/" + e.file;
    setenv("LINFOLD_SAVE_NAME", path.c_str(), 1);
    testing::internal::CaptureStdout();
    run(e.item);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Error:"), std::string::npos) << e.item << "\n" << out;
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << path;
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str().compare(0, std::strlen(e.head), e.head), 0) << e.item;
    EXPECT_GT(content.str().size(), 100u) << e.item;
  }
  // The vector exports never hide a code; the PDF's line width is 0.4 x 2.
  SoLineOutput* lines = node<SoLineOutput>();
  EXPECT_EQ(lines->steganoMode.getValue(), SoLineOutput::NO_STEGANO);
  EXPECT_FLOAT_EQ(lines->lineWidth.getValue(), 0.8f);

  // A folder that does not exist: the command says so.
  for (const auto& e : exports) {
    const std::string path = folder + "/missing/" + e.file;
    setenv("LINFOLD_SAVE_NAME", path.c_str(), 1);
    testing::internal::CaptureStdout();
    run(e.item);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error: Could not write " + path + "\n"), std::string::npos)
        << e.item << "\n" << out;
  }
  unsetenv("LINFOLD_SAVE_NAME");
  std::system(("rm -rf '" + folder + "'").c_str());
}

// The real dialogs: caption, filter, parent and object name of each command.
TEST_F(ControlRoutingTest, SaveDialogsHaveTheirCaptionsFiltersAndNames) {
  const struct {
    const char* item;
    const char* slot;
    const char* caption;
    const char* filter;
    bool parented;
    const char* objectName;
  } dialogs[] = {
      {"Write &VRML File ...", "writeWingedEdgeToVRMLFile", "", "VRML 2.0 Files (*.wrl)", false, ""},
      {"Write &IV File ...", "writeWingedEdgeToIVFile", "", "Inventor 2.1 Files (*.iv)", false, ""},
      {"Write TXT File ...", "writeLinesToASCIIFile", "Choose a TXT file to save vector graphic to ...", "*.txt", true,
       "save ASCII file dialog"},
      {"Write PDF File ...", "writeLinesToPDFFile", "Choose a PDF file to save vector graphic to ...", "*.pdf", true,
       "save PDF file dialog"},
      {"HQ &TGA Snapshot ...", "writeLinesToTgaFileHQ", "Choose a TGA file to save a snapshot to...", "*.tga", true,
       "save HQ-TGA file dialog"},
      {"HQ PDF &Snapshot ...", "writeLinesToPdfFileHQ", "Choose a PDF file to save a snapshot to...", "*.pdf", true,
       "save HQ-PDF file dialog"},
  };
  unsetenv("LINFOLD_NO_DIALOGS");
  for (const auto& d : dialogs) {
    QAction* item = menuItem("&File", d.item);
    ASSERT_NE(item, nullptr) << d.item;
    bool seen = false;
    QTimer::singleShot(0, [&d, &seen] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      seen = true;
      // Without a caption or object name of ours, Qt's own defaults show.
      if (*d.caption) {
        EXPECT_EQ(dialog->windowTitle(), d.caption) << d.item;
      }
      if (*d.objectName) {
        EXPECT_EQ(dialog->objectName(), d.objectName) << d.item;
      }
      EXPECT_EQ(dialog->nameFilters(), QStringList(d.filter)) << d.item;
      EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave) << d.item;
      EXPECT_EQ(dialog->parentWidget(), d.parented ? window : nullptr) << d.item;
      dialog->reject();
    });
    // Should no dialog open, the timer's callback finds none and the test fails.
    // The TGA item stays disabled: its slot is called directly.
    if (item->isEnabled())
      item->trigger();
    else
      QMetaObject::invokeMethod(window, d.slot);
    QApplication::processEvents();
    EXPECT_TRUE(seen) << d.item;
  }
  setenv("LINFOLD_NO_DIALOGS", "1", 1);
}
