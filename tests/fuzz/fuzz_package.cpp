// Reading and verifying an arbitrary file as an image package must never read or write past a
// buffer, whatever the file holds.
#include <cstddef>
#include <cstdint>

#include "package/image_trailer.h"
#include "tests/support/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fakes::MemoryFiles files(std::vector<package::BYTE>(data, data + size));
  const package::TrailerResult result =
      package::ReadImageTrailer(files, fakes::MemoryFiles::kHandle);
  if (result.verdict != package::Verdict::kAccepted)
    return 0;
  package::CheckProductTag(result.trailer);
  static package::BlockBuffer buffer;
  package::VerifyImageBlocks(files, fakes::MemoryFiles::kHandle, result.trailer, buffer);
  return 0;
}
