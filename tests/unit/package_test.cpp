// Packages as the device reads them: the CRC, the trailer, the tag and the blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/crc16.h"
#include "package/image_trailer.h"
#include "package/package_builder.h"
#include "tests/support/fakes.h"

namespace {

using package::BYTE;
using package::IMAGE_BLOCK_SIZE;
using package::Verdict;
using package::WORD;

std::vector<BYTE> Bytes(std::size_t size, unsigned seed) {
  std::vector<BYTE> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<BYTE>((i * 131 + seed) >> 3);
  return bytes;
}

std::vector<BYTE> WithTrailer(std::vector<BYTE> payload, const std::vector<WORD>& index,
                              const std::vector<WORD>& crc) {
  const std::vector<BYTE> trailer =
      package::BuildTrailer(index, crc, {}, package::TagField("KORVALIN"));
  payload.insert(payload.end(), trailer.begin(), trailer.end());
  return payload;
}

package::TrailerResult Read(fakes::MemoryFiles& files) {
  return package::ReadImageTrailer(files, fakes::MemoryFiles::kHandle);
}

TEST(Crc16, MatchesTheCatalogueOfCrc16Xmodem) {
  const char digits[] = "123456789";
  EXPECT_EQ(package::Crc16(reinterpret_cast<const BYTE*>(digits), 9), 0x31C3);
  EXPECT_EQ(package::Crc16(nullptr, 0), 0x0000);
  const std::vector<BYTE> zeros(16384, 0);
  EXPECT_EQ(package::Crc16(zeros.data(), 16384), 0x0000);
  const BYTE one[] = {0x01};
  EXPECT_EQ(package::Crc16(one, 1), 0x1021);  // the polynomial, fed most significant bit first
  const BYTE ff[] = {0xFF, 0xFF};
  EXPECT_EQ(package::Crc16(ff, 2), 0x1D0F);
}

TEST(ReadImageTrailer, RefusesFilesWithoutATrailerToTake) {
  using Case = std::tuple<const char*, std::vector<BYTE>, std::optional<platform::DWORD>,
                          const char*, Verdict>;
  const std::vector<BYTE> valid = WithTrailer(Bytes(50, 2), {0, 1}, {1, 2});
  const std::vector<BYTE> nine =
      WithTrailer(Bytes(50, 2), std::vector<WORD>(9, 1), std::vector<WORD>(9, 2));
  std::vector<BYTE> tooLong = valid;
  tooLong[tooLong.size() - 4] = 0xFF;  // N = 255: T = 1041 > F
  const std::vector<Case> cases = {
      {"empty", {}, std::nullopt, "", Verdict::kNoBlocks},
      {"no room for N and L", {1, 2, 3}, std::nullopt, "", Verdict::kNoBlocks},
      {"N = 0, L = 65535", {0, 0, 0xFF, 0xFF}, std::nullopt, "", Verdict::kNoBlocks},
      {"T larger than F", tooLong, std::nullopt, "", Verdict::kTrailerTooLong},
      {"huge L", {1, 0, 0xFF, 0xFF}, std::nullopt, "", Verdict::kTrailerTooLong},
      {"T = F: read, its empty payload is for the check to refuse",
       package::BuildTrailer({0}, {0}, {}, package::TagField("KORVALIN")), std::nullopt, "",
       Verdict::kAccepted},
      {"short reads", valid, 1, "", Verdict::kUnreadable},
      // Nine entries: each table takes 18 bytes, more than any other field.
      {"a short read of the tables", nine, 17, "", Verdict::kUnreadable},
      {"size unknown", valid, std::nullopt, "GetFileSize", Verdict::kUnreadable},
      {"seek fails", valid, std::nullopt, "SetFilePointer", Verdict::kUnreadable},
      {"read fails", valid, std::nullopt, "ReadFile", Verdict::kUnreadable},
  };
  for (const auto& [name, file, shortReads, failing, expected] : cases) {
    fakes::MemoryFiles files(file);
    files.shortReads = shortReads;
    if (*failing)
      files.failing.insert(failing);
    EXPECT_EQ(Read(files).verdict, expected) << name;
  }
}

TEST(CheckProductTag, ComparesWithinTheFieldUpToItsNul) {
  const std::pair<std::string, bool> cases[] = {
      // the stored bytes; whether they fit
      {std::string("KORVALIN\0", 9), true},
      {std::string("KORVALIN\0garbage", 16), true},
      {std::string("korvalin\0", 9), false},  // longer: KORVALIN2, the OS image writer's tests
      {std::string("KORV\0ALIN", 9), false},
      {std::string("KORVALIN", 8), false},  // no NUL inside the field
  };
  for (const auto& [field, fits] : cases) {
    package::ImageTrailer trailer;
    trailer.szProductTag.assign(field.begin(), field.end());
    trailer.wTagLength = static_cast<WORD>(field.size());
    EXPECT_EQ(package::CheckProductTag(trailer), fits) << field;
  }
}

// What a package's blocks give; how each layout is told apart: the nbx verify tests.
package::BlockCheck Verify(const std::vector<BYTE>& file) {
  fakes::MemoryFiles files(file);
  const package::TrailerResult result = Read(files);
  EXPECT_EQ(result.verdict, Verdict::kAccepted);
  static package::BlockBuffer buffer;
  return package::VerifyImageBlocks(files, fakes::MemoryFiles::kHandle, result.trailer, buffer);
}

TEST(VerifyImageBlocks, StopsAtTheFirstFailingEntryInTableOrder) {
  std::vector<BYTE> payload = Bytes(4 * IMAGE_BLOCK_SIZE, 3);
  const WORD crc0 = package::Crc16(payload.data(), 16384);
  const WORD crc3 = package::Crc16(payload.data() + 3 * IMAGE_BLOCK_SIZE, 16384);
  EXPECT_EQ(Verify(WithTrailer(payload, {3, 0}, {crc3, crc0})).verdict, Verdict::kAccepted);

  const auto bad = Verify(WithTrailer(payload, {3, 0}, {static_cast<WORD>(crc3 ^ 1), crc0}));
  EXPECT_EQ(bad.verdict, Verdict::kCrcMismatch);
  EXPECT_EQ(bad.position, 0);
  EXPECT_EQ(bad.block, 3);
  EXPECT_EQ(bad.computed, crc3);

  const auto second = Verify(WithTrailer(payload, {3, 0}, {crc3, static_cast<WORD>(crc0 + 1)}));
  EXPECT_EQ(second.position, 1);
  EXPECT_EQ(second.block, 0);
}

}  // namespace
