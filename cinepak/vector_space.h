#pragma once
// The space in which codebooks are trained and searched. A vector describes a
// 2 x 2 group of pixels as the player's codebook entry does (four luma values,
// one shared U and V), in coordinates where plain Euclidean distance is the
// summed squared RGB error of the player's reconstruction R = Y + 2V,
// G = Y - V - U/2, B = Y + 2U. Per pixel that error is
//   3 (dY + (dV + 1.5 dU) / 3)^2 + (14 dV^2 + 10.5 dU^2) / 3,
// so the luma coordinates are Y + (V + 1.5 U) / 3 (the pixel's mean of R, G
// and B) and U and V are scaled by sqrt(42/9) and sqrt(56/9); the distance
// times 3 is the error of the four pixels. Being linear, the map keeps means,
// so k-means centroids map back to entries.

#include <cstdint>

namespace zepra {

inline constexpr int kDims = 6;  // Y0 Y1 Y2 Y3 U V
inline constexpr float kUScale = 2.1602469f;  // sqrt(42/9)
inline constexpr float kVScale = 2.4944383f;  // sqrt(56/9)
// Squared distance in this space times this factor approximates the RGB sum
// of squared errors over the pixels one vector covers.
inline constexpr float kV4DistanceToRgb = 3.0f;   // a 2 x 2 group, one pixel per luma
inline constexpr float kV1DistanceToRgb = 12.0f;  // a 4 x 4 block, four pixels per luma

struct Vector6 {
  float c[kDims];
};

// An 8-bit channel as the player should produce it before its shift by 3: the
// centre of the 8-wide bin whose 5-bit value a display shows closest to it.
constexpr float targetLevel(int channel) { return channel * (248.0f / 255.0f) + 4.0f; }

// The luma coordinate's offset from an entry's Y for a given U and V.
constexpr float lumaShift(float u, float v) { return (v + 1.5f * u) * (1.0f / 3.0f); }

inline float squaredDistance(const Vector6& a, const Vector6& b) {
  float d = 0.0f;
  for (int k = 0; k < kDims; ++k) d += (a.c[k] - b.c[k]) * (a.c[k] - b.c[k]);
  return d;
}

// Entry bytes (Y0..Y3, U, V signed) into the search space.
inline Vector6 entryVector(const std::uint8_t* bytes) {
  const float u = static_cast<std::int8_t>(bytes[4]);
  const float v = static_cast<std::int8_t>(bytes[5]);
  const float shift = lumaShift(u, v);
  return {{bytes[0] + shift, bytes[1] + shift, bytes[2] + shift, bytes[3] + shift, u * kUScale, v * kVScale}};
}

}  // namespace zepra
