#ifndef LINFOLD_SOSILHOUETTESWITCHES_H
#define LINFOLD_SOSILHOUETTESWITCHES_H

// Library-wide switches of the silhouette stage and the line shape, set by
// the application's "Visibility" and "Artifacts" menus.
struct SoSilhouetteSwitches {
  // While set, SoGenerateSilhouette keeps the eye point / view direction (in
  // model space) of the camera it saw last before the switch was set.
  static bool cameraStatic;
  // Non-zero: run the mesh zig-zag repair over the found silhouette edges.
  static int meshZigZagRepair;
  // Non-zero: run the triangle chunk repair over the found silhouette edges.
  static int triangleChunkRepair;
  // While set, SoLineShape draws its bands as line strips (untextured).
  static bool lineStripMode;
};

#endif
