#ifndef LINFOLD_SOSTREAMLINERHQ_H
#define LINFOLD_SOSTREAMLINERHQ_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

#include <cstdint>
#include <vector>

#include "strokes/SbStreamlineTracer.h"

class ProgressMeter;
class SbFlowFieldHQ;
class SoCallbackAction;
class SoGLRenderAction;
class SoState;

// Covers the half-edge model in SoHeModelElementHQ with evenly spaced strokes
// along the flow field in SoFlowFieldElementHQ and publishes them as the
// current line set: points (SoCoordinateElement), polylines
// (SoLineCoordinateIndexElement), the face under each point
// (SoLineTriangleElementHQ) and a taper value per point
// (SoLineTaperElementHQ). Thickness, density and parameterization are set
// empty, since no earlier stage's arrays match the strokes.
//
// With crossHatching a second family of strokes follows the field's cross
// direction (perpendicular to the first), kept apart among itself by the
// same rules but free to cross the first family. Its strokes follow the
// first family's in the set, and SoLineFamilyElementHQ marks each point's
// family (empty without cross-hatching), so that the styling can ink the
// cross family only where one family cannot give the tone asked for.
//
// The strokes are traced again only when the model's or the field's stamp
// changes, or after invalidate(); changing a field alone does not retrace,
// except crossHatching, which adds or drops the cross family alone.
// Lengths are fractions of the model size (its largest bounding-box extent).
class SoStreamlinerHQ : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoStreamlinerHQ);

 public:
  enum TaperMethod {
    TM_NONE = SbStreamlineTracer::TM_NONE,
    TM_SPHERE = SbStreamlineTracer::TM_SPHERE,
    TM_PLANE = SbStreamlineTracer::TM_PLANE,
    TM_PLANE_AVG = SbStreamlineTracer::TM_PLANE_AVG
  };

  static void initClass();
  SoStreamlinerHQ();

  SoSFBool doComputation;    // FALSE: the node does nothing
  SoSFFloat seperationDist;  // separation between strokes
  SoSFFloat probeDist;       // distance of seed proposals; search radius of the taper
  SoSFFloat sharpEdge;       // degrees; up to 1e-6: no sharp-edge stops
  SoSFFloat maxBend;         // accumulated bend limit in degrees; up to 1e-6: unlimited
  SoSFFloat minLength;       // shorter strokes are dropped; up to 1e-6: all kept
  SoSFFloat maxLength;       // up to 1e-6: unlimited
  SoSFFloat stepSize;        // integration step (at least 1e-6 of the model size)
  SoSFEnum taperMethod;      // TaperMethod
  SoSFBool crossHatching;    // TRUE: a second family along the field's cross direction

  // Traces again on the next traversal ("Apply Changes").
  void invalidate() { computed = false; }
  bool isComputed() const { return computed; }
  // Computations since construction (for tests and diagnostics).
  int computations() const { return computeCount; }
  const StrokeSet& strokes() const { return strokeSet; }

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoStreamlinerHQ() override;

 private:
  void compute(const SbHeModelHQ& model, const SbFlowFieldHQ& field, bool cross);
  // Traces the cross family alone and appends it.
  void traceCross(const SbHeModelHQ& model, const SbFlowFieldHQ& field, ProgressMeter* meter);
  // Fills crossDirections from the field.
  void crossField(const SbHeModelHQ& model, const SbFlowFieldHQ& field);
  void publish(SoState* state);

  bool computed = false;
  bool crossTraced = false;
  int computeCount = 0;
  uint32_t modelStamp = 0;
  uint32_t fieldStamp = 0;
  SbStreamlineTracer::Parameters param;
  int tracedTaper = TM_NONE;             // the taper method of the last computation
  std::vector<SbVec3f> directions;       // of the first family
  std::vector<SbVec3f> crossDirections;  // of the cross family
  StrokeSet strokeSet;
};

#endif
