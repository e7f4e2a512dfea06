#pragma once
// The space in which codebooks are trained and searched. A vector describes a
// 2 x 2 group of pixels as the player's codebook entry does: four luma values
// and one shared U and V, in the entry's own units. U and V are scaled so that
// plain Euclidean distance approximates the summed squared RGB error of the
// player's reconstruction (R = Y + 2V, G = Y - V - U/2, B = Y + 2U): per pixel
// that error is about 3 dY^2 + 17/4 dU^2 + 5 dV^2, hence scales sqrt(17/3) and
// sqrt(20/3) with luma weight 1 and an overall factor 3 per pixel.

#include <cstdint>

namespace zepra {

inline constexpr int kDims = 6;  // Y0 Y1 Y2 Y3 U V
inline constexpr float kUScale = 2.3804761f;
inline constexpr float kVScale = 2.5819889f;
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

// Entry bytes (Y0..Y3, U, V signed) into the search space.
inline Vector6 entryVector(const std::uint8_t* bytes) {
  return {{float(bytes[0]), float(bytes[1]), float(bytes[2]), float(bytes[3]),
           float(static_cast<std::int8_t>(bytes[4])) * kUScale,
           float(static_cast<std::int8_t>(bytes[5])) * kVScale}};
}

}  // namespace zepra
