// The two writers over the simulated device. The boot-loader writer: what reaches NOR flash, the
// blocks kept around the write, the questions asked and the line of each failure. The OS image
// writer: what reaches the partition, the boot selection around a write, the progress shown, and
// every line and release of every failure.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "journal/unfinished_images.h"
#include "package/package_builder.h"
#include "tests/support/core_fixture.h"
#include "tests/support/fakes.h"
#include "tools/common/sha256.h"
#include "writers/boot_loader_writer.h"
#include "writers/os_image_writer.h"

namespace {

using namespace platform;
using namespace e2e;
using Lines = std::vector<std::wstring>;
using Strings = std::vector<std::string>;

std::vector<BYTE> Package(std::size_t size, const char* tag = package::kProductTag) {
  return PackExactly(tools::SampleImage("boot loader", size), tag);
}

// The package with its block count N set to n: 0 lists no block; 0xFF00 makes the trailer longer
// than the file.
std::vector<BYTE> WithBlockCount(std::vector<BYTE> package, WORD n) {
  package[package.size() - 4] = static_cast<BYTE>(n);
  package[package.size() - 3] = static_cast<BYTE>(n >> 8);
  return package;
}

// The device's kernel, noting of each request whether a returned-byte count came with it.
struct NotingKernel final : Kernel {
  NotingKernel(Kernel& to, std::vector<bool>& noted) : device(to), counted(noted) {}
  bool KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned) override {
    counted.push_back(returned != nullptr);
    return device.KernelIoControl(code, in, inSize, out, outSize, returned);
  }
  Kernel& device;
  std::vector<bool>& counted;
};

// The user, as the writers meet them: answering each question from a queue (none left: no) and
// noting what each writer asked and told.
struct Answering final : writers::UserQuestions {
  bool GoOnWithout(Block block) override {
    without.push_back(block);
    if (answers.empty())
      return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  bool GoOnDespite(Doubt doubt) override {
    asked.push_back(doubt);
    return goOn;
  }
  void Tell(const std::wstring& text) override { told.push_back(text); }
  std::deque<bool> answers;
  bool goOn = true;
  std::vector<Block> without;
  std::vector<Doubt> asked;
  Lines told;
};

class WriteBootLoader : public CoreTest {
 protected:
  // Writes the package as a file of the device.
  bool Write(const std::vector<BYTE>& package) {
    PutDeviceFile("Storage/E.nbX", package);
    Files& files = device_->files();
    ScopedFile file(files,
                    files.CreateFile(L"\\Storage\\E.nbX", kGenericRead, 0, kOpenExisting, 0));
    return Write(files, file.get());
  }
  bool Write(Files& files, Handle file) {
    NotingKernel kernel(device_->kernel(), counted_);
    return writers::WriteBootLoader({files, kernel, device_->log(), user_}, file);
  }
  Strings Requests() const { return Calls("KernelIoControl"); }
  std::vector<bool> counted_;
  Answering user_;
};

// The device refuses a block of any other size than its own, and keeps what it was sent. A
// refused package makes no request and asks nothing.
TEST_F(WriteBootLoader, SendsTheWholeFileAndPutsTheBlocksBackOrAsksOrTellsWhyNot) {
  using Block = writers::UserQuestions::Block;
  const Block settings = Block::kSettings, constants = Block::kConstants;
  const std::string get = kGetSettings, getC = kGetConstants, write = kWriteBootLoader,
                    set = kSetSettings, setC = kSetConstants;
  const std::wstring toldS = L"Could not write old bootloader settings",
                     toldC =
                         L"Could not write old constant settings (BT Addr, frequency offset, "
                         L"serial number)";
  const std::vector<BYTE> good = Package(3 * 16384 + 10);
  const std::wstring notFit = L"Image not fit this product!!!\r\n",
                     notWritten = L"Erreur write file in NOR Flash 31\r\n",
                     notRead = L"Erreur reading file 31\r\n",
                     badCrc = L"CRC error at block n\u00b0 1\r\n";
  struct Case {
    std::vector<BYTE> package;
    Strings failing;             // the requests and calls that fail
    std::deque<bool> answers;    // to the questions, in order
    bool written;                // the result
    Strings requests;            // the requests made
    std::vector<Block> without;  // the questions asked
    Lines told;                  // what the user was told
    Lines log;
  };
  const Case cases[] = {
      {good, {}, {}, true, {get, getC, write, set, setC}, {}, {}, {}},
      {good, {get}, {true}, true, {get, getC, write, setC}, {settings}, {}, {}},
      {good, {get}, {false}, false, {get}, {settings}, {}, {}},
      {good, {getC}, {true}, true, {get, getC, write, set}, {constants}, {}, {}},
      {good, {getC}, {}, false, {get, getC}, {constants}, {}, {}},
      {good, {get, getC}, {true, true}, true, {get, getC, write}, {settings, constants}, {}, {}},
      {good, {write}, {}, false, {get, getC, write}, {}, {}, {notWritten}},
      {good, {"GetFileSize"}, {}, false, {}, {}, {}, {notRead}},
      {good, {"ReadFile"}, {}, false, {}, {}, {}, {notRead}},
      // Both blocks written back in vain: told twice, settings first, and still a success.
      {good, {set, setC}, {}, true, {get, getC, write, set, setC}, {}, {toldS, toldC}, {}},
      {Package(16384, "KORVALIM"), {}, {}, false, {}, {}, {}, {notFit}},
      {SpoiledPackage(), {}, {}, false, {}, {}, {}, {badCrc}},
      {WithBlockCount(good, 0), {}, {}, false, {}, {}, {}, {}},
      {WithBlockCount(good, 0xFF00), {}, {}, false, {}, {}, {}, {notFit}},
      {Trailer({1}, {0}), {}, {}, false, {}, {}, {}, {notFit}},  // the trailer alone
  };
  const nlohmann::json before = State();
  for (const Case& c : cases) {
    SCOPED_TRACE("row " + std::to_string(&c - cases));
    NewRun();
    counted_.clear();
    user_ = {};
    user_.answers = c.answers;
    ASSERT_TRUE(host::ReplaceFile(device_->paths().bootLoader(), "the boot loader before"));
    for (const std::string& request : c.failing)
      Fail(request, 31);
    EXPECT_EQ(Write(c.package), c.written);
    EXPECT_EQ(Requests(), c.requests);
    EXPECT_EQ(user_.without, c.without);
    EXPECT_EQ(user_.told, c.told);
    EXPECT_EQ(Log(), c.log);
    const nlohmann::json after = State();
    EXPECT_EQ(after["settings_hex"], before["settings_hex"]);
    EXPECT_EQ(after["constants_hex"], before["constants_hex"]);
    // The whole file, trailer included; a returned-byte count with the blocks but the
    // constants' set.
    EXPECT_EQ(Bytes(device_->paths().bootLoader().path()) == c.package, c.written);
    for (std::size_t i = 0; i < c.requests.size(); ++i)
      EXPECT_EQ(counted_.at(i), c.requests[i] != write && c.requests[i] != setC) << c.requests[i];
  }
  // A short read of the whole file; the package check reads 16 KiB at most.
  NewRun();
  fakes::MemoryFiles shortReads(Package(2 * 16384));
  shortReads.shortReads = 20000;
  EXPECT_FALSE(Write(shortReads, fakes::MemoryFiles::kHandle));
  EXPECT_EQ(Requests(), (Strings{kGetSettings, kGetConstants}));
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0].rfind(L"Erreur reading file ", 0), 0u);
}

// Holding the whole file fails: told once both blocks were read and the question answered,
// before anything is written. Run in a child whose address space leaves no room for a copy.
TEST_F(WriteBootLoader, TellsAnAllocationFailureBeforeWritingAnything) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer reserves the address space itself";
#endif
  std::vector<BYTE> package(48u << 20);  // zeros: block 0's CRC is 0
  const std::vector<BYTE> trailer = Trailer({0}, {0});
  package.insert(package.end(), trailer.begin(), trailer.end());
  fakes::MemoryFiles files(std::move(package));
  Fail(kGetSettings, 31);
  constexpr int kNoLimit = 2;
  const pid_t child = ::fork();
  if (child == 0) {
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t cap = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (16u << 20);
    const rlimit limit{cap, cap};
    rlimit taken{};
    // qemu-user accepts the limit but keeps it from the program it runs.
    if (::setrlimit(RLIMIT_AS, &limit) != 0 || ::getrlimit(RLIMIT_AS, &taken) != 0 ||
        taken.rlim_cur != cap)
      std::_Exit(kNoLimit);
    user_.answers = {true};
    const bool written = Write(files, fakes::MemoryFiles::kHandle);
    std::_Exit(!written && user_.without == std::vector{writers::UserQuestions::Block::kSettings} &&
                       Requests() == Strings{kGetSettings, kGetConstants} &&
                       Log() == Lines{L"Erreur alloc memory 8\r\n"}
                   ? 0
                   : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoLimit)
    GTEST_SKIP() << "the address-space limit does not hold here";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The number of chunks, then each chunk as it is reported.
struct RecordingProgress final : writers::Progress {
  void InitProgress(int chunks) override { shown.push_back(chunks); }
  void UpdateProgress(int chunk) override { shown.push_back(chunk); }
  void Repaint() override { ++repaints; }
  std::vector<int> shown;
  int repaints = 0;
};

// A call as a whole write made it: the nth named call after the first named after.
struct At {
  std::string call;
  std::string after = "";  // empty: from the start
  unsigned nth = 1;
};

class OsImageWriterTest : public CoreTest {
 protected:
  // A device made afresh, booting booted, with a rescue region of rescueMax bytes, holding the
  // package.
  void Fresh(const std::vector<BYTE>& package, WORD booted = 0, DWORD rescueMax = 16 << 20) {
    TearDown();
    options_.bootImage = booted;
    options_.rescueMax = rescueMax;
    options_.factoryImages[1] = 16384;  // below every rescue limit here
    SetUp();
    progress_ = {};
    user_ = {};
    PutDeviceFile("Storage/Eboot.nbX", package);
  }
  std::vector<BYTE> Pack(std::size_t imageSize, const char* tag = package::kProductTag) {
    image_ = tools::SampleImage("writer test", imageSize);
    return PackExactly(image_, tag);
  }
  void FailAt(const std::vector<std::string>& whole, const At& at) {
    auto it = at.after.empty() ? whole.begin() : std::find(whole.begin(), whole.end(), at.after);
    for (unsigned n = 0; n < at.nth; ++n)
      it = std::find(n ? it + 1 : it, whole.end(), at.call);
    ASSERT_NE(it, whole.end()) << at.call << " after " << at.after;
    Fail(at.call, 1117, Occurrence(whole, static_cast<std::size_t>(it - whole.begin())));
  }
  int Write(BYTE rescue) {
    Files& files = device_->files();
    ScopedFile file(files,
                    files.CreateFile(L"\\Storage\\Eboot.nbX", kGenericRead, 0, kOpenExisting, 0));
    bootcfg::BootConfig bootConfig(device_->kernel(), device_->log());
    const int result = writers::WriteOsImage(
        {files, device_->devices(), bootConfig, device_->registry(), device_->log(), user_},
        file.get(), progress_, rescue);
    trace_ = Calls();  // before the package is closed
    return result;
  }

  std::string image_;
  RecordingProgress progress_;
  Answering user_;
  std::vector<std::string> trace_;
};

const Lines kWritten = {L"Varnel_Quorvane : Before setting new config\r\n",
                        L"Writing image to flash complete.\r\n",
                        L"Varnel_Quorvane : Before driver desactivation\r\n"};

TEST_F(OsImageWriterTest, WritesExactlyThePayloadAndNeverBootsTheImageItRewrites) {
  using Doubt = writers::UserQuestions::Doubt;
  struct Case {
    std::size_t image;
    BYTE rescue;
    WORD booted;
    std::vector<int> progress;  // the chunks, then each one as it is written
    std::size_t selections;     // the boot selection set away and back, or left alone
    DWORD rescueMax = 16 << 20;
    int unfinished = -1;         // the image an earlier update left unfinished; 2: a record of
                                 // nonsense, which leaves both unfinished
    std::vector<Doubt> asked{};  // what the user was asked first
  };
  // Whole blocks; a short tail (the last chunk is shorter); less than one block; the rescue image
  // on a device that boots the other image, that one, or neither (2); a package (N = 2: a 38-byte
  // trailer) as long as the rescue region; each image while the other is unfinished.
  for (const Case& c :
       {Case{5 * 16384, 0, 0, {5, 0, 1, 2, 3, 4}, 2}, Case{2 * 16384 + 100, 0, 0, {3, 0, 1, 2}, 2},
        Case{16384 + 5000, 0, 0, {2, 0, 1}, 2}, Case{3 * 16384, 1, 0, {3, 0, 1, 2}, 0},
        Case{3 * 16384, 1, 1, {3, 0, 1, 2}, 2, 16 << 20, -1, {Doubt::kRescueStarted}},
        Case{3 * 16384, 1, 2, {3, 0, 1, 2}, 0}, Case{2 * 16384, 1, 0, {2, 0, 1}, 0, 2 * 16384 + 38},
        Case{16384, 0, 0, {1, 0}, 2, 16 << 20, 1, {Doubt::kRescueUnfinished}},
        Case{16384, 1, 0, {1, 0}, 0, 16 << 20, 0, {Doubt::kMainUnfinished}},
        Case{16384, 0, 0, {1, 0}, 2, 16 << 20, 2, {Doubt::kRescueUnfinished}},
        Case{16384, 1, 1, {1, 0}, 2, 16 << 20, 0, {Doubt::kRescueStarted}}}) {
    SCOPED_TRACE(std::to_string(c.image) + (c.rescue ? " rescue" : " main"));
    Fresh(Pack(c.image), c.booted, c.rescueMax);
    const std::wstring key = L"Software\\Tessaron Loader";
    if (c.unfinished == 2) {
      ASSERT_TRUE(device_->simRegistry().Put(key, L"UnfinishedImages", sim::StringValue(L"?")));
    } else if (c.unfinished >= 0) {
      ASSERT_TRUE(journal::MarkUnfinished(device_->registry(), c.unfinished));
    }
    const nlohmann::json before = State();
    ASSERT_EQ(Write(c.rescue), 1);
    const nlohmann::json state = State();
    const char *target = c.rescue ? "rescue" : "main", *other = c.rescue ? "main" : "rescue";
    EXPECT_EQ(state[target]["sha256"], tools::Sha256Hex(image_));
    EXPECT_EQ(state[target]["length"], c.image);
    EXPECT_TRUE(state[target]["whole"]);
    EXPECT_EQ(state[other], before[other]);
    EXPECT_EQ(state["boot_image"], c.booted);
    EXPECT_EQ(Calls(kSetSettings).size(), c.selections);
    EXPECT_EQ(progress_.shown, c.progress);
    EXPECT_EQ(progress_.repaints, static_cast<int>(c.progress.size()) - 1);
    EXPECT_EQ(Log(), kWritten);
    EXPECT_EQ(user_.asked, c.asked);
    EXPECT_FALSE(journal::MayBeUnfinished(device_->registry(), c.rescue));
    EXPECT_EQ(journal::MayBeUnfinished(device_->registry(), 1 - c.rescue), c.unfinished >= 0);
    // With nothing left unfinished, nothing is left written down.
    EXPECT_EQ(device_->simRegistry().Get(key, L"UnfinishedImages").has_value(), c.unfinished >= 0);
  }
}

TEST_F(OsImageWriterTest, NoSizeOrCountWrapsNear4GiB) {
  options_.mainMax = 0xFFFFFFFF;  // a device that allows any size
  Fresh({});
  // Sparse packages: zeros, then a trailer listing block 0 (zeros, so CRC 0).
  const std::vector<BYTE> trailer = Trailer({0}, {0});
  const std::filesystem::path package = dir_ / "fs" / "Storage" / "Eboot.nbX";
  // The chunks are counted in full, and a stale error does not make the largest size a failure;
  // the second chunk is not written.
  PutSparse(package, "", trailer, 0xFFFFFFFFu);
  SetLastError(1117);
  Fail("WriteFile", 1117, 2);
  EXPECT_EQ(Write(0), 0);
  EXPECT_EQ(progress_.shown, (std::vector<int>{262144, 0}));
  EXPECT_EQ(Log(), Lines{L"Varnel_Quorvane: Erreur writefile n\u00b0 1117\r\n"});
  // A file of 4 GiB or more has no 32-bit size: nothing is touched.
  PutSparse(package, "", trailer, 0x100000010u);
  const nlohmann::json before = State();
  EXPECT_EQ(Write(0), 0);
  EXPECT_EQ(Log().back(), L"Varnel_Quorvane: Erreur readfile n\u00b0 223\r\n");
  EXPECT_EQ(State(), before);
}

TEST_F(OsImageWriterTest, EveryFailureLogsItsLinesReleasesInOrderAndLeavesAWholeImageToBoot) {
  struct Case {
    const char* name;
    std::vector<At> faults;
    Lines lines;
    int bootImage;                   // where the boot selection is left
    bool touched = false;            // the target's region was written
    BYTE rescue = 0;                 // the target
    WORD booted = 0;                 // the image the device boots at the start
    std::vector<BYTE> package = {};  // empty: a good one
    DWORD rescueMax = 16 << 20;
    bool goOn = true;  // the user's answer, when asked
  };
  const auto erreur = [](const wchar_t* what) {
    return L"Varnel_Quorvane: Erreur " + std::wstring(what) + L" n\u00b0 1117\r\n";
  };
  const std::wstring create = erreur(L"createfile"), read = erreur(L"readfile"),
                     write = erreur(L"writefile"), header = erreur(L"update header setting"),
                     close = erreur(L"closefile"),
                     sector = L"Quorvane: Error on BIN_IOCTL_GET_SECTOR_SIZE n\u00b0 1117\r\n",
                     getSettings = L"Error get settings n\u00b0 1117\r\n",
                     getSelection = L"Erreur get settings n\u00b0 1117\r\n",
                     mark = erreur(L"journal"),
                     setSettings = L"Error set settings n\u00b0 1117\r\n",
                     notFit = L"Varnel_Quorvane: Image not fit this product!!!\r\n",
                     crc = L"Varnel_Quorvane: CRC error at block #2\r\n",
                     tooBig =
                         L"Varnel_Quorvane ERROR: WriteRegionsToNAND: Failed to write BINFS: image "
                         L"size too big for parttion. dwBINFSPartLength=8027  "
                         L"dwMaxSize_Image=8026   comp=1\r\n",
                     q = L"Quorvane: BinDrv DeInit Failed !!!\r\n", vq = L"Varnel_" + q,
                     &w0 = kWritten[0], &w1 = kWritten[1];
  const auto select = [](int image) {
    return L"Varnel_Quorvane: Erreur update selecting image n\u00b0" + std::to_wstring(image) +
           L", error n\u00b0 1117\r\n";
  };
  const At unload{"DeactivateDevice"};
  const std::vector<BYTE> noBlocks = WithBlockCount(Pack(2 * 16384), 0);
  const std::vector<BYTE> badCrc = SpoiledPackage();
  // clang-format off
  const std::vector<Case> cases = {
      {"driver not loaded", {{"ActivateDevice"}}, {}, 0},
      {"stream not opened, unload fails", {{"CreateFile", "ActivateDevice"}, unload}, {create, vq}, 0},
      {"sector size, unload fails", {{"DeviceIoControl:3"}, unload}, {sector, q}, 0},
      {"limit unreadable, unload fails", {{kGetSettings}, unload}, {getSettings, q}, 0},
      {"trailer unreadable, unload fails", {{"ReadFile"}, unload}, {read, vq}, 0},
      {"rescue not selected", {{kSetSettings}}, {setSettings}, 0},
      {"selection unreadable, rescue", {{kGetSettings, "", 2}}, {getSelection}, 0, false, 1},
      {"main not selected for the rescue it boots", {{kSetSettings}}, {setSettings}, 1, false, 1, 1},
      {"block not sought", {{"SetFilePointer", "", 3}}, {read}, 0},
      {"block unreadable", {{"ReadFile", "", 7}}, {read}, 0},
      {"rescue booted, the user declines", {}, {}, 1, false, 1, 1, {}, 16 << 20, false},
      {"unfinished image not written down", {{"RegFlushKey"}}, {mark}, 0},
      {"image not selected, unload fails", {{"DeviceIoControl:2"}, unload}, {select(0), vq}, 1},
      {"rescue image not selected", {{"DeviceIoControl:2"}}, {select(1)}, 0, false, 1},
      {"rewind fails", {{"SetFilePointer", "DeviceIoControl:2"}}, {read}, 1, true},
      {"chunk unreadable", {{"ReadFile", "DeviceIoControl:2"}}, {read}, 1, true},
      {"second chunk not written", {{"WriteFile", "", 2}}, {write}, 1, true},
      {"length refused", {{"DeviceIoControl:1"}}, {w0, header}, 1, true},
      {"main not selected back", {{kSetSettings, "DeviceIoControl:1"}}, {w0, w1, setSettings}, 1, true},
      {"rescue not selected back", {{kSetSettings, "DeviceIoControl:1"}}, {w0, w1, setSettings}, 0, true, 1, 1},
      {"stream not closed, unload fails", {{"CloseHandle", "DeviceIoControl:1"}, unload}, {w0, w1, close, vq}, 0, true},
      {"driver not unloaded at the end", {unload}, {w0, w1, kWritten[2], L"BinDrv DeInit Failed !!!\r\n"}, 0, true},
      {"wrong tag", {}, {notFit}, 0, false, 0, 0, Pack(2 * 16384, "KORVALIN2")},
      {"bad CRC, main", {}, {crc}, 0, false, 0, 0, badCrc},
      {"bad CRC, rescue", {}, {crc}, 0, false, 1, 0, badCrc},
      {"no blocks", {}, {}, 0, false, 0, 0, noBlocks},
      {"trailer longer than the file", {}, {notFit}, 0, false, 0, 0, WithBlockCount(noBlocks, 0xFF00)},
      {"no image, the trailer alone", {}, {notFit}, 0, false, 1, 0, Trailer({1}, {0})},
      {"one byte over the limit", {}, {tooBig}, 0, false, 1, 0, Pack(2 * 16384 + 1), 2 * 16384 + 38},
  };
  // clang-format on
  const std::vector<BYTE> good = Pack(3 * 16384);
  Fresh(good);
  ASSERT_EQ(Write(0), 1);
  const std::vector<std::string> whole = trace_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.package.empty() ? good : c.package, c.booted, c.rescueMax);
    user_.goOn = c.goOn;
    for (const At& at : c.faults)
      FailAt(whole, at);
    const nlohmann::json before = State();
    EXPECT_EQ(Write(c.rescue), 0);
    EXPECT_TRUE(device_->faults().armed().empty());  // every fault was met
    EXPECT_EQ(Log(), c.lines);
    const nlohmann::json state = State();
    const char *target = c.rescue ? "rescue" : "main", *other = c.rescue ? "main" : "rescue";
    EXPECT_EQ(state["boot_image"], c.bootImage);
    EXPECT_EQ(state[target]["sha256"] != before[target]["sha256"], c.touched);
    EXPECT_EQ(state[other], before[other]);
    // The stream is closed, then the driver unloaded, last; only a failed release holds on.
    const bool loaded = !Calls("DeactivateDevice").empty();
    EXPECT_EQ(trace_.back(), loaded ? "DeactivateDevice" : "ActivateDevice");
    if (loaded) {
      EXPECT_EQ(trace_[trace_.size() - 2],
                Calls("DeviceIoControl:3").empty() ? "CreateFile" : "CloseHandle");
    }
    // An image is written down as unfinished from the moment the driver may tear it, until it
    // is whole again.
    const bool told = !Calls("DeviceIoControl:2").empty();
    EXPECT_EQ(journal::MayBeUnfinished(device_->registry(), c.rescue),
              told && (!state[target]["whole"] || !c.touched));
    const auto failedReleases = std::count_if(c.faults.begin(), c.faults.end(), [](const At& at) {
      return at.call == "DeactivateDevice" || at.call == "CloseHandle";
    });
    EXPECT_EQ(device_->Unreleased().size(), static_cast<std::size_t>(failedReleases));
  }
}

}  // namespace
