// CRC-16/XMODEM: polynomial 0x1021, initial value 0, not reflected, no final XOR.
#pragma once

#include "platform/types.h"

namespace package {

// The CRC of count bytes, computed bit by bit without a lookup table.
platform::WORD Crc16(const platform::BYTE* bytes, platform::WORD count);

}  // namespace package
