#include "platform/sim/sim_devices.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <functional>

#include "platform/files.h"
#include "platform/host/host.h"
#include "platform/sim/state_file.h"
#include "platform/text/strings.h"

namespace platform::sim {

namespace {

const char* const kImageNames[2] = {"main", "rescue"};
constexpr std::uint64_t kLargestHeader = std::uint64_t{64} * 1024;

bool Refuse(DWORD error) {
  SetLastError(error);
  return false;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return LowerCase(a) == LowerCase(b);
}

}  // namespace

bool LoadBinfsHeader(const DevicePaths& paths, BinfsHeader& header) {
  nlohmann::json document;
  std::string error;
  if (!ReadStateFile(paths.imageHeaders(), kLargestHeader, document, error) ||
      !document.is_object()) {
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    header.length[i].reset();
    const auto it = document.find(kImageNames[i]);
    if (it == document.end() || !it->is_object())
      return false;
    const nlohmann::json& length = it->value("length", nlohmann::json());
    if (length.is_number_unsigned() && length.get<std::uint64_t>() <= 0xFFFFFFFFu) {
      header.length[i] = length.get<DWORD>();
    } else if (!length.is_null()) {
      return false;
    }
  }
  return true;
}

bool SaveBinfsHeader(const DevicePaths& paths, const BinfsHeader& header) {
  nlohmann::json document = nlohmann::json::object();
  for (int i = 0; i < 2; ++i) {
    document[kImageNames[i]] = {
        {"length", header.length[i] ? nlohmann::json(*header.length[i]) : nlohmann::json()}};
  }
  return WriteStateFile(paths.imageHeaders(), document);
}

SimDevices::SimDevices(const DevicePaths& paths, const BinfsLayout& layout, SimRegistry& registry,
                       FaultInjector& faults)
    : paths_(paths), layout_(layout), registry_(registry), faults_(faults) {}

Handle SimDevices::ActivateDevice(const std::wstring& registryPath, DWORD /*context*/) {
  if (const auto error = faults_.Enter("ActivateDevice"))
    return Refuse(*error), kNullHandle;
  const auto dll = registry_.Get(registryPath, L"Dll");
  const auto prefix = registry_.Get(registryPath, L"Prefix");
  const auto index = registry_.Get(registryPath, L"Index");
  if (!registry_.HasKey(registryPath) || !dll || !prefix) {
    return Refuse(kErrorFileNotFound), kNullHandle;
  }
  // bindrv.dll is the only driver this device carries.
  if (!SameName(ValueText(*dll), L"bindrv.dll"))
    return Refuse(kErrorFileNotFound), kNullHandle;
  const std::wstring streamName =
      ValueText(*prefix) + std::to_wstring(index ? ValueDword(*index).value_or(1) : 1) + L":";
  auto user = host::LockFile(paths_.driverLock(), true, false);
  if (!user)
    return Refuse(GetLastError() == kErrorSharingViolation ? kErrorDeviceInUse : kErrorGenFailure),
           kNullHandle;
  return drivers_.Add(std::make_unique<Driver>(Driver{streamName, std::move(user)}));
}

bool SimDevices::DeactivateDevice(Handle driver) {
  if (const auto error = faults_.Enter("DeactivateDevice"))
    return Refuse(*error);
  if (!drivers_.Remove(driver))
    return Refuse(kErrorInvalidHandle);
  return true;
}

Handle SimDevices::CreateFile(const std::wstring& name, DWORD /*access*/, DWORD shareMode,
                              DWORD creation, DWORD /*attributes*/) {
  if (const auto error = faults_.Enter("CreateFile"))
    return Refuse(*error), kInvalidHandle;
  if (creation != kOpenExisting)
    return Refuse(kErrorInvalidParameter), kInvalidHandle;
  for (const auto& [handle, driver] : drivers_.entries()) {
    if (!SameName(driver->streamName, name))
      continue;
    for (const auto& [streamHandle, stream] : streams_.entries()) {
      if (stream->driver == handle && shareMode == 0)
        return Refuse(kErrorSharingViolation), kInvalidHandle;
    }
    return streams_.Add(std::make_unique<Stream>(Stream{handle, std::nullopt, 0}));
  }
  return Refuse(kErrorFileNotFound), kInvalidHandle;
}

SimDevices::Stream* SimDevices::FindStream(Handle device) {
  Stream* stream = streams_.Find(device);
  if (!stream)
    return Refuse(kErrorInvalidHandle), nullptr;
  // A stream outlives its driver only as a dead handle.
  if (!drivers_.Find(stream->driver))
    return Refuse(kErrorNotReady), nullptr;
  return stream;
}

bool SimDevices::DeviceIoControl(Handle device, DWORD code, const void* in, DWORD inSize, void* out,
                                 DWORD outSize, DWORD* returned) {
  if (const auto error = faults_.Enter("DeviceIoControl", code))
    return Refuse(*error);
  if (returned)
    *returned = 0;
  Stream* stream = FindStream(device);
  if (!stream)
    return false;
  if ((!in && inSize) || (!out && outSize))
    return Refuse(kErrorInvalidParameter);
  switch (code) {
    case BIN_IOCTL_GET_SECTOR_SIZE:
      if (inSize != 0 || outSize != 4)
        return Refuse(kErrorInvalidParameter);
      std::memcpy(out, &layout_.sectorSize, 4);
      if (returned)
        *returned = 4;
      return true;
    case BIN_IOCTL_SELECT_IMAGE:
      return SelectImage(*stream, in, inSize, outSize);
    case BIN_IOCTL_UPDATE_HEADER:
      return UpdateHeader(*stream, in, inSize, outSize);
    default:
      return Refuse(kErrorInvalidParameter);
  }
}

bool SimDevices::SelectImage(Stream& stream, const void* in, DWORD inSize, DWORD outSize) {
  if (inSize != 1 || outSize != 0)
    return Refuse(kErrorInvalidParameter);
  const BYTE which = *static_cast<const BYTE*>(in);
  if (which > 1)
    return Refuse(kErrorInvalidParameter);
  // The header stops naming a length before the old image is overwritten, so an interrupted
  // rewrite is never taken for a whole image.
  const bool emptied = ChangeHeader([&](BinfsHeader& header) {
    header.length[which].reset();
    return SaveBinfsHeader(paths_, header) && host::ReplaceFile(paths_.image(which), {});
  });
  if (!emptied)
    return false;
  stream.image = which;
  stream.written = 0;
  return true;
}

bool SimDevices::UpdateHeader(Stream& stream, const void* in, DWORD inSize, DWORD outSize) {
  if (inSize != 4 || outSize != 0)
    return Refuse(kErrorInvalidParameter);
  if (!stream.image)
    return Refuse(kErrorNotReady);
  DWORD length = 0;
  std::memcpy(&length, in, 4);
  if (length > layout_.regionSize[*stream.image])
    return Refuse(kErrorInvalidParameter);
  return ChangeHeader([&](BinfsHeader& header) {
    header.length[*stream.image] = length;
    return SaveBinfsHeader(paths_, header);
  });
}

bool SimDevices::ChangeHeader(const std::function<bool(BinfsHeader&)>& change) {
  const auto lock = LockForChange(paths_);
  if (!lock)
    return Refuse(kErrorWriteFault);
  BinfsHeader header;
  if (!LoadBinfsHeader(paths_, header))
    return Refuse(kErrorReadFault);
  return change(header) || Refuse(kErrorWriteFault);
}

bool SimDevices::WriteFile(Handle device, const void* buffer, DWORD toWrite, DWORD* written) {
  if (const auto error = faults_.Enter("WriteFile"))
    return Refuse(*error);
  if (written)
    *written = 0;
  Stream* stream = FindStream(device);
  if (!stream)
    return false;
  if (!buffer && toWrite)
    return Refuse(kErrorInvalidParameter);
  if (!stream->image)
    return Refuse(kErrorNotReady);
  const int image = *stream->image;
  if (toWrite > layout_.regionSize[image] - stream->written)
    return Refuse(kErrorDiskFull);
  if (toWrite && !host::AppendToFile(paths_.image(image), buffer, toWrite))
    return Refuse(kErrorWriteFault);
  if (layout_.writeDelayMs)
    host::Pause(layout_.writeDelayMs);
  stream->written += toWrite;
  if (written)
    *written = toWrite;
  return true;
}

bool SimDevices::CloseHandle(Handle device) {
  if (const auto error = faults_.Enter("CloseHandle"))
    return Refuse(*error);
  if (!streams_.Remove(device))
    return Refuse(kErrorInvalidHandle);
  return true;
}

}  // namespace platform::sim
