// The boot-loader writer over the simulated device: what reaches NOR flash, the blocks kept
// around the write, the questions asked and the line of each failure.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/progress_dlg.h"
#include "package/package_builder.h"
#include "tests/e2e/core_fixture.h"
#include "tests/support/fakes.h"
#include "writers/boot_loader_writer.h"

namespace {

using namespace platform;
using namespace e2e;
using Lines = std::vector<std::wstring>;
using Strings = std::vector<std::string>;

std::vector<BYTE> Package(std::size_t size, const char* tag = package::kProductTag) {
  return PackExactly(tools::SampleImage("boot loader", size), tag);
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

// What the update run asks and tells the user, in its own words.
const std::wstring kAskSettings =
    L"show 102 [1:OK] [2:Cancel] [1004:Could not get old bootloader settings!\r\nContinue ?]";
const std::wstring kAskConstants =
    L"show 102 [1:OK] [2:Cancel] [1004:Could not get constants settings(Bluetooth Address, "
    L"Serial number, frequency Offset)!\r\nContinue?]";

class WriteBootLoader : public CoreTest {
 protected:
  // Writes the package as a file of the device.
  bool Write(const std::vector<BYTE>& package, std::deque<std::wstring> answers = {}) {
    PutDeviceFile("Storage/E.nbX", package);
    Files& files = device_->files();
    ScopedFile file(files,
                    files.CreateFile(L"\\Storage\\E.nbX", kGenericRead, 0, kOpenExisting, 0));
    return Write(files, file.get(), std::move(answers));
  }
  // The user is the update run's, answering from the queue (none left: cancel).
  bool Write(Files& files, Handle file, std::deque<std::wstring> answers = {}) {
    frontend_ = std::make_unique<fakes::RecordingFrontend>(std::move(answers));
    const platform::ui::UiContext ui{*frontend_, resources::AppResources()};
    NotingKernel kernel(device_->kernel(), counted_);
    app::Services services{files,  device_->registry(), device_->events(), device_->devices(),
                           kernel, device_->log()};
    app::CProgressDlg user(ui, services, file);
    return writers::WriteBootLoader({files, kernel, device_->log(), user}, file);
  }
  Strings Requests() const { return Calls("KernelIoControl"); }
  std::vector<bool> counted_;
};

// The device refuses a block of any other size than its own, and keeps what it was sent. A
// refused package makes no request and asks nothing.
TEST_F(WriteBootLoader, SendsTheWholeFileAndPutsTheBlocksBackOrAsksOrTellsWhyNot) {
  const std::wstring s = kAskSettings, c = kAskConstants, d = L"destroy 102", ok = L"click OK",
                     no = L"click Cancel";
  const std::string get = kGetSettings, getC = kGetConstants, write = kWriteBootLoader,
                    set = kSetSettings, setC = kSetConstants;
  const std::wstring toldS = L"message tessaron|Could not write old bootloader settings|0x0",
                     toldC =
                         L"message tessaron|Could not write old constant settings (BT Addr, "
                         L"frequency offset, serial number)|0x0";
  const std::vector<BYTE> good = Package(3 * 16384 + 10);
  std::vector<BYTE> noBlocks = Package(16384);
  noBlocks[noBlocks.size() - 4] = 0;
  const std::vector<BYTE> trailerAlone =
      package::BuildTrailer({1}, {0}, {}, package::TagField(package::kProductTag));
  const std::wstring notFit = L"Image not fit this product!!!\r\n",
                     notWritten = L"Erreur write file in NOR Flash 31\r\n",
                     badCrc = L"CRC error at block n\u00b0 1\r\n";
  // The package, the requests that fail, the answers, the result, the requests made, what the
  // user was shown and the log.
  using Case =
      std::tuple<std::vector<BYTE>, Strings, std::deque<std::wstring>, bool, Strings, Lines, Lines>;
  const Case cases[] = {
      {good, {}, {}, true, {get, getC, write, set, setC}, {}, {}},
      {good, {get}, {ok}, true, {get, getC, write, setC}, {s, d}, {}},
      {good, {get}, {no}, false, {get}, {s, d}, {}},
      {good, {getC}, {ok}, true, {get, getC, write, set}, {c, d}, {}},
      {good, {getC}, {}, false, {get, getC}, {c, d}, {}},
      {good, {get, getC}, {ok, ok}, true, {get, getC, write}, {s, d, c, d}, {}},
      {good, {write}, {}, false, {get, getC, write}, {}, {notWritten}},
      // Both blocks written back in vain: two messages, settings first, and still a success.
      {good, {set, setC}, {ok, ok}, true, {get, getC, write, set, setC}, {toldS, toldC}, {}},
      {Package(16384, "KORVALIM"), {}, {}, false, {}, {}, {notFit}},
      {SpoiledPackage(), {}, {}, false, {}, {}, {badCrc}},
      {noBlocks, {}, {}, false, {}, {}, {}},
      {trailerAlone, {}, {}, false, {}, {}, {notFit}},
  };
  const nlohmann::json before = State();
  for (const Case& row : cases) {
    SCOPED_TRACE("row " + std::to_string(&row - cases));
    const auto& [package, failing, answers, result, requests, shown, log] = row;
    NewRun();
    counted_.clear();
    ASSERT_TRUE(host::ReplaceFile(device_->paths().bootLoader(), "the boot loader before"));
    for (const std::string& request : failing)
      Fail(request, 31);
    EXPECT_EQ(Write(package, answers), result);
    EXPECT_EQ(Requests(), requests);
    EXPECT_EQ(frontend_->shown, shown);
    EXPECT_EQ(Log(), log);
    const nlohmann::json after = State();
    EXPECT_EQ(after["settings_hex"], before["settings_hex"]);
    EXPECT_EQ(after["constants_hex"], before["constants_hex"]);
    // The whole file, trailer included; a returned-byte count with the blocks but the
    // constants' set.
    EXPECT_EQ(Bytes(device_->paths().bootLoader()) == package, result);
    for (std::size_t i = 0; i < requests.size(); ++i)
      EXPECT_EQ(counted_.at(i), requests[i] != write && requests[i] != setC) << requests[i];
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
  const std::vector<BYTE> trailer =
      package::BuildTrailer({0}, {0}, {}, package::TagField("KORVALIN"));
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
    const bool written = Write(files, fakes::MemoryFiles::kHandle, {L"click OK"});
    std::_Exit(!written && frontend_->shown == Lines{kAskSettings, L"destroy 102"} &&
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

}  // namespace
