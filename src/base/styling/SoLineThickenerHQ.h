#ifndef LINFOLD_SOLINETHICKENERHQ_H
#define LINFOLD_SOLINETHICKENERHQ_H

#include "styling/SoLineStrokeValueHQ.h"

// Attaches a width factor to every point of the current stroke set and
// publishes it in SoLineThicknessElement (see SoLineStrokeValueHQ for the fields).
class SoLineThickenerHQ : public SoLineStrokeValueHQ {
  typedef SoLineStrokeValueHQ inherited;
  SO_NODE_HEADER(SoLineThickenerHQ);

 public:
  static void initClass();
  SoLineThickenerHQ();

 protected:
  ~SoLineThickenerHQ() override;
  const float* earlierValues(SoState* state, int32_t& count) const override;
  void publish(SoState* state, int32_t count, const float* values) override;
};

#endif
