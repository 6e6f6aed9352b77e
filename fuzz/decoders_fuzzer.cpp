// The two stream decoders on their own, with arbitrary source and destination
// sizes: the first bytes of the input choose the destination size and which
// decoder runs, the rest is the compressed stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "psd/channel_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const bool inflate = (data[0] & 1) != 0;
  // Up to 256 KiB of destination, so that either the stream or the room runs out first.
  const uint32_t destinationSize = ((uint32_t{data[1]} << 16) | (uint32_t{data[2]} << 8) | data[3]) & 0x3FFFF;
  const uint8_t* source = data + 4;
  const size_t sourceSize = size - 4;
  // Exactly sized copies, so that any read or write past either end is caught.
  std::unique_ptr<uint8_t[]> input(new uint8_t[sourceSize]);
  if (sourceSize != 0) std::memcpy(input.get(), source, sourceSize);
  std::unique_ptr<uint8_t[]> output(new uint8_t[destinationSize]);
  std::memset(output.get(), 0xCD, destinationSize);
  if (inflate) {
    const uint64_t produced = psd::InflateBuffer(output.get(), destinationSize, input.get(), sourceSize);
    if (produced != psd::kInflateFailed && produced > destinationSize) __builtin_trap();
    // Bytes a whole stream did not produce are cleared.
    if (produced != psd::kInflateFailed)
      for (uint64_t i = produced; i < destinationSize; ++i)
        if (output[i] != 0) __builtin_trap();
  } else {
    psd::DecompressRle(input.get(), static_cast<uint32_t>(sourceSize), output.get(), destinationSize);
  }
  return 0;
}
