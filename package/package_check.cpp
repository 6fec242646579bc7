#include "package/package_check.h"

namespace package {

PackageCheck CheckTrailer(platform::Files& files, platform::Handle file) {
  TrailerResult read = ReadImageTrailer(files, file);
  PackageCheck check;
  check.fileSize = read.fileSize;
  check.trailer = std::move(read.trailer);
  switch (read.status) {
    case TrailerStatus::kRead:
      break;
    case TrailerStatus::kNoBlocks:
      check.verdict = Verdict::kNoBlocks;
      return check;
    case TrailerStatus::kTooLong:
      check.verdict = Verdict::kTrailerTooLong;
      return check;
    case TrailerStatus::kUnreadable:
      check.verdict = Verdict::kUnreadable;
      return check;
  }
  if (!CheckProductTag(check.trailer)) {
    check.verdict = Verdict::kWrongTag;
  } else if (check.payload() == 0) {
    check.verdict = Verdict::kEmptyPayload;
  } else {
    check.verdict = Verdict::kAccepted;
  }
  return check;
}

void CheckBlocks(platform::Files& files, platform::Handle file, PackageCheck& check,
                 BlockBuffer& buffer) {
  const BlockCheck blocks = VerifyImageBlocks(files, file, check.trailer, buffer);
  check.position = blocks.position;
  check.block = blocks.block;
  check.computed = blocks.computed;
  switch (blocks.status) {
    case BlockCheck::Status::kPassed:
      check.verdict = Verdict::kAccepted;
      break;
    case BlockCheck::Status::kCrcMismatch:
      check.verdict = Verdict::kCrcMismatch;
      break;
    case BlockCheck::Status::kUnreadable:
      check.verdict = Verdict::kUnreadable;
      break;
  }
}

PackageCheck CheckPackage(platform::Files& files, platform::Handle file, BlockBuffer& buffer) {
  PackageCheck check = CheckTrailer(files, file);
  if (check.verdict == Verdict::kAccepted)
    CheckBlocks(files, file, check, buffer);
  return check;
}

}  // namespace package
