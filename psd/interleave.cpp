#include "psd/interleave.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define KAVRI_SSE2 1
#include <emmintrin.h>
#endif

#include <cstdint>

namespace psd {

namespace {

#if KAVRI_SSE2
inline __m128i Load(const uint8_t* p, bool aligned) {
  return aligned ? _mm_load_si128(reinterpret_cast<const __m128i*>(p))
                 : _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v, bool aligned) {
  if (aligned) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  }
}
#endif

// plane4 null: the constant fourth byte.
void Interleave(const uint8_t* plane1, const uint8_t* plane2, const uint8_t* plane3, const uint8_t* plane4,
                uint8_t fourth, uint8_t* destination, uint32_t width, uint32_t height) {
  // The pixel count is the 32-bit product, as callers size their buffers by it.
  const uint32_t count = width * height;
  uint32_t k = 0;
#if KAVRI_SSE2
  const __m128i constant = _mm_set1_epi8(static_cast<char>(fourth));
  const uintptr_t addresses = reinterpret_cast<uintptr_t>(plane1) | reinterpret_cast<uintptr_t>(plane2) |
                              reinterpret_cast<uintptr_t>(plane3) | reinterpret_cast<uintptr_t>(plane4) |
                              reinterpret_cast<uintptr_t>(destination);
  // Aligned loads and streaming stores fault on unaligned addresses: a caller
  // that breaks the alignment rule gets the same pixels through plain moves.
  const bool aligned = (addresses & 15) == 0;
  for (; k + 16 <= count; k += 16) {
    const __m128i a = Load(plane1 + k, aligned);
    const __m128i b = Load(plane2 + k, aligned);
    const __m128i c = Load(plane3 + k, aligned);
    const __m128i d = plane4 != nullptr ? Load(plane4 + k, aligned) : constant;
    const __m128i abLow = _mm_unpacklo_epi8(a, b), abHigh = _mm_unpackhi_epi8(a, b);
    const __m128i cdLow = _mm_unpacklo_epi8(c, d), cdHigh = _mm_unpackhi_epi8(c, d);
    uint8_t* out = destination + 4 * static_cast<uint64_t>(k);
    // Streaming stores: the pixels go to memory without displacing the planes from cache.
    Store(out, _mm_unpacklo_epi16(abLow, cdLow), aligned);
    Store(out + 16, _mm_unpackhi_epi16(abLow, cdLow), aligned);
    Store(out + 32, _mm_unpacklo_epi16(abHigh, cdHigh), aligned);
    Store(out + 48, _mm_unpackhi_epi16(abHigh, cdHigh), aligned);
  }
  if (aligned) _mm_sfence();
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
