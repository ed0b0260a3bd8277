#include "registry/LibraryClasses.h"

#include <Inventor/SoType.h>

#include "elements/SoWingedEdgeElement.h"
#include "elements/SoLineArrayElement.h"
#include "elements/SoIlluminatedGeometryElement.h"
#include "elements/SoCurvatureElementHQ.h"
#include "elements/SoFlowFieldElementHQ.h"
#include "elements/SoHeModelElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoOrientedCoordinateElement.h"
#include "elements/SoLineTextureCoordinateElement.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineSettingsElementHQ.h"
#include "elements/SoLineMergerElementHQ.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineFamilyElementHQ.h"
#include "core/SoSFNumberedEnum.h"
#include "curvature/SoGenerateCurvatureHQ.h"
#include "flowfield/SoFlowFieldHQ.h"
#include "flowfield/SoGenerateFlowFieldHQ.h"
#include "strokes/SoStreamlinerHQ.h"
#include "styling/SoLineDensifierHQ.h"
#include "styling/SoLineMergerHQ.h"
#include "styling/SoLineSettingsHQ.h"
#include "styling/SoLineShapeHQ.h"
#include "styling/SoLineThickenerHQ.h"
#include "output/SoLineOutputHQ.h"
#include "output/SoLineOutputPdfHQ.h"
#include "output/SoLineOutputTgaHQ.h"
#include "output/SoLineOutputSvgHQ.h"
#include "output/SoLinePlotterOutput.h"
#include "mesh/SoGenerateHeModelHQ.h"
#include "lines/SoGenerateSilhouette.h"
#include "lines/SoLineConcatenator.h"
#include "lines/SoLineHiddenLineRemover.h"
#include "lines/SoLineModifier.h"
#include "lines/SoLinePurifier.h"
#include "lines/SoLineShape.h"
#include "lines/SoLineThickener.h"
#include "mesh/SoGenerateWingedEdge.h"
#include "mesh/SoModifyWingedEdge.h"
#include "mesh/SoWingedEdge.h"
#include "output/SoLineOutput.h"
#include "output/SoWingedEdgeOutput.h"

namespace {
template <class T>
void registerClass() {
  if (T::getClassTypeId() == SoType::badType()) T::initClass();
}
}  // namespace

void initLibraryClasses() {
  // 0. Field types, before the nodes that hold them.
  registerClass<SoSFNumberedEnum>();

  // 1. Elements.
  registerClass<SoWingedEdgeElement>();
  registerClass<SoLineArrayElement>();  // the base of the per-vertex arrays
  registerClass<SoIlluminatedGeometryElement>();
  registerClass<SoCurvatureElementHQ>();
  registerClass<SoFlowFieldElementHQ>();
  registerClass<SoHeModelElementHQ>();
  registerClass<SoLineThicknessElement>();
  registerClass<SoLineCoordinateIndexElement>();
  registerClass<SoOrientedCoordinateElement>();
  registerClass<SoLineTextureCoordinateElement>();
  registerClass<SoLineParameterizationElement>();
  registerClass<SoLineDensityElementHQ>();
  registerClass<SoLineSettingsElementHQ>();
  registerClass<SoLineMergerElementHQ>();
  registerClass<SoLineTriangleElementHQ>();
  registerClass<SoLineTaperElementHQ>();
  registerClass<SoLineFamilyElementHQ>();

  // 2. Mesh and silhouette nodes.
  registerClass<SoGenerateSilhouette>();  // first of the mesh and silhouette nodes
  registerClass<SoGenerateWingedEdge>();
  registerClass<SoModifyWingedEdge>();  // after SoGenerateWingedEdge
  registerClass<SoWingedEdge>();
  registerClass<SoWingedEdgeOutput>();

  // 3. HQ pipeline nodes.
  registerClass<SoGenerateFlowFieldHQ>();
  registerClass<SoGenerateHeModelHQ>();
  registerClass<SoGenerateCurvatureHQ>();
  registerClass<SoFlowFieldHQ>();
  registerClass<SoStreamlinerHQ>();  // after SoFlowFieldHQ

  // 4. Line filters and outputs.
  registerClass<SoLineModifier>();
  registerClass<SoLineShape>();
  registerClass<SoLineThickener>();
  registerClass<SoLinePurifier>();
  registerClass<SoLineConcatenator>();
  registerClass<SoLineHiddenLineRemover>();
  registerClass<SoLineOutput>();
  registerClass<SoLineDensifierHQ>();  // registers SoLineStrokeValueHQ first
  registerClass<SoLineThickenerHQ>();
  registerClass<SoLineOutputHQ>();
  registerClass<SoLineOutputPdfHQ>();
  registerClass<SoLineOutputTgaHQ>();
  registerClass<SoLineOutputSvgHQ>();
  registerClass<SoLinePlotterOutput>();
  registerClass<SoLineSettingsHQ>();
  registerClass<SoLineShapeHQ>();
  registerClass<SoLineMergerHQ>();
}
