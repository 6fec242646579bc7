// The application's own registry key, under HKEY_LOCAL_MACHINE: what it writes down there
// outlives a power cut, so that the next start knows what a cut run left.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace journal {

// Reads a value of the key whole into data; the registry's code (kErrorFileNotFound when the key
// or the value is missing).
platform::LONG ReadAppValue(platform::Registry& registry, const std::wstring& name,
                            platform::DWORD& type, std::vector<platform::BYTE>& data);

// Stores the value, making the key when missing, and returns once a power cut can no longer take
// it. The registry's code.
platform::LONG StoreAppValue(platform::Registry& registry, const std::wstring& name,
                             platform::DWORD type, const std::vector<platform::BYTE>& data);

// Removes the value; one already missing is no failure (a removal that a power cut undoes is
// only done again). The registry's code.
platform::LONG RemoveAppValue(platform::Registry& registry, const std::wstring& name);

}  // namespace journal
