#ifndef LINFOLD_SOLINESETTINGSHQ_H
#define LINFOLD_SOLINESETTINGSHQ_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/nodes/SoSubNode.h>

#include "styling/SbLineSettingsHQ.h"

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;

// Publishes the line settings (SbLineSettingsHQ) in SoLineSettingsElementHQ
// for the stroke renderer and the HQ outputs after it. Every traversal
// refreshes the record from the fields; the element points into this node.
//
// Widths are page units (points) and `pixelsPerPoint` says how many pixels of
// the viewport a point is: the record holds lineWidth and maxWidth times it,
// and the tolerance (squared) times its square, so a picture drawn at another
// resolution shows the same drawing. The window draws at 1; a tool that
// renders for a page sets the viewport's pixels per point of that page.
class SoLineSettingsHQ : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoLineSettingsHQ);

 public:
  static void initClass();
  SoLineSettingsHQ();

  SoSFBool rebalance;        // rebalance the dots of gaps between solid parts
  SoSFFloat lineWidth;       // width, in points, of a stroke of thickness 1
  SoSFFloat tolerance;       // merge tolerance of the renderer (squared points)
  SoSFFloat maxWidth;        // largest stroke width in points
  SoSFFloat minDistance;     // smallest dot spacing, in dot radii
  SoSFFloat maxDistance;     // largest dot spacing, in dot radii
  SoSFFloat pixelsPerPoint;  // viewport pixels per point; not finite or <= 0 counts as 1

  const SbLineSettingsHQ& settings() const { return record; }

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoLineSettingsHQ() override;

 private:
  SbLineSettingsHQ record;
};

#endif
