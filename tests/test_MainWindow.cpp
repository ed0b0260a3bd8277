// The real main window under Xvfb: widget tree, texts, start-up values,
// model loading and its failures, and closing through the main loop.
#include <Inventor/SbViewVolume.h>
#include <Inventor/SoType.h>
#include <Inventor/Qt/SoQt.h>
#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoTransformSeparator.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTimer>
#include <QImage>

#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "LinfoldApplication.h"
#include "registry/LibraryClasses.h"
#include "core/ProgressMeter.h"
#include "mesh/SoGenerateHeModelHQ.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoModifyWingedEdge.h"
#include "mesh/SoWingedEdge.h"

namespace {

int qtArgc = 1;
char qtArg0[] = "test_MainWindow";
char* qtArgv[] = {qtArg0, nullptr};

enum Window { MODEL_INFO, SUBDIVISION, CURVATURE, VISUALIZATION, LINE_SETTINGS, STREAMLINER, FLOW };

std::string writeFile(const std::string& name, const std::string& content) {
  std::ofstream out(name, std::ios::binary);
  out << content;
  return name;
}

// A closed triangle mesh as triangle strips of one triangle each.
std::string inventorMesh(const std::vector<float>& xyz, const std::vector<int>& triangles,
                         const std::string& prefix = std::string()) {
  std::string s = "#Inventor V2.1 ascii\n\nSeparator {\n" + prefix + "  Coordinate3 { point [";
  for (size_t i = 0; i < xyz.size(); i += 3)
    s += " " + std::to_string(xyz[i]) + " " + std::to_string(xyz[i + 1]) + " " +
         std::to_string(xyz[i + 2]) + ",";
  s += " ] }\n  IndexedTriangleStripSet { coordIndex [";
  for (size_t i = 0; i < triangles.size(); i += 3)
    s += " " + std::to_string(triangles[i]) + ", " + std::to_string(triangles[i + 1]) + ", " +
         std::to_string(triangles[i + 2]) + ", -1,";
  s += " ] }\n}\n";
  return s;
}

std::string tetrahedron(const std::string& prefix = std::string()) {
  return inventorMesh({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 2, 1, 0, 1, 3, 1, 2, 3, 0, 3, 2},
                      prefix);
}

// An octahedron of radius r around c.
std::string octahedron(float cx, float cy, float cz, float r) {
  return inventorMesh({cx + r, cy, cz, cx - r, cy, cz, cx, cy + r, cz, cx, cy - r, cz, cx, cy,
                       cz + r, cx, cy, cz - r},
                      {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5});
}

std::string workingDirectory() {
  char* dir = get_current_dir_name();
  std::string result = dir ? dir : "";
  std::free(dir);
  return result;
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

}  // namespace

class MainWindowTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setenv("LINFOLD_NO_DIALOGS", "1", 1);
    if (!qApp) new QApplication(qtArgc, qtArgv);
    testing::internal::CaptureStdout();
    window = new LinfoldApplication();
    // Before the first render: the placeholder's counts are not known yet.
    for (const char* name : {"Object Number", "Face Number", "Edge Number", "Vertex Number"})
      startNumbers += valueOf(window->controlWindow(MODEL_INFO)->findChild<QLabel*>(name)) + " ";
    window->prepareMainWindow();
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->enablePolygonOffset();
    QApplication::processEvents();
    fflush(stdout);
    startOutput = testing::internal::GetCapturedStdout();
    char dir[] = "/tmp/linfold_mainwindow_XXXXXX";
    tempDir = mkdtemp(dir);
  }
  static void TearDownTestSuite() {
    delete window;
    window = nullptr;
    std::system(("rm -rf '" + tempDir + "'").c_str());
  }

  static QWidget* named(QWidget* parent, const char* name) {
    QWidget* w = parent->findChild<QWidget*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static QString text(const char* name) {
    QWidget* w = named(window, name);
    return w ? valueOf(w) : QString();
  }
  // The widget in a control window's grid at (row, column).
  static QWidget* at(Window window_, int row, int column) {
    QWidget* central = window->controlWindow(window_)->centralWidget();
    auto* grid = qobject_cast<QGridLayout*>(central->layout());
    if (!grid || !grid->itemAtPosition(row, column)) return nullptr;
    return grid->itemAtPosition(row, column)->widget();
  }
  static QMenu* menu(const QString& title) {
    for (QAction* a : window->menuBar()->actions())
      if (a->text() == title) return a->menu();
    return nullptr;
  }
  static QAction* item(QMenu* m, const QString& text) {
    for (QAction* a : m->actions())
      if (a->text() == text) return a;
    return nullptr;
  }
  static SoNode* findByName(const char* name) {
    SoSearchAction search;
    search.setSearchingAll(TRUE);
    search.setName(name);
    search.apply(window->sceneRoot());
    return search.getPath() ? search.getPath()->getTail() : nullptr;
  }
  static SoGenerateWingedEdge* geometryParent() {
    return static_cast<SoGenerateWingedEdge*>(findByName("GeometryParentNode"));
  }
  static SoModifyWingedEdge* modifier() {
    SoSearchAction search;
    search.setType(SoModifyWingedEdge::getClassTypeId());
    search.apply(window->sceneRoot());
    return search.getPath() ? static_cast<SoModifyWingedEdge*>(search.getPath()->getTail())
                            : nullptr;
  }
  // Opens a path as the open dialog would and returns what was printed.
  static std::string open(const std::string& path, bool* loaded = nullptr) {
    testing::internal::CaptureStdout();
    bool ok = window->openModel(QString::fromLocal8Bit(path.c_str()));
    fflush(stdout);
    if (loaded) *loaded = ok;
    return testing::internal::GetCapturedStdout();
  }
  std::string temp(const std::string& name) const { return tempDir + "/" + name; }

  static LinfoldApplication* window;
  static std::string startOutput;
  static QString startNumbers;
  static std::string tempDir;
};

LinfoldApplication* MainWindowTest::window = nullptr;
std::string MainWindowTest::startOutput;
QString MainWindowTest::startNumbers;
std::string MainWindowTest::tempDir;

TEST_F(MainWindowTest, StartsWithTheSceneMessageAndTheStatusRow) {
  EXPECT_NE(startOutput.find("Creating the scene ...\n"), std::string::npos) << startOutput;
  EXPECT_EQ(window->objectName(), "mainWindow");
  EXPECT_EQ(window->windowTitle(), "Linfold Demonstration");
  EXPECT_EQ(window->size(), QSize(800, 600));
  EXPECT_FALSE(window->windowIcon().isNull());
  // The viewer fills the area above the status row.
  EXPECT_GT(window->examinerViewer()->getWidget()->width(), 700);
  EXPECT_GT(window->examinerViewer()->getWidget()->height(), 450);
  const char* const status[][2] = {
      {"Filename Label", "File:"},   {"Filename", "(none)"},
      {"Faces Orig Label", "Original Faces:"},
      {"Faces Label", "Faces:"},     {"FPS Label", "Fps:"},
      {"Misc Space Label", ""},
  };
  for (const auto& s : status) EXPECT_EQ(text(s[0]), s[1]) << s[0];
  EXPECT_NE(window->findChild<QProgressBar*>("Progress"), nullptr);
  // The placeholder cone was rendered: the frame counter has shown a rate.
  EXPECT_TRUE(QRegExp("\\d+\\.\\d").exactMatch(text("FPS Number"))) << text("FPS Number").toStdString();
  EXPECT_NE(dynamic_cast<SoCone*>(findByName("GeometryNode")), nullptr);
  // The counts follow the frame that built the cone's models.
  EXPECT_TRUE(QTest::qWaitFor([] { return text("Faces") != "0"; }, 5000));
  EXPECT_EQ(text("Faces Orig"), text("Faces"));
  EXPECT_EQ(valueOf(window->controlWindow(MODEL_INFO)->findChild<QLabel*>("Face Number")), text("Faces"));
  // Numbers are read and printed with a '.' whatever the user's locale.
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

// What the display shows in the viewer's area, as a share of its pixels:
// background (white at start-up) and ink (dark).
struct ScreenShares {
  double paper = 0, ink = 0;
};
ScreenShares viewerOnScreen(LinfoldApplication* window) {
  const QImage picture = window->screenPicture();
  QWidget* gl = window->examinerViewer()->getGLWidget();
  const QRect area(gl->mapTo(window, QPoint(0, 0)), gl->size());
  ScreenShares s;
  if (picture.isNull() || !picture.rect().contains(area)) return s;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const int grey = qGray(picture.pixel(x, y));
      s.paper += grey > 250;
      s.ink += grey < 128;
    }
  const double n = double(area.width()) * area.height();
  s.paper /= n;
  s.ink /= n;
  return s;
}

// The window's own pixels: the drawing reaches the screen at start-up and
// after the window changes size (under Xvfb the first frame at a new size
// used to be lost, leaving the viewer black).
TEST_F(MainWindowTest, TheDisplayShowsTheDrawingAtEverySize) {
  for (QSize size : {QSize(800, 600), QSize(640, 480), QSize(800, 600)}) {
    window->resize(size);
    const bool shown = QTest::qWaitFor(
        [] {
          const ScreenShares s = viewerOnScreen(window);
          return s.paper > 0.9 && s.ink > 0.0005;
        },
        5000);
    const ScreenShares s = viewerOnScreen(window);
    EXPECT_TRUE(shown) << size.width() << "x" << size.height() << ": paper " << s.paper << ", ink " << s.ink;
  }
}

// As main() does it: a model opened before the viewer can draw shows its
// counts once the first frame has built its models.
TEST_F(MainWindowTest, AModelOpenedBeforeTheFirstFrameShowsItsCounts) {
  window->hide();
  bool loaded = false;
  open(writeFile(temp("early.iv"), octahedron(0, 0, 0, 1)), &loaded);
  ASSERT_TRUE(loaded);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_TRUE(QTest::qWaitFor([] { return text("Faces Orig") == "8"; }, 5000)) << text("Faces Orig").toStdString();
  EXPECT_EQ(text("Faces"), "8");
  EXPECT_EQ(valueOf(window->controlWindow(MODEL_INFO)->findChild<QLabel*>("Vertex Number")), "6");
}

TEST_F(MainWindowTest, SceneHasItsFixedOrder) {
  SoSeparator* root = window->sceneRoot();
  ASSERT_EQ(root->getNumChildren(), 2);
  EXPECT_EQ(root->getRefCount(), 2);  // the scene and the viewer
  EXPECT_EQ(root->renderCaching.getValue(), SoSeparator::OFF);
  EXPECT_TRUE(root->getChild(0)->isOfType(SoCallback::getClassTypeId()));
  auto* model = static_cast<SoGroup*>(root->getChild(1));
  EXPECT_TRUE(model->isOfType(SoTransformSeparator::getClassTypeId()));
  EXPECT_EQ(model->getName(), SbName("ModelNode"));
  ASSERT_EQ(model->getNumChildren(), 12);
  auto* hidden = dynamic_cast<SoDrawStyle*>(model->getChild(0));
  ASSERT_NE(hidden, nullptr);
  EXPECT_EQ(hidden->style.getValue(), SoDrawStyle::INVISIBLE);
  EXPECT_EQ(model->getChild(1)->getTypeId(), SoGenerateWingedEdge::getClassTypeId());
  EXPECT_EQ(model->getChild(1)->getName(), SbName("GeometryParentNode"));
  auto* filled = dynamic_cast<SoDrawStyle*>(model->getChild(2));
  ASSERT_NE(filled, nullptr);
  EXPECT_EQ(filled->style.getValue(), SoDrawStyle::FILLED);
  EXPECT_EQ(model->getChild(3)->getTypeId(), SoModifyWingedEdge::getClassTypeId());
  EXPECT_EQ(model->getChild(4)->getTypeId(), SoGenerateHeModelHQ::getClassTypeId());
  EXPECT_EQ(model->getChild(8)->getTypeId(), SoWingedEdge::getClassTypeId());
  EXPECT_EQ(model->getChild(10)->getTypeId(), SoBaseColor::getClassTypeId());
  auto* lines = dynamic_cast<SoSeparator*>(model->getChild(11));
  ASSERT_NE(lines, nullptr);
  EXPECT_EQ(lines->renderCaching.getValue(), SoSeparator::OFF);
  ASSERT_EQ(lines->getNumChildren(), 20);
  // The concatenator and the hidden-line remover run twice: one instance each.
  EXPECT_EQ(lines->getChild(1), lines->getChild(9));
  EXPECT_EQ(lines->getChild(2), lines->getChild(10));
  EXPECT_NE(lines->getChild(1), lines->getChild(2));
}

TEST_F(MainWindowTest, RegisteringTheClassesTwiceAddsNothing) {
  const int types = SoType::getNumTypes();
  initLibraryClasses();
  EXPECT_EQ(SoType::getNumTypes(), types);
}

TEST_F(MainWindowTest, MenusHaveTheirTextsAcceleratorsAndIds) {
  QStringList titles;
  for (QAction* a : window->menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Model Options", "View &Options", "&Help"}));

  struct Item {
    const char* menu;
    const char* text;  // "-" for a separator
    const char* shortcut;
  };
  const Item items[] = {
      {"&File", "&Open File", "Ctrl+O"},
      {"&File", "Write &VRML File ...", ""},
      {"&File", "Write &IV File ...", ""},
      {"&File", "-", ""},
      {"&File", "Write PDF File ...", ""},
      {"&File", "Write TXT File ...", ""},
      {"&File", "-", ""},
      {"&File", "HQ PDF &Snapshot ...", "Ctrl+S"},
      {"&File", "HQ &TGA Snapshot ...", ""},
      {"&File", "HQ SV&G Snapshot ...", ""},
      {"&File", "P&lotter SVG ...", ""},
      {"&File", "Plotter Te&xt ...", ""},
      {"&File", "-", ""},
      {"&File", "&Quit", "Ctrl+Q"},
      {"&Model Options", "&Model Information ...", ""},
      {"&Model Options", "&Model Settings", ""},
      {"&Model Options", "Sub&division ...", "Ctrl+1"},
      {"&Model Options", "&Curvature Modes ...", ""},
      {"&Model Options", "&Reset Scene", ""},
      {"View &Options", "&Appearance", ""},
      {"View &Options", "&Visibility", ""},
      {"View &Options", "&Artifacts", ""},
      {"View &Options", "&Property Visualization ...", ""},
      {"View &Options", "Line Settings ...", "Ctrl+2"},
      {"View &Options", "Flow-Field ...", "Ctrl+3"},
      {"View &Options", "Streamliner ...", "Ctrl+4"},
      {"&Help", "&About", ""},
      // Checkable tear-off submenus: text, shortcut.
      {"&Model Settings", "Generate &Winged Edge", "Ctrl+W"},
      {"&Model Settings", "&Connect Objects", "Ctrl+C"},
      {"&Appearance", "&Background black/white", ""},
      {"&Appearance", "&Render Objects (Light)", ""},
      {"&Appearance", "Line &Antialiasing", ""},
      {"&Appearance", "&Fill Line Cracks", ""},
      {"&Appearance", "&Hide Backfaces", ""},
      {"&Visibility", "Hidden Line Remover", ""},
      {"&Visibility", "&Camera Static", ""},
      {"&Artifacts", "Mesh &Zig-Zag Repair", ""},
      {"&Artifacts", "&Triangle Chunk Repair", ""},
      {"&Artifacts", "&Line Zig-Zag Repair", ""},
      {"&Artifacts", "&Short Edges Repair", ""},
      {"&Artifacts", "Sharp &Angles Repair", ""},
  };
  QMap<QString, QMenu*> menus;
  for (QAction* a : window->menuBar()->actions()) {
    menus[a->text()] = a->menu();
    for (QAction* b : a->menu()->actions())
      if (b->menu()) menus[b->text()] = b->menu();
  }
  QMap<QString, QStringList> seen, expected;
  for (const Item& i : items) {
    expected[i.menu] << QString(i.text) + "|" + i.shortcut;
  }
  for (auto it = expected.begin(); it != expected.end(); ++it) {
    QMenu* m = menus.value(it.key());
    ASSERT_NE(m, nullptr) << it.key().toStdString();
    QStringList actual;
    for (QAction* a : m->actions())
      actual << (a->isSeparator() ? QString("-") : a->text()) + "|" +
                    a->shortcut().toString(QKeySequence::PortableText);
    EXPECT_EQ(actual, it.value()) << it.key().toStdString();
  }

  // Every item of a menu has its own mnemonic, but for the two pairs the
  // classic menu texts fix ("&Model Information ..."/"&Model Settings",
  // "&Appearance"/"&Artifacts"); Qt cycles through those.
  for (auto it = menus.begin(); it != menus.end(); ++it) {
    QMap<QChar, QStringList> byKey;
    for (QAction* a : it.value()->actions()) {
      const int amp = a->text().indexOf(QRegExp("&[^&]"));
      if (amp >= 0) byKey[a->text()[amp + 1].toUpper()] << a->text();
    }
    for (auto k = byKey.begin(); k != byKey.end(); ++k) {
      const bool classic = (it.key() == "&Model Options" && k.key() == 'M') ||
                           (it.key() == "View &Options" && k.key() == 'A');
      if (!classic) {
        EXPECT_EQ(k.value().size(), 1) << k.value().join(", ").toStdString();
      }
    }
  }

  QAction* tga = item(menus["&File"], "HQ &TGA Snapshot ...");
  ASSERT_NE(tga, nullptr);
  EXPECT_FALSE(tga->isEnabled());
  EXPECT_EQ(tga->data().toInt(), 1);

  // Toggle items: checkable, ids in order, check marks after the start-up
  // activation of each item.
  const char* const toggles[][2] = {
      {"&Model Settings", "10"}, {"&Appearance", "00111"}, {"&Visibility", "10"},
      {"&Artifacts", "11111"}};
  for (const auto& t : toggles) {
    QMenu* m = menus[t[0]];
    EXPECT_TRUE(m->isTearOffEnabled()) << t[0];
    QString marks;
    int id = 0;
    for (QAction* a : m->actions()) {
      EXPECT_TRUE(a->isCheckable()) << a->text().toStdString();
      EXPECT_EQ(a->data().toInt(), id++) << a->text().toStdString();
      marks += a->isChecked() ? "1" : "0";
    }
    EXPECT_EQ(marks, t[1]) << t[0];
  }
}

TEST_F(MainWindowTest, ToggleItemsAlternateAndApplyTheirState) {
  // The background starts white: the flag was set true, the item applied false.
  EXPECT_EQ(window->examinerViewer()->getBackgroundColor(), SbColor(1, 1, 1));
  QAction* background = item(menu("View &Options")->actions()[0]->menu(), "&Background black/white");
  ASSERT_NE(background, nullptr);
  background->trigger();
  EXPECT_TRUE(background->isChecked());
  EXPECT_EQ(window->examinerViewer()->getBackgroundColor(), SbColor(0, 0, 0));
  background->trigger();
  EXPECT_FALSE(background->isChecked());
  EXPECT_EQ(window->examinerViewer()->getBackgroundColor(), SbColor(1, 1, 1));

  QAction* connectItem = item(menu("&Model Options")->actions()[1]->menu(), "&Connect Objects");
  ASSERT_NE(connectItem, nullptr);
  connectItem->trigger();
  EXPECT_TRUE(modifier()->connectObjects.getValue());
  connectItem->trigger();
  EXPECT_FALSE(modifier()->connectObjects.getValue());
}

TEST_F(MainWindowTest, ControlWindowsAreHiddenTopLevelWindowsShownOnce) {
  const char* const names[][2] = {{"Model Information", "Model Information"},
                                  {"Subdivision Settings", "Subdivision Settings"},
                                  {"Curvature Mode Settings", "Curvature Mode Settings"},
                                  {"Curvature Mode Settings", "Visualization Mode Settings"},
                                  {"Line Settings", "Line Settings"},
                                  {"Streamliner", "Streamliner"},
                                  {"Flow-Field", "FlowField"}};
  for (int i = 0; i < LinfoldApplication::controlWindowCount; ++i) {
    QMainWindow* w = window->controlWindow(i);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), names[i][0]);
    EXPECT_EQ(w->windowTitle(), names[i][1]);
    EXPECT_EQ(w->parentWidget(), window);
    EXPECT_TRUE(w->isWindow());
    EXPECT_FALSE(w->isVisible()) << names[i][1];
  }
  EXPECT_EQ(window->controlWindow(7), nullptr);

  QAction* show = item(menu("&Model Options"), "Sub&division ...");
  const int before = window->findChildren<QMainWindow*>().size();
  show->trigger();
  show->trigger();
  QMainWindow* subdivision = window->controlWindow(SUBDIVISION);
  EXPECT_TRUE(subdivision->isVisible());
  EXPECT_EQ(window->findChildren<QMainWindow*>().size(), before);
  subdivision->close();
  EXPECT_FALSE(subdivision->isVisible());
  show->trigger();
  EXPECT_EQ(window->controlWindow(SUBDIVISION), subdivision);
  EXPECT_TRUE(subdivision->isVisible());
  subdivision->close();
}

TEST_F(MainWindowTest, AcceleratorsWorkFromTheMainWindow) {
  window->activateWindow();
  QApplication::setActiveWindow(window);
  const struct {
    Qt::Key key;
    Window shown;
  } keys[] = {{Qt::Key_1, SUBDIVISION}, {Qt::Key_2, LINE_SETTINGS}, {Qt::Key_3, FLOW},
              {Qt::Key_4, STREAMLINER}};
  for (const auto& k : keys) {
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, k.key, Qt::ControlModifier);
    EXPECT_TRUE(window->controlWindow(k.shown)->isVisible()) << k.shown;
    window->controlWindow(k.shown)->close();
  }
}

TEST_F(MainWindowTest, ControlsStartWithTheirValues) {
  struct Value {
    Window window;
    const char* name;  // nullptr: address by grid row and column
    int row, column;
    const char* value;
    bool enabled;
  };
  const Value values[] = {
      {SUBDIVISION, nullptr, 0, 0, "Dividing Steps:", true},
      {SUBDIVISION, "Dividing Steps", 0, 0, "0", true},
      {SUBDIVISION, nullptr, 1, 1, "Loop", true},
      {SUBDIVISION, "Adaptive Loop Subdivision Steps", 0, 0, "0", true},
      {SUBDIVISION, "Adaptive Subdivision Algorithm", 0, 0, "Loop", true},
      {SUBDIVISION, nullptr, 4, 0, "Regular Subdivision Steps:", true},
      {SUBDIVISION, "Subdivision Steps", 0, 0, "0", true},
      {SUBDIVISION, nullptr, 5, 1, "Loop", true},
      {SUBDIVISION, "Smoothing Steps", 0, 0, "0", true},
      {SUBDIVISION, "Smoothing Speed", 0, 0, "1.0", true},
      {SUBDIVISION, "Sharp Angles Check", 0, 0, "off", true},
      {SUBDIVISION, "Sharp Angle", 0, 0, "115", true},
      {SUBDIVISION, "Large Faces Check", 0, 0, "off", true},
      {LINE_SETTINGS, "GL Lines", 0, 0, "on", true},
      {LINE_SETTINGS, "Line Mode", 0, 0, "Thickness & Density", true},
      {LINE_SETTINGS, "Rebalance Check", 0, 0, "on", true},
      {LINE_SETTINGS, "Line Width", 0, 0, "2", true},
      {LINE_SETTINGS, "Max Line Width", 0, 0, "32", true},
      {LINE_SETTINGS, "Min Distance", 0, 0, "2", true},
      {LINE_SETTINGS, "Max Distance", 0, 0, "100", true},
      {LINE_SETTINGS, "Silhouette Check", 0, 0, "on", true},
      {LINE_SETTINGS, nullptr, 8, 1, "1", true},
      {LINE_SETTINGS, "Sharp Angle", 0, 0, "30", true},
      {LINE_SETTINGS, "Streamlines Check", 0, 0, "off", true},
      {LINE_SETTINGS, nullptr, 12, 1, "( light - rim )*iso*(taper*.5 + .5 )", true},
      {LINE_SETTINGS, "Density", 0, 0, "1", true},
      {STREAMLINER, "Separation Distance", 0, 0, "0.01", true},
      {STREAMLINER, "Probe Distance", 0, 0, "0.012", true},
      {STREAMLINER, "Sharp Edge Check", 0, 0, "on", true},
      {STREAMLINER, "Sharp Edge", 0, 0, "115", true},
      {STREAMLINER, "Max Bend Check", 0, 0, "off", true},
      {STREAMLINER, "Max Bend", 0, 0, "60", false},
      {STREAMLINER, "Min Length Check", 0, 0, "on", true},
      {STREAMLINER, "Min Length", 0, 0, ".02", true},
      {STREAMLINER, "Max Length Check", 0, 0, "off", true},
      {STREAMLINER, "Max Length", 0, 0, ".2", false},
      {STREAMLINER, "Step Size", 0, 0, "0.025", true},
      {STREAMLINER, "SelectMode", 0, 0, "Planar Distance", true},
      {FLOW, "Show Flow Check", 0, 0, "on", true},
      {FLOW, "SelectMode", 0, 0, "All", true},
      {FLOW, "Lock Radius", 0, 0, ".04", false},
      {FLOW, "Select Tolerance", 0, 0, "500", false},
      {FLOW, "Flow Cost", 0, 0, "0.0", true},
      {FLOW, "Flow Rot", 0, 0, "0", true},
  };
  EXPECT_EQ(startNumbers, "0 0 0 0 ");
  for (const Value& v : values) {
    QWidget* w = v.name ? window->controlWindow(v.window)->findChild<QWidget*>(v.name)
                        : at(v.window, v.row, v.column);
    const std::string where = v.name ? v.name : "row " + std::to_string(v.row);
    ASSERT_NE(w, nullptr) << where;
    EXPECT_EQ(valueOf(w), v.value) << where;
    EXPECT_EQ(w->isEnabled(), v.enabled) << where;
  }
  // Names that repeat inside "Line Settings" are told apart by their row.
  EXPECT_EQ(at(LINE_SETTINGS, 8, 1)->objectName(), "Thickness");
  EXPECT_EQ(at(LINE_SETTINGS, 12, 1)->objectName(), "Thickness");
  EXPECT_EQ(at(LINE_SETTINGS, 12, 1)->toolTip(),
            "operators\t+, -, *, /, ^, <, >, abs\nbrackets\t()\nnumbers\n"
            "variables:\tlight, depth, rim, curvature, iso, taper");
  EXPECT_EQ(at(LINE_SETTINGS, 13, 1)->toolTip(), at(LINE_SETTINGS, 12, 1)->toolTip());
  // The formula fields show their whole start-up text: the text fits the
  // field's text area (its contents inside the frame, less the 2 pixels
  // a line edit keeps at each side).
  QMainWindow* lineSettings = window->controlWindow(LINE_SETTINGS);
  lineSettings->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(lineSettings));
  for (int row : {12, 13}) {
    auto* edit = qobject_cast<QLineEdit*>(at(LINE_SETTINGS, row, 1));
    ASSERT_NE(edit, nullptr);
    QStyleOptionFrame frame;
    frame.initFrom(edit);
    frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit);
    const QRect textArea = edit->style()->subElementRect(QStyle::SE_LineEditContents, &frame, edit);
    EXPECT_GE(textArea.width() - 4, edit->fontMetrics().horizontalAdvance(
                                        QString::fromLatin1(LinfoldSettings().strokeThickness)))
        << "row " << row;
  }
  lineSettings->close();
  EXPECT_EQ(at(SUBDIVISION, 1, 1)->objectName(), "Subdivision Algorithm");
  EXPECT_EQ(qobject_cast<QComboBox*>(at(SUBDIVISION, 5, 1))->count(), 4);
  EXPECT_EQ(qobject_cast<QComboBox*>(at(SUBDIVISION, 1, 1))->count(), 3);
  auto* slider = window->controlWindow(FLOW)->findChild<QSlider*>("Select Tolerance");
  EXPECT_EQ(slider->maximum(), 1000);
  EXPECT_EQ(slider->pageStep(), 100);

  // Radio groups: 13 curvature modes with "Heuristic Curvature" chosen,
  // 6 visualisation modes with "Nothing" chosen (and applied: mode 4).
  auto* curvature = window->controlWindow(CURVATURE)->findChild<QGroupBox*>();
  ASSERT_NE(curvature, nullptr);
  EXPECT_EQ(curvature->title(), "Choose Curvature Mode");
  auto curvatureButtons = curvature->findChildren<QAbstractButton*>();
  ASSERT_EQ(curvatureButtons.size(), 13);
  EXPECT_EQ(curvatureButtons[0]->text(), "Heuristic Curvature");
  EXPECT_TRUE(curvatureButtons[0]->isChecked());
  EXPECT_EQ(curvatureButtons[12]->text(), "Singularity Index");
  auto* visualization = window->controlWindow(VISUALIZATION)->findChild<QGroupBox*>();
  ASSERT_NE(visualization, nullptr);
  EXPECT_EQ(visualization->title(), "Choose Visialuzation Mode");
  auto visualizationButtons = visualization->findChildren<QAbstractButton*>();
  ASSERT_EQ(visualizationButtons.size(), 6);
  EXPECT_TRUE(visualizationButtons[5]->isChecked());
  EXPECT_EQ(geometryParent()->visualizationMode.getValue(), 4);
  // The modifier received the start-up values of its controls.
  EXPECT_FLOAT_EQ(modifier()->sharpAngle.getValue(), 115.0f);
  EXPECT_FLOAT_EQ(modifier()->smoothingSpeed.getValue(), 1.0f);
}

TEST_F(MainWindowTest, ControlsDriveTheirNodes) {
  SoModifyWingedEdge* mod = modifier();
  SoGenerateWingedEdge* gen = geometryParent();
  auto* speed = window->controlWindow(SUBDIVISION)->findChild<QLineEdit*>("Smoothing Speed");
  const struct {
    const char* text;
    float speed;
  } speeds[] = {{"0.5", 0.5f}, {"abc", 1.0f}, {"nan", 1.0f}, {"inf", 1.0f}, {"0", 1.0f},
                {" 2.5 ", 2.5f}, {"+.5e1", 5.0f}, {"2.", 2.0f}, {"0x10", 1.0f}, {"1,5", 1.0f},
                {"1e-50", 1.0f}, {"3.5e38", 1.0f}, {"1e", 1.0f}, {"\xc2\xa0" "3", 3.0f}};
  for (const auto& s : speeds) {
    speed->setText(QString::fromUtf8(s.text));
    emit speed->returnPressed();
    EXPECT_FLOAT_EQ(mod->smoothingSpeed.getValue(), s.speed) << s.text;
  }
  speed->setText("1.0");
  emit speed->returnPressed();

  // Scheme combos map their entries to scheme numbers.
  auto* regular = qobject_cast<QComboBox*>(at(SUBDIVISION, 5, 1));
  const int regularSchemes[] = {3, 4, 2, 1};
  for (int i = 0; i < 4; ++i) {
    emit regular->activated(i);
    EXPECT_EQ(mod->subdivisionMode.getValue(), regularSchemes[i]);
  }
  emit regular->activated(0);
  auto* dividing = qobject_cast<QComboBox*>(at(SUBDIVISION, 1, 1));
  emit dividing->activated(2);
  EXPECT_EQ(mod->dividingMode.getValue(), 2);
  emit dividing->activated(0);

  // Curvature mode buttons set mode id + 1.
  auto* curvature = window->controlWindow(CURVATURE)->findChild<QGroupBox*>();
  curvature->findChildren<QAbstractButton*>()[8]->click();
  EXPECT_EQ(gen->curvatureMode.getValue(), 9);
  curvature->findChildren<QAbstractButton*>()[0]->click();
  EXPECT_EQ(gen->curvatureMode.getValue(), 1);

  // "Nothing" after "Lines" drops the curvature; after "Faces" it does not.
  auto buttons = window->controlWindow(VISUALIZATION)->findChild<QGroupBox*>()
                     ->findChildren<QAbstractButton*>();
  buttons[0]->click();
  EXPECT_EQ(gen->visualizationMode.getValue(), 1);
  gen->workingModel().curvatureValid = true;
  buttons[5]->click();
  EXPECT_FALSE(gen->workingModel().curvatureValid);
  buttons[1]->click();
  gen->workingModel().curvatureValid = true;
  buttons[5]->click();
  EXPECT_TRUE(gen->workingModel().curvatureValid);
  EXPECT_EQ(gen->visualizationMode.getValue(), 4);

  // A limit's check box enables its field.
  auto* minCheck = window->controlWindow(STREAMLINER)->findChild<QCheckBox*>("Min Length Check");
  auto* minEdit = window->controlWindow(STREAMLINER)->findChild<QLineEdit*>("Min Length");
  minCheck->setChecked(false);
  EXPECT_FALSE(minEdit->isEnabled());
  minCheck->setChecked(true);
  EXPECT_TRUE(minEdit->isEnabled());

  // Select modes: the radius only for "Tension (Geodesic)", the tolerance from it on.
  auto* mode = window->controlWindow(FLOW)->findChild<QComboBox*>("SelectMode");
  auto* radius = window->controlWindow(FLOW)->findChild<QLineEdit*>("Lock Radius");
  auto* tolerance = window->controlWindow(FLOW)->findChild<QSlider*>("Select Tolerance");
  const bool radiusOn[] = {false, false, true, false, false};
  for (int m = 0; m < 5; ++m) {
    emit mode->activated(m);
    EXPECT_EQ(radius->isEnabled(), radiusOn[m]) << m;
    EXPECT_EQ(tolerance->isEnabled(), m >= 2) << m;
  }
  emit mode->activated(0);
}

TEST_F(MainWindowTest, ProgressHookDrivesTheProgressBar) {
  EXPECT_EQ(progressClient, window);
  ASSERT_NE(progressHook, nullptr);
  auto* bar = window->findChild<QProgressBar*>("Progress");
  progressHook(progressClient, 40, 0);
  EXPECT_EQ(bar->maximum(), 40);
  EXPECT_EQ(bar->value(), 0);
  progressHook(progressClient, 25, 1);
  EXPECT_EQ(bar->value(), 25);
  progressHook(progressClient, 7, 9);  // unknown phase: nothing
  EXPECT_EQ(bar->value(), 25);
  progressHook(progressClient, 0, 2);
  EXPECT_EQ(bar->value(), bar->minimum() - 1);  // reset
}

TEST_F(MainWindowTest, LoadingAModelUpdatesTheStatusAndFramesIt) {
  const std::string first = writeFile(temp("tetra.iv"), tetrahedron());
  bool loaded = false;
  std::string out = open(first, &loaded);
  EXPECT_TRUE(loaded);
  EXPECT_NE(out.find("Reading file " + first + " ... \n"), std::string::npos) << out;
  EXPECT_NE(out.find("Model loaded!\n"), std::string::npos) << out;
  EXPECT_EQ(text("Filename").toStdString(), first);
  EXPECT_EQ(text("Faces Orig"), "4");
  EXPECT_EQ(text("Faces"), "4");
  EXPECT_EQ(valueOf(window->controlWindow(MODEL_INFO)->findChild<QLabel*>("Object Number")), "1");
  EXPECT_EQ(valueOf(window->controlWindow(MODEL_INFO)->findChild<QLabel*>("Vertex Number")), "4");
  EXPECT_EQ(valueOf(window->controlWindow(MODEL_INFO)->findChild<QLabel*>("Edge Number")), "6");
  EXPECT_EQ(findByName("GeometryNode")->getTypeId(), SoSeparator::getClassTypeId());

  // A second model far away replaces the first and is framed by the camera.
  const std::string second = writeFile(temp("octa.iv"), octahedron(100, 50, -20, 2));
  out = open(second, &loaded);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(text("Faces Orig"), "8");
  EXPECT_EQ(text("Filename").toStdString(), second);
  EXPECT_EQ(geometryParent()->getNumChildren(), 1);
  SoCamera* camera = window->examinerViewer()->getCamera();
  const SbViewVolume volume = camera->getViewVolume(1.0f);
  for (const SbVec3f& p : {SbVec3f(102, 50, -20), SbVec3f(98, 50, -20), SbVec3f(100, 52, -20),
                           SbVec3f(100, 48, -20), SbVec3f(100, 50, -18)}) {
    SbVec3f screen;
    volume.projectToScreen(p, screen);
    EXPECT_TRUE(screen[0] > 0 && screen[0] < 1 && screen[1] > 0 && screen[1] < 1)
        << screen[0] << " " << screen[1];
  }
}

// A model's own transformations place its parts; loading keeps them, and the
// winged-edge model holds the parts where the file puts them.
TEST_F(MainWindowTest, LoadingKeepsTheTransformsOfTheFile) {
  const std::string path = writeFile(
      temp("moved.iv"), tetrahedron("  Transform { translation 5 6 7 scaleFactor 2 2 2 }\n"));
  bool loaded = false;
  open(path, &loaded);
  ASSERT_TRUE(loaded);
  // The reader hands each shape over with its placement as one matrix.
  SoSearchAction search;
  search.setType(SoMatrixTransform::getClassTypeId());
  search.setSearchingAll(TRUE);
  search.apply(window->sceneRoot());
  ASSERT_NE(search.getPath(), nullptr);
  auto* transform = static_cast<SoMatrixTransform*>(search.getPath()->getTail());
  SbMatrix placed;
  placed.setTransform(SbVec3f(5, 6, 7), SbRotation::identity(), SbVec3f(2, 2, 2));
  EXPECT_TRUE(transform->matrix.getValue().equals(placed, 1e-6f));
  const SbWingedEdgeModel& built = geometryParent()->builtModel();
  ASSERT_FALSE(built.objects.empty());
  SbVec3f centre(0, 0, 0);
  for (const WeVertex& v : built.objects[0].vertices) centre += v.position;
  centre /= float(built.objects[0].vertices.size());
  EXPECT_NEAR((centre - SbVec3f(5.5f, 6.5f, 7.5f)).length(), 0.0f, 1e-4f);
}

TEST_F(MainWindowTest, PathsWithoutOrWithUnreachableFoldersLoadFromTheWorkingDirectory) {
  writeFile(temp("here.iv"), octahedron(0, 0, 0, 1));
  const std::string start = workingDirectory();
  ASSERT_EQ(chdir(tempDir.c_str()), 0);

  bool loaded = false;
  std::string out = open("here.iv", &loaded);
  EXPECT_TRUE(loaded) << out;
  EXPECT_EQ(out.find("could not change"), std::string::npos) << out;
  EXPECT_EQ(text("Filename"), "here.iv");

  out = open("no_such_folder/here.iv", &loaded);
  EXPECT_TRUE(loaded) << out;
  EXPECT_NE(out.find("could not change to directory no_such_folder\n"), std::string::npos) << out;
  // The working directory is the one before the load.
  EXPECT_EQ(workingDirectory(), tempDir);

  // "/name" is looked for in the root folder, not in the working directory.
  out = open("/here.iv", &loaded);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(out.find("could not change"), std::string::npos) << out;
  EXPECT_NE(out.find("Cannot load /here.iv ...\n"), std::string::npos) << out;

  ASSERT_EQ(chdir(start.c_str()), 0);
}

TEST_F(MainWindowTest, FailedLoadsKeepThePreviousModel) {
  const std::string good = writeFile(temp("good.iv"), tetrahedron());
  bool loaded = false;
  open(good, &loaded);
  ASSERT_TRUE(loaded);
  SoNode* geometry = findByName("GeometryNode");
  SoSearchAction search;
  search.setType(SoGenerateHeModelHQ::getClassTypeId());
  search.apply(window->sceneRoot());
  ASSERT_NE(search.getPath(), nullptr);
  auto* heModel = static_cast<SoGenerateHeModelHQ*>(search.getPath()->getTail());
  ASSERT_TRUE(heModel->isBuilt());

  std::string binary = "#Inventor V2.1 binary\n";
  binary += std::string("\x00\x00\x00\x09Separat", 12) + std::string(7, '\xff');
  const struct {
    std::string path;
    std::string message;
  } failures[] = {
      {temp("missing.iv"), "Cannot load " + temp("missing.iv") + " ...\n"},
      {tempDir, "Cannot load " + tempDir + " ...\n"},
      {writeFile(temp("empty.iv"), ""), "Error: Wrong filename! Try again ...\n"},
      {writeFile(temp("text.iv"), "solid cube\nfacet normal 0 0 1\n"),
       "Error: Wrong filename! Try again ...\n"},
      {writeFile(temp("broken.iv"), "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [ 0 0"),
       "Error: Wrong filename! Try again ...\n"},
      {writeFile(temp("truncated.iv"), binary), "Error: Wrong filename! Try again ...\n"},
      // Other formats go to the model reader, which names what is wrong.
      {writeFile(temp("noise.obj"), std::string("\x01\x02\x03 not a mesh", 15)), "Error: "},
  };
  // A view the user has turned to, which a failed load must keep.
  SoCamera* camera = window->examinerViewer()->getCamera();
  camera->position = camera->position.getValue() + SbVec3f(0.3f, -0.2f, 0.1f);
  camera->orientation = SbRotation(SbVec3f(1, 1, 0), 0.4f);
  // The view: where the camera stands, where it looks, how much it shows
  // (near and far planes follow the scene at every frame).
  auto viewOf = [] {
    SoCamera* c = window->examinerViewer()->getCamera();
    SbVec3f axis;
    float angle;
    c->orientation.getValue().getValue(axis, angle);
    const SbViewVolume v = c->getViewVolume(1.0f);
    return std::vector<float>{c->position.getValue()[0], c->position.getValue()[1], c->position.getValue()[2],
                              axis[0] * angle, axis[1] * angle, axis[2] * angle, v.getWidth(), v.getHeight()};
  };
  const std::vector<float> view = viewOf();
  for (const auto& f : failures) {
    const std::string out = open(f.path, &loaded);
    const std::vector<float> after = viewOf();
    for (size_t i = 0; i < view.size(); ++i) EXPECT_NEAR(after[i], view[i], 1e-5f) << f.path << " " << i;
    EXPECT_FALSE(loaded) << f.path;
    EXPECT_NE(out.find(f.message), std::string::npos) << f.path << ":\n" << out;
    EXPECT_EQ(out.find("Model loaded!"), std::string::npos) << f.path;
    EXPECT_EQ(text("Filename").toStdString(), good) << f.path;
    EXPECT_EQ(text("Faces Orig"), "4") << f.path;
    EXPECT_EQ(findByName("GeometryNode"), geometry) << f.path;
    EXPECT_TRUE(heModel->isBuilt()) << f.path;
  }
  // The scene is back in the viewer after every attempt.
  EXPECT_EQ(window->examinerViewer()->getSceneGraph(), window->sceneRoot());
}

// A model in another format (here OBJ) loads through the model reader into
// face sets, and the winged-edge model sees its faces.
TEST_F(MainWindowTest, LoadsModelsInOtherFormats) {
  const std::string obj = writeFile(temp("cube.obj"),
                                    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
                                    "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n");
  bool loaded = false;
  const std::string out = open(obj, &loaded);
  ASSERT_TRUE(loaded) << out;
  EXPECT_NE(out.find("Model loaded!"), std::string::npos) << out;
  EXPECT_EQ(text("Filename").toStdString(), obj);
  EXPECT_EQ(text("Faces Orig"), "12");
}

// Last: Ctrl+Q closes the window and the main loop returns.
TEST_F(MainWindowTest, QuitClosesTheWindowAndEndsTheMainLoop) {
  QTimer::singleShot(0, window, []() {
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
  });
  // Should the shortcut not reach the window, the loop still ends.
  bool forced = false;
  QTimer::singleShot(5000, window, [&forced]() {
    forced = true;
    window->close();
  });
  SoQt::mainLoop();
  EXPECT_FALSE(forced);
  EXPECT_FALSE(window->isVisible());
  delete window;
  window = nullptr;
}
