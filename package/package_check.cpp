#include "package/package_check.h"

namespace package {

PackageCheck CheckTrailer(platform::Files& files, platform::Handle file) {
  TrailerResult read = ReadImageTrailer(files, file);
  PackageCheck check;
  check.verdict = read.verdict;
  check.fileSize = read.fileSize;
  check.trailer = std::move(read.trailer);
  if (check.verdict != Verdict::kAccepted)
    return check;
  if (!CheckProductTag(check.trailer)) {
    check.verdict = Verdict::kWrongTag;
  } else if (check.payload() == 0) {
    check.verdict = Verdict::kEmptyPayload;
  }
  return check;
}

void CheckBlocks(platform::Files& files, platform::Handle file, PackageCheck& check,
                 BlockBuffer& buffer) {
  const BlockCheck blocks = VerifyImageBlocks(files, file, check.trailer, buffer);
  check.verdict = blocks.verdict;
  check.position = blocks.position;
  check.block = blocks.block;
  check.computed = blocks.computed;
}

PackageCheck CheckPackage(platform::Files& files, platform::Handle file, BlockBuffer& buffer) {
  PackageCheck check = CheckTrailer(files, file);
  if (check.verdict == Verdict::kAccepted)
    CheckBlocks(files, file, check, buffer);
  return check;
}

}  // namespace package
