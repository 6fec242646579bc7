// The core, or the whole application answered from a queue, over a fresh simulated device with
// the default contents and samples, in a folder of its own: each run begins with an empty debug
// log and an empty call trace, and a fault is armed by the name the trace gives its call.
#pragma once

#include "app/update_app.h"
#include "package/crc16.h"
#include "package/package_builder.h"
#include "platform/host/host.h"
#include "platform/sim/sim_debug_log.h"
#include "resources/resources.h"
#include "tests/support/device_fixture.h"
#include "tests/support/recording_frontend.h"
#include "tools/devsim/report.h"

namespace e2e {

// The five HAL requests, as the trace names them.
inline const std::string kGetSettings = "KernelIoControl:0x01010420",
                         kSetSettings = "KernelIoControl:0x01010424",
                         kGetConstants = "KernelIoControl:0x0101041C",
                         kSetConstants = "KernelIoControl:0x01010418",
                         kWriteBootLoader = "KernelIoControl:0x01010428";

// The image packed exactly, its short last block listed by no entry: how a package most often
// reaches the device.
inline std::vector<platform::BYTE> PackExactly(const std::string& image,
                                               const char* tag = package::kProductTag) {
  package::PackOptions options;
  options.pad = false;
  options.tag = tag;
  std::string error;
  const auto packed = package::PackImage(image, options, error);
  EXPECT_TRUE(packed) << error;
  return packed ? packed->bytes : std::vector<platform::BYTE>{};
}

// A trailer listing these blocks with these CRCs, under the product's tag or another.
inline std::vector<platform::BYTE> Trailer(const std::vector<platform::WORD>& index,
                                           const std::vector<platform::WORD>& crcs,
                                           const char* tag = package::kProductTag) {
  return package::BuildTrailer(index, crcs, {}, package::TagField(tag));
}

// Four blocks listed 3, 0, 1, 2 with block 1 spoiled: the check fails at the entry in position 2.
inline std::vector<platform::BYTE> SpoiledPackage() {
  const std::string image = tools::SampleImage("spoiled", 4 * 16384);
  std::vector<platform::BYTE> bytes(image.begin(), image.end());
  std::vector<platform::WORD> crcs;
  for (const int block : {3, 0, 1, 2})
    crcs.push_back(package::Crc16(bytes.data() + block * 16384, 16384));
  bytes[16384 + 99] ^= 0x04;
  const std::vector<platform::BYTE> trailer = Trailer({3, 0, 1, 2}, crcs);
  bytes.insert(bytes.end(), trailer.begin(), trailer.end());
  return bytes;
}

// Makes path a sparse file of size bytes: head, a hole, and the trailer at its end.
inline void PutSparse(const std::filesystem::path& path, const std::string& head,
                      const std::vector<platform::BYTE>& trailer, std::uint64_t size) {
  std::ofstream(path, std::ios::binary) << head;
  std::filesystem::resize_file(path, size - trailer.size());
  std::ofstream(path, std::ios::binary | std::ios::app)
      .write(reinterpret_cast<const char*>(trailer.data()),
             static_cast<std::streamsize>(trailer.size()));
}

// Writes a host file whole, making its folder.
inline void PutFile(const std::filesystem::path& path, const std::vector<platform::BYTE>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  ASSERT_TRUE(platform::host::ReplaceFile(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
      << path;
}

// Which occurrence of its name the call trace[at] is, counted from 1: the nth that Fail takes to
// meet that very call in a run that makes the same calls.
inline unsigned Occurrence(const std::vector<std::string>& trace, std::size_t at) {
  return static_cast<unsigned>(std::count(trace.begin(), trace.begin() + at + 1, trace[at]));
}

class CoreTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = NewFolder("device", base_);
    std::string error;
    ASSERT_TRUE(tools::CreateDevice(dir_, options_, error)) << error;
    Reopen();
    device_->faults().RecordCalls(true);
  }
  void TearDown() override {
    device_.reset();
    std::filesystem::remove_all(dir_);
  }
  // Opens the device afresh from its folder, as the next program would.
  void Reopen() {
    device_.reset();
    std::string error;
    device_ = platform::sim::Device::Open(dir_, error);
    ASSERT_TRUE(device_) << error;
  }
  // The device's services, over other files when given.
  app::Services Services(platform::Files* files = nullptr) const {
    return {files ? *files : device_->files(),
            device_->registry(),
            device_->events(),
            device_->devices(),
            device_->kernel(),
            device_->log()};
  }
  // Runs the application once with this front end, over the device's files or others.
  void RunApp(platform::ui::ModelFrontend& frontend, platform::Files* files = nullptr) {
    platform::ui::UiContext ui{frontend, resources::AppResources()};
    app::Services services = Services(files);
    app::CUpdateApp(ui, services).InitInstance();
  }
  // Runs the application once, answered from the queue, then by fallback; returns what was shown.
  std::vector<std::wstring> RunApp(std::deque<std::wstring> answers, std::wstring fallback = L"",
                                   platform::Files* files = nullptr) {
    frontend_ = std::make_unique<fakes::RecordingFrontend>(std::move(answers));
    frontend_->fallback = std::move(fallback);
    RunApp(*frontend_, files);
    return frontend_->shown;
  }
  std::vector<std::wstring> Log() const {
    std::vector<std::wstring> lines;
    EXPECT_TRUE(platform::sim::ReadDebugLog(device_->paths().debugLog(), lines));
    return lines;
  }
  void PutDeviceFile(const std::string& path, const std::vector<platform::BYTE>& bytes) const {
    PutFile(dir_ / "fs" / path, bytes);
  }
  nlohmann::json State() const { return tools::DescribeDevice(*device_); }
  // The device as the next program finds it, with a new debug log and a new trace.
  void NewRun() {
    std::filesystem::remove(device_->paths().debugLog().path());
    Reopen();
    device_->faults().RecordCalls(true);
  }
  // The nth call named target from now on fails with error.
  void Fail(const std::string& target, platform::DWORD error, unsigned nth = 1) {
    Arm(target, nth, error, false);
  }
  // The process dies at the nth call named target from now on, as when the power is cut.
  void PowerCut(const std::string& target, unsigned nth) {
    Arm(target, nth, platform::kErrorGenFailure, true);
  }
  // The calls of this run whose names begin with prefix.
  std::vector<std::string> Calls(const std::string& prefix = "") const {
    std::vector<std::string> calls;
    for (const std::string& call : device_->faults().trace()) {
      if (call.rfind(prefix, 0) == 0)
        calls.push_back(call);
    }
    return calls;
  }
  static std::vector<platform::BYTE> Bytes(const std::filesystem::path& file) {
    std::string bytes;
    EXPECT_TRUE(platform::host::ReadWholeFile(file, bytes)) << file;
    return {bytes.begin(), bytes.end()};
  }
  std::vector<platform::BYTE> Settings() const { return Bytes(device_->paths().settings().path()); }
  void PutSettings(const std::vector<platform::BYTE>& bytes) const {
    PutFile(device_->paths().settings().path(), bytes);
  }

  tools::DeviceOptions options_;
  std::filesystem::path base_ = testing::TempDir();  // where the device's folder is made
  std::filesystem::path dir_;
  std::unique_ptr<platform::sim::Device> device_;
  std::unique_ptr<fakes::RecordingFrontend> frontend_;

 private:
  void Arm(const std::string& target, unsigned nth, platform::DWORD error, bool powerCut) {
    platform::sim::Fault fault;
    std::string message;
    ASSERT_TRUE(platform::sim::ParseFaultTarget(target, fault, message)) << message;
    fault.nth = nth;
    fault.error = error;
    fault.powerCut = powerCut;
    ASSERT_TRUE(device_->faults().Arm(fault));
  }
};

}  // namespace e2e
