#include "package/package_builder.h"

#include "package/crc16.h"
#include "platform/byte_order.h"

namespace package {

namespace {
constexpr DWORD kMaxBlocks = 65535;

void Append(std::vector<BYTE>& out, WORD value) {
  BYTE bytes[2];
  platform::StoreLittleEndian(bytes, value);
  out.insert(out.end(), bytes, bytes + 2);
}
}  // namespace

std::vector<BYTE> BuildTrailer(const std::vector<WORD>& blockIndex,
                               const std::vector<WORD>& blockCrc,
                               const std::array<BYTE, kReservedSize>& reserved,
                               const std::vector<BYTE>& tagField) {
  std::vector<BYTE> out;
  out.reserve(4 * blockIndex.size() + tagField.size() + 21);
  for (const WORD block : blockIndex)
    Append(out, block);
  for (const WORD crc : blockCrc)
    Append(out, crc);
  out.insert(out.end(), reserved.begin(), reserved.end());
  out.insert(out.end(), tagField.begin(), tagField.end());
  Append(out, static_cast<WORD>(blockIndex.size()));
  Append(out, static_cast<WORD>(tagField.size()));
  return out;
}

std::vector<BYTE> TagField(std::string_view tag) {
  std::vector<BYTE> field(tag.begin(), tag.end());
  field.push_back(0);
  return field;
}

std::optional<PackResult> PackImage(std::string_view image, const PackOptions& options,
                                    std::string& error) {
  if (image.empty()) {
    error = "the image is empty: there is no block to list";
    return std::nullopt;
  }
  if (options.tag.size() + 1 > 0xFFFF) {
    error = "the tag is longer than 65534 characters";
    return std::nullopt;
  }
  const std::size_t tail = image.size() % IMAGE_BLOCK_SIZE;
  const std::size_t padding = options.pad && tail ? IMAGE_BLOCK_SIZE - tail : 0;
  const std::size_t payload = image.size() + padding;
  const std::size_t blocks = payload / IMAGE_BLOCK_SIZE;
  if (blocks > kMaxBlocks) {
    error = "the image is larger than the 65535 blocks of 16 KiB that a trailer can list";
    return std::nullopt;
  }
  if (blocks == 0) {
    error = "the image is shorter than one block of 16384 bytes: pad it to list a block";
    return std::nullopt;
  }
  PackResult result;
  result.bytes.reserve(payload + 4 * blocks + options.tag.size() + 22);
  result.bytes.assign(image.begin(), image.end());
  result.bytes.resize(payload, options.padByte);
  std::vector<WORD> index(blocks);
  std::vector<WORD> crc(blocks);
  for (std::size_t k = 0; k < blocks; ++k) {
    index[k] = static_cast<WORD>(k);
    crc[k] = Crc16(&result.bytes[k * IMAGE_BLOCK_SIZE], static_cast<WORD>(IMAGE_BLOCK_SIZE));
  }
  const std::vector<BYTE> trailer =
      BuildTrailer(index, crc, options.reserved, TagField(options.tag));
  if (payload + trailer.size() > 0xFFFFFFFFu) {
    error = "the package would be larger than 4 GiB";
    return std::nullopt;
  }
  result.bytes.insert(result.bytes.end(), trailer.begin(), trailer.end());
  result.payloadLength = static_cast<DWORD>(payload);
  result.padding = static_cast<DWORD>(padding);
  result.uncoveredFrom = static_cast<DWORD>(blocks * IMAGE_BLOCK_SIZE);
  result.blockCount = static_cast<WORD>(blocks);
  return result;
}

}  // namespace package
