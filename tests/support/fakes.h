// What the tests use where no device is at hand: a file held in memory, and a debug log that
// keeps every text. Everything else the core meets is the simulated device (tests/e2e).
#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/debuglog.h"
#include "platform/files.h"

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

// One file held in memory. Reads, seeks and size queries named in failing fail with error
// kErrorGenFailure; shortReads makes every read deliver at most that many bytes.
class MemoryFiles final : public platform::Files {
 public:
  // The file starts open as kHandle, so that tests may read it without opening it.
  explicit MemoryFiles(std::vector<BYTE> bytes = {}) : content(std::move(bytes)) {}

  // Any path names the one file.
  Handle CreateFile(const std::wstring&, DWORD, DWORD, DWORD, DWORD) override {
    open = true;
    position_ = 0;
    return kHandle;
  }
  bool ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) override {
    *read = 0;
    if (!Serves("ReadFile", file))
      return false;
    std::size_t n = content.size() - std::min(position_, content.size());
    n = std::min<std::size_t>({n, toRead, shortReads.value_or(toRead)});
    if (n)
      std::memcpy(buffer, content.data() + position_, n);
    position_ += n;
    *read = static_cast<DWORD>(n);
    return true;
  }
  DWORD SetFilePointer(Handle file, platform::LONG distance, DWORD method) override {
    if (!Serves("SetFilePointer", file))
      return platform::kInvalidSetFilePointer;
    const std::size_t bases[] = {0, position_, content.size()};
    const std::int64_t target = static_cast<std::int64_t>(bases[method % 3]) + distance;
    if (target < 0) {
      platform::SetLastError(platform::kErrorNegativeSeek);
      return platform::kInvalidSetFilePointer;
    }
    position_ = static_cast<std::size_t>(target);
    return static_cast<DWORD>(position_);
  }
  DWORD GetFileSize(Handle file, DWORD* high) override {
    if (!Serves("GetFileSize", file))
      return platform::kInvalidFileSize;
    if (high)
      *high = 0;
    return static_cast<DWORD>(content.size());
  }
  bool CloseHandle(Handle file) override { return file == kHandle && std::exchange(open, false); }

  static constexpr Handle kHandle = 0x40;
  std::vector<BYTE> content;
  std::set<std::string> failing;
  std::optional<DWORD> shortReads;
  bool open = true;

 private:
  // False, with the last error set, when the call must fail.
  bool Serves(const std::string& call, Handle file) {
    if (file == kHandle && open && !failing.count(call))
      return true;
    platform::SetLastError(platform::kErrorGenFailure);
    return false;
  }
  std::size_t position_ = 0;
};

}  // namespace fakes
