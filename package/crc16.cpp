#include "package/crc16.h"

#include <cstdint>

namespace package {

platform::WORD Crc16(const platform::BYTE* bytes, platform::WORD count) {
  // Branch-free shifts on a 32-bit register, so that the compiler unrolls the bit loop.
  std::uint32_t crc = 0;
  for (platform::WORD i = 0; i < count; ++i) {
    crc ^= static_cast<std::uint32_t>(bytes[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) {
      const std::uint32_t top = (crc >> 15) & 1u;
      crc = (crc << 1) ^ (0x1021u & (0u - top));
    }
    crc &= 0xFFFFu;
  }
  return static_cast<platform::WORD>(crc);
}

}  // namespace package
