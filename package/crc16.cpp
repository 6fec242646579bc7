#include "package/crc16.h"

#include <cstdint>

namespace package {

platform::WORD Crc16(const platform::BYTE* bytes, platform::WORD count) {
  // The register sits in the top half of 32 bits, so that its top bit is the sign bit: one
  // arithmetic shift turns it into the mask for the polynomial, with no branch and no masking.
  constexpr std::uint32_t kPolynomial = 0x1021u << 16;
  std::uint32_t crc = 0;
  for (platform::WORD i = 0; i < count; ++i) {
    crc ^= static_cast<std::uint32_t>(bytes[i]) << 24;
    for (int bit = 0; bit < 8; ++bit) {
      const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(crc) >> 31);
      crc = (crc << 1) ^ (kPolynomial & mask);
    }
  }
  return static_cast<platform::WORD>(crc >> 16);
}

}  // namespace package
