// Building the winged-edge model from a torus of triangle strips: linking
// alone (addStrips) and the whole node (gathering through a callback
// traversal, linking, copying into the working model).
//
// Arguments: the torus grid nu x nv; 1000 x 500 gives one million triangles.

#include <benchmark/benchmark.h>

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoSeparator.h>

#include <map>
#include <utility>
#include <vector>

#include "TestMeshes.h"
#include "mesh/SbWingedEdgeBuilder.h"
#include "mesh/SoGenerateWingedEdge.h"

namespace {

struct FlatStrips {
  StripMesh mesh;
  std::vector<int> indices, lengths;
};

const FlatStrips& torus(int nu, int nv) {
  static std::map<std::pair<int, int>, FlatStrips> cache;
  auto it = cache.find({nu, nv});
  if (it != cache.end()) return it->second;
  FlatStrips& s = cache[{nu, nv}];
  s.mesh = testmesh::torusStrips(nu, nv, 2.0f, 0.5f);
  int length = 0;
  for (int i : s.mesh.coordIndex) {
    if (i < 0) {
      s.lengths.push_back(length);
      length = 0;
    } else {
      s.indices.push_back(i);
      ++length;
    }
  }
  if (length) s.lengths.push_back(length);
  return s;
}

void BM_AddStrips(benchmark::State& state) {
  const FlatStrips& s = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  int faces = 0;
  for (auto _ : state) {
    SbWingedEdgeModel model;
    addStrips(model, 0, s.mesh.coords.data(), static_cast<int>(s.mesh.coords.size()), s.indices, s.lengths);
    model.number();
    faces = model.faceCount();
    benchmark::DoNotOptimize(faces);
  }
  state.counters["faces"] = faces;
}

void BM_GenerateWingedEdgeNode(benchmark::State& state) {
  const FlatStrips& s = torus(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  auto* root = new SoSeparator;
  root->ref();
  auto* generator = new SoGenerateWingedEdge;
  root->addChild(generator);
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, static_cast<int>(s.mesh.coords.size()), s.mesh.coords.data());
  auto* strips = new SoIndexedTriangleStripSet;
  strips->coordIndex.setValues(0, static_cast<int>(s.mesh.coordIndex.size()), s.mesh.coordIndex.data());
  generator->addChild(coords);
  generator->addChild(strips);
  for (auto _ : state) {
    generator->requestRebuild();
    SoCallbackAction action;
    action.apply(root);
  }
  state.counters["faces"] = generator->workingModel().faceCount();
  root->unref();
}

}  // namespace

BENCHMARK(BM_AddStrips)->Args({250, 125})->Args({1000, 500})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenerateWingedEdgeNode)->Args({250, 125})->Args({1000, 500})->Unit(benchmark::kMillisecond);
