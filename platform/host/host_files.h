// Files backed by files of the host machine. Subclasses decide which host file a path names.
#pragma once

#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/host/handle_table.h"
#include "platform/host/host.h"

namespace platform {

class HostFilesBase : public Files {
 public:
  Handle CreateFile(const std::wstring& path, DWORD access, DWORD shareMode, DWORD creation,
                    DWORD attributes) override;
  bool ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) override;
  DWORD SetFilePointer(Handle file, LONG distance, DWORD method) override;
  DWORD GetFileSize(Handle file, DWORD* high) override;
  bool CloseHandle(Handle file) override;

  std::size_t openCount() const { return open_.size(); }

 protected:
  // A handle for a file opened otherwise.
  Handle Adopt(std::unique_ptr<host::ReadOnlyFile> file);
  // Opens the host file that path names; null with the last error set when it cannot.
  virtual std::unique_ptr<host::ReadOnlyFile> OpenPath(const std::wstring& path,
                                                       host::Share share) = 0;

 private:
  HandleTable<host::ReadOnlyFile> open_;
};

// Paths are host paths (UTF-8 on Linux).
class HostFiles final : public HostFilesBase {
 public:
  // Opens a path as the host names it, bytes on Linux: a name that is no text too.
  Handle Open(const std::filesystem::path& path, DWORD shareMode);

 protected:
  std::unique_ptr<host::ReadOnlyFile> OpenPath(const std::wstring& path,
                                               host::Share share) override;
};

}  // namespace platform
