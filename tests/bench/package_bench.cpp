// Throughput of the package checks.
#include <benchmark/benchmark.h>

#include <string>

#include "package/crc16.h"
#include "package/image_trailer.h"
#include "package/package_builder.h"
#include "tests/support/fakes.h"

namespace {

void BM_Crc16(benchmark::State& state) {
  std::vector<package::BYTE> block(package::IMAGE_BLOCK_SIZE);
  for (std::size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<package::BYTE>(i * 131);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        package::Crc16(block.data(), static_cast<package::WORD>(block.size())));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_Crc16);

void BM_VerifyImageBlocks(benchmark::State& state) {
  std::string image(static_cast<std::size_t>(state.range(0)) << 20, '\0');
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<char>(i ^ (i >> 11));
  std::string error;
  const auto packed = package::PackImage(image, {}, error);
  fakes::MemoryFiles files(packed->bytes);
  static package::BlockBuffer buffer;
  for (auto _ : state) {
    const auto trailer = package::ReadImageTrailer(files, fakes::MemoryFiles::kHandle);
    benchmark::DoNotOptimize(
        package::VerifyImageBlocks(files, fakes::MemoryFiles::kHandle, trailer.trailer, buffer));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(packed->bytes.size()));
}
BENCHMARK(BM_VerifyImageBlocks)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
