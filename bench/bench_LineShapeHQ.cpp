// One frame of the on-screen ink renderer (SoLineShapeHQ) for a full stroke
// set: a torus of 100k triangles hatched by the streamline tracer
// (separation 0.01 of the model size, as at start-up), toned like light
// (1 - |n.l| of the stroke's face, through the solid threshold) with a
// thickness that follows the tone, seen by an orthographic camera in a
// 1280 x 1024 offscreen framebuffer. One iteration is a whole render
// traversal and glFinish: projection, outlines and dots, drawing (under Mesa's
// llvmpipe when run under xvfb-run). Reports points, strokes, triangles and dots.
//
// Argument: 0 ink, 1 plain GL lines (mode M_THICK_DENS).
// With LINFOLD_BENCH_KEEP set the frame is saved as linfold-bench-ink.png
// (linfold-bench-lines.png) in the temporary folder.

#include <benchmark/benchmark.h>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/system/gl.h>

#include <QOpenGLFramebufferObject>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "GlTestContext.h"
#include "HqStrokeSource.h"
#include "TestMeshes.h"
#include "mesh/SbHeModelHQ.h"
#include "strokes/SbStreamlineTracer.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"

namespace {

HqStrokeSource* hatchedTorus() {
  static HqStrokeSource* source = nullptr;
  if (source) return source;
  SbHeModelHQ mesh;
  mesh.build(testmesh::model(testmesh::torus(500, 100, 2.0f, 0.5f)));  // 100k triangles
  // A field that winds around the tube while it goes round the ring.
  std::vector<SbVec3f> directions;
  for (const HeVertex* v : mesh.vertices) {
    const SbVec3f& p = v->position;
    SbVec3f around = SbVec3f(0, 0, 1).cross(p);
    SbVec3f centre(p[0], p[1], 0);
    centre.normalize();
    SbVec3f d = around + around.cross(p - centre * 2.0f) * 0.5f;
    d -= v->normal * d.dot(v->normal);
    if (d.length() > 0) d.normalize();
    directions.push_back(d);
  }
  SbStreamlineTracer::Settings s;
  s.seperationDist = 0.01f;
  s.probeDist = 0.012f;
  s.sharpEdge = 115.0f;
  s.maxBend = -1.0f;
  s.minLength = 0.02f;
  s.maxLength = -1.0f;
  s.stepSize = 0.025f;
  StrokeSet strokes;
  SbStreamlineTracer tracer(mesh, directions, SbStreamlineTracer::derive(s, mesh.size()));
  tracer.hatch(strokes, SbStreamlineTracer::TM_NONE);

  source = new HqStrokeSource;
  source->ref();
  source->points = strokes.points;
  source->indices = strokes.indices;
  SbVec3f light(-1, 1, 1);
  light.normalize();
  size_t vertex = 0;
  for (int32_t i : strokes.indices) {
    if (i < 0) continue;
    const SbVec3f& n = strokes.faces[vertex++]->normal;
    const float tone = 1.0f - std::fabs(n.dot(light));
    source->density.push_back(std::min(1.0f, 1.4f * tone));
    source->thickness.push_back(0.3f + 0.7f * tone);
  }
  return source;
}

void BM_LineShapeHQFrame(benchmark::State& state) {
  if (!gltest::ensureContext()) {
    state.SkipWithError("no GL context (run under xvfb-run)");
    return;
  }
  HqStrokeSource::initClass();
  const int W = 1280, H = 1024;
  HqStrokeSource* source = hatchedTorus();

  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(0.0f, -6.0f, 6.0f);
  camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 0, 1));
  camera->height = 6.0f;
  camera->nearDistance = 1.0f;
  camera->farDistance = 20.0f;
  root->addChild(camera);
  root->addChild(source);
  root->addChild(new SoLineSettingsHQ);  // application defaults
  auto* shape = new SoLineShapeHQ;
  shape->glLines = state.range(0) == 1;
  root->addChild(shape);

  QOpenGLFramebufferObject fbo(W, H, QOpenGLFramebufferObject::CombinedDepthStencil);
  fbo.bind();
  SoGLRenderAction action(SbViewportRegion(W, H));
  action.setCacheContext(SoGLCacheContextElement::getUniqueCacheContext());
  for (auto _ : state) {
    glViewport(0, 0, W, H);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    action.apply(root);
    glFinish();
  }
  if (std::getenv("LINFOLD_BENCH_KEEP"))
    fbo.toImage().save(
        QString::fromStdString((std::filesystem::temp_directory_path() /
                                (state.range(0) == 1 ? "linfold-bench-lines.png" : "linfold-bench-ink.png"))
                                   .string()));
  fbo.release();

  state.counters["points"] = static_cast<double>(source->points.size());
  state.counters["strokes"] = static_cast<double>(source->indices.size() - source->points.size());
  state.counters["triangles"] = static_cast<double>(shape->inkGeometry().solidTriangles().size() / 3);
  state.counters["dots"] = static_cast<double>(shape->inkGeometry().dots().size());
  root->unref();
}

}  // namespace

BENCHMARK(BM_LineShapeHQFrame)->ArgNames({"glLines"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
