#include "cinepak/source_frame.h"

#include <atomic>

namespace zepra {

void SourceFrame::resize(int width, int height) {
  width_ = width;
  height_ = height;
  blockCount_ = (width / 4) * (height / 4);
  rgb_.assign(static_cast<std::size_t>(blockCount_) * 48, 0);
  v4_.assign(static_cast<std::size_t>(blockCount_) * 4, Vector6{});
  v1_.assign(blockCount_, Vector6{});
  v1Detail_.assign(blockCount_, 0.0f);
}

void SourceFrame::load(const std::uint8_t* bgrBottomUp, SplitLoop& loop) {
  std::atomic<bool> grey{true};
  loop.run(blockCount_, [&](int begin, int end) {
    if (!loadBlocks(bgrBottomUp, begin, end)) grey.store(false, std::memory_order_relaxed);
  });
  grey_ = grey.load(std::memory_order_relaxed);
}

void SourceFrame::load(const std::uint8_t* bgrBottomUp) { grey_ = loadBlocks(bgrBottomUp, 0, blockCount_); }

bool SourceFrame::loadBlocks(const std::uint8_t* bgrBottomUp, int begin, int end) {
  const int across = blocksAcross();
  const std::size_t stride = static_cast<std::size_t>(width_) * 3;
  bool grey = true;
  for (int b = begin; b < end; ++b) {
    const int bx = (b % across) * 4;
    const int by = (b / across) * 4;
    std::uint8_t* out = &rgb_[static_cast<std::size_t>(b) * 48];
    float mean[16], u[16], v[16];  // per pixel: mean of R, G, B; exact U and V
    for (int r = 0; r < 4; ++r) {
      const std::uint8_t* row = bgrBottomUp + (height_ - 1 - (by + r)) * stride + bx * 3;
      for (int c = 0; c < 4; ++c, out += 3) {
        out[0] = row[c * 3 + 2];
        out[1] = row[c * 3 + 1];
        out[2] = row[c * 3];
        grey = grey && out[0] == out[1] && out[1] == out[2];
        const float tr = targetLevel(out[0]), tg = targetLevel(out[1]), tb = targetLevel(out[2]);
        const int i = r * 4 + c;
        const float y = (2.0f * tr + 4.0f * tg + tb) * (1.0f / 7.0f);
        mean[i] = (tr + tg + tb) * (1.0f / 3.0f);
        u[i] = (tb - y) * 0.5f;
        v[i] = (tr - y) * 0.5f;
      }
    }
    // Shared chroma is the mean of the pixels' chroma; the luma coordinate
    // is each pixel's own (the best luma whatever the chroma).
    Vector6& v1 = v1_[b];
    float u1 = 0, v1Sum = 0;
    for (int q = 0; q < 4; ++q) {
      const int first = (q / 2) * 8 + (q % 2) * 2;  // top-left pixel of the quadrant
      const int idx[4] = {first, first + 1, first + 4, first + 5};
      Vector6& vec = v4_[static_cast<std::size_t>(b) * 4 + q];
      float lumaSum = 0, uq = 0, vq = 0;
      for (int k = 0; k < 4; ++k) {
        vec.c[k] = mean[idx[k]];
        lumaSum += mean[idx[k]];
        uq += u[idx[k]];
        vq += v[idx[k]];
      }
      vec.c[4] = uq * 0.25f * kUScale;
      vec.c[5] = vq * 0.25f * kVScale;
      v1.c[q] = lumaSum * 0.25f;
      u1 += uq;
      v1Sum += vq;
    }
    v1.c[4] = u1 * (1.0f / 16.0f) * kUScale;
    v1.c[5] = v1Sum * (1.0f / 16.0f) * kVScale;
    float detail = 0.0f;
    for (int q = 0; q < 4; ++q) {
      const Vector6& quad = v4_[static_cast<std::size_t>(b) * 4 + q];
      for (int k = 0; k < 4; ++k) detail += (quad.c[k] - v1.c[q]) * (quad.c[k] - v1.c[q]);
      detail += (quad.c[4] - v1.c[4]) * (quad.c[4] - v1.c[4]) + (quad.c[5] - v1.c[5]) * (quad.c[5] - v1.c[5]);
    }
    v1Detail_[b] = detail * kV4DistanceToRgb;
  }
  return grey;
}

}  // namespace zepra
