#ifndef LINFOLD_SOLINEDENSIFIERHQ_H
#define LINFOLD_SOLINEDENSIFIERHQ_H

#include "styling/SoLineStrokeValueHQ.h"

// Attaches a tone (density, 0 = no ink, 1 = full ink) to every point of the current stroke set and
// publishes it in SoLineDensityElementHQ (see SoLineStrokeValueHQ for the fields).
class SoLineDensifierHQ : public SoLineStrokeValueHQ {
  typedef SoLineStrokeValueHQ inherited;
  SO_NODE_HEADER(SoLineDensifierHQ);

 public:
  static void initClass();
  SoLineDensifierHQ();

 protected:
  ~SoLineDensifierHQ() override;
  const float* earlierValues(SoState* state, int32_t& count) const override;
  void publish(SoState* state, int32_t count, const float* values) override;
};

#endif
