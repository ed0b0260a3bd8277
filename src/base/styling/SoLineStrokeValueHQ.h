#ifndef LINFOLD_SOLINESTROKEVALUEHQ_H
#define LINFOLD_SOLINESTROKEVALUEHQ_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/fields/SoSFString.h>
#include <Inventor/nodes/SoSubNode.h>

#include <cstdint>
#include <vector>

#include "styling/LineSthScalarEngineHQ.h"
#include "styling/SbStrokeValuesHQ.h"

class SoAction;
class SoCallbackAction;
class SoGLRenderAction;
class SoState;

// Common part of SoLineDensifierHQ and SoLineThickenerHQ: attaches one value
// to every point of the current stroke set and combines it with the values
// an earlier node of the same kind left in the output element. The two nodes
// differ only in that element.
class SoLineStrokeValueHQ : public SoNode {
  typedef SoNode inherited;
  SO_NODE_ABSTRACT_HEADER(SoLineStrokeValueHQ);

 public:
  static void initClass();

  enum Method {
    PARSER = SbStrokeValuesHQ::PARSER,
    CONSTANT = SbStrokeValuesHQ::CONSTANT,
    CURVATURE = SbStrokeValuesHQ::CURVATURE,
    DEPTH = SbStrokeValuesHQ::DEPTH,
    LIGHT = SbStrokeValuesHQ::LIGHT,
    RIM = SbStrokeValuesHQ::RIM
  };
  enum Apply {
    REPLACE = SbStrokeValuesHQ::REPLACE,
    ADD = SbStrokeValuesHQ::ADD,
    SUB = SbStrokeValuesHQ::SUB,
    MUL = SbStrokeValuesHQ::MUL,
    SCREEN = SbStrokeValuesHQ::SCREEN,
    MIN = SbStrokeValuesHQ::MIN,
    MAX = SbStrokeValuesHQ::MAX
  };

  SoSFFloat value;              // constant, or factor of the computed value
  SoSFEnum method;              // Method
  SoSFEnum apply;               // Apply
  SoSFBool workInPlace;         // combine into the earlier node's list itself
  SoSFString parserExpression;  // formula for PARSER
  // With two families of strokes (SoLineFamilyElementHQ), the values at
  // which the cross family starts and at which both families are full
  // (SbStrokeValuesHQ::twoFamilies; crossStart below 0: the node's values
  // go to both families as they are); without, they play no part. The
  // split applies to the node's own value, before it is combined.
  SoSFFloat crossStart;
  SoSFFloat crossFull;

  const LineSthScalarEngineHQ& engine() const { return parser; }
  // The PARSER formula did not parse at the last traversal: the engine said
  // why (engine().error()) and its empty program makes every value 0.
  bool formulaFailed() const { return method.getValue() == PARSER && !parser.error().empty(); }
  // The node's own list (valid until its next traversal).
  const std::vector<float>& ownValues() const { return own; }

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  SoLineStrokeValueHQ();
  ~SoLineStrokeValueHQ() override;

  // Enables, for both actions, the elements every such node reads.
  static void enableCommonElements();
  // The output element's current values and their count.
  virtual const float* earlierValues(SoState* state, int32_t& count) const = 0;
  virtual void publish(SoState* state, int32_t count, const float* values) = 0;

 private:
  LineSthScalarEngineHQ parser;
  std::vector<float> own;
  std::vector<float> computed;
  std::vector<SbVec3f> pointCopy;
};

#endif
