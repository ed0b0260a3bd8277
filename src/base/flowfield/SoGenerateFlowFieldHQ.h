#ifndef LINFOLD_SOGENERATEFLOWFIELDHQ_H
#define LINFOLD_SOGENERATEFLOWFIELDHQ_H

#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/nodes/SoGroup.h>

#include <cstdint>

#include "flowfield/SbFlowFieldHQ.h"

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;

// Keeps a flow field for the half-edge model and curvature in the state and
// publishes it in SoFlowFieldElementHQ for its children and the nodes after
// it. The field is rebuilt (discarding every edit) only when the curvature's
// stamp differs from the one it was last built from, or when cleanUp has
// changed since; without a model or a curvature the published field is null.
class SoGenerateFlowFieldHQ : public SoGroup {
  typedef SoGroup inherited;
  SO_NODE_HEADER(SoGenerateFlowFieldHQ);

 public:
  static void initClass();
  SoGenerateFlowFieldHQ();

  enum CleanUp {
    NONE = 0,  // the field as initialised from curvature
    AUTO = 1   // then SbFlowFieldHQ::cleanUp
  };
  // What runs after every rebuild of the field. Default NONE.
  SoSFEnum cleanUp;

  // The CleanUp value named (in lower case: "none", "auto"), or -1.
  static int cleanUpByName(const char* name);
  // The names of cleanUpByName, separated by ", ".
  static const char* cleanUpNames();

  // The node's field; the editing commands run on it directly.
  SbFlowFieldHQ& flowField() { return field; }

  // The update step: rebuild if the curvature is new, publish. Does not
  // traverse the children.
  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoGenerateFlowFieldHQ() override;

 private:
  SbFlowFieldHQ field;
  uint32_t curvatureStamp;  // stamp of the curvature the field was built from
  int builtCleanUp;         // cleanUp when the field was built
};

#endif
