// Decode kernels on a painted-looking 2048 × 2048 plane, in MB/s of output,
// beside their limits: a plain PackBits decoder, zlib's and libdeflate's
// one-shot inflate of the same streams, and memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/bench_data.h"
#include "psd/allocator.h"
#include "psd/channel_decoding.h"
#include "psd/interleave.h"

namespace {

using kavri_bench::Bytes;
constexpr uint32_t kSide = 2048;
constexpr size_t kPlane = size_t{kSide} * kSide;

struct Data {
  Bytes plane = kavri_bench::PaintedPlane(kSide, kSide, 1);
  Bytes rle = kavri_bench::PackBitsRows(plane, kSide);
  Bytes zip = kavri_bench::ZlibCompress(plane);
  Bytes zipDelta = kavri_bench::ZlibCompress(kavri_bench::DeltaEncodeRows(plane, kSide));
};
const Data& TheData() {
  static const Data data;
  return data;
}

// An aligned block, as the reader's planes are.
struct Block {
  psd::MallocAllocator allocator;
  uint8_t* p;
  explicit Block(size_t bytes) : p(static_cast<uint8_t*>(allocator.AllocateBlock(bytes, 16))) {
    std::memset(p, 0x5A, bytes);
  }
  ~Block() { allocator.ReleaseBlock(p); }
};

void Done(benchmark::State& state, size_t outputBytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(outputBytes));
}

void OursRle(benchmark::State& state) {
  const Data& d = TheData();
  Block out(kPlane);
  for (auto _ : state) {
    psd::DecompressRle(d.rle.data(), static_cast<uint32_t>(d.rle.size()), out.p, kPlane);
    benchmark::DoNotOptimize(out.p);
  }
  Done(state, kPlane);
}
void LimitPackBits(benchmark::State& state) {
  const Data& d = TheData();
  Block out(kPlane);
  for (auto _ : state) {
    kavri_bench::PlainPackBits(d.rle.data(), d.rle.size(), out.p, kPlane);
    benchmark::DoNotOptimize(out.p);
  }
  Done(state, kPlane);
}
void OursZip(benchmark::State& state) {
  const Data& d = TheData();
  Block out(kPlane);
  for (auto _ : state) benchmark::DoNotOptimize(psd::InflateBuffer(out.p, kPlane, d.zip.data(), d.zip.size()));
  Done(state, kPlane);
}
void LimitZlib(benchmark::State& state) {
  const Data& d = TheData();
  Block out(kPlane);
  for (auto _ : state) benchmark::DoNotOptimize(kavri_bench::ZlibOneShot(d.zip.data(), d.zip.size(), out.p, kPlane));
  Done(state, kPlane);
}
void LimitLibdeflate(benchmark::State& state) {
  if (!kavri_bench::HaveLibdeflate()) {
    state.SkipWithError("no libdeflate in this build");
    return;
  }
  const Data& d = TheData();
  Block out(kPlane);
  for (auto _ : state)
    benchmark::DoNotOptimize(kavri_bench::LibdeflateOneShot(d.zip.data(), d.zip.size(), out.p, kPlane));
  Done(state, kPlane);
}
void OursZipDelta8(benchmark::State& state) {
  const Data& d = TheData();
  Block out(kPlane);
  for (auto _ : state) {
    psd::InflateBuffer(out.p, kPlane, d.zipDelta.data(), d.zipDelta.size());
    psd::DecodeDeltaPlane8(out.p, kSide, kSide);
    benchmark::DoNotOptimize(out.p);
  }
  Done(state, kPlane);
}
void LimitInflateDelta8(benchmark::State& state) {
  const Data& d = TheData();
  Block out(kPlane);
  for (auto _ : state) {
    if (kavri_bench::HaveLibdeflate()) {
      kavri_bench::LibdeflateOneShot(d.zipDelta.data(), d.zipDelta.size(), out.p, kPlane);
    } else {
      kavri_bench::ZlibOneShot(d.zipDelta.data(), d.zipDelta.size(), out.p, kPlane);
    }
    kavri_bench::PlainDeltaRows(out.p, kSide, kSide);
    benchmark::DoNotOptimize(out.p);
  }
  Done(state, kPlane);
}

// In-place steps and interleaving, on one 2048 × 2048 plane (in cache, as after
// its decode) and on 8192 × 8192 (memory-bound, as over a whole document).
void OursSwap16(benchmark::State& state) {
  const uint32_t side = static_cast<uint32_t>(state.range(0));
  const size_t plane = size_t{side} * side;
  Block p(2 * plane);
  for (auto _ : state) {
    psd::SwapBytes16InPlace(p.p, side, side);
    benchmark::DoNotOptimize(p.p);
  }
  Done(state, 2 * plane);
}
void OursSwap32(benchmark::State& state) {
  const uint32_t side = static_cast<uint32_t>(state.range(0));
  const size_t plane = size_t{side} * side;
  Block p(4 * plane);
  for (auto _ : state) {
    psd::SwapBytes32InPlace(p.p, side, side);
    benchmark::DoNotOptimize(p.p);
  }
  Done(state, 4 * plane);
}
void OursDelta8(benchmark::State& state) {
  const uint32_t side = static_cast<uint32_t>(state.range(0));
  const size_t plane = size_t{side} * side;
  Block p(plane);
  for (auto _ : state) {
    psd::DecodeDeltaPlane8(p.p, side, side);
    benchmark::DoNotOptimize(p.p);
  }
  Done(state, plane);
}
void OursDelta16(benchmark::State& state) {
  const uint32_t side = static_cast<uint32_t>(state.range(0));
  const size_t plane = size_t{side} * side;
  Block p(2 * plane);
  for (auto _ : state) {
    psd::DecodeDeltaPlane16(p.p, side, side);
    benchmark::DoNotOptimize(p.p);
  }
  Done(state, 2 * plane);
}
void OursDelta32(benchmark::State& state) {
  const uint32_t side = static_cast<uint32_t>(state.range(0));
  const size_t plane = size_t{side} * side;
  Block p(4 * plane);
  psd::MallocAllocator allocator;
  for (auto _ : state) {
    psd::DecodeDeltaPlanes32(&allocator, p.p, side, side);
    benchmark::DoNotOptimize(p.p);
  }
  Done(state, 4 * plane);
}
void OursInterleave3(benchmark::State& state) {
  const uint32_t side = static_cast<uint32_t>(state.range(0));
  const size_t plane = size_t{side} * side;
  Block a(plane), b(plane), c(plane), out(4 * plane);
  for (auto _ : state) {
    psd::InterleavePlanes3(a.p, b.p, c.p, 0, out.p, side, side);
    benchmark::DoNotOptimize(out.p);
  }
  Done(state, 4 * plane);
}
void OursInterleave4(benchmark::State& state) {
  const uint32_t side = static_cast<uint32_t>(state.range(0));
  const size_t plane = size_t{side} * side;
  Block a(plane), b(plane), c(plane), d(plane), out(4 * plane);
  for (auto _ : state) {
    psd::InterleavePlanes4(a.p, b.p, c.p, d.p, out.p, side, side);
    benchmark::DoNotOptimize(out.p);
  }
  Done(state, 4 * plane);
}
// memcpy of the bytes each step writes: side, then 1, 2 or 4 bytes a sample.
void LimitMemcpy(benchmark::State& state) {
  const size_t bytes = size_t(state.range(0)) * size_t(state.range(0)) * static_cast<size_t>(state.range(1));
  Block from(bytes), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.p, from.p, bytes);
    benchmark::DoNotOptimize(to.p);
  }
  Done(state, bytes);
}

}  // namespace

BENCHMARK(OursRle)->Name("ours/rle8");
BENCHMARK(LimitPackBits)->Name("limit/packbits8");
BENCHMARK(OursZip)->Name("ours/zip8");
BENCHMARK(LimitZlib)->Name("limit/zlib8");
BENCHMARK(LimitLibdeflate)->Name("limit/libdeflate8");
BENCHMARK(OursZipDelta8)->Name("ours/zippred8");
BENCHMARK(LimitInflateDelta8)->Name("limit/inflate+delta8");
BENCHMARK(OursSwap16)->Name("ours/swap16")->Arg(2048)->Arg(8192);
BENCHMARK(OursSwap32)->Name("ours/swap32")->Arg(2048)->Arg(8192);
BENCHMARK(OursDelta8)->Name("ours/delta8")->Arg(2048)->Arg(8192);
BENCHMARK(OursDelta16)->Name("ours/delta16")->Arg(2048)->Arg(8192);
BENCHMARK(OursDelta32)->Name("ours/delta32")->Arg(2048)->Arg(8192);
BENCHMARK(OursInterleave3)->Name("ours/interleave3")->Arg(2048)->Arg(8192);
BENCHMARK(OursInterleave4)->Name("ours/interleave4")->Arg(2048)->Arg(8192);
BENCHMARK(LimitMemcpy)->Name("limit/memcpy")->ArgsProduct({{2048, 8192}, {1, 2, 4}});

BENCHMARK_MAIN();
