#include "tests/support/fakes.h"

#include <algorithm>
#include <cstring>

#include "platform/text/utf8.h"

namespace fakes {

using platform::kErrorGenFailure;
using platform::SetLastError;

Handle MemoryFiles::CreateFile(const std::wstring& path, DWORD, DWORD, DWORD, DWORD) {
  calls.push_back("CreateFile " + platform::ToUtf8(path));
  if (failing.count("CreateFile")) {
    SetLastError(kErrorGenFailure);
    return platform::kInvalidHandle;
  }
  open = true;
  position_ = 0;
  return kHandle;
}

bool MemoryFiles::ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) {
  calls.push_back("ReadFile " + std::to_string(toRead) + " @" + std::to_string(position_));
  *read = 0;
  if (file != kHandle || !open || failing.count("ReadFile")) {
    SetLastError(kErrorGenFailure);
    return false;
  }
  std::size_t n =
      position_ < content.size() ? std::min<std::size_t>(toRead, content.size() - position_) : 0;
  if (shortReads)
    n = std::min<std::size_t>(n, *shortReads);
  if (n)
    std::memcpy(buffer, content.data() + position_, n);
  position_ += n;
  *read = static_cast<DWORD>(n);
  return true;
}

DWORD MemoryFiles::SetFilePointer(Handle file, platform::LONG distance, DWORD method) {
  static const char* const names[] = {"begin", "current", "end"};
  calls.push_back("SetFilePointer " + std::to_string(distance) + " " + names[method % 3]);
  if (file != kHandle || !open || failing.count("SetFilePointer")) {
    SetLastError(kErrorGenFailure);
    return platform::kInvalidSetFilePointer;
  }
  const std::int64_t base = method == platform::kFileBegin ? 0
                            : method == platform::kFileCurrent
                                ? static_cast<std::int64_t>(position_)
                                : static_cast<std::int64_t>(content.size());
  if (base + distance < 0) {
    SetLastError(platform::kErrorNegativeSeek);
    return platform::kInvalidSetFilePointer;
  }
  position_ = static_cast<std::size_t>(base + distance);
  return static_cast<DWORD>(position_);
}

DWORD MemoryFiles::GetFileSize(Handle file, DWORD* high) {
  calls.push_back("GetFileSize");
  if (file != kHandle || !open || failing.count("GetFileSize")) {
    SetLastError(kErrorGenFailure);
    return platform::kInvalidFileSize;
  }
  if (high)
    *high = 0;
  return static_cast<DWORD>(content.size());
}

bool MemoryFiles::CloseHandle(Handle file) {
  calls.push_back("CloseHandle");
  if (file != kHandle || !open)
    return false;
  open = false;
  return true;
}

bool FakeKernel::KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                                 DWORD* returned) {
  requests.push_back({code, inSize, outSize, returned != nullptr});
  if (const auto it = failWith.find(code); it != failWith.end()) {
    SetLastError(it->second);
    return false;
  }
  const auto bytes = static_cast<const BYTE*>(in);
  const auto get = [&](const std::vector<BYTE>& block) {
    if (in || inSize || !out || outSize != block.size())
      return SetLastError(platform::kErrorInvalidParameter), false;
    std::memcpy(out, block.data(), block.size());
    if (returned)
      *returned = outSize;
    return true;
  };
  const auto set = [&](std::vector<BYTE>& block, std::size_t size) {
    if (out || outSize || !in || inSize != size)
      return SetLastError(platform::kErrorInvalidParameter), false;
    block.assign(bytes, bytes + inSize);
    return true;
  };
  switch (code) {
    case platform::IOCTL_HAL_GET_BOOT_SETTINGS:
      return get(settings);
    case platform::IOCTL_HAL_SET_BOOT_SETTINGS:
      return set(settings, platform::kBootSettingsSize);
    case platform::IOCTL_HAL_GET_CONSTANTS:
      return get(constants);
    case platform::IOCTL_HAL_SET_CONSTANTS:
      return set(constants, platform::kConstSettingsSize);
    case platform::IOCTL_HAL_WRITE_BOOTLOADER:
      return inSize ? set(bootLoader, inSize)
                    : (SetLastError(platform::kErrorInvalidParameter), false);
    default:
      SetLastError(platform::kErrorNotSupported);
      return false;
  }
}

platform::LONG FakeRegistry::RegOpenKeyEx(platform::HKEY root, const std::wstring& subKey, DWORD,
                                          DWORD, platform::HKEY* result) {
  calls.push_back(L"open " + subKey);
  if (root != platform::kHkeyLocalMachine || !keys.count(subKey))
    return platform::kErrorFileNotFound;
  next_ += 4;
  open_[next_] = subKey;
  *result = next_;
  ++openKeys;
  return platform::kErrorSuccess;
}

platform::LONG FakeRegistry::RegQueryValueEx(platform::HKEY key, const std::wstring& name,
                                             DWORD* type, BYTE* data, DWORD* size) {
  calls.push_back(L"query " + name + L" " + std::to_wstring(*size));
  const auto it = open_.find(key);
  if (it == open_.end())
    return platform::kErrorInvalidHandle;
  const auto& values = keys[it->second];
  const auto value = values.find(name);
  if (value == values.end())
    return platform::kErrorFileNotFound;
  if (type)
    *type = value->second.type;
  if (*size < value->second.data.size()) {
    *size = static_cast<DWORD>(value->second.data.size());
    return platform::kErrorMoreData;
  }
  std::memcpy(data, value->second.data.data(), value->second.data.size());
  *size = static_cast<DWORD>(value->second.data.size());
  return platform::kErrorSuccess;
}

platform::LONG FakeRegistry::RegSetValueEx(platform::HKEY key, const std::wstring& name, DWORD,
                                           DWORD type, const BYTE* data, DWORD size) {
  DWORD number = 0;
  std::memcpy(&number, data, std::min<DWORD>(size, 4));
  calls.push_back(L"set " + name + L" " + std::to_wstring(number));
  const auto it = open_.find(key);
  if (it == open_.end())
    return platform::kErrorInvalidHandle;
  if (failingSets.count(name))
    return platform::kErrorWriteFault;
  keys[it->second][name] = Value{type, std::vector<BYTE>(data, data + size)};
  return platform::kErrorSuccess;
}

platform::LONG FakeRegistry::RegDeleteValue(platform::HKEY key, const std::wstring& name) {
  calls.push_back(L"delete " + name);
  const auto it = open_.find(key);
  if (it == open_.end())
    return platform::kErrorInvalidHandle;
  return keys[it->second].erase(name) ? platform::kErrorSuccess : platform::kErrorFileNotFound;
}

platform::LONG FakeRegistry::RegCloseKey(platform::HKEY key) {
  calls.push_back(L"close");
  if (!open_.erase(key))
    return platform::kErrorInvalidHandle;
  --openKeys;
  return platform::kErrorSuccess;
}

Handle FakeEvents::OpenEvent(DWORD access, bool inherit, const std::wstring& name) {
  calls.push_back(L"open " + name + L" " + std::to_wstring(access) + (inherit ? L" inherit" : L""));
  if (!exists || name != L"PowerManager/ReloadActivityTimeouts") {
    SetLastError(platform::kErrorFileNotFound);
    return platform::kNullHandle;
  }
  ++openEvents;
  open_[++next_] = L"";
  return next_;
}

bool FakeEvents::EventModify(Handle event, DWORD function) {
  calls.push_back(L"modify " + std::to_wstring(function));
  const auto it = open_.find(event);
  return it != open_.end() && it->second.empty();
}

Handle FakeEvents::CreateMutex(bool, const std::wstring& name) {
  calls.push_back(L"mutex " + name);
  const bool held = std::any_of(open_.begin(), open_.end(),
                                [&name](const auto& entry) { return entry.second == name; });
  ++openEvents;
  open_[++next_] = name;
  SetLastError(held ? platform::kErrorAlreadyExists : platform::kErrorSuccess);
  return next_;
}

bool FakeEvents::CloseHandle(Handle event) {
  calls.push_back(L"close");
  if (!open_.erase(event)) {
    SetLastError(platform::kErrorInvalidHandle);
    return false;
  }
  --openEvents;
  return true;
}

}  // namespace fakes
