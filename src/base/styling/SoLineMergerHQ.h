#ifndef LINFOLD_SOLINEMERGERHQ_H
#define LINFOLD_SOLINEMERGERHQ_H

#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/nodes/SoGroup.h>

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;

// Collects stroke sets made at different places of the scene into the store
// of SoLineMergerElementHQ so that one renderer draws them together:
//   LM_STORE   the current set becomes the store; the current set is emptied,
//   LM_MERGE   the current set is appended to the store (indices shifted,
//              thickness and density padded with 1.0); the set is emptied,
//   LM_RESTORE the store becomes the current set (the store is kept).
// Emptying a set clears every per-vertex element of it (thickness, density,
// parameters, taper, triangles), so nothing stale survives beside an empty
// index list. A group type whose actions do not traverse the children.
class SoLineMergerHQ : public SoGroup {
  typedef SoGroup inherited;
  SO_NODE_HEADER(SoLineMergerHQ);

 public:
  static void initClass();
  SoLineMergerHQ();

  enum Method { LM_STORE = 0, LM_MERGE = 1, LM_RESTORE = 2 };
  SoSFEnum method;

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoLineMergerHQ() override;
};

#endif
