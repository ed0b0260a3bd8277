#ifndef LINFOLD_SBFLOWFIELDHQ_H
#define LINFOLD_SBFLOWFIELDHQ_H

// Per-vertex line-direction field of a half-edge model, initialised from the
// principal curvature directions and smoothed by minimising the misalignment
// of neighbouring directions (modulo pi) with L-BFGS-B.

#include <Inventor/SbVec3f.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ObjectPool.h"

class SbHeModelHQ;
class SbCurvatureHQ;
struct CurvatureRecord;
struct HalfEdge;
struct HeVertex;

struct FlowRecord {
  SbVec3f direction;  // unit tangent direction; its negative means the same line
  SbVec3f cross;      // direction x vertex normal (the other principal direction after from()
                      // and after a unify swap)
  bool locked;        // true: rotate, relax, unify and optimize leave the vertex alone
  float score;        // last selection score; 0 after from()
};

// Map from half-edge to float, open addressing keyed by the half-edge's
// address (records stay at fixed addresses for the life of a model build).
class EdgeAngleTable {
 public:
  // Empties the table and makes room for `count` entries without growing.
  void reset(int count);
  // Enters (h, value) unless h is already present; returns whether it did.
  bool insert(const HalfEdge* h, float value);
  // The value entered for h, or false when there is none.
  bool find(const HalfEdge* h, float& value) const;
  // The value entered for h, or 0.
  float value(const HalfEdge* h) const;
  bool contains(const HalfEdge* h) const;
  int size() const { return count; }

 private:
  std::size_t slotOf(const HalfEdge* h) const;
  void grow();

  struct Slot {
    const HalfEdge* key;  // null marks a free slot
    float value;
  };
  std::vector<Slot> entries;
  std::size_t mask = 0;
  int shift = 64;
  int count = 0;
};

// The cost of the optimisation, flattened over the rings of the free
// vertices: ring k (free numbering) is entries ringStart[k] .. ringStart[k + 1]
// of neighbour (free index of the half-edge's end, -1 for a locked vertex)
// and cos 2 delta, sin 2 delta of the half-edge's edge angle difference.
struct FlowCostTerms {
  std::vector<int32_t> ringStart{0};
  std::vector<int32_t> neighbour;
  std::vector<double> cos2Delta;
  std::vector<double> sin2Delta;
  std::vector<int32_t> freeToVertex;  // vertex index of free vertex k
  std::vector<int32_t> vertexToFree;  // free index of a vertex, -1 when locked
  // Scratch of evaluateCost: cos 2x and sin 2x per variable.
  mutable std::vector<double> cos2x, sin2x;

  int variableCount() const { return static_cast<int>(freeToVertex.size()); }
};

class SbFlowFieldHQ {
 public:
  enum SelectMode {
    SELECT_ALL = 0,
    SELECT_INVERSE = 1,
    SELECT_TENSION_GEODESIC = 2,
    SELECT_TENSION_NEIGHBOURS = 3,
    SELECT_SHAPE_INDEX = 4
  };

  // Empty, with stamps that match no model.
  SbFlowFieldHQ();
  // Gives every record back to the pool.
  ~SbFlowFieldHQ();
  SbFlowFieldHQ(const SbFlowFieldHQ&) = delete;
  SbFlowFieldHQ& operator=(const SbFlowFieldHQ&) = delete;

  // Rebuilds the field when `curvature` was computed for `model` (its
  // modelStamp is the model's stamp; otherwise nothing happens): each vertex
  // takes the principal direction of the larger curvature magnitude (maximum
  // on a tie), projected into its tangent plane; vertices with a valid
  // estimate are locked and the degenerate ones turned by optimize(model, 0)
  // to fit them; then every lock flag is inverted. Scores are 0. Draws a new
  // stamp.
  void from(const SbHeModelHQ& model, const SbCurvatureHQ& curvature);
  // The first steps of from(): the leading principal directions, locked
  // where the estimate is valid, without fitting the failed ones to them.
  // Draws a new stamp. False (the field unchanged) when the curvature does
  // not belong to the model, or emptied when records cannot be had.
  bool initialise(const SbHeModelHQ& model, const SbCurvatureHQ& curvature);
  // Gives every record back and draws new values for both stamps.
  void clear();

  // True when the field was built for `model` as it is now.
  bool matches(const SbHeModelHQ& model) const;

  // --- Edge angle differences.
  // Angle of `direction` in the transport frame of the edge start -> end at
  // `start` (x along the edge from the lower to the higher vertex index,
  // projected into start's tangent plane; y = x x normal), in radians,
  // clockwise about the normal. False for an edge without a direction in the
  // tangent plane (zero length, or along the normal).
  static bool frameAngle(const HeVertex& start, const HeVertex& end, const SbVec3f& direction, float& angle);
  // delta(h): the direction at h's end against the one at its start, each in
  // its own transport frame, wrapped into [-pi/2, pi/2]; 0 when either frame
  // does not exist.
  float edgeAngle(const HalfEdge* h) const;
  // Fills `table` with delta(h) for every half-edge of a triangle and
  // -delta(h) for its twin, visiting triangles in index order.
  void buildEdgeAngles(const SbHeModelHQ& model, EdgeAngleTable& table) const;

  // --- Optimisation and editing. Each does nothing unless the field
  // matches the model; only free vertices turn, and only about their normal.

  // Minimises F (costTerms / evaluateCost) over rotation angles of the free
  // vertices, with lambda weighting equal turning of neighbours, and turns
  // the free directions by the angles found. Prints a summary line when a
  // vertex turned, and a failure line when the minimiser stops abnormally.
  void optimize(const SbHeModelHQ& model, float lambda);
  // One Jacobi step: each free vertex turns by the mean edge angle difference
  // of its ring.
  void relax(const SbHeModelHQ& model);
  // Per free vertex, in index order, swaps direction and cross when a quarter
  // turn strictly lowers vertexCost.
  void unify(const SbHeModelHQ& model);
  // Turns every free direction by angleDegrees about its normal; |angle| below
  // 1e-6 degrees (or not finite) does nothing.
  void rotate(const SbHeModelHQ& model, float angleDegrees);
  // Sets the lock flags by mode (SelectMode): all free, inverted, or by a
  // score thresholded with applyTolerance. radius (mode 2 only) is a fraction
  // of the model's largest bounding-box extent. Modes above 4 do nothing.
  void select(const SbHeModelHQ& model, const SbCurvatureHQ& curvature, int mode, float tolerance, float radius);
  // Locks every vertex whose score is below tolerance x the largest score.
  void applyTolerance(float tolerance);

  // - sum over h in ring(vertex) of (1 + cos 2(delta(h) - (a(end) - a(vertex))));
  // 0 for a vertex without an outgoing half-edge. angles holds a per vertex.
  static double vertexCost(const HeVertex* vertex, const EdgeAngleTable& table, const std::vector<double>& angles);
  // Fraction of the segment a -> b inside the sphere around centre.
  static float segmentInsideSphere(const SbVec3f& a, const SbVec3f& b, const SbVec3f& centre, float radiusSquared);

  // Flattens the rings of the free vertices with the table's angles.
  void costTerms(const SbHeModelHQ& model, const EdgeAngleTable& table, FlowCostTerms& terms) const;
  // F(x) = - sum over free V, h in ring(V) of
  //          [lambda (1 + cos 2D) + (1 + cos 2(delta(h) - D))], D = x(end) - x(V),
  // with locked vertices at angle 0; writes the gradient of F to g (the
  // variableCount() entries) and returns F.
  static double evaluateCost(const FlowCostTerms& terms, double lambda, const double* x, double* g);

  // --- Automatic clean-up.

  // Edges of the model counted by measureTurning.
  struct Turning {
    int edges = 0;    // edges whose two ends have trusted principal directions
    int turning = 0;  // those along which the line turns by more than the limit
    double share() const { return edges > 0 ? static_cast<double>(turning) / edges : 0.0; }
    // One line for the console, without a line break:
    // "field: 12.3% of edges turn > 30 deg (4608 edges away from umbilics)".
    std::string text() const;
  };
  // Counts the edges along which the field's line turns by more than 30
  // degrees (modulo pi, directions in the transport frames of the edge),
  // leaving out edges with an umbilic end. Empty unless the field and the
  // curvature were built for the model.
  Turning measureTurning(const SbHeModelHQ& model, const SbCurvatureHQ& curvature) const;
  // Replaces every direction by the smoothest line field that follows the
  // principal directions where they are trusted, choosing one of the two
  // principal lines consistently over each connected part (the one that
  // agrees with more of the leading directions of from()); lock flags and
  // earlier edits are not kept. Afterwards the trusted vertices are locked
  // and the others free. Draws a new stamp when a direction changed. Does
  // nothing unless the field and the curvature were built for the model.
  // Time and memory linear in the model's size.
  void cleanUp(const SbHeModelHQ& model, const SbCurvatureHQ& curvature);
  // How far a vertex's principal directions can be trusted, from 0 (failed
  // estimate, umbilic or flat) towards 1: |k1 - k2| / (|k1| + |k2| + flat).
  static float trust(const CurvatureRecord& curvature, float flat);
  // The curvature `flat` of trust() for a model: a quarter of 1 / size.
  static float flatCurvature(const SbHeModelHQ& model);
  // Whether a trust value marks an umbilic (below 0.2).
  static bool isUmbilic(float trust);

  // Turns v about the unit axis by angle radians (right-hand rule).
  static SbVec3f rotateAbout(const SbVec3f& v, const SbVec3f& axis, float angle);

  // Stops a minimisation that would not converge: the most evaluations of F
  // and iterations one optimize() runs.
  static constexpr int kMaxEvaluations = 10000;

  int size() const { return static_cast<int>(records.size()); }
  const FlowRecord* record(int i) const { return records[i]; }

  // Read directly by the streamliner and the display; only this class
  // changes them.
  std::vector<FlowRecord*> records;  // one per model vertex, in vertex order
  uint32_t stamp;                    // new whenever a direction changes
  uint32_t modelStamp;               // stamp of the model the field was built for

  // Shared by every SbFlowFieldHQ; unnamed in leak reports.
  static TypedObjectPool<FlowRecord> recordPool;

 private:
  // Turns the record's direction about the normal and renews cross; false
  // (leaving it) when the normal is not a unit vector or the angle not finite.
  static bool turn(FlowRecord& record, const SbVec3f& normal, float angle);
  void runOptimize(const SbHeModelHQ& model, float lambda);
  void runSelect(const SbHeModelHQ& model, const SbCurvatureHQ& curvature, int mode, float tolerance, float radius);
  void selectGeodesic(const SbHeModelHQ& model, const EdgeAngleTable& table, float radius);
  void runCleanUp(const SbHeModelHQ& model, const SbCurvatureHQ& curvature);
};

#endif
