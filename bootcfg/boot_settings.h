// The two blocks that the device's boot loader keeps: the 112-byte settings block and the
// 540-byte constants block (Bluetooth address, frequency offset, serial number).
#pragma once

#include <array>
#include <cstddef>

#include "platform/byte_order.h"
#include "platform/kernel.h"

namespace bootcfg {

using platform::BYTE;
using platform::DWORD;
using platform::WORD;

constexpr DWORD BOOT_SETTINGS_CHECKSUM_XOR = 0xFF0055AA;
constexpr double MAIN_LIMIT_RATIO = 0.8;
constexpr WORD BOOT_IMAGE_MAIN = 0;
constexpr WORD BOOT_IMAGE_RESCUE = 1;

// A field of a block: its type and its offset.
template <class T, std::size_t Offset>
struct Field {
  using Type = T;
  static constexpr std::size_t offset = Offset;
};

// Little-endian; all bytes but these fields belong to the boot loader and are carried through.
struct BootSettings {
  static constexpr Field<DWORD, 0> dwChecksum{};
  static constexpr Field<WORD, 42> wBootImage{};
  static constexpr Field<BYTE, 48> bClearedOnSelect{};
  static constexpr Field<WORD, 64> wMainLimitA{};
  static constexpr Field<DWORD, 72> dwRescueMaxSize{};
  static constexpr Field<DWORD, 76> dwMainLimitB{};

  std::array<BYTE, platform::kBootSettingsSize> bytes{};

  template <class T, std::size_t Offset>
  T get(Field<T, Offset>) const {
    return platform::LoadLittleEndian<T>(&bytes[Offset]);
  }
  template <class T, std::size_t Offset>
  void set(Field<T, Offset>, T value) {
    platform::StoreLittleEndian<T>(&bytes[Offset], value);
  }
};

struct ConstSettings {
  std::array<BYTE, platform::kConstSettingsSize> bytes{};
};

// (byte sum of the block with dwChecksum taken as 0) XOR BOOT_SETTINGS_CHECKSUM_XOR.
DWORD ComputeChecksum(const BootSettings& settings);
bool IsConsistent(const BootSettings& settings);

// The main image's size limit in bytes: (wMainLimitA / 0.8) * dwMainLimitB - dwRescueMaxSize,
// each step one double operation. On this device wMainLimitA is the BINFS partition's length in
// NAND blocks as the boot loader stores it (scaled by its 0.8 fill factor), dwMainLimitB the
// NAND block size in bytes, so the first two steps give the partition's length in bytes and the
// main image may use what the rescue region leaves. Inputs are unsigned; a result below 0 is 0
// and one beyond 32 bits is 0xFFFFFFFF.
DWORD MainImageLimit(WORD mainLimitA, DWORD mainLimitB, DWORD rescueMaxSize);

}  // namespace bootcfg
