// The device's byte order: records and packages store multi-byte values little-endian.
#pragma once

#include <cstddef>
#include <type_traits>

#include "platform/types.h"

namespace platform {

template <class T>
T LoadLittleEndian(const BYTE* bytes) {
  static_assert(std::is_unsigned_v<T>);
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    value |= static_cast<T>(T{bytes[i]} << (8 * i));
  return value;
}

template <class T>
void StoreLittleEndian(BYTE* bytes, T value) {
  static_assert(std::is_unsigned_v<T>);
  for (std::size_t i = 0; i < sizeof(T); ++i)
    bytes[i] = static_cast<BYTE>(value >> (8 * i));
}

}  // namespace platform
