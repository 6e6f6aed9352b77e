// Turning 8-bit channel planes into 4-byte pixels.
#pragma once

#include <cstdint>

namespace psd {

// Pixel k of destination is plane1[k], plane2[k], plane3[k], fourth for the
// width·height pixels (their 32-bit product). Planes and destination should
// start on 16-byte boundaries for the fast path (others take plain moves);
// destination holds 4·width·height bytes. Nothing is allocated.
void InterleavePlanes3(const uint8_t* plane1, const uint8_t* plane2, const uint8_t* plane3, uint8_t fourth,
                       uint8_t* destination, uint32_t width, uint32_t height);

// As InterleavePlanes3 with plane4[k] as the fourth byte.
void InterleavePlanes4(const uint8_t* plane1, const uint8_t* plane2, const uint8_t* plane3, const uint8_t* plane4,
                       uint8_t* destination, uint32_t width, uint32_t height);

}  // namespace psd
