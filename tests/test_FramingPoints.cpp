// The render tool frames a model by the points of its triangles. Indexed
// strips and face sets are read from their indices instead of through Coin's
// triangles; both ways must give the same points, or the camera moves.

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "FramingPoints.h"

namespace {

std::vector<std::tuple<float, float, float>> sortedUnique(const std::vector<SbVec3f>& points) {
  std::vector<std::tuple<float, float, float>> out;
  for (const SbVec3f& p : points) out.emplace_back(p[0], p[1], p[2]);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

TEST(FramingPoints, IndexedShapesGiveTheTrianglesPoints) {
  // Coordinate 4 (far off) is used by no triangle in any of them.
  const char* coords = "Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0, 90 90 90, 0 0 1 ] } ";
  struct Case {
    const char* name;
    std::string scene;
    size_t points;  // read from the indices, each once; 0: through Coin's triangles
  } cases[] = {
      {"triangles, list ends without -1", std::string(coords) + "IndexedFaceSet { coordIndex [ 0 1 2 -1 0 2 3 ] }", 4},
      {"placed by a transform and a matrix",
       std::string("Translation { translation 5 0 0 } Scale { scaleFactor 2 3 4 } ") + coords +
           "MatrixTransform { matrix 0 1 0 0 -1 0 0 0 0 0 1 0 1 2 3 1 } IndexedFaceSet { coordIndex [ 0 1 5 -1 ] }",
       3},
      {"quads, convex as the hints say by default",
       std::string(coords) + "IndexedFaceSet { coordIndex [ 0 1 2 3 -1 1 2 5 -1 ] }", 5},
      {"quads Coin tessellates",
       std::string("ShapeHints { faceType UNKNOWN_FACE_TYPE } ") + coords +
           "IndexedFaceSet { coordIndex [ 0 1 2 3 -1 1 2 5 -1 ] }",
       0},
      {"a two-corner polygon among triangles",
       std::string(coords) + "IndexedFaceSet { coordIndex [ 0 1 2 -1 3 5 -1 1 2 5 -1 ] }", 0},
      {"strips over a vertex property",
       "IndexedTriangleStripSet { vertexProperty VertexProperty { vertex [ 0 0 0, 1 0 0, 0 1 0, 1 1 0, 7 7 7, 2 0 1 "
       "] } coordIndex [ 0 1 2 3 -1 1 3 5 -1 ] }",
       5},
      {"strips over the coordinates in the state, then a cube",
       std::string(coords) + "IndexedTriangleStripSet { coordIndex [ 5 0 3 -1 ] } Cube { width 0.5 }", 0},
      {"no faces at all", std::string(coords) + "IndexedFaceSet { coordIndex [ ] }", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SoInput in;
    const std::string text = "#Inventor V2.1 ascii\nSeparator { " + c.scene + " }\n";
    in.setBuffer(text.data(), text.size());
    SoSeparator* root = SoDB::readAll(&in);
    ASSERT_NE(root, nullptr);
    root->ref();
    const SbViewportRegion viewport(100, 100);
    const std::vector<SbVec3f> read = framingPoints(root, viewport);
    const auto expected = sortedUnique(framingPoints(root, viewport, false));
    EXPECT_EQ(sortedUnique(read), expected);
    // Where the indices were read, each point comes once.
    if (c.points) {
      EXPECT_EQ(read.size(), c.points);
    }
    for (const auto& p : expected) EXPECT_LT(std::get<0>(p), 50.0f) << "an unused coordinate was framed";
    root->unref();
  }
}

TEST(FramingPoints, AnIndexOutOfRangeFramesNothing) {
  SoInput in;
  const std::string text =
      "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] } "
      "IndexedTriangleStripSet { coordIndex [ 0 1 9 -1 1 2 3 ] } }\n";
  in.setBuffer(text.data(), text.size());
  SoSeparator* root = SoDB::readAll(&in);
  ASSERT_NE(root, nullptr);
  root->ref();
  EXPECT_EQ(sortedUnique(framingPoints(root, SbViewportRegion(100, 100))),
            sortedUnique({SbVec3f(0, 0, 0), SbVec3f(1, 0, 0), SbVec3f(1, 1, 0), SbVec3f(0, 1, 0)}));
  root->unref();
}

}  // namespace
