// The application's own registry key, under HKEY_LOCAL_MACHINE: what it writes down there
// outlives a power cut, so that the next start knows what a cut run left.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace journal {

// Opens the key, making it first when make is set. The registry's code: kErrorFileNotFound
// when it is missing and not made.
platform::LONG OpenAppKey(platform::Registry& registry, bool make, platform::ScopedKey& key);

// Reads a value of the key whole into data; the registry's code (kErrorFileNotFound when the key
// or the value is missing).
platform::LONG ReadAppValue(platform::Registry& registry, const std::wstring& name,
                            platform::DWORD& type, std::vector<platform::BYTE>& data);

// Stores the value and returns once a power cut can no longer take it; or, when data is null,
// removes it (a removal that a power cut undoes is only done again). The registry's code.
platform::LONG WriteAppValue(platform::Registry& registry, const std::wstring& name,
                             platform::DWORD type, const std::vector<platform::BYTE>* data);

}  // namespace journal
