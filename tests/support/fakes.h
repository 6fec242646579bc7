// Hand-written fakes of the platform's services: each records what it was asked, in order, and
// can be told to fail.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/debuglog.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/registry.h"

namespace fakes {

using platform::BYTE;
using platform::DWORD;
using platform::Handle;

// Every text printed, in order.
class RecordingLog final : public platform::DebugLog {
 public:
  void Print(std::wstring_view text) override { lines.emplace_back(text); }
  std::vector<std::wstring> lines;
};

// One file held in memory. Calls named in failing fail with error kErrorGenFailure;
// shortReads makes every read deliver at most that many bytes.
class MemoryFiles final : public platform::Files {
 public:
  // The file starts open as kHandle, so that tests may read it without opening it.
  explicit MemoryFiles(std::vector<BYTE> bytes = {}) : content(std::move(bytes)) {}

  Handle CreateFile(const std::wstring& path, DWORD access, DWORD shareMode, DWORD creation,
                    DWORD attributes) override;
  bool ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) override;
  DWORD SetFilePointer(Handle file, platform::LONG distance, DWORD method) override;
  DWORD GetFileSize(Handle file, DWORD* high) override;
  bool CloseHandle(Handle file) override;

  static constexpr Handle kHandle = 0x40;
  std::vector<BYTE> content;
  std::set<std::string> failing;
  std::optional<DWORD> shortReads;
  std::vector<std::string> calls;  // "ReadFile 16384 @49152", "SetFilePointer -4 end", ...
  bool open = true;

 private:
  std::size_t position_ = 0;
};

// The HAL's five requests over two in-memory blocks and a boot-loader store; a block travels
// only in a buffer of its exact size.
class FakeKernel final : public platform::Kernel {
 public:
  bool KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned) override;

  struct Request {
    DWORD code;
    DWORD inSize;
    DWORD outSize;
    bool hasReturned;
  };
  std::vector<Request> requests;
  std::map<DWORD, DWORD> failWith;  // request code -> last error
  std::vector<BYTE> settings = std::vector<BYTE>(platform::kBootSettingsSize);
  std::vector<BYTE> constants = std::vector<BYTE>(platform::kConstSettingsSize);
  std::vector<BYTE> bootLoader;
};

// A registry of DWORD-ish values below HKEY_LOCAL_MACHINE.
class FakeRegistry final : public platform::Registry {
 public:
  platform::LONG RegOpenKeyEx(platform::HKEY root, const std::wstring& subKey, DWORD options,
                              DWORD access, platform::HKEY* result) override;
  platform::LONG RegQueryValueEx(platform::HKEY key, const std::wstring& name, DWORD* type,
                                 BYTE* data, DWORD* size) override;
  platform::LONG RegSetValueEx(platform::HKEY key, const std::wstring& name, DWORD reserved,
                               DWORD type, const BYTE* data, DWORD size) override;
  platform::LONG RegDeleteValue(platform::HKEY key, const std::wstring& name) override;
  platform::LONG RegCloseKey(platform::HKEY key) override;

  struct Value {
    DWORD type;
    std::vector<BYTE> data;
  };
  std::map<std::wstring, std::map<std::wstring, Value>> keys;  // by exact path
  std::vector<std::wstring>
      calls;  // L"open SYSTEM\\...", L"query ACUserIdle 4", L"set ...", L"delete ...", L"close"
  std::set<std::wstring> failingSets;
  int openKeys = 0;

 private:
  std::map<Handle, std::wstring> open_;
  Handle next_ = 0x100;
};

// The power manager's reload event (when it exists) and named mutexes.
class FakeEvents final : public platform::Events {
 public:
  Handle OpenEvent(DWORD access, bool inherit, const std::wstring& name) override;
  bool EventModify(Handle event, DWORD function) override;
  Handle CreateMutex(bool initialOwner, const std::wstring& name) override;
  bool CloseHandle(Handle object) override;

  bool exists = true;
  std::vector<std::wstring> calls;
  int openEvents = 0;  // handles not closed, events and mutexes

 private:
  std::map<Handle, std::wstring> open_;  // a mutex by its name, an event by an empty one
  Handle next_ = 0x70;
};

}  // namespace fakes
