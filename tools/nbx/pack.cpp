// nbx pack: an image followed by a trailer that lists its blocks.
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "package/package_builder.h"
#include "platform/host/host.h"
#include "platform/text/strings.h"
#include "tools/nbx/commands.h"
#include "tools/nbx/package_file.h"

namespace nbx {

namespace {

using package::BYTE;

// The reserved bytes from up to 17 pairs of hex digits.
bool ParseReserved(const std::string& hex, std::array<BYTE, package::kReservedSize>& reserved) {
  std::string bytes;
  if (hex.size() > std::size_t{2} * package::kReservedSize || !platform::HexDecode(hex, bytes))
    return false;
  std::copy(bytes.begin(), bytes.end(), reserved.begin());
  return true;
}

}  // namespace

int Pack(const std::string& input, const std::string& output, const std::string& tag,
         const std::string& reservedHex, bool exact) {
  package::PackOptions options;
  options.tag = tag;
  options.pad = !exact;
  if (!ParseReserved(reservedHex, options.reserved)) {
    std::cerr << "nbx: --reserved takes up to 17 bytes as pairs of hex digits, not '" << reservedHex
              << "'\n";
    return 2;
  }
  std::string image;
  // The arguments are UTF-8, which a path takes as such only when told (and bytes on Linux).
  const std::filesystem::path from = std::filesystem::u8path(input);
  const std::filesystem::path to = std::filesystem::u8path(output);
  const std::string shownFrom = platform::host::Shown(from), shownTo = platform::host::Shown(to);
  if (!platform::host::ReadWholeFile(from, image)) {
    std::cerr << "nbx: cannot read " << shownFrom << ": " << Reason() << "\n";
    return 1;
  }
  std::string error;
  const auto packed = package::PackImage(image, options, error);
  if (!packed) {
    std::cerr << "nbx: " << shownFrom << ": " << error << "\n";
    return 1;
  }
  if (!platform::host::ReplaceFile(
          to, std::string_view(reinterpret_cast<const char*>(packed->bytes.data()),
                               packed->bytes.size()))) {
    std::cerr << "nbx: cannot write " << shownTo << ": " << Reason() << "\n";
    return 1;
  }
  std::cout << "Packed " << shownFrom << " (" << image.size() << " bytes) into " << shownTo << ": "
            << packed->blockCount << " block(s) of " << package::IMAGE_BLOCK_SIZE
            << " bytes listed, payload " << packed->payloadLength << " bytes, package "
            << packed->bytes.size() << " bytes, tag \"" << tag << "\".\n";
  if (packed->padding) {
    std::cout
        << "Padded the image with " << packed->padding
        << " bytes of 0xFF to whole blocks, so that every image byte is covered and no listed "
           "block reaches into the trailer.\n";
  }
  if (packed->uncoveredFrom < packed->payloadLength) {
    std::cout << "Not covered by any block: the last "
              << packed->payloadLength - packed->uncoveredFrom << " bytes of the image (offsets "
              << packed->uncoveredFrom << " to " << packed->payloadLength - 1 << ").\n";
  }
  return 0;
}

}  // namespace nbx
