#ifndef LINFOLD_SOGENERATEHEMODELHQ_H
#define LINFOLD_SOGENERATEHEMODELHQ_H

#include <Inventor/nodes/SoGroup.h>

#include "mesh/SbHeModelHQ.h"

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;

// Triangulates the current winged-edge model into its half-edge model and
// publishes that in SoHeModelElementHQ (also when it is empty). The model is
// built on the first traversal and again after invalidate(); between those it
// keeps its stamp.
class SoGenerateHeModelHQ : public SoGroup {
  typedef SoGroup inherited;
  SO_NODE_HEADER(SoGenerateHeModelHQ);

 public:
  static void initClass();
  SoGenerateHeModelHQ();

  // The next GL render or callback traversal rebuilds the model.
  void invalidate() { built = false; }
  bool isBuilt() const { return built; }
  SbHeModelHQ& model() { return heModel; }

  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoGenerateHeModelHQ() override;

 private:
  void update(SoAction* action);

  SbHeModelHQ heModel;
  bool built = false;
};

#endif
