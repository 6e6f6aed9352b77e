#include "bench/bench_data.h"

#include <cmath>
#include <cstring>
#include <random>

#include <zlib.h>
#if defined(KAVRI_USE_LIBDEFLATE)
#include <libdeflate.h>
#endif

namespace kavri_bench {

Bytes PaintedPlane(uint32_t width, uint32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  const float fx = 2.0f + 6.0f * unit(random), fy = 2.0f + 6.0f * unit(random), phase = 6.28f * unit(random);
  Bytes plane(size_t{width} * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const float u = float(x) / width, v = float(y) / height;
      const float value = 0.5f + 0.35f * std::sin(fx * u + phase) * std::cos(fy * v) + 0.1f * std::sin(17 * u * v);
      plane[size_t{y} * width + x] = static_cast<uint8_t>(value * 255);
    }
  }
  // Flat areas and strokes of one colour.
  for (int stroke = 0; stroke < 40; ++stroke) {
    const uint32_t x0 = random() % width, y0 = random() % height;
    const uint32_t w = 16 + random() % (width / 4), h = 4 + random() % (height / 8);
    const uint8_t colour = static_cast<uint8_t>(random());
    for (uint32_t y = y0; y < y0 + h && y < height; ++y)
      for (uint32_t x = x0; x < x0 + w && x < width; ++x) plane[size_t{y} * width + x] = colour;
  }
  // Grain on part of the picture, as brushes leave it.
  for (size_t i = 0; i < plane.size(); ++i) {
    if ((random() & 3) == 0) plane[i] = static_cast<uint8_t>(plane[i] + (random() % 5) - 2);
  }
  return plane;
}

Bytes PackBitsRows(const Bytes& plane, uint32_t rowBytes) {
  Bytes out;
  for (size_t row = 0; row + rowBytes <= plane.size(); row += rowBytes) {
    const uint8_t* p = plane.data() + row;
    size_t i = 0;
    while (i < rowBytes) {
      size_t run = 1;
      while (i + run < rowBytes && run < 128 && p[i + run] == p[i]) ++run;
      if (run >= 2) {
        out.push_back(static_cast<uint8_t>(257 - run));
        out.push_back(p[i]);
        i += run;
        continue;
      }
      size_t literal = 1;
      while (i + literal < rowBytes && literal < 128 &&
             !(i + literal + 1 < rowBytes && p[i + literal] == p[i + literal + 1]))
        ++literal;
      out.push_back(static_cast<uint8_t>(literal - 1));
      out.insert(out.end(), p + i, p + i + literal);
      i += literal;
    }
  }
  return out;
}

Bytes ZlibCompress(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 6);
  out.resize(size);
  return out;
}

Bytes DeltaEncodeRows(const Bytes& plane, uint32_t rowBytes) {
  Bytes out = plane;
  for (size_t row = 0; row + rowBytes <= out.size(); row += rowBytes)
    for (size_t x = rowBytes - 1; x > 0; --x) out[row + x] = static_cast<uint8_t>(plane[row + x] - plane[row + x - 1]);
  return out;
}

void PlainPackBits(const uint8_t* source, size_t sourceSize, uint8_t* destination, size_t destinationSize) {
  size_t read = 0, written = 0;
  while (written < destinationSize && read < sourceSize) {
    const uint8_t header = source[read++];
    if (header < 128) {
      std::memcpy(destination + written, source + read, header + 1u);
      read += header + 1u;
      written += header + 1u;
    } else if (header > 128) {
      std::memset(destination + written, source[read++], 257u - header);
      written += 257u - header;
    }
  }
}

void PlainDeltaRows(uint8_t* plane, uint32_t rowBytes, uint32_t rows) {
  for (uint32_t y = 0; y < rows; ++y) {
    uint8_t* row = plane + size_t{y} * rowBytes;
    for (uint32_t x = 1; x < rowBytes; ++x) row[x] = static_cast<uint8_t>(row[x] + row[x - 1]);
  }
}

bool ZlibOneShot(const uint8_t* source, size_t sourceSize, uint8_t* destination, size_t destinationSize) {
  uLongf size = static_cast<uLongf>(destinationSize);
  return uncompress(destination, &size, source, static_cast<uLong>(sourceSize)) == Z_OK;
}

bool HaveLibdeflate() {
#if defined(KAVRI_USE_LIBDEFLATE)
  return true;
#else
  return false;
#endif
}

bool LibdeflateOneShot(const uint8_t* source, size_t sourceSize, uint8_t* destination, size_t destinationSize) {
#if defined(KAVRI_USE_LIBDEFLATE)
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  size_t produced = 0;
  const bool ok = libdeflate_zlib_decompress(d, source, sourceSize, destination, destinationSize, &produced) ==
                  LIBDEFLATE_SUCCESS;
  libdeflate_free_decompressor(d);
  return ok;
#else
  (void)source, (void)sourceSize, (void)destination, (void)destinationSize;
  return false;
#endif
}

}  // namespace kavri_bench
