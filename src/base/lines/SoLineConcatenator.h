#ifndef LINFOLD_SOLINECONCATENATOR_H
#define LINFOLD_SOLINECONCATENATOR_H

#include "lines/SbLineSet.h"
#include "lines/SoLineModifier.h"

// Chains the two-point lines of the state's line set into polylines
// (SbLineConcatenator) and sets the new index list with every per-vertex
// array reordered to match. GL render and callback alike.
class SoLineConcatenator : public SoLineModifier {
  typedef SoLineModifier inherited;
  SO_NODE_HEADER(SoLineConcatenator);

 public:
  static void initClass();
  SoLineConcatenator();

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoLineConcatenator() override;

 private:
  SbLineSet output;
};

#endif
