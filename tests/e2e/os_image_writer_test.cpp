// The OS image writer on the simulated device: what reaches the partition, the boot selection
// around a main-image write, the progress shown, and every line of every failure.
#include <gtest/gtest.h>

#include <fstream>

#include "package/package_builder.h"
#include "platform/sim/sim_debug_log.h"
#include "tests/e2e/device_fixture.h"
#include "tools/devsim/report.h"
#include "writers/os_image_writer.h"

namespace {

using namespace platform;
namespace sim = platform::sim;

class RecordingProgress final : public writers::Progress {
 public:
  void InitProgress(int total) override {
    total_ = total;
    shown.push_back(0);
  }
  void UpdateProgress(int block) override { shown.push_back(block * 100 / total_); }
  void Repaint() override { ++repaints; }
  std::vector<int> shown;
  int repaints = 0;

 private:
  int total_ = 1;
};

class OsImageWriterTest : public e2e::DeviceTest {
 protected:
  // Puts a package into the device's file system.
  void Put(const std::vector<BYTE>& package) {
    std::ofstream(dir_ / "fs" / "Storage" / "Eboot.nbX", std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()),
               static_cast<std::streamsize>(package.size()));
  }
  std::vector<BYTE> Pack(std::size_t imageSize, bool pad = false, const char* tag = "KORVALIN") {
    package::PackOptions options;
    options.pad = pad;
    options.tag = tag;
    std::string error;
    image_ = tools::SampleImage("writer test", imageSize);
    const auto packed = package::PackImage(image_, options, error);
    EXPECT_TRUE(packed) << error;
    return packed ? packed->bytes : std::vector<BYTE>{};
  }
  void Arm(const std::string& target, unsigned nth = 1, DWORD error = 1117) {
    sim::Fault fault;
    std::string message;
    ASSERT_TRUE(sim::ParseFaultTarget(target, fault, message)) << message;
    fault.nth = nth;
    fault.error = error;
    ASSERT_TRUE(device_->faults().Arm(fault));
  }
  int Write(BYTE rescue) {
    Files& files = device_->files();
    ScopedFile file(files,
                    files.CreateFile(L"\\Storage\\Eboot.nbX", kGenericRead, 0, kOpenExisting, 0));
    EXPECT_TRUE(file.valid());
    bootcfg::BootConfig bootConfig(device_->kernel(), device_->log());
    return writers::WriteOsImage({files, device_->devices(), bootConfig, device_->log()},
                                 file.get(), progress_, rescue);
  }
  std::vector<std::wstring> Log() {
    std::vector<std::wstring> lines;
    EXPECT_TRUE(sim::ReadDebugLog(device_->paths().debugLog(), lines));
    return lines;
  }
  std::string Image(int which) {
    std::string bytes;
    host::ReadWholeFile(device_->paths().image(which), bytes);
    return bytes;
  }
  nlohmann::json State() { return tools::DescribeDevice(*device_); }

  std::string image_;
  RecordingProgress progress_;
};

const std::vector<std::wstring> kWritten = {L"Varnel_Quorvane : Before setting new config\r\n",
                                            L"Writing image to flash complete.\r\n",
                                            L"Varnel_Quorvane : Before driver desactivation\r\n"};

TEST_F(OsImageWriterTest, WritesExactlyThePayloadWhateverItsLength) {
  struct Case {
    std::size_t image;
    std::vector<int> progress;
  };
  // Whole blocks; a short tail (the last chunk is shorter); less than one block.
  const std::vector<Case> cases = {{5 * 16384, {0, 0, 20, 40, 60, 80}},
                                   {2 * 16384 + 100, {0, 0, 33, 66}},
                                   {16384 + 5000, {0, 0, 50}}};
  for (const Case& c : cases) {
    progress_ = {};
    const std::vector<BYTE> package = Pack(c.image);
    Put(package);
    device_->faults().RecordCalls(true);
    ASSERT_EQ(Write(0), 1) << c.image;
    EXPECT_EQ(Image(0), image_);
    const nlohmann::json state = State();
    EXPECT_EQ(state["main"]["length"], c.image);
    EXPECT_TRUE(state["main"]["whole"]);
    EXPECT_EQ(state["boot_image"], 0);
    EXPECT_EQ(progress_.shown, c.progress);
    EXPECT_EQ(progress_.repaints, static_cast<int>(c.progress.size()) - 1);
    EXPECT_TRUE(device_->Unreleased().empty());
  }
  // The boot selection went to the rescue image and back, the image selected was 0.
  const std::vector<std::string>& trace = device_->faults().trace();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "KernelIoControl:0x01010424"), 6);
  EXPECT_EQ(Log().size(), 9u);
}

TEST_F(OsImageWriterTest, TheRescueImageIsNeverTheOneToBootWhileItIsRewritten) {
  struct Case {
    WORD booted;
    int selections;  // settings blocks written
  };
  for (const Case& c : {Case{0, 0}, Case{1, 2}}) {
    TearDown();
    options_.bootImage = c.booted;
    SetUp();
    Put(Pack(3 * 16384));
    device_->faults().RecordCalls(true);
    ASSERT_EQ(Write(1), 1);
    EXPECT_EQ(Image(1), image_);
    EXPECT_EQ(Log(), kWritten);
    const std::vector<std::string>& trace = device_->faults().trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "KernelIoControl:0x01010424"), c.selections);
    const nlohmann::json state = State();
    EXPECT_EQ(state["boot_image"], c.booted);
    EXPECT_EQ(state["main"]["whole"], true);  // the factory main image is untouched
  }
}

TEST_F(OsImageWriterTest, APackageAtTheLimitPassesAndOneByteMoreIsRefused) {
  // A rescue region of exactly the package's size.
  const std::vector<BYTE> package = Pack(2 * 16384);
  std::filesystem::remove_all(dir_);
  options_.rescueMax = static_cast<DWORD>(package.size());
  options_.factoryImages[1] = 2 * 16384;
  std::string error;
  ASSERT_TRUE(tools::CreateDevice(dir_, options_, error)) << error;
  Reopen();
  Put(package);
  EXPECT_EQ(Write(1), 1);
  std::vector<BYTE> longer = Pack(2 * 16384 + 1);
  Put(longer);
  const nlohmann::json before = State();
  EXPECT_EQ(Write(1), 0);
  wchar_t line[256];
  std::swprintf(line, 256,
                L"Varnel_Quorvane ERROR: WriteRegionsToNAND: Failed to write BINFS: image size too "
                L"big for parttion. dwBINFSPartLength=%x  dwMaxSize_Image=%x   comp=1\r\n",
                static_cast<unsigned>(longer.size()), static_cast<unsigned>(package.size()));
  EXPECT_EQ(Log().back(), line);
  EXPECT_EQ(State(), before);
}

TEST_F(OsImageWriterTest, NoSizeOrCountWrapsNear4GiB) {
  // A device that allows any size, over a main region of 64 KiB.
  TearDown();
  options_.mainMax = 0xFFFFFFFF;
  SetUp();
  std::string config;
  ASSERT_TRUE(host::ReadWholeFile(device_->paths().config(), config));
  nlohmann::json description = nlohmann::json::parse(config);
  description["binfs"]["main_region"] = 4 * 16384;
  ASSERT_TRUE(host::ReplaceFile(device_->paths().config(), description.dump()));
  Reopen();
  // Sparse packages: zeros, then a trailer listing block 0 (zeros, so CRC 0).
  const std::vector<BYTE> trailer =
      package::BuildTrailer({0}, {0}, {}, package::TagField("KORVALIN"));
  const auto put = [&](std::uint64_t size) {
    const std::filesystem::path path = dir_ / "fs" / "Storage" / "Eboot.nbX";
    std::filesystem::resize_file(path, 0);
    std::filesystem::resize_file(path, size - trailer.size());
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(trailer.data()),
               static_cast<std::streamsize>(trailer.size()));
  };
  Put({});
  // The chunks are counted in full: the region fills and the write stops there.
  put(0xFFFFFFF0u);
  device_->faults().RecordCalls(true);
  EXPECT_EQ(Write(0), 0);
  const std::vector<std::string>& trace = device_->faults().trace();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "WriteFile"), 5);
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"Varnel_Quorvane: Erreur writefile n\u00b0 112\r\n"});
  EXPECT_EQ(State()["boot_image"], 1);
  // A file of 4 GiB or more has no 32-bit size: nothing is touched.
  put(0x100000010u);
  const nlohmann::json before = State();
  EXPECT_EQ(Write(0), 0);
  EXPECT_EQ(Log().back(), L"Varnel_Quorvane: Erreur readfile n\u00b0 223\r\n");
  EXPECT_EQ(State(), before);
  std::filesystem::remove(dir_ / "fs" / "Storage" / "Eboot.nbX");
}

TEST_F(OsImageWriterTest, EveryFailureLogsItsLinesAndUnloadsTheDriver) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, unsigned>> faults;
    std::vector<std::wstring> lines;  // after the writer's own start
    bool rescueSelected;              // boot selection left on the rescue image
    bool mainTouched;                 // the main region was selected for writing
  };
  const std::wstring q = L"Quorvane: BinDrv DeInit Failed !!!\r\n";
  const std::wstring vq = L"Varnel_Quorvane: BinDrv DeInit Failed !!!\r\n";
  const std::vector<Case> cases = {
      {"driver not loaded", {{"ActivateDevice", 1}}, {}, false, false},
      {"stream not opened",
       {{"CreateFile", 2}},
       {L"Varnel_Quorvane: Erreur createfile n\u00b0 1117\r\n"},
       false,
       false},
      {"stream not opened, unload fails",
       {{"CreateFile", 2}, {"DeactivateDevice", 1}},
       {L"Varnel_Quorvane: Erreur createfile n\u00b0 1117\r\n", vq},
       false,
       false},
      {"sector size",
       {{"DeviceIoControl:3", 1}},
       {L"Quorvane: Error on BIN_IOCTL_GET_SECTOR_SIZE n\u00b0 1117\r\n"},
       false,
       false},
      {"sector size, unload fails",
       {{"DeviceIoControl:3", 1}, {"DeactivateDevice", 1}},
       {L"Quorvane: Error on BIN_IOCTL_GET_SECTOR_SIZE n\u00b0 1117\r\n", q},
       false,
       false},
      {"limit unreadable, unload fails",
       {{"KernelIoControl:IOCTL_HAL_GET_BOOT_SETTINGS", 1}, {"DeactivateDevice", 1}},
       {L"Error get settings n\u00b0 1117\r\n", q},
       false,
       false},
      {"trailer unreadable",
       {{"ReadFile", 1}},
       {L"Varnel_Quorvane: Erreur readfile n\u00b0 1117\r\n"},
       false,
       false},
      {"rescue not selected",
       {{"KernelIoControl:IOCTL_HAL_SET_BOOT_SETTINGS", 1}},
       {L"Error set settings n\u00b0 1117\r\n"},
       false,
       false},
      {"block unreadable",
       {{"ReadFile", 7}},
       {L"Varnel_Quorvane: Erreur readfile n\u00b0 1117\r\n"},
       true,
       false},
      {"image not selected, unload fails",
       {{"DeviceIoControl:2", 1}, {"DeactivateDevice", 1}},
       {L"Varnel_Quorvane: Erreur update selecting image n\u00b00, error n\u00b0 1117\r\n", vq},
       true,
       false},
      {"rewind fails",
       {{"SetFilePointer", 6}},
       {L"Varnel_Quorvane: Erreur readfile n\u00b0 1117\r\n"},
       true,
       true},
      {"chunk unreadable",
       {{"ReadFile", 10}},
       {L"Varnel_Quorvane: Erreur readfile n\u00b0 1117\r\n"},
       true,
       true},
      {"chunk not written",
       {{"WriteFile", 2}},
       {L"Varnel_Quorvane: Erreur writefile n\u00b0 1117\r\n"},
       true,
       true},
      {"length refused",
       {{"DeviceIoControl:1", 1}},
       {L"Varnel_Quorvane : Before setting new config\r\n",
        L"Varnel_Quorvane: Erreur update header setting n\u00b0 1117\r\n"},
       true,
       true},
      {"main not selected back",
       {{"KernelIoControl:IOCTL_HAL_SET_BOOT_SETTINGS", 2}},
       {kWritten[0], kWritten[1], L"Error set settings n\u00b0 1117\r\n"},
       true,
       true},
      {"stream not closed, unload fails",
       {{"CloseHandle", 1}, {"DeactivateDevice", 1}},
       {kWritten[0], kWritten[1], L"Varnel_Quorvane: Erreur closefile n\u00b0 1117\r\n", vq},
       false,
       true},
      {"driver not unloaded at the end",
       {{"DeactivateDevice", 1}},
       {kWritten[0], kWritten[1], kWritten[2], L"BinDrv DeInit Failed !!!\r\n"},
       false,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Put(Pack(3 * 16384));
    for (const auto& [target, nth] : c.faults)
      Arm(target, nth);
    const std::string factoryMain = Image(0);
    EXPECT_EQ(Write(0), 0);
    EXPECT_EQ(Log(), c.lines);
    const nlohmann::json state = State();
    EXPECT_EQ(state["boot_image"], c.rescueSelected ? 1 : 0);
    EXPECT_EQ(Image(0) != factoryMain, c.mainTouched);
    // Whatever stopped the write, the main image is whole or the device boots the rescue image.
    EXPECT_TRUE(state["main"]["whole"] == true || state["boot_image"] == 1);
    // Only a release that itself failed leaves something held.
    std::size_t failedReleases = 0;
    for (const auto& fault : c.faults)
      failedReleases += fault.first == "DeactivateDevice" || fault.first == "CloseHandle";
    EXPECT_EQ(device_->Unreleased().size(), failedReleases);
  }
}

TEST_F(OsImageWriterTest, ARefusedPackageNeverReachesThePartition) {
  struct Case {
    const char* name;
    std::vector<BYTE> package;
    std::wstring line;
  };
  std::vector<BYTE> badCrc = Pack(4 * 16384);
  badCrc[2 * 16384 + 7] ^= 0x10;
  std::vector<BYTE> noBlocks = Pack(2 * 16384);
  noBlocks[noBlocks.size() - 4] = 0;
  const std::vector<Case> cases = {
      {"wrong tag", Pack(2 * 16384, false, "KORVALIN2"),
       L"Varnel_Quorvane: Image not fit this product!!!\r\n"},
      {"bad CRC", badCrc, L"Varnel_Quorvane: CRC error at block #2\r\n"},
      {"no blocks", noBlocks, L""},
      {"no image, the trailer alone",
       package::BuildTrailer({1}, {0}, {}, package::TagField("KORVALIN")),
       L"Varnel_Quorvane: Image not fit this product!!!\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const BYTE rescue : {0, 1}) {
      TearDown();
      SetUp();
      Put(c.package);
      const std::string main = Image(0);
      const std::string rescueImage = Image(1);
      device_->faults().RecordCalls(true);
      EXPECT_EQ(Write(rescue), 0);
      EXPECT_EQ(Image(0), main);
      EXPECT_EQ(Image(1), rescueImage);
      const std::vector<std::string>& trace = device_->faults().trace();
      EXPECT_EQ(std::count(trace.begin(), trace.end(), "DeviceIoControl:2"), 0);
      EXPECT_EQ(std::count(trace.begin(), trace.end(), "WriteFile"), 0);
      EXPECT_EQ(std::count(trace.begin(), trace.end(), "DeviceIoControl:1"), 0);
      EXPECT_EQ(Log(),
                c.line.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{c.line});
      // A bad main image has already turned the device to its rescue image.
      EXPECT_EQ(State()["boot_image"],
                rescue == 0 && c.line.find(L"CRC") != std::wstring::npos ? 1 : 0);
      EXPECT_TRUE(device_->Unreleased().empty());
    }
  }
}

}  // namespace
