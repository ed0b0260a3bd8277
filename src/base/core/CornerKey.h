#ifndef LINFOLD_CORNERKEY_H
#define LINFOLD_CORNERKEY_H

#include <Inventor/SbVec3f.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/details/SoPointDetail.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

// Key of a corner within one shape while its triangles are gathered: its
// coordinate index where the shape names one, else its exact position
// (-0 and +0 alike), so that corners Coin hands over apart become one vertex.
struct CornerKey {
  uint32_t bits[3];
  int32_t index;  // -1: keyed by position

  static CornerKey of(const SoPrimitiveVertex& v) {
    CornerKey key{{0, 0, 0}, -1};
    const SoDetail* detail = v.getDetail();
    if (detail && detail->isOfType(SoPointDetail::getClassTypeId())) {
      key.index = static_cast<const SoPointDetail*>(detail)->getCoordinateIndex();
      return key;
    }
    for (int i = 0; i < 3; ++i) {
      const float x = v.getPoint()[i] + 0.0f;
      std::memcpy(&key.bits[i], &x, sizeof(float));
    }
    return key;
  }
  bool operator==(const CornerKey& o) const {
    return index == o.index && bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
  }
};

struct CornerKeyHash {
  size_t operator()(const CornerKey& k) const {
    uint64_t h = 1469598103934665603ull ^ static_cast<uint32_t>(k.index);
    for (uint32_t b : k.bits) h = (h ^ b) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

#endif
