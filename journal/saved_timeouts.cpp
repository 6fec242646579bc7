#include "journal/saved_timeouts.h"

#include "journal/app_key.h"
#include "platform/byte_order.h"

namespace journal {

namespace {

using platform::BYTE;
using platform::DWORD;
using platform::kErrorSuccess;
using platform::LONG;
using power::TimeoutValue;

constexpr wchar_t kSavedTimeouts[] = L"SavedTimeouts";

// Each value in order: what was found (1 byte), its type (4 bytes) and its length (2 bytes), all
// little-endian, then its data.
std::vector<BYTE> Encode(const power::PowerTimeouts& record) {
  std::vector<BYTE> bytes;
  for (const TimeoutValue& value : record.values) {
    BYTE head[7];
    head[0] = static_cast<BYTE>(value.found);
    platform::StoreLittleEndian<DWORD>(head + 1, value.type);
    platform::StoreLittleEndian<platform::WORD>(head + 5,
                                                static_cast<platform::WORD>(value.data.size()));
    bytes.insert(bytes.end(), head, head + sizeof head);
    bytes.insert(bytes.end(), value.data.begin(), value.data.end());
  }
  return bytes;
}

bool Decode(const std::vector<BYTE>& bytes, power::PowerTimeouts& record) {
  std::size_t at = 0;
  for (TimeoutValue& value : record.values) {
    if (bytes.size() - at < 7 || bytes[at] > static_cast<BYTE>(TimeoutValue::Found::kUnreadable))
      return false;
    value.found = static_cast<TimeoutValue::Found>(bytes[at]);
    value.type = platform::LoadLittleEndian<DWORD>(&bytes[at + 1]);
    const std::size_t size = platform::LoadLittleEndian<platform::WORD>(&bytes[at + 5]);
    at += 7;
    if (bytes.size() - at < size)
      return false;
    value.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
  }
  return at == bytes.size();
}

}  // namespace

bool SaveTimeouts(platform::Registry& registry, const power::PowerTimeouts& record) {
  const std::vector<BYTE> bytes = Encode(record);
  const LONG saved = StoreAppValue(registry, kSavedTimeouts, platform::kRegBinary, bytes);
  // A copy that may not outlive a power cut must not be taken for one by the next run.
  if (saved != static_cast<LONG>(kErrorSuccess))
    RemoveAppValue(registry, kSavedTimeouts);
  return platform::Took(saved);
}

bool TimeoutsWaiting(platform::Registry& registry) {
  DWORD type = 0;
  std::vector<BYTE> bytes;
  return ReadAppValue(registry, kSavedTimeouts, type, bytes) !=
         static_cast<LONG>(platform::kErrorFileNotFound);
}

bool PutBackTimeouts(platform::Registry& registry, platform::Events& events,
                     platform::DebugLog& log, const power::PowerTimeouts& record) {
  return power::WritePowerTimeouts(registry, events, log, record) &&
         platform::Took(RemoveAppValue(registry, kSavedTimeouts));
}

bool PutBackInterruptedTimeouts(platform::Registry& registry, platform::Events& events,
                                platform::DebugLog& log) {
  DWORD type = 0;
  std::vector<BYTE> bytes;
  const LONG read = ReadAppValue(registry, kSavedTimeouts, type, bytes);
  if (read == static_cast<LONG>(platform::kErrorFileNotFound))
    return true;
  power::PowerTimeouts record;
  if (!platform::Took(read))
    return false;
  if (type != platform::kRegBinary || !Decode(bytes, record)) {
    platform::SetLastError(platform::kErrorInvalidData);
    return false;
  }
  platform::NKDbgPrintfW(log, L"restore timeouts saved by an interrupted update\r\n");
  return PutBackTimeouts(registry, events, log, record);
}

}  // namespace journal
