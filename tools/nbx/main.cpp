// nbx: make, inspect and verify image packages.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "package/image_trailer.h"
#include "package/package_builder.h"
#include "platform/host.h"
#include "platform/host_files.h"
#include "platform/text.h"

namespace {

using nlohmann::json;
using package::BYTE;
using package::DWORD;
using package::IMAGE_BLOCK_SIZE;
using package::ImageTrailer;

// Exit codes of info and verify.
constexpr int kPassed = 0;
constexpr int kFailed = 1;
constexpr int kUnreadable = 2;

std::string Hex(const BYTE* bytes, std::size_t size) {
  std::string text;
  char digits[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
    text += digits;
  }
  return text;
}

std::string Hex16(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

// The tag as text: up to the first NUL, other bytes escaped.
std::string TagText(const ImageTrailer& trailer) {
  std::string text;
  for (const BYTE b : trailer.szProductTag) {
    if (b == 0)
      break;
    if (b >= 32 && b < 127 && b != '\\') {
      text += static_cast<char>(b);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      text += escaped;
    }
  }
  return text;
}

// A package file open for reading, with its trailer.
struct OpenPackage {
  platform::HostFiles files;
  platform::ScopedFile file;
  package::TrailerResult result;
};

// Opens the package and reads its trailer; prints why not and returns false when it cannot, or
// when the trailer is malformed.
bool Open(const std::string& path, OpenPackage& package) {
  platform::HostFiles& files = package.files;
  platform::ScopedFile& file = package.file;
  package::TrailerResult& result = package.result;
  const platform::Handle handle =
      files.CreateFile(platform::FromUtf8(path), platform::kGenericRead, 1, platform::kOpenExisting,
                       platform::kFileAttributeNormal);
  if (handle == platform::kInvalidHandle) {
    std::cerr << "nbx: cannot open " << path << " (error " << platform::GetLastError() << ")\n";
    return false;
  }
  file = platform::ScopedFile(files, handle);
  result = package::ReadImageTrailer(files, file.get());
  switch (result.status) {
    case package::TrailerStatus::kRead:
      if (std::find(result.trailer.szProductTag.begin(), result.trailer.szProductTag.end(), 0) ==
          result.trailer.szProductTag.end()) {
        std::cerr << "nbx: " << path << ": the tag field (L = " << result.trailer.wTagLength
                  << ") holds no NUL: the trailer is malformed\n";
        return false;
      }
      // The device would check such a block over no image byte at all; a package writer never
      // lists one, so the trailer is garbled.
      for (std::size_t i = 0; i < result.trailer.wBlockCount; ++i) {
        const DWORD offset = DWORD{result.trailer.wBlockIndex[i]} * IMAGE_BLOCK_SIZE;
        if (offset >= result.fileSize - result.trailer.size()) {
          std::cerr << "nbx: " << path << ": block " << result.trailer.wBlockIndex[i]
                    << " at position " << i << " starts at offset " << offset
                    << ", past the image's " << result.fileSize - result.trailer.size()
                    << " bytes: the trailer is malformed\n";
          return false;
        }
      }
      return true;
    case package::TrailerStatus::kNoBlocks:
      std::cerr << "nbx: " << path << ": the trailer lists no block (N = 0"
                << (result.fileSize < 4 ? ", the file is too short to hold one" : "") << ")\n";
      return false;
    case package::TrailerStatus::kTooLong:
      std::cerr << "nbx: " << path << ": the trailer claims " << result.trailer.size()
                << " bytes (N = " << result.trailer.wBlockCount
                << ", L = " << result.trailer.wTagLength << ") but the file has only "
                << result.fileSize << "\n";
      return false;
    case package::TrailerStatus::kUnreadable:
      break;
  }
  std::cerr << "nbx: " << path << ": cannot read the trailer (error " << platform::GetLastError()
            << ")\n";
  return false;
}

int Pack(const std::string& input, const std::string& output, const std::string& tag,
         const std::string& reservedHex, bool exact) {
  package::PackOptions options;
  options.tag = tag;
  options.pad = !exact;
  if (reservedHex.size() > 2 * package::kReservedSize || reservedHex.size() % 2) {
    std::cerr << "nbx: --reserved takes up to 17 bytes as an even number of hex digits\n";
    return 2;
  }
  for (std::size_t i = 0; i < reservedHex.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(reservedHex.c_str() + i, "%2x", &value) != 1 ||
        !std::isxdigit(static_cast<unsigned char>(reservedHex[i])) ||
        !std::isxdigit(static_cast<unsigned char>(reservedHex[i + 1]))) {
      std::cerr << "nbx: --reserved: '" << reservedHex << "' is not hex\n";
      return 2;
    }
    options.reserved[i / 2] = static_cast<BYTE>(value);
  }
  std::string image;
  if (!platform::host::ReadWholeFile(input, image)) {
    std::cerr << "nbx: cannot read " << input << "\n";
    return 1;
  }
  std::string error;
  const auto packed = package::PackImage(image, options, error);
  if (!packed) {
    std::cerr << "nbx: " << input << ": " << error << "\n";
    return 1;
  }
  if (!platform::host::ReplaceFile(
          output, std::string_view(reinterpret_cast<const char*>(packed->bytes.data()),
                                   packed->bytes.size()))) {
    std::cerr << "nbx: cannot write " << output << "\n";
    return 1;
  }
  std::cout << "Packed " << input << " (" << image.size() << " bytes) into " << output << ": "
            << packed->blockCount << " block(s) of " << IMAGE_BLOCK_SIZE
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

int Info(const std::string& path, bool asJson) {
  OpenPackage opened;
  if (!Open(path, opened))
    return kUnreadable;
  const package::TrailerResult& result = opened.result;
  const ImageTrailer& trailer = result.trailer;
  const DWORD payload = result.fileSize - trailer.size();
  json blocks = json::array();
  for (std::size_t i = 0; i < trailer.wBlockCount; ++i) {
    blocks.push_back({{"position", i},
                      {"block", trailer.wBlockIndex[i]},
                      {"offset", DWORD{trailer.wBlockIndex[i]} * IMAGE_BLOCK_SIZE},
                      {"crc", trailer.wBlockCrc[i]}});
  }
  const json info = {{"file_size", result.fileSize},
                     {"payload_size", payload},
                     {"trailer_size", trailer.size()},
                     {"block_count", trailer.wBlockCount},
                     {"tag_length", trailer.wTagLength},
                     {"tag", TagText(trailer)},
                     {"tag_hex", Hex(trailer.szProductTag.data(), trailer.szProductTag.size())},
                     {"tag_matches", package::CheckProductTag(trailer)},
                     {"reserved_hex", Hex(trailer.abReserved.data(), trailer.abReserved.size())},
                     {"blocks", blocks}};
  if (asJson) {
    std::cout << info.dump(2) << "\n";
    return kPassed;
  }
  std::cout << "File      " << path << "\n"
            << "Size      F = " << result.fileSize << " bytes\n"
            << "Payload   P = " << payload << " bytes\n"
            << "Trailer   T = " << trailer.size() << " bytes\n"
            << "Blocks    N = " << trailer.wBlockCount << "\n"
            << "Tag       L = " << trailer.wTagLength << ", \"" << TagText(trailer) << "\" ("
            << (info["tag_matches"].get<bool>() ? "fits" : "does not fit") << " this product)\n"
            << "Reserved  " << info["reserved_hex"].get<std::string>() << "\n"
            << "Position  Block  Offset      CRC\n";
  for (std::size_t i = 0; i < trailer.wBlockCount; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%8zu  %5u  %10u  %s\n", i, trailer.wBlockIndex[i],
                  DWORD{trailer.wBlockIndex[i]} * IMAGE_BLOCK_SIZE,
                  Hex16(trailer.wBlockCrc[i]).c_str());
    std::cout << line;
  }
  return kPassed;
}

int Verify(const std::string& path) {
  OpenPackage opened;
  if (!Open(path, opened))
    return kUnreadable;
  const package::TrailerResult& result = opened.result;
  const ImageTrailer& trailer = result.trailer;
  if (!package::CheckProductTag(trailer)) {
    std::cout << path << ": FAILED: the tag is \"" << TagText(trailer) << "\", not \""
              << package::kProductTag << "\"\n";
    return kFailed;
  }
  static package::BlockBuffer buffer;
  const package::BlockCheck check =
      package::VerifyImageBlocks(opened.files, opened.file.get(), trailer, buffer);
  const DWORD offset = DWORD{check.block} * IMAGE_BLOCK_SIZE;
  switch (check.status) {
    case package::BlockCheck::Status::kPassed:
      std::cout << path << ": OK: tag \"" << package::kProductTag << "\", " << trailer.wBlockCount
                << " block(s) agree with their CRC\n";
      return kPassed;
    case package::BlockCheck::Status::kCrcMismatch:
      std::cout << path << ": FAILED: CRC error at position " << check.position << ", block "
                << check.block << " (offset " << offset << "): computed " << Hex16(check.computed)
                << ", listed " << Hex16(trailer.wBlockCrc[check.position]) << "\n";
      return kFailed;
    case package::BlockCheck::Status::kUnreadable:
      break;
  }
  std::cerr << "nbx: " << path << ": cannot read block " << check.block << " at position "
            << check.position << " (error " << platform::GetLastError() << ")\n";
  return kUnreadable;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"nbx: make, inspect and verify Tessaron image packages (Eboot*.nbX)"};
  app.require_subcommand(1);

  std::string input;
  std::string output;
  std::string tag = package::kProductTag;
  std::string reserved;
  bool exact = false;
  auto* pack = app.add_subcommand(
      "pack", "Append a trailer that lists every 16 KiB block of IMAGE with its CRC-16");
  pack->add_option("IMAGE", input, "Image file")->required();
  pack->add_option("-o,--output", output, "Package file to write")->required();
  pack->add_option("--tag", tag, "Product tag")->capture_default_str();
  pack->add_option("--reserved", reserved, "The 17 reserved bytes, as hex (default zeros)");
  pack->add_flag("--exact", exact,
                 "Keep the image as it is, without padding to whole blocks; the bytes after the "
                 "last whole block are then not covered");

  bool asJson = false;
  auto* info = app.add_subcommand(
      "info",
      "Show a package's trailer (exit 2 when it cannot be read or is malformed, as for verify)");
  info->add_option("FILE", input, "Package file")->required();
  info->add_flag("--json", asJson, "Print JSON");

  auto* verify = app.add_subcommand(
      "verify",
      "Check the tag and every listed block's CRC: exit 0 when all agree; 1 when the tag differs "
      "or at the first block whose CRC differs (its position and number are printed); 2 when the "
      "file cannot be read or its trailer is malformed (no block listed, longer than the file, a "
      "tag field without its NUL, or a block that starts past the image)");
  verify->add_option("FILE", input, "Package file")->required();

  CLI11_PARSE(app, argc, argv);
  if (pack->parsed())
    return Pack(input, output, tag, reserved, exact);
  if (info->parsed())
    return Info(input, asJson);
  return Verify(input);
}
