// SoWingedEdge: the line set it hands on (no GL) and the pictures of its display modes (offscreen GL).
#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoDrawStyle.h>

#include <QImage>

#include "GlTestContext.h"
#include "LineTestNodes.h"
#include "TestMeshes.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoWingedEdge.h"

namespace {

// Over two objects, line modes hand on every edge as its own polyline (1) or the sharp and boundary ones (5); other
// modes nothing.
TEST(WingedEdgeLineSet, LineModesHandOnEveryEdgeOrTheFeaturedOnes) {
  linetest::initNodes();
  const PolyMesh cube = testmesh::cube(2.0f), grid = testmesh::grid(3, 3, 1.0f);
  SbWingedEdgeModel model = testmesh::model({&cube, &grid});
  WeObject& flat = model.objects[1];  // one interior edge of the grid marked sharp
  std::find_if(flat.edges.begin(), flat.edges.end(), [](const WeEdge& e) { return !e.isBoundary(); })->flags |=
      WE_SHARP;
  size_t vertices = 0, edges = 0, featured = 0;
  for (const WeObject& o : model.objects) {
    for (const WeEdge& e : o.edges) featured += e.isBoundary() || (e.flags & WE_SHARP);
    vertices += o.vertices.size(), edges += o.edges.size();
  }
  auto* source = new LineSetSource;
  auto* shape = new SoWingedEdge;
  auto* probe = new LineSetProbe;
  const linetest::Root root = linetest::scene({source, shape, probe});
  source->model = &model;
  const auto sent = [&](int mode) {
    model.visualizationMode = mode;
    SoCallbackAction().apply(root.get());
    return probe->seen.indices.size();
  };
  shape->sendLines = TRUE;
  ASSERT_EQ(sent(1), 3 * edges);
  const SbLineSet& lines = probe->seen;
  EXPECT_EQ(lines.points.size(), vertices);  // one point per vertex record, shared by its edges
  size_t k = 0;
  for (const WeObject& o : model.objects)
    for (const WeEdge& e : o.edges) {
      const int32_t* at = &lines.indices[3 * k++];
      ASSERT_TRUE(at[2] == -1 && size_t(at[0]) < vertices && size_t(at[1]) < vertices);
      EXPECT_TRUE(lines.points[at[0]] == o.vertices[e.vertex[0]].position &&
                  lines.points[at[1]] == o.vertices[e.vertex[1]].position);
    }
  EXPECT_EQ(sent(5), 3 * featured);
  for (int mode : {2, 3, 4, 6}) EXPECT_EQ(sent(mode), 0u) << "mode " << mode;
}

// A sphere through the generator, drawn in white lines 2 pixels wide: every mode draws its own picture (tinted: red and
// blue clearly apart); display lists repeat it and follow the override, sendLines and moved vertices.
TEST(WingedEdgeDisplay, EveryModeDrawsItsOwnPictureFromListsThatFollowTheModel) {
  ASSERT_TRUE(gltest::ensureContext());
  const int kSize = 96, kAll = kSize * kSize;
  auto* generator = new SoGenerateWingedEdge;
  generator->addChild(new SoSphere);
  auto* invisible = new SoDrawStyle;
  invisible->style = SoDrawStyle::INVISIBLE;
  auto* shape = new SoWingedEdge;
  shape->setLineColour(SbColor(1, 1, 1));
  shape->lineWidth = 2.0f;
  auto* camera = new SoOrthographicCamera;
  const linetest::Root root =
      linetest::scene({camera, new SoDirectionalLight, invisible, generator, new SoDrawStyle, shape});
  camera->viewAll(root.get(), SbViewportRegion(kSize, kSize));
  const auto render = [&](int mode) {
    generator->visualizationMode = mode;
    return gltest::render(root.get(), kSize, kSize);
  };
  const auto drawn = [](const QImage& image) { return gltest::drawnPixels(image); };
  const auto tinted = [](const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += std::abs(qRed(image.pixel(x, y)) - qBlue(image.pixel(x, y))) > 40;
    return n;
  };
  const struct {
    int mode, minDrawn, maxDrawn, minTinted, maxTinted;
    const char* why;
  } cases[] = {
      {1, kAll / 20, kAll, 0, kAll, "lines"},
      {2, kAll / 5, kAll, 0, 0, "lit faces, grey"},
      {3, kAll / 5, kAll, kAll / 10, kAll, "the heuristic measure of a sphere is one-signed: coloured"},
      {4, 0, 0, 0, 0, "depth only leaves the background"},
      {5, 0, 0, 0, 0, "a closed smooth sphere has no sharp or boundary edge"},
      {6, kAll / 5, kAll, kAll / 10, kAll, "a sphere is in one signed class"},
      {7, 1, kAll, 20, kAll, "red and blue direction crosses"},
      {8, kAll / 20, kAll, 0, kAll, "lines without depth test"},
  };
  std::vector<QImage> pictures;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    pictures.push_back(render(c.mode));
    const int n = drawn(pictures.back()), t = tinted(pictures.back());
    EXPECT_TRUE(n >= c.minDrawn && n <= c.maxDrawn && t >= c.minTinted && t <= c.maxTinted) << n << " drawn, " << t;
  }
  for (int i : {0, 1, 2, 5, 6})
    for (int j : {1, 2, 5, 6})
      EXPECT_TRUE(i >= j || pictures[i] != pictures[j]) << cases[i].mode << " " << cases[j].mode;
  EXPECT_GT(drawn(pictures[7]), drawn(pictures[0])) << "no depth test shows the back edges too";
  const QImage& faces = pictures[1];
  EXPECT_EQ(render(2), faces) << "drawing from the lists repeats the picture";
  shape->setVisualizationOverride(1);
  EXPECT_EQ(render(2), pictures[0]) << "the override wins over the model's mode";
  shape->setVisualizationOverride(-1);
  EXPECT_EQ(render(2), faces);
  shape->hideBackfaces = FALSE;
  EXPECT_GT(drawn(render(1)), 0);
  shape->sendLines = TRUE;
  EXPECT_EQ(drawn(render(1)), 0) << "sent lines are not drawn";
  EXPECT_EQ(render(2), faces) << "faces are drawn whatever sendLines says";
  SbWingedEdgeModel& model = generator->workingModel();
  for (WeObject& o : model.objects)
    for (WeVertex& v : o.vertices) v.position *= 0.5f;
  model.displayListsValid = false;
  EXPECT_LT(drawn(render(2)), drawn(faces)) << "moved vertices are drawn once the lists are invalidated";
  generator->doBuildWingedEdge = FALSE;
  EXPECT_EQ(drawn(render(2)), 0) << "no model draws nothing";
  EXPECT_EQ(drawn(render(1)), 0);
}

}  // namespace
