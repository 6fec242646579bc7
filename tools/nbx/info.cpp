// nbx info: the trailer and its blocks as the device reads them.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "platform/text/strings.h"
#include "tools/nbx/commands.h"
#include "tools/nbx/package_file.h"

namespace nbx {

namespace {

using nlohmann::json;
using package::IMAGE_BLOCK_SIZE;
using platform::BYTE;
using platform::DWORD;

std::string Hex(const BYTE* bytes, std::size_t size) {
  return platform::HexEncode(std::string_view(reinterpret_cast<const char*>(bytes), size));
}

// What the file tells: all of the trailer when it was read, else the sizes and counts.
json Describe(const Package& package) {
  const package::ImageTrailer& trailer = package.trailer();
  json info = {{"file_size", package.hostSize}};
  if (package.tooLarge())
    return info;
  if (package.check.fileSize >= 4) {
    info["block_count"] = trailer.wBlockCount;
    info["tag_length"] = trailer.wTagLength;
  }
  if (trailer.wBlockCount)
    info["trailer_size"] = trailer.size();
  if (!package.trailerRead())
    return info;
  json blocks = json::array();
  for (std::size_t i = 0; i < trailer.wBlockCount; ++i) {
    blocks.push_back({{"position", i},
                      {"block", trailer.wBlockIndex[i]},
                      {"offset", DWORD{trailer.wBlockIndex[i]} * IMAGE_BLOCK_SIZE},
                      {"crc", trailer.wBlockCrc[i]}});
  }
  info["payload_size"] = package.payload();
  info["tag"] = TagText(trailer);
  info["tag_hex"] = Hex(trailer.szProductTag.data(), trailer.szProductTag.size());
  info["tag_matches"] = package::CheckProductTag(trailer);
  info["reserved_hex"] = Hex(trailer.abReserved.data(), trailer.abReserved.size());
  info["blocks"] = blocks;
  return info;
}

void Print(const Package& package, const json& info) {
  const package::ImageTrailer& trailer = package.trailer();
  std::cout << "File      " << package.path << "\n"
            << "Size      F = " << package.hostSize << " bytes"
            << (package.tooLarge() ? " (4 GiB or more)" : "") << "\n";
  if (info.contains("payload_size"))
    std::cout << "Payload   P = " << package.payload() << " bytes\n";
  if (info.contains("trailer_size"))
    std::cout << "Trailer   T = " << trailer.size() << " bytes\n";
  if (!info.contains("block_count"))
    return;
  std::cout << "Blocks    N = " << trailer.wBlockCount << "\n"
            << "Tag       L = " << trailer.wTagLength;
  if (!info.contains("tag")) {
    std::cout << "\n";
    return;
  }
  std::cout << ", \"" << TagText(trailer) << "\" ("
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
}

}  // namespace

int Info(const std::string& path, bool asJson) {
  Package package;
  if (!Open(path, package))
    return kUnreadable;
  WarnAboutLayout(package);
  const json info = Describe(package);
  if (asJson) {
    std::cout << info.dump(2) << "\n";
  } else {
    Print(package, info);
  }
  if (package.trailerRead())
    return kOk;
  std::cerr << "nbx: " << package.path << ": " << Refusal(package) << "\n";
  return kRefused;
}

}  // namespace nbx
