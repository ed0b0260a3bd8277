#include "mesh/SbSubdivision.h"

double SbSubdivision::estimateFaces(const SbWingedEdgeModel& model, int, int) {
  return model.faceCount();
}
bool SbSubdivision::fitsMemory(const SbWingedEdgeModel&, int, int) { return true; }
void SbSubdivision::step(WeObject&, int, bool) {}
void SbSubdivision::adaptiveStep(WeObject&, int, float) {}
double SbSubdivision::faceBudget() { return 1e9; }
