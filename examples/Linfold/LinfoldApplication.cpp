// Placeholder: the main window is being written.
#include "LinfoldApplication.h"

LinfoldApplication::LinfoldApplication() {}
LinfoldApplication::~LinfoldApplication() {}
QMainWindow* LinfoldApplication::controlWindow(int) const { return nullptr; }
void LinfoldApplication::createScene() {}
bool LinfoldApplication::loadModel(const char*) { return false; }
void LinfoldApplication::resetTransformsAndView() {}
void LinfoldApplication::updateStatistics() {}
void LinfoldApplication::progressFunction(void*, int, int) {}
#define EMPTY(s) void LinfoldApplication::s {}
EMPTY(about()) EMPTY(openFile()) EMPTY(resetScene()) EMPTY(generateWingedEdge(int))
EMPTY(changeBuildWEOnOffMode()) EMPTY(connectObjects(int)) EMPTY(changeBackgroundMode(int))
EMPTY(changeObjectsVisibilityMode(int)) EMPTY(changeAntialiasingMode(int)) EMPTY(changeLineCrackMode(int))
EMPTY(changeBackfacesMode(int)) EMPTY(changeSilhouetteVisibilityMode(int)) EMPTY(changeCameraStaticMode(int))
EMPTY(changeMeshZigZagMode(int)) EMPTY(changeTriagleChunkMode(int)) EMPTY(changeLineZigZagMode(int))
EMPTY(changeShortEdgesMode(int)) EMPTY(changeSharpAnglesMode(int)) EMPTY(changeLineStyleMode(bool))
EMPTY(changeLineStripMode(bool)) EMPTY(changeAdaptiveSubdivisionSteps(int)) EMPTY(changeAdaptiveSubdivisionMode(int))
EMPTY(changeSubdivisionSteps(int)) EMPTY(changeSubdivisionMode(int)) EMPTY(changeDividingSteps(int))
EMPTY(changeDividingMode(int)) EMPTY(changeSmoothingSteps(int)) EMPTY(changeSmoothingSpeed())
EMPTY(changeSharpEdgesAngle(int)) EMPTY(changeSharpAngleMode(bool)) EMPTY(changePolygonationMode(bool))
EMPTY(changeVisualizationMode(int)) EMPTY(changeLsGLlines(bool)) EMPTY(changeLSlineMode(int))
EMPTY(changeLsRebalance(bool)) EMPTY(changeLsLineWidth()) EMPTY(changeLsMaxLineWidth())
EMPTY(changeLsMinDistance()) EMPTY(changeLsMaxDistance()) EMPTY(changeSilhouetteVis(bool))
EMPTY(changeSilhouetteSharpAngle(int)) EMPTY(changeSilhouetteThickness()) EMPTY(changeStreamlinerVis(bool))
EMPTY(changeStreamlinerThickness()) EMPTY(changeStreamlinerDensity()) EMPTY(changeSSepDistance(const QString&))
EMPTY(changeSProbeDistance(const QString&)) EMPTY(changeSSharpEdge(const QString&)) EMPTY(changeSSharpEdgeState(bool))
EMPTY(changeSMaxBend(const QString&)) EMPTY(changeSMaxBendState(bool)) EMPTY(changeSMinLength(const QString&))
EMPTY(changeSMinLengthState(bool)) EMPTY(changeSMaxLength(const QString&)) EMPTY(changeSMaxLengthState(bool))
EMPTY(changeSStepSize(const QString&)) EMPTY(changeSTaper(int)) EMPTY(changeStreamliner())
EMPTY(changeFlowfieldVis(bool)) EMPTY(changeFlowfieldMode(int)) EMPTY(changeFlowfieldSelect())
EMPTY(changeFlowfieldTolerance(int)) EMPTY(changeFlowfieldReset()) EMPTY(changeFlowfieldOptimize())
EMPTY(changeFlowfieldRelax()) EMPTY(changeFlowfieldUnify()) EMPTY(changeFlowfieldRot())
EMPTY(changeCurvatureMode(int)) EMPTY(writeWingedEdgeToVRMLFile()) EMPTY(writeWingedEdgeToIVFile())
EMPTY(writeLinesToASCIIFile()) EMPTY(writeLinesToPDFFile()) EMPTY(writeLinesToTgaFileHQ())
EMPTY(writeLinesToPdfFileHQ())
