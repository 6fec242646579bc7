#include "platform/host/host.h"

#include "platform/text/strings.h"
#include "platform/text/utf8.h"

namespace platform::host {

Below Below::Of(const std::filesystem::path& path) {
  return {path.parent_path(), path.filename()};
}

bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes) {
  return ReplaceFile(Below::Of(path), bytes);
}

namespace {

bool ReadAll(std::unique_ptr<ReadOnlyFile> opened, std::string& bytes, std::uint64_t limit) {
  if (!opened)
    return false;
  const std::int64_t size = opened->Size();
  if (size < 0)
    return false;
  if (static_cast<std::uint64_t>(size) > limit) {
    return Failed(kErrorFileTooLarge,
                  std::to_string(size) + " bytes, over the limit of " + std::to_string(limit));
  }
  bytes.resize(static_cast<std::size_t>(size));
  DWORD read = 0;
  if (!opened->Read(bytes.data(), static_cast<DWORD>(size), &read))
    return false;
  bytes.resize(read);
  return true;
}

}  // namespace

bool ReadWholeFile(const Below& file, std::string& bytes, std::uint64_t limit) {
  return ReadAll(OpenForReading(file), bytes, limit);
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::uint64_t limit) {
  return ReadAll(OpenForReading(path), bytes, limit);
}

std::string Shown(const std::filesystem::path& path) {
#ifdef _WIN32
  return Escaped(ToUtf8(path.wstring()));
#else
  return Escaped(path.native());
#endif
}

}  // namespace platform::host
