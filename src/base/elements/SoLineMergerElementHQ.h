#ifndef LINFOLD_SOLINEMERGERELEMENTHQ_H
#define LINFOLD_SOLINEMERGERELEMENTHQ_H

#include <Inventor/SbVec3f.h>
#include <Inventor/elements/SoReplacedElement.h>

#include <cstdint>
#include <vector>

#include "lines/SbLineSet.h"

// A stored line set: the element keeps its own copy of the points, the
// polyline index list (runs ended by -1) and the per-vertex thickness and
// density (one value per index that is not -1, or none). Unlike the other
// line elements it owns its arrays, so a stored set outlives the node that
// stored it. A nested separator that writes the element starts from a copy of
// the enclosing set; its changes end with the separator.
class SoLineMergerElementHQ : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoLineMergerElementHQ);

 public:
  static void initClass();
  void init(SoState* state) override;
  void push(SoState* state) override;

  // Replaces the stored set by a copy of the given arrays. thickness and
  // density hold valueCount values each; either may be null (stored empty).
  static void set(SoState* state, SoNode* node, int32_t coordCount, const SbVec3f* coords, int32_t indexCount,
                  const int32_t* indices, int32_t valueCount, const float* thickness, const float* density);
  // The element to write in place (for `node`), or null when the action does
  // not carry it.
  static SoLineMergerElementHQ* getWritable(SoState* state, SoNode* node);
  // The innermost stored set; never null while the action carries the element.
  static const SoLineMergerElementHQ* get(SoState* state);

  std::vector<SbVec3f>& coordinates() { return lines.points; }
  std::vector<int32_t>& indices() { return lines.indices; }
  std::vector<float>& thickness() { return lines.thickness; }
  std::vector<float>& density() { return lines.density; }
  const std::vector<SbVec3f>& coordinates() const { return lines.points; }
  const std::vector<int32_t>& indices() const { return lines.indices; }
  const std::vector<float>& thickness() const { return lines.thickness; }
  const std::vector<float>& density() const { return lines.density; }
  // The stored set as a line set (only points, indices, thickness and
  // density are ever filled).
  const SbLineSet& lineSet() const { return lines; }
  void clear();
  bool isEmpty() const { return lines.indices.empty(); }

  // Index entries at the front of indices() that came from the stored set
  // (LM_STORE or set()); the rest were merged in after it.
  int32_t storedIndexCount() const { return stored; }
  void setStoredIndexCount(int32_t count) { stored = count; }
  // How many leading entries of the current line set's index list (`indices`,
  // `indexCount`) are stored lines: the stored count when that list is this
  // store's own array as LM_RESTORE publishes it, -1 when it is any other
  // list (no store in the state, or a stage after the restore has rewritten
  // the set), so the origin of its lines is not known.
  static int32_t storedPrefix(SoState* state, const int32_t* indices, int32_t indexCount);

 protected:
  ~SoLineMergerElementHQ() override;

 private:
  SbLineSet lines;
  int32_t stored = 0;
};

#endif
