#include "platform/host/host.h"

namespace platform::host {

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  auto file = OpenForReading(path);
  if (!file)
    return false;
  const std::int64_t size = file->Size();
  if (size < 0 || size > 0xFFFFFFFFLL)
    return false;
  bytes.resize(static_cast<std::size_t>(size));
  DWORD read = 0;
  if (!file->Read(bytes.data(), static_cast<DWORD>(size), &read))
    return false;
  bytes.resize(read);
  return true;
}

}  // namespace platform::host
