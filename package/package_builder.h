// Making image packages, for the tools and the tests.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/image_trailer.h"

namespace package {

// The trailer bytes for the given tables, reserved bytes and tag field (the field as stored,
// NUL included when wanted). The tables must be of one length, at most 65535.
std::vector<BYTE> BuildTrailer(const std::vector<WORD>& blockIndex,
                               const std::vector<WORD>& blockCrc,
                               const std::array<BYTE, kReservedSize>& reserved,
                               const std::vector<BYTE>& tagField);

// The tag field for a tag: its characters and a NUL.
std::vector<BYTE> TagField(std::string_view tag);

struct PackOptions {
  std::string tag = kProductTag;
  std::array<BYTE, kReservedSize> reserved{};
  // Pad the image to whole blocks so that every byte of it is covered and no listed block
  // reaches into the trailer. Without it the last partial block is not listed.
  bool pad = true;
  BYTE padByte = 0xFF;
};

struct PackResult {
  std::vector<BYTE> bytes;  // the whole package
  DWORD payloadLength = 0;  // P, padding included
  DWORD padding = 0;        // bytes added to the image
  DWORD uncoveredFrom = 0;  // without padding: the first payload byte no block covers
  WORD blockCount = 0;      // N
};

// Packs an image: lists every whole 16 KiB block of the (padded) image with its CRC. Fails with
// a message when the image is empty, too large to list, or leaves no whole block to list.
std::optional<PackResult> PackImage(std::string_view image, const PackOptions& options,
                                    std::string& error);

}  // namespace package
