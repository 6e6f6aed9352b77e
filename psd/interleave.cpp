#include "psd/interleave.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define KAVRI_SSE2 1
#include <emmintrin.h>
#endif

namespace psd {

namespace {

// plane4 null: the constant fourth byte.
void Interleave(const uint8_t* plane1, const uint8_t* plane2, const uint8_t* plane3, const uint8_t* plane4,
                uint8_t fourth, uint8_t* destination, uint32_t width, uint32_t height) {
  // The pixel count is the 32-bit product, as callers size their buffers by it.
  const uint32_t count = width * height;
  uint32_t k = 0;
#if KAVRI_SSE2
  const __m128i constant = _mm_set1_epi8(static_cast<char>(fourth));
  for (; k + 16 <= count; k += 16) {
    const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(plane1 + k));
    const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(plane2 + k));
    const __m128i c = _mm_load_si128(reinterpret_cast<const __m128i*>(plane3 + k));
    const __m128i d =
        plane4 != nullptr ? _mm_load_si128(reinterpret_cast<const __m128i*>(plane4 + k)) : constant;
    const __m128i abLow = _mm_unpacklo_epi8(a, b), abHigh = _mm_unpackhi_epi8(a, b);
    const __m128i cdLow = _mm_unpacklo_epi8(c, d), cdHigh = _mm_unpackhi_epi8(c, d);
    auto* out = reinterpret_cast<__m128i*>(destination + 4 * static_cast<uint64_t>(k));
    // Streaming stores: the pixels go to memory without displacing the planes from cache.
    _mm_stream_si128(out, _mm_unpacklo_epi16(abLow, cdLow));
    _mm_stream_si128(out + 1, _mm_unpackhi_epi16(abLow, cdLow));
    _mm_stream_si128(out + 2, _mm_unpacklo_epi16(abHigh, cdHigh));
    _mm_stream_si128(out + 3, _mm_unpackhi_epi16(abHigh, cdHigh));
  }
  _mm_sfence();
#endif
  for (; k < count; ++k) {
    uint8_t* pixel = destination + 4 * static_cast<uint64_t>(k);
    pixel[0] = plane1[k];
    pixel[1] = plane2[k];
    pixel[2] = plane3[k];
    pixel[3] = plane4 != nullptr ? plane4[k] : fourth;
  }
}

}  // namespace

void InterleavePlanes3(const uint8_t* plane1, const uint8_t* plane2, const uint8_t* plane3, uint8_t fourth,
                       uint8_t* destination, uint32_t width, uint32_t height) {
  Interleave(plane1, plane2, plane3, nullptr, fourth, destination, width, height);
}

void InterleavePlanes4(const uint8_t* plane1, const uint8_t* plane2, const uint8_t* plane3, const uint8_t* plane4,
                       uint8_t* destination, uint32_t width, uint32_t height) {
  Interleave(plane1, plane2, plane3, plane4, 0, destination, width, height);
}

}  // namespace psd
