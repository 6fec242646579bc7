// The OS image writer on the simulated device: what reaches the partition, the boot selection
// around a write, the progress shown, and every line and release of every failure.
#include <gtest/gtest.h>

#include <fstream>

#include "package/crc16.h"
#include "package/package_builder.h"
#include "platform/sim/sim_debug_log.h"
#include "tests/e2e/device_fixture.h"
#include "tools/devsim/report.h"
#include "writers/os_image_writer.h"

namespace {

using namespace platform;
namespace sim = platform::sim;
using Lines = std::vector<std::wstring>;

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

// A call as the fault injector names it: "KernelIoControl:0x01010424", "ReadFile".
std::string Call(const std::string& target) {
  sim::Fault fault;
  std::string error;
  EXPECT_TRUE(sim::ParseFaultTarget(target, fault, error)) << error;
  return sim::DescribeCall(fault.call, fault.code);
}

// The nth call after the first of another, as a whole write makes them.
struct CallAfter {
  CallAfter(const char* c, const char* a = "", unsigned n = 1) : call(c), after(a), nth(n) {}
  std::string call;
  std::string after;  // empty: from the start
  unsigned nth;
};

class OsImageWriterTest : public e2e::DeviceTest {
 protected:
  // A device made afresh from options, holding the package.
  void Fresh(const std::vector<BYTE>& package, const tools::DeviceOptions& options = {}) {
    TearDown();
    options_ = options;
    SetUp();
    progress_ = {};
    std::ofstream(dir_ / "fs" / "Storage" / "Eboot.nbX", std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()),
               static_cast<std::streamsize>(package.size()));
    device_->faults().RecordCalls(true);
  }
  std::vector<BYTE> Pack(std::size_t imageSize, const char* tag = "KORVALIN") {
    package::PackOptions options;
    options.pad = false;
    options.tag = tag;
    std::string error;
    image_ = tools::SampleImage("writer test", imageSize);
    const auto packed = package::PackImage(image_, options, error);
    EXPECT_TRUE(packed) << error;
    return packed ? packed->bytes : std::vector<BYTE>{};
  }
  // Arms a fault at the call as it fell in a whole write's trace.
  void Arm(const std::vector<std::string>& whole, const CallAfter& at) {
    const std::string call = Call(at.call);
    auto it =
        at.after.empty() ? whole.begin() : std::find(whole.begin(), whole.end(), Call(at.after));
    for (unsigned n = 0; n < at.nth; ++n)
      it = std::find(n ? it + 1 : it, whole.end(), call);
    ASSERT_NE(it, whole.end()) << at.call << " after " << at.after;
    sim::Fault fault;
    std::string error;
    sim::ParseFaultTarget(at.call, fault, error);
    fault.nth = static_cast<unsigned>(std::count(whole.begin(), it + 1, call));
    fault.error = 1117;
    ASSERT_TRUE(device_->faults().Arm(fault));
  }
  int Write(BYTE rescue) {
    Files& files = device_->files();
    ScopedFile file(files,
                    files.CreateFile(L"\\Storage\\Eboot.nbX", kGenericRead, 0, kOpenExisting, 0));
    EXPECT_TRUE(file.valid());
    bootcfg::BootConfig bootConfig(device_->kernel(), device_->log());
    const int result = writers::WriteOsImage(
        {files, device_->devices(), bootConfig, device_->log()}, file.get(), progress_, rescue);
    trace_ = device_->faults().trace();  // before the package is closed
    return result;
  }
  Lines Log() {
    Lines lines;
    EXPECT_TRUE(sim::ReadDebugLog(device_->paths().debugLog(), lines));
    return lines;
  }
  std::string Image(int which) {
    std::string bytes;
    host::ReadWholeFile(device_->paths().image(which), bytes);
    return bytes;
  }
  std::size_t Count(const std::string& call) const {
    return static_cast<std::size_t>(std::count(trace_.begin(), trace_.end(), Call(call)));
  }
  nlohmann::json State() { return tools::DescribeDevice(*device_); }

  std::string image_;
  RecordingProgress progress_;
  std::vector<std::string> trace_;
};

const Lines kWritten = {L"Varnel_Quorvane : Before setting new config\r\n",
                        L"Writing image to flash complete.\r\n",
                        L"Varnel_Quorvane : Before driver desactivation\r\n"};

TEST_F(OsImageWriterTest, WritesExactlyThePayloadWhateverItsLength) {
  struct Case {
    std::size_t image;
    std::vector<int> progress;
  };
  // Whole blocks; a short tail (the last chunk is shorter); less than one block.
  for (const Case& c : {Case{5 * 16384, {0, 0, 20, 40, 60, 80}},
                        Case{2 * 16384 + 100, {0, 0, 33, 66}}, Case{16384 + 5000, {0, 0, 50}}}) {
    Fresh(Pack(c.image));
    ASSERT_EQ(Write(0), 1) << c.image;
    EXPECT_EQ(Image(0), image_);
    const nlohmann::json state = State();
    EXPECT_EQ(state["main"]["length"], c.image);
    EXPECT_TRUE(state["main"]["whole"]);
    EXPECT_EQ(state["boot_image"], 0);
    EXPECT_EQ(progress_.shown, c.progress);
    EXPECT_EQ(progress_.repaints, static_cast<int>(c.progress.size()) - 1);
    EXPECT_EQ(Count("KernelIoControl:IOCTL_HAL_SET_BOOT_SETTINGS"), 2u);  // to rescue and back
    EXPECT_EQ(Log(), kWritten);
    EXPECT_TRUE(device_->Unreleased().empty());
  }
}

TEST_F(OsImageWriterTest, TheRescueImageIsNeverTheOneToBootWhileItIsRewritten) {
  for (const WORD booted : {0, 1}) {
    tools::DeviceOptions options;
    options.bootImage = booted;
    Fresh(Pack(3 * 16384), options);
    ASSERT_EQ(Write(1), 1);
    EXPECT_EQ(Image(1), image_);
    EXPECT_EQ(Log(), kWritten);
    EXPECT_EQ(Count("KernelIoControl:IOCTL_HAL_SET_BOOT_SETTINGS"), booted ? 2u : 0u);
    EXPECT_EQ(State()["boot_image"], booted);
    EXPECT_EQ(State()["main"]["whole"], true);
  }
}

TEST_F(OsImageWriterTest, APackageAtTheLimitPassesAndOneByteMoreIsRefused) {
  const std::vector<BYTE> package = Pack(2 * 16384);
  tools::DeviceOptions options;
  options.rescueMax = static_cast<DWORD>(package.size());  // a region of exactly its size
  options.factoryImages[1] = 2 * 16384;
  Fresh(package, options);
  EXPECT_EQ(Write(1), 1);
  const std::vector<BYTE> longer = Pack(2 * 16384 + 1);
  Fresh(longer, options);
  const nlohmann::json before = State();
  EXPECT_EQ(Write(1), 0);
  wchar_t line[256];
  std::swprintf(line, 256,
                L"Varnel_Quorvane ERROR: WriteRegionsToNAND: Failed to write BINFS: image size too "
                L"big for parttion. dwBINFSPartLength=%x  dwMaxSize_Image=%x   comp=1\r\n",
                static_cast<unsigned>(longer.size()), static_cast<unsigned>(package.size()));
  EXPECT_EQ(Log(), Lines{line});
  EXPECT_EQ(State(), before);
}

TEST_F(OsImageWriterTest, NoSizeOrCountWrapsNear4GiB) {
  // A device that allows any size, over a main region of 64 KiB.
  tools::DeviceOptions options;
  options.mainMax = 0xFFFFFFFF;
  Fresh({}, options);
  std::string config;
  ASSERT_TRUE(host::ReadWholeFile(device_->paths().config(), config));
  nlohmann::json description = nlohmann::json::parse(config);
  description["binfs"]["main_region"] = 4 * 16384;
  ASSERT_TRUE(host::ReplaceFile(device_->paths().config(), description.dump()));
  Reopen();
  device_->faults().RecordCalls(true);
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
  // The chunks are counted in full: the region fills and the write stops there.
  put(0xFFFFFFF0u);
  EXPECT_EQ(Write(0), 0);
  EXPECT_EQ(Count("WriteFile"), 5u);
  EXPECT_EQ(Log(), Lines{L"Varnel_Quorvane: Erreur writefile n\u00b0 112\r\n"});
  EXPECT_EQ(State()["boot_image"], 1);
  // A file of 4 GiB or more has no 32-bit size: nothing is touched.
  put(0x100000010u);
  const nlohmann::json before = State();
  EXPECT_EQ(Write(0), 0);
  EXPECT_EQ(Log().back(), L"Varnel_Quorvane: Erreur readfile n\u00b0 223\r\n");
  EXPECT_EQ(State(), before);
  std::filesystem::remove(dir_ / "fs" / "Storage" / "Eboot.nbX");
}

// Four blocks listed 3, 0, 1, 2 with block 1 spoiled: the entry at position 2 fails.
std::vector<BYTE> BadBlockOneListedOutOfOrder() {
  std::vector<BYTE> bytes(4 * 16384);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<BYTE>(i * 13 + i / 16384);
  std::vector<WORD> crc;
  for (const WORD block : {3, 0, 1, 2})
    crc.push_back(package::Crc16(bytes.data() + block * 16384, 16384));
  bytes[16384 + 99] ^= 0x04;
  const std::vector<BYTE> trailer =
      package::BuildTrailer({3, 0, 1, 2}, crc, {}, package::TagField("KORVALIN"));
  bytes.insert(bytes.end(), trailer.begin(), trailer.end());
  return bytes;
}

TEST_F(OsImageWriterTest, EveryFailureLogsItsLinesReleasesInOrderAndLeavesAWholeImageToBoot) {
  struct Case {
    Case(const char* n, std::vector<CallAfter> f, Lines l, int b, bool t = false, BYTE r = 0,
         std::vector<BYTE> p = {})
        : name(n), faults(f), lines(l), bootImage(b), touched(t), rescue(r), package(p) {}
    const char* name;
    std::vector<CallAfter> faults;
    Lines lines;
    int bootImage;  // where the boot selection is left
    bool touched;   // the target's region was written
    BYTE rescue;
    std::vector<BYTE> package;  // empty: a good one
  };
  const auto erreur = [](const wchar_t* what) {
    return L"Varnel_Quorvane: Erreur " + std::wstring(what) + L" n\u00b0 1117\r\n";
  };
  const std::wstring q = L"Quorvane: BinDrv DeInit Failed !!!\r\n", vq = L"Varnel_" + q;
  const std::wstring create = erreur(L"createfile"), read = erreur(L"readfile"),
                     write = erreur(L"writefile"), header = erreur(L"update header setting"),
                     close = erreur(L"closefile");
  const std::wstring select =
      L"Varnel_Quorvane: Erreur update selecting image n\u00b00, error n\u00b0 1117\r\n";
  const std::wstring sector = L"Quorvane: Error on BIN_IOCTL_GET_SECTOR_SIZE n\u00b0 1117\r\n";
  const std::wstring getSettings = L"Error get settings n\u00b0 1117\r\n";
  const std::wstring setSettings = L"Error set settings n\u00b0 1117\r\n";
  const std::wstring notFit = L"Varnel_Quorvane: Image not fit this product!!!\r\n";
  const std::wstring crc = L"Varnel_Quorvane: CRC error at block #2\r\n";
  const std::wstring &w0 = kWritten[0], &w1 = kWritten[1];
  const char* const kSelect = "KernelIoControl:IOCTL_HAL_SET_BOOT_SETTINGS";
  const CallAfter unload{"DeactivateDevice"};
  std::vector<BYTE> noBlocks = Pack(2 * 16384);
  noBlocks[noBlocks.size() - 4] = 0;
  const std::vector<BYTE> alone =
      package::BuildTrailer({1}, {0}, {}, package::TagField("KORVALIN"));
  // clang-format off
  const std::vector<Case> cases = {
      {"driver not loaded", {{"ActivateDevice"}}, {}, 0},
      {"stream not opened", {{"CreateFile", "ActivateDevice"}}, {create}, 0},
      {"stream not opened, unload fails", {{"CreateFile", "ActivateDevice"}, unload}, {create, vq}, 0},
      {"sector size", {{"DeviceIoControl:3"}}, {sector}, 0},
      {"sector size, unload fails", {{"DeviceIoControl:3"}, unload}, {sector, q}, 0},
      {"limit unreadable, unload fails", {{"KernelIoControl:IOCTL_HAL_GET_BOOT_SETTINGS"}, unload}, {getSettings, q}, 0},
      {"trailer unreadable", {{"ReadFile"}}, {read}, 0},
      {"rescue not selected", {{kSelect}}, {setSettings}, 0},
      {"block unreadable", {{"ReadFile", kSelect}}, {read}, 1},
      {"image not selected, unload fails", {{"DeviceIoControl:2"}, unload}, {select, vq}, 1},
      {"rewind fails", {{"SetFilePointer", "DeviceIoControl:2"}}, {read}, 1, true},
      {"chunk unreadable", {{"ReadFile", "DeviceIoControl:2"}}, {read}, 1, true},
      {"second chunk not written", {{"WriteFile", "", 2}}, {write}, 1, true},
      {"length refused", {{"DeviceIoControl:1"}}, {w0, header}, 1, true},
      {"main not selected back", {{kSelect, "DeviceIoControl:1"}}, {w0, w1, setSettings}, 1, true},
      {"stream not closed, unload fails", {{"CloseHandle", "DeviceIoControl:1"}, unload}, {w0, w1, close, vq}, 0, true},
      {"driver not unloaded at the end", {unload}, {w0, w1, kWritten[2], L"BinDrv DeInit Failed !!!\r\n"}, 0, true},
      {"wrong tag", {}, {notFit}, 0, false, 0, Pack(2 * 16384, "KORVALIN2")},
      {"bad CRC, main", {}, {crc}, 1, false, 0, BadBlockOneListedOutOfOrder()},
      {"bad CRC, rescue", {}, {crc}, 0, false, 1, BadBlockOneListedOutOfOrder()},
      {"no blocks", {}, {}, 0, false, 0, noBlocks},
      {"no image, the trailer alone", {}, {notFit}, 0, false, 1, alone},
  };
  // clang-format on
  const std::vector<BYTE> good = Pack(3 * 16384);
  Fresh(good);
  ASSERT_EQ(Write(0), 1);
  const std::vector<std::string> whole = trace_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.package.empty() ? good : c.package);
    for (const CallAfter& fault : c.faults)
      Arm(whole, fault);
    const std::string before[2] = {Image(0), Image(1)};
    EXPECT_EQ(Write(c.rescue), 0);
    EXPECT_TRUE(device_->faults().armed().empty());  // every fault was met
    EXPECT_EQ(Log(), c.lines);
    const nlohmann::json state = State();
    EXPECT_EQ(state["boot_image"], c.bootImage);
    EXPECT_EQ(Image(c.rescue) != before[c.rescue], c.touched);
    EXPECT_EQ(Image(1 - c.rescue), before[1 - c.rescue]);
    EXPECT_TRUE(state["boot"]["whole"]);
    // The driver goes last, right after its stream is closed; only a failed release holds on.
    if (Count("DeactivateDevice")) {
      EXPECT_EQ(trace_.back(), "DeactivateDevice");
      EXPECT_EQ(trace_[trace_.size() - 2],
                Count("DeviceIoControl:3") ? "CloseHandle" : "CreateFile");
    } else {
      EXPECT_EQ(trace_.back(), "ActivateDevice");
    }
    std::size_t failedReleases = 0;
    for (const CallAfter& fault : c.faults)
      failedReleases += fault.call == "DeactivateDevice" || fault.call == "CloseHandle";
    EXPECT_EQ(device_->Unreleased().size(), failedReleases);
  }
}

}  // namespace
