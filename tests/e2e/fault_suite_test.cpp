// Proof that nothing is lost when a call fails: every platform call that an update makes is made
// to fail in turn, one run each, and every run must leave the device sound. Then the power is cut
// at every call of an update, and the device must still start a whole image. Each update starts
// from a device set to boot the main image, and from one set to boot the rescue image.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>

#include "platform/text/utf8.h"
#include "tests/e2e/core_fixture.h"
#include "tests/support/run_command.h"
#include "tools/common/sha256.h"

namespace {

using nlohmann::json;

struct Scenario {
  const char* name;
  const wchar_t* button;
  int image;         // -1 the boot loader, 0 main, 1 rescue
  std::size_t size;  // of the image in the package
};

const Scenario kScenarios[] = {
    {"bootloader", L"Update Bootloader", -1, 40000},
    {"main", L"Update Main Image", 0, 3 * 16384 + 500},
    {"rescue", L"Update Rescue Image", 1, 2 * 16384 + 77},
};

// The debug lines an update may write.
const std::wregex kKnownLines(
    L"csDir1 : Flash csDir2 : Stora|(Updating (Bootloader|Main Image|Rescue mage)|"
    L"restore timeouts in registry: \\d+ , \\d+ , \\d+|Error: Could not open PM reload event|"
    L"ERROR : PM timeouts not found in registry|(Erreur|Error) (get|set) settings n\u00b0 \\d+|"
    L"Erreur (reading file|write file in NOR Flash|alloc memory) \\d+|Varnel_Quorvane: Erreur "
    L"(createfile|readfile|writefile|update header setting|closefile) n\u00b0 \\d+|"
    L"Varnel_Quorvane: Erreur update selecting image n\u00b0[01], error n\u00b0 \\d+|"
    L"Quorvane: Error on BIN_IOCTL_GET_SECTOR_SIZE n\u00b0 \\d+|"
    L"((Varnel_)?Quorvane: )?BinDrv DeInit Failed !!!|Writing image to flash complete.|"
    L"Varnel_Quorvane : Before (setting new config|driver desactivation))\r\n");

// A scenario, and the image the device is set to boot when it starts (both images whole). Each
// run starts from a copy of the device as set up, with only the scenario's package on it.
class FaultSuite : public e2e::CoreTest,
                   public testing::WithParamInterface<std::tuple<Scenario, int>> {
 protected:
  void SetUp() override {
    options_.factoryImages[0] = 64 * 1024;
    options_.factoryImages[1] = 32 * 1024;
    options_.bootImage = static_cast<platform::WORD>(std::get<1>(GetParam()));
    CoreTest::SetUp();
    std::filesystem::remove_all(dir_ / "fs");
    image_ = tools::SampleImage(scenario_.name, scenario_.size);
    const std::vector<platform::BYTE> package = e2e::PackExactly(image_);
    package_.assign(package.begin(), package.end());
    PutDeviceFile("Storage/Eboot.nbX", package);
    before_ = State();
    device_.reset();
    std::filesystem::copy(dir_, pristine_, std::filesystem::copy_options::recursive);
  }
  void TearDown() override {
    CoreTest::TearDown();
    std::filesystem::remove_all(pristine_);
  }
  void Fresh() {
    device_.reset();
    std::filesystem::remove_all(dir_);
    std::filesystem::copy(pristine_, dir_, std::filesystem::copy_options::recursive);
    Reopen();
    device_->faults().RecordCalls(true);
  }
  // The update once, every further question answered with OK; the calls it made.
  std::vector<std::string> Update() {
    Fresh();
    RunApp(Answers(), L"click OK");
    return Calls();
  }
  std::deque<std::wstring> Answers() const {
    return {std::wstring(L"click ") + scenario_.button, L"click OK", L"file \\Storage\\Eboot.nbX",
            L"click OK"};
  }

  // Whether the target now holds the package (the boot loader) or its payload (an image).
  bool Written(const json& state) const {
    if (scenario_.image < 0)
      return state["bootloader"]["sha256"] == tools::Sha256Hex(package_);
    const json& image = state[scenario_.image == 0 ? "main" : "rescue"];
    return image["whole"] == true && image["sha256"] == tools::Sha256Hex(image_);
  }

  // What a run whose call failed must leave.
  void ExpectSound(const std::vector<std::wstring>& shown, const std::string& failed,
                   bool restoreFailed) {
    const json state = State();
    const bool release =
        failed == "CloseHandle" || failed == "RegCloseKey" || failed == "DeactivateDevice";
    EXPECT_LE(device_->Unreleased().size(), release ? 1u : 0u);
    // The timeouts are as they were, but for one the restore itself failed to write.
    for (const char* name : {"ACUserIdle", "ACSystemIdle", "ACSuspend"}) {
      if (!restoreFailed || state["timeouts"][name] != 0) {
        EXPECT_EQ(state["timeouts"][name], before_["timeouts"][name]) << name;
      }
    }
    // Only the selection, the cleared byte and the checksum may change, and only for an image.
    const std::string settings = state["settings_hex"];
    std::string expected = before_["settings_hex"];
    for (const auto& [at, length] : {std::pair{0, 8}, {84, 4}, {96, 2}}) {
      if (scenario_.image >= 0)
        expected.replace(at, length, settings.substr(at, length));
    }
    EXPECT_EQ(settings, expected);
    ExpectAWholeImageToStart(state);
    const bool success =
        std::count(shown.begin(), shown.end(), L"message Quorvane|OS loading Success|0x0") == 1;
    EXPECT_TRUE(!success || Written(state));
    for (const std::wstring& line : Log())
      EXPECT_TRUE(std::regex_match(line, kKnownLines)) << platform::ToUtf8(line);
  }

  // What even a power cut leaves: a whole image to start, never the target while it is torn, and
  // the constants block and the settings' checksum intact.
  void ExpectAWholeImageToStart(const json& state) const {
    EXPECT_TRUE(state["boot"]["whole"]);
    const int image = scenario_.image;
    if (image >= 0 && state[image == 0 ? "main" : "rescue"]["whole"] != true) {
      EXPECT_EQ(state["boot_image"], 1 - image);
    }
    EXPECT_EQ(state["constants_hex"], before_["constants_hex"]);
    EXPECT_TRUE(state["settings_checksum_ok"]);
  }

  const Scenario& scenario_ = std::get<0>(GetParam());
  const std::filesystem::path pristine_ = e2e::NewFolder("pristine");
  std::string image_;
  std::string package_;
  json before_;
};

TEST_P(FaultSuite, EveryCallFailingInTurnLeavesTheDeviceSound) {
  const std::vector<std::string> trace = Update();
  ASSERT_TRUE(Written(State()));
  ASSERT_GT(trace.size(), 30u);
  // The restore of the timeouts is the last key opening and the last three writes.
  const auto count = [&trace](const char* call) {
    return static_cast<unsigned>(std::count(trace.begin(), trace.end(), call));
  };
  for (std::size_t at = 0; at < trace.size(); ++at) {
    const std::string& call = trace[at];
    const unsigned nth = e2e::Occurrence(trace, at);
    SCOPED_TRACE(call + " #" + std::to_string(nth));
    Fresh();
    Fail(call, 1117, nth);
    const std::vector<std::wstring> shown = RunApp(Answers(), L"click OK");
    EXPECT_TRUE(device_->faults().armed().empty());  // the fault was met
    ExpectSound(shown, call,
                (call == "RegOpenKeyEx" && nth == count("RegOpenKeyEx")) ||
                    (call == "RegSetValueEx" && nth + 3 > count("RegSetValueEx")));
  }
}

TEST_P(FaultSuite, APowerCutAtAnyCallLeavesAWholeImageToStart) {
  const std::vector<std::string> trace = Update();
  const std::filesystem::path script = e2e::NewFolder("script");
  std::string answers;
  for (const std::wstring& answer : Answers())
    answers += platform::ToUtf8(answer) + "\n";
  std::ofstream(script) << answers << "click OK\nclick OK\nclick OK\nclick OK\n";
  for (std::size_t at = 0; at < trace.size(); ++at) {
    SCOPED_TRACE(trace[at] + " #" + std::to_string(e2e::Occurrence(trace, at)));
    Fresh();
    PowerCut(trace[at], e2e::Occurrence(trace, at));
    device_.reset();
    const fakes::CommandResult cut =
        fakes::RunCommand("exec timeout 60 " + std::string(TESSARON_PATH) + " --device " +
                          dir_.string() + " --script " + script.string() + " >/dev/null 2>&1");
    ASSERT_EQ(cut.signal, SIGKILL) << cut.exitCode;  // how a power cut ends the process
    Reopen();
    ExpectAWholeImageToStart(State());
    EXPECT_TRUE(device_->faults().armed().empty());
  }
  std::filesystem::remove(script);
}

INSTANTIATE_TEST_SUITE_P(Updates, FaultSuite,
                         testing::Combine(testing::ValuesIn(kScenarios), testing::Values(0, 1)),
                         [](const testing::TestParamInfo<std::tuple<Scenario, int>>& start) {
                           return std::string(std::get<0>(start.param).name) +
                                  (std::get<1>(start.param) ? "_booting_rescue" : "_booting_main");
                         });

}  // namespace
