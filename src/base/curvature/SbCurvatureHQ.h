#ifndef LINFOLD_SBCURVATUREHQ_H
#define LINFOLD_SBCURVATUREHQ_H

// Per-vertex principal curvatures and directions of a half-edge model, from a
// least-squares quadratic patch fitted to each vertex and its one-ring.

#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <vector>

#include "core/ObjectPool.h"

class SbHeModelHQ;
struct HeVertex;

struct CurvatureRecord {
  SbVec3f maxDirection;  // unit principal direction of maxCurvature
  SbVec3f minDirection;  // unit principal direction of minCurvature
  float maxCurvature;    // k1 >= k2; positive where the surface bends away from the normal
  float minCurvature;    // k2
  bool degenerate;       // the fit failed: both curvatures 0, directions an arbitrary
                         // orthonormal frame perpendicular to the vertex normal
};

class SbCurvatureHQ {
 public:
  // One row of the patch fit: the design row (u, v, u^2/2, uv, v^2/2) of a
  // neighbour at parameters (u, v) and its offset d from the vertex.
  struct PatchRow {
    double b[5];
    double d[3];
  };

  // Empty, with stamps that match no model.
  SbCurvatureHQ();
  // Gives every record back to the pool.
  ~SbCurvatureHQ();
  SbCurvatureHQ(const SbCurvatureHQ&) = delete;
  SbCurvatureHQ& operator=(const SbCurvatureHQ&) = delete;

  // Replaces the records by one estimate per vertex of `model` (records[i]
  // belongs to vertex i), sets modelStamp to the model's stamp and draws a new
  // stamp. Prints the progress meter "SbCurvatureHQ::from" when the model has
  // vertices. Never throws; if records cannot be allocated, records stays empty.
  void from(const SbHeModelHQ& model);
  // Gives every record back, empties records and draws new values for both
  // stamps, so that a cleared object matches no model.
  void clear();

  // The record of vertex i (0 <= i < size()).
  const CurvatureRecord* record(int i) const { return records[i]; }
  int size() const { return static_cast<int>(records.size()); }

  // Threads that from() uses (1 = sequential); the records and the console
  // output do not depend on it. Clamped to 1 .. 2.
  void setThreadCount(int count);
  int threadCount() const { return threads; }

  // Least-squares solution X (5 x 3, rows Pu, Pv, Puu, Puv, Pvv) of B X = D for
  // the m rows: the normal equations (B^T B) X = B^T D for m > 5, B X = D for
  // m = 5, the minimum-norm solution B^T (B B^T)^-1 D for m < 5, each solved
  // by elimination on fixed-size arrays. False, leaving X undefined, for m < 1
  // or when the matrix to invert is singular relative to its scale: |det| at
  // most 1e-10 of the product of its diagonal for B^T B and B B^T (Hadamard's
  // bound), at most 1e-5 of the product of its column norms for B.
  static bool fitPatch(const PatchRow* rows, int m, double X[5][3]);

  // Read directly by consumers; only from() and clear() change them.
  std::vector<CurvatureRecord*> records;  // one per model vertex, in vertex order
  uint32_t stamp;                         // new whenever the records change
  uint32_t modelStamp;                    // stamp of the model the records came from

  // Shared by every SbCurvatureHQ; unnamed in leak reports.
  static TypedObjectPool<CurvatureRecord> recordPool;

 private:
  struct Scratch {
    std::vector<PatchRow> rows;
    std::vector<float> angle;
  };
  static void estimateRange(const SbHeModelHQ& model, int begin, int end, int ringLimit, Scratch& scratch,
                            CurvatureRecord* const* records) noexcept;
  static void estimate(const HeVertex& vertex, int ringLimit, Scratch& scratch, CurvatureRecord& record) noexcept;
  static bool fitVertex(const HeVertex& vertex, int ringLimit, Scratch& scratch, CurvatureRecord& record);
  static void fallback(const SbVec3f& normal, CurvatureRecord& record);

  int threads = 2;
};

#endif
