// The area path's sums with AVX2 (this unit alone is built for it): the
// three channels of a pixel take one multiply and one add. Every lane is an
// ordinary double operation, so the sums equal the plain ones.

#include <immintrin.h>

#include <cstring>

#include "video/box_sums.h"

namespace zepra {

namespace {

// The pixel is read as four bytes, the fourth landing in the unused lane.
struct Avx2Sums {
  __m256d lanes = _mm256_setzero_pd();
  void add(const std::uint8_t* pixel, double weight) {
    std::int32_t bytes;
    std::memcpy(&bytes, pixel, sizeof bytes);
    const __m256d values = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(bytes)));
    lanes = _mm256_add_pd(lanes, _mm256_mul_pd(values, _mm256_set1_pd(weight)));
  }
  void store(double* sums) const { _mm256_storeu_pd(sums, lanes); }
};

}  // namespace

void sumBoxesAvx2(const BoxRow& row, int first, int end) { sumBoxes<Avx2Sums>(row, first, end); }

}  // namespace zepra
