#include "lines/SoSilhouetteSwitches.h"

bool SoSilhouetteSwitches::cameraStatic = false;
int SoSilhouetteSwitches::meshZigZagRepair = 0;
int SoSilhouetteSwitches::triangleChunkRepair = 0;
bool SoSilhouetteSwitches::lineStripMode = false;
