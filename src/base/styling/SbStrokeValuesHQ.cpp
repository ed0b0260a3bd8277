#include "styling/SbStrokeValuesHQ.h"

#include <algorithm>
#include <cmath>

#include "curvature/SbCurvatureHQ.h"
#include "mesh/SbHeModelHQ.h"

namespace {

SbVec3f normalised(SbVec3f v) {
  const float length = v.length();
  if (length > 0.0f && std::isfinite(length))
    v /= length;
  else
    v.setValue(0, 0, 0);
  return v;
}

bool usable(const HeTriangle* t) { return t && t->vertex[0] && t->vertex[1] && t->vertex[2]; }

// Interpolated unit normal at `p` on the face; zero without a face.
SbVec3f faceNormal(const HeTriangle* t, const SbVec3f& p) {
  if (!usable(t)) return SbVec3f(0, 0, 0);
  float u = 0, v = 0;
  SbHeModelHQ::triangleCoordinates(t, p, u, v);
  return normalised(t->vertex[0]->normal * (1.0f - u - v) + t->vertex[1]->normal * u + t->vertex[2]->normal * v);
}

// Interpolated mean curvature (k1 + k2) / 2 at `p`; 0 without a face or
// without records for its corners.
float meanCurvature(const SbCurvatureHQ& curvature, const HeTriangle* t, const SbVec3f& p) {
  if (!usable(t)) return 0.0f;
  float h[3];
  for (int k = 0; k < 3; ++k) {
    const int i = t->vertex[k]->index;
    const CurvatureRecord* r = (i >= 0 && i < curvature.size()) ? curvature.record(i) : nullptr;
    h[k] = r ? (r->maxCurvature + r->minCurvature) / 2.0f : 0.0f;
  }
  float u = 0, v = 0;
  SbHeModelHQ::triangleCoordinates(t, p, u, v);
  return h[0] * (1.0f - u - v) + h[1] * u + h[2] * v;
}

}  // namespace

float SbStrokeValuesHQ::combine(int apply, float e, float v) {
  switch (apply) {
    case REPLACE: return v;
    case ADD: return e + v;
    case SUB: return e - v;
    case MUL: return e * v;
    case SCREEN: return 1.0f - (1.0f - e) * (1.0f - v);
    case MIN: return std::min(e, v);
    case MAX: return std::max(e, v);
    default: return e;
  }
}

float SbStrokeValuesHQ::twoFamilies(float v, float family, float start, float full) {
  if (!std::isfinite(v) || start < 0.0f) return v;
  const float span = full - start;
  float ramp = 0.0f;  // share of the way from start to full
  if (span > 1e-6f)
    ramp = std::clamp((v - start) / span, 0.0f, 1.0f);
  else
    ramp = v >= start ? 1.0f : 0.0f;
  const float first = v > start ? std::max(v, start + (1.0f - start) * ramp) : v;
  const float cross = ramp * std::max(v, 1.0f);
  const float w = std::clamp(family, 0.0f, 1.0f);
  return first + (cross - first) * w;
}

SbVec3f SbStrokeValuesHQ::viewDirection(const SbViewVolume& volume) {
  const SbMatrix m = volume.getMatrix();
  return normalised(SbVec3f(-m[0][2], -m[1][2], -m[2][2]));
}

SbVec3f SbStrokeValuesHQ::lightDirection(const SbViewVolume& volume) {
  // The camera's axes from the viewing part of the matrix only: the full
  // matrix scales its columns by the projection (2/width, 2/height, the depth
  // range), which would turn the light whenever the view is zoomed, resized
  // or its depth range changes.
  SbMatrix affine, projection;
  volume.getMatrices(affine, projection);
  const SbVec3f right = normalised(SbVec3f(affine[0][0], affine[1][0], affine[2][0]));
  const SbVec3f up = normalised(SbVec3f(affine[0][1], affine[1][1], affine[2][1]));
  const SbVec3f back = normalised(SbVec3f(affine[0][2], affine[1][2], affine[2][2]));
  return normalised(up - right - back);
}

bool SbStrokeValuesHQ::compute(const Input& in, int method, float value, const LineSthScalarEngineHQ& engine,
                               std::vector<float>& values) {
  values.clear();
  const SbLineSetView& lines = in.lines;
  if (lines.pointCount < 1 || lines.indexCount < 1) return false;
  if (method < PARSER || method > RIM) return false;

  const bool formula = method == PARSER;
  const bool needCurvature = method == CURVATURE || (formula && engine.uses(LineSthScalarEngineHQ::IN_CURVATURE));
  if (needCurvature && !in.curvature) return false;
  const bool needDepth = method == DEPTH || (formula && engine.uses(LineSthScalarEngineHQ::IN_DEPTH));
  const bool needLight = method == LIGHT || (formula && engine.uses(LineSthScalarEngineHQ::IN_LIGHT));
  const bool needRim = method == RIM || (formula && engine.uses(LineSthScalarEngineHQ::IN_RIM));
  const bool needIso = formula && engine.uses(LineSthScalarEngineHQ::IN_ISO);
  const bool needTaper = formula && engine.uses(LineSthScalarEngineHQ::IN_TAPER);
  const bool needNormal = needLight || needRim || needIso;

  values.assign(static_cast<size_t>(lines.vertexCount), 0.0f);
  if (lines.empty()) return true;
  const HeTriangle* const* faces = lines.triangles;
  const float* taper = lines.taper;
  const float* family = lines.family;

  const SbVec3f e = (needRim || needIso) ? viewDirection(in.viewVolume) : SbVec3f(0, 0, -1);
  const SbVec3f l = needLight ? lightDirection(in.viewVolume) : SbVec3f(0, 0, -1);
  SbMatrix toEye;
  float nearDist = 0, range = 0;
  if (needDepth) {
    toEye = in.modelMatrix;
    toEye.multRight(in.viewingMatrix);
    nearDist = in.viewVolume.getNearDist();
    range = in.viewVolume.getDepth();
  }

  const SbVec3f origin(0, 0, 0);
  auto pointAt = [&](int32_t k) -> const SbVec3f& {
    const int32_t p = lines.indices[k];
    return lines.hasPoint(p) ? lines.points[p] : origin;
  };

  lines.forEachLine([&](int32_t begin, int32_t end, int32_t firstVertex) {
    for (int32_t k = begin; k < end; ++k) {
      const int32_t vertex = firstVertex + (k - begin);
      const SbVec3f& p = pointAt(k);
      const HeTriangle* face = faces ? faces[vertex] : nullptr;

      float h = 0.0f;
      if (needCurvature) h = meanCurvature(*in.curvature, face, p);
      float depth = 0.0f;
      if (needDepth) {
        SbVec3f eye;
        toEye.multVecMatrix(p, eye);
        depth = range > 0.0f ? (-eye[2] - nearDist) / range : 0.0f;
      }
      SbVec3f normal(0, 0, 0);
      if (needNormal) normal = faceNormal(face, p);

      float v = 0.0f;
      switch (method) {
        case CONSTANT: v = value; break;
        case CURVATURE: v = (1.0f - h) * value; break;
        case DEPTH: v = (1.0f - depth) * value; break;
        case LIGHT: v = std::min(1.0f, 1.0f - std::fabs(normal.dot(l))) * value; break;
        case RIM: v = std::min(1.0f, 1.0f - std::fabs(normal.dot(e))) * value; break;
        default: {
          LineSthScalarEngineHQ::Inputs inputs;
          inputs.curvature = -h;
          inputs.depth = -depth;
          inputs.light = 1.0f - std::fabs(normal.dot(l));
          inputs.rim = 1.0f - std::fabs(normal.dot(e));
          inputs.taper = needTaper ? (taper ? taper[vertex] : 1.0f) : 1.0f;
          inputs.iso = 1.0f;
          if (needIso) {
            const bool first = k == begin;
            const bool last = k + 1 == end;
            if (!(first && last)) {
              const SbVec3f& prev = first ? p : pointAt(k - 1);
              const SbVec3f& next = last ? p : pointAt(k + 1);
              const SbVec3f side = normalised((next - prev).cross(normal));
              inputs.iso = (side - e * side.dot(e)).length();
            }
          }
          v = engine.evaluate(inputs) * value;
          break;
        }
      }
      if (family) v = twoFamilies(v, family[vertex], in.crossStart, in.crossFull);
      values[static_cast<size_t>(vertex)] = v;
    }
  });
  return true;
}
