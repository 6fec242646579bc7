#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>
#include <fstream>
#include <iostream>

#include "package/crc16.h"
#include "package/package_builder.h"
#include "tests/support/fakes.h"
#include "writers/boot_loader_writer.h"

namespace {

using namespace platform;

std::vector<BYTE> Package(std::size_t size, const char* tag = "KORVALIN") {
  std::string image(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    image[i] = static_cast<char>(i * 7 + 3);
  package::PackOptions options;
  options.tag = tag;
  std::string error;
  return package::PackImage(image, options, error)->bytes;
}

// The user as the writer meets them: answers from a queue (none left: no), and a record of
// every question ("settings", "constants") and message ("tell TEXT").
class RecordingUser final : public writers::UserQuestions {
 public:
  bool GoOnWithout(Block block) override {
    heard.push_back(block == Block::kSettings ? L"settings" : L"constants");
    const bool answer = !answers.empty() && answers.front();
    if (!answers.empty())
      answers.pop_front();
    return answer;
  }
  void Tell(const std::wstring& text) override { heard.push_back(L"tell " + text); }

  std::deque<bool> answers;
  std::vector<std::wstring> heard;
};

struct WriterRun {
  explicit WriterRun(std::vector<BYTE> package, std::deque<bool> answers = {})
      : files(std::move(package)) {
    user.answers = std::move(answers);
    for (std::size_t i = 0; i < kernel.settings.size(); ++i)
      kernel.settings[i] = static_cast<BYTE>(i);
    for (std::size_t i = 0; i < kernel.constants.size(); ++i)
      kernel.constants[i] = static_cast<BYTE>(255 - i % 256);
    settings = kernel.settings;
    constants = kernel.constants;
  }
  bool Write() {
    return writers::WriteBootLoader({files, kernel, log, user}, fakes::MemoryFiles::kHandle);
  }
  std::vector<DWORD> Codes() const {
    std::vector<DWORD> codes;
    for (const auto& request : kernel.requests)
      codes.push_back(request.code);
    return codes;
  }

  fakes::MemoryFiles files;
  fakes::FakeKernel kernel;
  fakes::RecordingLog log;
  RecordingUser user;
  std::vector<BYTE> settings;
  std::vector<BYTE> constants;
};

constexpr DWORD kGetSettings = IOCTL_HAL_GET_BOOT_SETTINGS;
constexpr DWORD kGetConstants = IOCTL_HAL_GET_CONSTANTS;
constexpr DWORD kWrite = IOCTL_HAL_WRITE_BOOTLOADER;
constexpr DWORD kSetSettings = IOCTL_HAL_SET_BOOT_SETTINGS;
constexpr DWORD kSetConstants = IOCTL_HAL_SET_CONSTANTS;

TEST(WriteBootLoader, SendsTheWholeFileAndPutsBothBlocksBack) {
  const std::vector<BYTE> package = Package(3 * 16384 + 10);
  WriterRun run(package);
  // Whatever the device holds meanwhile, the blocks read go back byte for byte.
  ASSERT_TRUE(run.Write());
  EXPECT_EQ(run.kernel.bootLoader, package);  // trailer included
  EXPECT_EQ(run.Codes(),
            (std::vector<DWORD>{kGetSettings, kGetConstants, kWrite, kSetSettings, kSetConstants}));
  EXPECT_EQ(run.kernel.requests[2].inSize, package.size());
  EXPECT_EQ(run.kernel.settings, run.settings);
  EXPECT_EQ(run.kernel.constants, run.constants);
  EXPECT_TRUE(run.log.lines.empty());
  EXPECT_TRUE(run.user.heard.empty());
}

TEST(WriteBootLoader, ARefusedPackageMakesNoRequestAndAsksNothing) {
  // Blocks listed 3, 0, 1, 2; block 1, at position 2, spoiled.
  std::vector<BYTE> badCrc = Package(4 * 16384);
  std::vector<package::WORD> crc;
  for (const int block : {3, 0, 1, 2})
    crc.push_back(package::Crc16(badCrc.data() + block * 16384, 16384));
  badCrc.resize(4 * 16384);
  badCrc[16384 + 5] ^= 1;
  const std::vector<BYTE> trailer =
      package::BuildTrailer({3, 0, 1, 2}, crc, {}, package::TagField("KORVALIN"));
  badCrc.insert(badCrc.end(), trailer.begin(), trailer.end());
  std::vector<BYTE> noBlocks = Package(16384);
  noBlocks[noBlocks.size() - 4] = 0;
  const std::vector<BYTE> alone =
      package::BuildTrailer({1}, {0}, {}, package::TagField("KORVALIN"));
  const std::wstring notFit = L"Image not fit this product!!!\r\n";
  const std::tuple<const char*, std::vector<BYTE>, std::vector<std::wstring>> cases[] = {
      {"wrong tag", Package(16384, "KORVALIM"), {notFit}},
      {"bad CRC", badCrc, {L"CRC error at block n\u00b0 1\r\n"}},
      {"no blocks", noBlocks, {}},
      {"empty file", {}, {}},
      {"no image, the trailer alone", alone, {notFit}}};
  for (const auto& [name, bytes, log] : cases) {
    WriterRun run(bytes);
    EXPECT_FALSE(run.Write()) << name;
    EXPECT_TRUE(run.kernel.requests.empty()) << name;
    EXPECT_TRUE(run.user.heard.empty()) << name;
    EXPECT_EQ(run.log.lines, log) << name;
  }
}

TEST(WriteBootLoader, AsksBeforeGoingOnWithoutABlock) {
  using Case = std::tuple<std::vector<DWORD>, std::deque<bool>, bool, std::vector<DWORD>,
                          std::vector<std::wstring>>;
  const std::wstring s = L"settings", c = L"constants";
  const DWORD get = kGetSettings, getC = kGetConstants;
  const Case cases[] = {
      {{get}, {true}, true, {get, getC, kWrite, kSetConstants}, {s}},
      {{get}, {false}, false, {get}, {s}},
      {{getC}, {true}, true, {get, getC, kWrite, kSetSettings}, {c}},
      {{getC}, {false}, false, {get, getC}, {c}},
      {{get, getC}, {true, true}, true, {get, getC, kWrite}, {s, c}},
  };
  for (const auto& [failing, answers, result, codes, questions] : cases) {
    WriterRun run(Package(16384), answers);
    for (const DWORD code : failing)
      run.kernel.failWith[code] = 31;
    EXPECT_EQ(run.Write(), result);
    EXPECT_EQ(run.Codes(), codes);
    EXPECT_EQ(run.user.heard, questions);
    EXPECT_TRUE(run.log.lines.empty());
  }
}

TEST(WriteBootLoader, ReportsFailedWritesInItsOwnWords) {
  WriterRun failedWrite(Package(16384));
  failedWrite.kernel.failWith[kWrite] = 1117;
  EXPECT_FALSE(failedWrite.Write());
  EXPECT_EQ(failedWrite.log.lines,
            std::vector<std::wstring>{L"Erreur write file in NOR Flash 1117\r\n"});
  EXPECT_EQ(failedWrite.Codes(), (std::vector<DWORD>{kGetSettings, kGetConstants, kWrite}));

  WriterRun shortRead(Package(2 * 16384));
  shortRead.files.shortReads = 20000;  // the package check reads 16 KiB at most; the whole file not
  EXPECT_FALSE(shortRead.Write());
  EXPECT_EQ(shortRead.log.lines.size(), 1u);
  EXPECT_EQ(shortRead.log.lines[0].rfind(L"Erreur reading file ", 0), 0u);
  EXPECT_EQ(shortRead.Codes(), (std::vector<DWORD>{kGetSettings, kGetConstants}));

  // Both blocks written back in vain: two messages, settings first, and still a success.
  WriterRun writeBack(Package(16384));
  writeBack.kernel.failWith[kSetSettings] = 5;
  writeBack.kernel.failWith[kSetConstants] = 5;
  EXPECT_TRUE(writeBack.Write());
  EXPECT_EQ(writeBack.user.heard,
            (std::vector<std::wstring>{L"tell Could not write old bootloader settings",
                                       L"tell Could not write old constant settings (BT Addr, "
                                       L"frequency offset, serial number)"}));
}

// Holding the whole file fails: told once both blocks were read and the question answered,
// before anything is written. Run in a child whose address space leaves no room for a copy.
TEST(WriteBootLoader, TellsAnAllocationFailureBeforeWritingAnything) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer reserves the address space itself";
#endif
  constexpr int kNoLimit = 2;
  const pid_t child = ::fork();
  if (child == 0) {
    std::vector<BYTE> package(48u << 20);  // zeros: block 0's CRC is 0
    const std::vector<BYTE> trailer =
        package::BuildTrailer({0}, {0}, {}, package::TagField("KORVALIN"));
    package.insert(package.end(), trailer.begin(), trailer.end());
    WriterRun run(std::move(package), {true});
    run.kernel.failWith[kGetSettings] = 31;
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t cap = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (16u << 20);
    const rlimit limit{cap, cap};
    rlimit taken{};
    // qemu-user accepts the limit but keeps it from the program it runs.
    if (::setrlimit(RLIMIT_AS, &limit) != 0 || ::getrlimit(RLIMIT_AS, &taken) != 0 ||
        taken.rlim_cur != cap)
      std::_Exit(kNoLimit);
    const bool written = run.Write();
    const bool ok = !written && run.user.heard == std::vector<std::wstring>{L"settings"} &&
                    run.Codes() == std::vector<DWORD>{kGetSettings, kGetConstants} &&
                    run.log.lines == std::vector<std::wstring>{L"Erreur alloc memory 8\r\n"};
    if (!ok) {
      std::wcerr << L"written " << written << L", requests " << run.Codes().size() << L", log:";
      for (const std::wstring& line : run.log.lines)
        std::wcerr << L" " << line;
      std::wcerr << std::endl;
    }
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoLimit)
    GTEST_SKIP() << "the address-space limit does not hold here";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
