#ifndef LINFOLD_SBSTREAMLINETRACER_H
#define LINFOLD_SBSTREAMLINETRACER_H

// Evenly spaced streamlines of a per-vertex line field on a triangle mesh:
// strokes are grown from seeds in both directions with a fourth-order
// Runge-Kutta step whose samples walk over the surface (unfolding each edge by
// a reflection), stopped before they come closer than the separation to any
// stroke, and new seeds are proposed at the probe distance on both sides of
// every stroke (after Jobard and Lefer's evenly spaced streamlines, carried
// over to surfaces).

#include <Inventor/SbVec3f.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/LargeBlock.h"
#include "core/ObjectPool.h"
#include "core/SbSharpEdgeTest.h"
#include "mesh/SbHeModelHQ.h"
#include "strokes/StrokeCollider.h"

class ProgressMeter;

// The strokes of one computation: points stroke after stroke, each stroke's
// indices ended by -1, the face of each point and a taper value per point.
// With cross-hatching, the strokes of the first family come first and those
// of the cross family follow; `family` then marks each point (0 first, 1
// cross family).
struct StrokeSet {
  std::vector<SbVec3f> points;
  std::vector<int32_t> indices;
  std::vector<const HeTriangle*> faces;
  std::vector<float> taper;   // empty without a taper measure
  std::vector<float> family;  // empty while the set holds one family
  int strokeCount = 0;
  int crossStrokes = 0;        // strokes of the cross family, the last ones
  size_t firstCrossIndex = 0;  // where the cross family's indices begin

  void clear();
  // Appends the strokes of `cross` (a set of one family, with a taper list
  // when this one has one) as the cross family.
  void appendCross(const StrokeSet& cross);
  // Drops the cross family and its marks.
  void dropCross();
};

// A place to start a stroke from.
struct StreamlineSeed {
  SbVec3f point;
  SbVec3f direction;
  const HeTriangle* face;
};

class SbStreamlineTracer {
 public:
  // The node's settings (lengths as fractions of the model size, angles in
  // degrees; limits up to 1e-6 are off).
  struct Settings {
    float seperationDist = 0.02f;
    float probeDist = 0.024f;
    float sharpEdge = 115.0f;
    float maxBend = -1.0f;
    float minLength = -1.0f;
    float maxLength = -1.0f;
    float stepSize = -1.0f;
  };
  // The tracing parameters in model units (lengths) or as a cosine.
  struct Parameters {
    float size = 1.0f;  // model size, the unit of the small margins
    float separation = 0.0f;
    float separationSq = 0.0f;
    float probe = 0.0f;
    float probeSq = 0.0f;
    SbSharpEdgeTest sharpEdge = SbSharpEdgeTest::none();
    float maxBend = 0.0f;  // degrees; the largest float when unlimited
    float minLength = 0.0f;
    float maxLength = 0.0f;  // the largest float when unlimited
    float stepSize = 0.0f;
  };
  enum TaperMethod { TM_NONE = 0, TM_SPHERE = 1, TM_PLANE = 2, TM_PLANE_AVG = 3 };

  // Largest separation, in model sizes, and largest probe, in separations.
  static constexpr float kMaxDistance = 2.0f;
  static constexpr float kMaxProbe = 20.0f;

  // Derives the parameters for a model of the given size (its largest
  // bounding-box extent; 1 is used for a size that is not positive). Settings
  // that cannot be used as they are (not a number, 0 or negative where a
  // length is needed, a separation beyond kMaxDistance, a probe beyond
  // kMaxProbe separations, a sharp edge beyond 180 degrees) are replaced by
  // sane ones; `notes`, when given, receives a
  // sentence for each ("stepSize 0 is not a positive length; using the
  // smallest").
  static Parameters derive(const Settings& settings, float modelSize, std::vector<std::string>* notes = nullptr);

  // Steps all strokes of one hatch may take together: a smaller step size is
  // raised (see parameters()), up to a quarter of the separation.
  static constexpr double kStepBudget = 2.5e5;

  // `directions` holds one direction per vertex of `model` (its sign carries
  // no meaning); both must outlive the tracer. The step size of `parameters`
  // is raised where it would exceed kStepBudget.
  SbStreamlineTracer(const SbHeModelHQ& model, const std::vector<SbVec3f>& directions, const Parameters& parameters);
  // A tracer of another field over the same model with the same parameters,
  // sharing what depends on the mesh alone (read only), so that the two can
  // hatch at the same time on two threads.
  SbStreamlineTracer(const SbStreamlineTracer& sameMesh, const std::vector<SbVec3f>& directions);
  ~SbStreamlineTracer();
  // Follows another field (one direction per vertex of the model; it must
  // outlive the tracer) from the next hatch on: the second family of
  // cross-hatching is traced by the tracer of the first, which keeps what
  // depends on the mesh alone.
  void setDirections(const std::vector<SbVec3f>& directions);
  SbStreamlineTracer(const SbStreamlineTracer&) = delete;
  SbStreamlineTracer& operator=(const SbStreamlineTracer&) = delete;

  // Covers the model with strokes: seeds from the face centroids, last face
  // first, each drained through the first-in first-out seed queue, then the
  // taper values. `out` is replaced. `progress`, when given, is stepped once
  // per face (the caller begins and ends it); `facesDone`, when given, counts
  // the faces done instead (for a hatch on another thread).
  void hatch(StrokeSet& out, int taperMethod, ProgressMeter* progress = nullptr, std::atomic<int>* facesDone = nullptr);

  // Grows one stroke from the seed. On success (a stroke at least the minimum
  // length) it is appended to `out` with the number `strokeCounter`, its
  // segments stay in `collider`, its seed proposals are appended to `queue`
  // and the counter goes up; otherwise nothing changes.
  bool trace(const SbVec3f& seedPoint, const SbVec3f& seedDirection, const HeTriangle* seedFace,
             StrokeCollider& collider, int& strokeCounter, StrokeSet& out, std::deque<StreamlineSeed*>& queue);

  // The field at a point in a face, oriented to agree with `direction`,
  // in the face plane. False (result unset) where it is not defined.
  bool fieldDirection(const SbVec3f& point, const HeTriangle* face, const SbVec3f& direction, SbVec3f& result) const;
  // The field at a point for a fresh seed (no orientation yet).
  bool seedDirection(const SbVec3f& point, const HeTriangle* face, SbVec3f& result) const;
  // Walks `length` along the surface from the point and returns the field
  // there, oriented by the walking direction and carried back into the frame
  // of `face`.
  bool sampleAhead(const HeTriangle* face, const SbVec3f& point, const SbVec3f& direction, float length,
                   SbVec3f& result);
  // The integration direction for a step of length h.
  bool rk4Direction(const HeTriangle* face, const SbVec3f& point, const SbVec3f& direction, float h, SbVec3f& result);

  // Counts of the last hatch, for diagnostics: strokes thrown away as too
  // short, segments kept and their entries over all cells of the collider.
  int discardedStrokes() const { return discarded; }
  int segmentCount() const { return segmentsKept; }
  long entryCount() const { return entriesKept; }
  // Steps allowed per stroke (both sides together).
  long stepLimit() const { return maxSteps; }
  // No stroke on the model can be longer than this (model units).
  double longestStroke() const { return longest; }

  const Parameters& parameters() const { return param; }

  // Seed records live only while queued.
  static TypedObjectPool<StreamlineSeed> seedPool;

 private:
  static constexpr int kChordPoints = 16;
  struct Side {
    bool active;
    SbVec3f point;
    const HeTriangle* face;
    SbVec3f direction;
    SbVec3f heading;  // the last step's direction, carried into the current face
    float walked;
    float nextProposal;
    int idle;  // consecutive steps without real progress
    // The stroke is registered in the collider as chords of its steps: the
    // chord waiting to be registered starts at chordStart (in chordFace, at
    // arc length chordArc); the point before it on this side is previous.
    SbVec3f chordStart;
    const HeTriangle* chordFace;
    float chordArc;
    int inner;  // points of the stroke between chordStart and point
    SbVec3f innerPoint[kChordPoints];
    bool hasPrevious;
    SbVec3f previous;
  };

  void step(Side& side, int index, StrokeCollider& collider, int32_t stroke);
  // Registers the chord from side.chordStart to `end` (at arc length endArc,
  // in endFace), where the next chord starts.
  void registerChord(Side& side, const SbVec3f& end, float endArc, const HeTriangle* endFace, int index,
                     StrokeCollider& collider, int32_t stroke);
  void extendChord(Side& side, const SbVec3f& old, float oldArc, int index, StrokeCollider& collider, int32_t stroke);
  void proposeSeeds(const SbVec3f& point, const SbVec3f& direction, const HeTriangle* face,
                    const StrokeCollider& collider);
  bool walkSide(const SbVec3f& origin, SbVec3f direction, const HeTriangle* face, SbVec3f& end,
                const HeTriangle*& endFace) const;
  void computeTaper(StrokeSet& out, const StrokeCollider& collider, int method) const;
  void interpolate(const SbVec3f d[3], const float w[3], const SbVec3f& normal, SbVec3f& result, bool& ok) const;
  void weights(const HeTriangle* face, const SbVec3f& point, float w[3]) const;
  // The neighbour across edge k of `face` if the surface may be crossed there
  // (not a boundary, not a sharp edge); the mirror normal goes to `mirror`.
  const HeTriangle* crossEdge(const HeTriangle* face, int edge, SbVec3f& mirror) const;
  // Parameter and edge at which the ray leaves the face; -1 when none.
  int exitEdge(const HeTriangle* face, const SbVec3f& point, const SbVec3f& direction, float& t) const;

  // Per face: the inward unit normals of its edges (edge k runs from vertex k
  // to vertex k + 1), their offsets n . a, and the neighbour across each edge
  // when the surface may be crossed there, else -1.
  struct FaceFrame {
    SbVec3f edgeNormal[3];
    float edgeOffset[3];
    int32_t neighbour[3];
    SbVec3f normal;  // the face's
  };
  int exitEdge(int32_t face, const SbVec3f& point, const SbVec3f& direction, float& t) const;
  int32_t crossEdge(int32_t face, int edge, SbVec3f& mirror) const;
  // Builds on two threads from kParallelFaces faces on (each face writes
  // its own record).
  std::shared_ptr<const FaceFrame> buildFrames() const;
  void frameOf(const HeTriangle* face, FaceFrame& f) const;
  static constexpr std::size_t kParallelFaces = 65536;
  // The field direction at the face's corner k, carried from the vertex's
  // tangent plane into the face's plane; zero where it is not defined.
  SbVec3f corner(const HeTriangle* face, int k) const;

  const SbHeModelHQ& model;
  const std::vector<SbVec3f>* field;
  std::unique_ptr<StrokeCollider> shared;  // the strokes of the last hatch
  // One frame per face, shared by the tracers of one model.
  std::shared_ptr<const FaceFrame> frameStore;
  const FaceFrame* frames = nullptr;
  Parameters param;
  long maxSteps = 0;
  double longest = 0.0;
  float noProgress = 0.0f;  // a step shorter than this makes no progress
  float tiny = 1e-6f;       // 1e-6 of the model size

  // Working lists of one trace, reused from call to call.
  std::deque<SbVec3f> points;
  std::deque<const HeTriangle*> pointFaces;
  std::vector<StreamlineSeed> proposals;
  std::vector<SbVec3f> mirrors;
  // Arc lengths (from the seed, along its side) of the ends of the stroke's
  // own segments, by index from ownBase in the collider.
  struct OwnSegment {
    float nearArc;  // end nearer the seed
    float farArc;   // end farther from the seed
    int side;
  };
  std::vector<OwnSegment> own;
  int ownBase = 0;
  float remaining = 0.0f;
  float bend = 0.0f;
  int discarded = 0;
  int segmentsKept = 0;
  long entriesKept = 0;
};

#endif
