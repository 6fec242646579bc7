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
using package::TrailerStatus;
using package::WORD;
using Status = package::BlockCheck::Status;

std::vector<BYTE> Bytes(std::size_t size, unsigned seed) {
  std::vector<BYTE> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<BYTE>((i * 131 + seed) >> 3);
  return bytes;
}

WORD CrcOf(const std::vector<BYTE>& file, std::size_t begin, std::size_t count) {
  return package::Crc16(file.data() + begin, static_cast<WORD>(count));
}

std::vector<BYTE> WithTrailer(std::vector<BYTE> payload, const std::vector<WORD>& index,
                              const std::vector<WORD>& crc,
                              const std::vector<BYTE>& tag = package::TagField("KORVALIN")) {
  const std::vector<BYTE> trailer = package::BuildTrailer(index, crc, {}, tag);
  payload.insert(payload.end(), trailer.begin(), trailer.end());
  return payload;
}

package::TrailerResult Read(fakes::MemoryFiles& files) {
  return package::ReadImageTrailer(files, fakes::MemoryFiles::kHandle);
}

TEST(ReadImageTrailer, RefusesNoBlocksWithoutReadingFurther) {
  const std::string size = "GetFileSize", seek = "SetFilePointer -4 end";
  const std::pair<std::vector<BYTE>, std::vector<std::string>> cases[] = {
      {{}, {size}},
      {{1, 2, 3}, {size}},
      {{7, 7, 7, 0, 0, 9, 0}, {size, seek, "ReadFile 2 @3", "ReadFile 2 @5"}},  // N = 0, L = 9
      {{0, 0, 0xFF, 0xFF}, {size, seek, "ReadFile 2 @0", "ReadFile 2 @2"}},     // L = 65535
  };
  for (const auto& [file, calls] : cases) {
    fakes::MemoryFiles files(file);
    EXPECT_EQ(Read(files).status, TrailerStatus::kNoBlocks) << file.size();
    EXPECT_EQ(files.calls, calls);
  }
}

TEST(ReadImageTrailer, ReadsEachFieldFromTheEndBackwards) {
  // N = 1, L = 9: a 34-byte trailer whose one block number stands at F - 34.
  const std::vector<BYTE> file = WithTrailer(Bytes(100, 1), {0x0203}, {0xBEEF});
  ASSERT_EQ(file.size(), 134u);
  EXPECT_EQ(file[100], 0x03);
  EXPECT_EQ(file[101], 0x02);
  fakes::MemoryFiles files(file);
  const package::TrailerResult result = Read(files);
  ASSERT_EQ(result.status, TrailerStatus::kRead);
  EXPECT_EQ(result.fileSize, 134u);
  EXPECT_EQ(result.trailer.size(), 34u);
  EXPECT_EQ(result.trailer.wBlockIndex, std::vector<WORD>{0x0203});
  EXPECT_EQ(result.trailer.wBlockCrc, std::vector<WORD>{0xBEEF});
  EXPECT_EQ(files.calls, (std::vector<std::string>{
                             "GetFileSize", "SetFilePointer -4 end", "ReadFile 2 @130",
                             "ReadFile 2 @132", "SetFilePointer -34 end", "ReadFile 2 @100",
                             "ReadFile 2 @102", "ReadFile 17 @104", "ReadFile 9 @121"}));
}

TEST(ReadImageTrailer, RefusesMalformedTrailers) {
  using Case = std::tuple<const char*, std::vector<BYTE>, std::optional<platform::DWORD>,
                          const char*, TrailerStatus>;
  const std::vector<BYTE> valid = WithTrailer(Bytes(50, 2), {0, 1}, {1, 2});
  const std::vector<BYTE> nine =
      WithTrailer(Bytes(50, 2), std::vector<WORD>(9, 1), std::vector<WORD>(9, 2));
  std::vector<BYTE> tooLong = valid;
  tooLong[tooLong.size() - 4] = 0xFF;              // N = 255: T = 1041 > F
  std::vector<BYTE> hugeTag = {1, 0, 0xFF, 0xFF};  // N = 1, L = 65535 in a 4-byte file
  const std::vector<Case> cases = {
      {"T larger than F", tooLong, std::nullopt, "", TrailerStatus::kTooLong},
      {"huge L", hugeTag, std::nullopt, "", TrailerStatus::kTooLong},
      {"T = F: read, its empty payload is for the check to refuse",
       package::BuildTrailer({0}, {0}, {}, package::TagField("KORVALIN")), std::nullopt, "",
       TrailerStatus::kRead},
      {"short reads", valid, 1, "", TrailerStatus::kUnreadable},
      // Nine entries: each table takes 18 bytes, more than any other field.
      {"a short read of the tables", nine, 17, "", TrailerStatus::kUnreadable},
      {"size unknown", valid, std::nullopt, "GetFileSize", TrailerStatus::kUnreadable},
      {"seek fails", valid, std::nullopt, "SetFilePointer", TrailerStatus::kUnreadable},
      {"read fails", valid, std::nullopt, "ReadFile", TrailerStatus::kUnreadable},
  };
  for (const auto& [name, file, shortReads, failing, expected] : cases) {
    fakes::MemoryFiles files(file);
    files.shortReads = shortReads;
    if (*failing)
      files.failing.insert(failing);
    EXPECT_EQ(Read(files).status, expected) << name;
  }
}

TEST(CheckProductTag, ComparesWithinTheFieldUpToItsNul) {
  const std::pair<std::string, bool> cases[] = {
      // the stored bytes; whether they fit
      {std::string("KORVALIN\0", 9), true},
      {std::string("KORVALIN\0garbage", 16), true},
      {std::string("KORVALI1\0", 9), false},
      {std::string("korvalin\0", 9), false},
      {std::string("KORVALINX\0", 10), false},
      {std::string("KORV\0ALIN", 9), false},
      {std::string("KORVALIN", 8), false},  // no NUL inside the field
      {std::string("", 0), false},
  };
  for (const auto& [field, fits] : cases) {
    package::ImageTrailer trailer;
    trailer.szProductTag.assign(field.begin(), field.end());
    trailer.wTagLength = static_cast<WORD>(field.size());
    EXPECT_EQ(package::CheckProductTag(trailer), fits) << field;
  }
}

struct Verified {
  package::BlockCheck check;
  std::vector<std::string> calls;
};

Verified Verify(const std::vector<BYTE>& file, const char* failing = "") {
  fakes::MemoryFiles files(file);
  const package::TrailerResult result = Read(files);
  EXPECT_EQ(result.status, TrailerStatus::kRead);
  files.calls.clear();
  if (*failing)
    files.failing.insert(failing);
  static package::BlockBuffer buffer;
  return {package::VerifyImageBlocks(files, fakes::MemoryFiles::kHandle, result.trailer, buffer),
          files.calls};
}

TEST(VerifyImageBlocks, StopsAtTheFirstFailingEntryInTableOrder) {
  std::vector<BYTE> payload = Bytes(4 * IMAGE_BLOCK_SIZE, 3);
  const WORD crc0 = CrcOf(payload, 0, IMAGE_BLOCK_SIZE);
  const WORD crc3 = CrcOf(payload, 3 * IMAGE_BLOCK_SIZE, IMAGE_BLOCK_SIZE);
  const Verified good = Verify(WithTrailer(payload, {3, 0}, {crc3, crc0}));
  EXPECT_EQ(good.check.status, Status::kPassed);

  const Verified bad = Verify(WithTrailer(payload, {3, 0}, {static_cast<WORD>(crc3 ^ 1), crc0}));
  EXPECT_EQ(bad.check.status, Status::kCrcMismatch);
  EXPECT_EQ(bad.check.position, 0);
  EXPECT_EQ(bad.check.block, 3);
  EXPECT_EQ(bad.check.computed, crc3);
  // Block 0 is never read.
  EXPECT_EQ(bad.calls,
            (std::vector<std::string>{"SetFilePointer 49152 begin", "ReadFile 16384 @49152"}));

  const Verified second = Verify(WithTrailer(payload, {3, 0}, {crc3, static_cast<WORD>(crc0 + 1)}));
  EXPECT_EQ(second.check.position, 1);
  EXPECT_EQ(second.check.block, 0);
}

TEST(VerifyImageBlocks, CoversExactlyTheBytesTheFileHolds) {
  // A 40,000-byte file listing block 2: its CRC is that of the last 7,232 bytes, trailer included.
  std::vector<BYTE> file = WithTrailer(Bytes(40000 - 34, 4), {2}, {0});
  ASSERT_EQ(file.size(), 40000u);
  const Verified tail = Verify(file);
  EXPECT_EQ(tail.check.status, Status::kCrcMismatch);
  EXPECT_EQ(tail.check.computed, CrcOf(file, 32768, 7232));

  // A block that starts beyond the end delivers nothing: it passes only with CRC 0.
  for (const auto& [block, crc, status] : {std::tuple{WORD{9}, WORD{0}, Status::kPassed},
                                           {WORD{9}, WORD{1}, Status::kCrcMismatch},
                                           {WORD{0xFFFF}, WORD{0}, Status::kPassed}})
    EXPECT_EQ(Verify(WithTrailer(Bytes(100, 5), {block}, {crc})).check.status, status) << block;
}

TEST(VerifyImageBlocks, AFailedReadIsNeverTakenForAnEmptyBlock) {
  const std::vector<BYTE> file = WithTrailer(Bytes(100, 5), {9}, {0});
  EXPECT_EQ(Verify(file, "ReadFile").check.status, Status::kUnreadable);
  EXPECT_EQ(Verify(file, "SetFilePointer").check.status, Status::kUnreadable);
}

TEST(PackImage, ListsEveryBlockAndPadsUnlessAskedNotTo) {
  std::string error;
  const std::string image(2 * IMAGE_BLOCK_SIZE + 100, 'x');
  const auto padded = package::PackImage(image, {}, error);
  ASSERT_TRUE(padded) << error;
  EXPECT_EQ(padded->blockCount, 3);
  EXPECT_EQ(padded->padding, IMAGE_BLOCK_SIZE - 100);
  EXPECT_EQ(padded->payloadLength, 3 * IMAGE_BLOCK_SIZE);
  EXPECT_EQ(padded->bytes.size(), 3 * IMAGE_BLOCK_SIZE + 4 * 3 + 9 + 21);
  EXPECT_EQ(padded->bytes[2 * IMAGE_BLOCK_SIZE + 100], 0xFF);
  EXPECT_EQ(Verify(padded->bytes).check.status, Status::kPassed);

  package::PackOptions exact;
  exact.pad = false;
  const auto unpadded = package::PackImage(image, exact, error);
  ASSERT_TRUE(unpadded);
  EXPECT_EQ(unpadded->blockCount, 2);
  EXPECT_EQ(unpadded->uncoveredFrom, 2 * IMAGE_BLOCK_SIZE);
  EXPECT_EQ(unpadded->payloadLength, image.size());
  EXPECT_EQ(Verify(unpadded->bytes).check.status, Status::kPassed);

  EXPECT_FALSE(package::PackImage("", {}, error));
  EXPECT_FALSE(package::PackImage("short", exact, error));
}

}  // namespace
