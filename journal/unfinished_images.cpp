#include "journal/unfinished_images.h"

#include "journal/app_key.h"
#include "platform/byte_order.h"

namespace journal {

namespace {

using platform::BYTE;
using platform::DWORD;
using platform::LONG;

constexpr wchar_t kUnfinishedImages[] = L"UnfinishedImages";
constexpr DWORD kEveryImage = 3;

// One bit an image; nothing recorded when the value is missing.
LONG ReadMarks(platform::Registry& registry, DWORD& marks) {
  DWORD type = 0;
  std::vector<BYTE> data;
  const LONG result = ReadAppValue(registry, kUnfinishedImages, type, data);
  marks = 0;
  if (result == static_cast<LONG>(platform::kErrorFileNotFound))
    return platform::kErrorSuccess;
  if (result != static_cast<LONG>(platform::kErrorSuccess))
    return result;
  if (type != platform::kRegDword || data.size() != 4)
    return static_cast<LONG>(platform::kErrorInvalidData);
  marks = platform::LoadLittleEndian<DWORD>(data.data());
  return result;
}

bool SetMark(platform::Registry& registry, int image, bool unfinished) {
  DWORD marks = 0;
  LONG result = ReadMarks(registry, marks);
  if (result == static_cast<LONG>(platform::kErrorInvalidData)) {
    // A record that makes no sense says nothing is whole, until each image is finished again.
    marks = kEveryImage;
    result = platform::kErrorSuccess;
  }
  if (result == static_cast<LONG>(platform::kErrorSuccess)) {
    const DWORD bit = 1u << image;
    marks = unfinished ? marks | bit : marks & ~bit;
    std::vector<BYTE> data(4);
    platform::StoreLittleEndian(data.data(), marks);
    // With no mark left the value goes, as it was before any rewrite.
    result = marks ? StoreAppValue(registry, kUnfinishedImages, platform::kRegDword, data)
                   : RemoveAppValue(registry, kUnfinishedImages);
  }
  return platform::Took(result);
}

}  // namespace

bool MarkUnfinished(platform::Registry& registry, int image) {
  return SetMark(registry, image, true);
}

bool MarkFinished(platform::Registry& registry, int image) {
  return SetMark(registry, image, false);
}

bool MayBeUnfinished(platform::Registry& registry, int image) {
  DWORD marks = 0;
  return ReadMarks(registry, marks) != static_cast<LONG>(platform::kErrorSuccess) ||
         (marks & (1u << image)) != 0;
}

}  // namespace journal
