// tessaron.exe under Wine, driven through its real windows by the robot (tests/wine/robot.cpp).
// Runs when TESSARON_WINE_BUILD names the folder that holds tessaron.exe and robot.exe, with
// Wine and an X server at hand (scripts/test sets them up); screenshots go to
// TESSARON_SCREENSHOTS.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/sim/sim_debug_log.h"
#include "tests/e2e/device_fixture.h"
#include "tools/common/sha256.h"
#include "tools/devsim/report.h"

namespace {

using nlohmann::json;

std::string WinePath(const std::filesystem::path& path) {
  return "Z:" + std::filesystem::absolute(path).string();
}

class WineTest : public e2e::DeviceTest {
 protected:
  void SetUp() override {
    const char* build = std::getenv("TESSARON_WINE_BUILD");
    if (!build)
      GTEST_SKIP() << "TESSARON_WINE_BUILD is not set: no Win32 build to run";
    build_ = build;
    const char* shots = std::getenv("TESSARON_SCREENSHOTS");
    shots_ = shots ? shots : std::filesystem::temp_directory_path() / "tessaron-screenshots";
    std::filesystem::create_directories(shots_);
    options_.writeDelayMs = 10;  // slow enough to catch the bar part way
    DeviceTest::SetUp();
    work_ = e2e::NewFolder("wine");
    std::filesystem::create_directories(work_);
    before_ = tools::DescribeDevice(*device_);
  }
  void TearDown() override {
    if (!work_.empty())
      std::filesystem::remove_all(work_);
    if (device_)
      DeviceTest::TearDown();
  }

  // Runs tessaron.exe with the robot taking the given steps; true when both ended well.
  void Run(const std::string& steps) {
    std::string text = steps;
    for (std::size_t at = text.find("SHOTS/"); at != std::string::npos; at = text.find("SHOTS/"))
      text.replace(at, 6, WinePath(shots_) + "/");
    std::ofstream(work_ / "steps.txt") << text;
    const std::filesystem::path robotOut = work_ / "robot.txt";
    const std::filesystem::path robotStatus = work_ / "robot.status";
    std::filesystem::remove(robotStatus);
    std::filesystem::remove(work_ / "app.status");
    const std::string command = "bash -c '(wine " + (build_ / "robot.exe").string() + " \"" +
                                WinePath(work_ / "steps.txt") + "\" >" + robotOut.string() +
                                " 2>&1; echo $? >" + robotStatus.string() +
                                ") & timeout 120 wine " + (build_ / "tessaron.exe").string() +
                                " --device \"" + WinePath(dir_) + "\" >/dev/null 2>&1; echo $? >" +
                                (work_ / "app.status").string() + "'";
    std::system(command.c_str());
    for (int i = 0; i < 600 && !std::filesystem::exists(robotStatus); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream status(robotStatus);
    int code = -1;
    status >> code;
    std::ifstream out(robotOut);
    const std::string report(std::istreambuf_iterator<char>(out), {});
    EXPECT_EQ(code, 0) << report;
    std::ifstream app(work_ / "app.status");
    int appCode = -1;
    app >> appCode;
    EXPECT_EQ(appCode, 0) << "tessaron.exe did not end by itself";
    Reopen();
  }

  json State() { return tools::DescribeDevice(*device_); }
  std::string Sha(const std::string& file) {
    std::string bytes;
    platform::host::ReadWholeFile(dir_ / "fs" / file, bytes);
    return tools::Sha256Hex(bytes);
  }
  // The flash as it was before the run: boot loader, blocks and both images.
  void ExpectUntouched() {
    const json state = State();
    for (const char* part :
         {"bootloader", "settings_hex", "constants_hex", "main", "rescue", "timeouts"})
      EXPECT_EQ(state[part], before_[part]) << part;
  }

  std::filesystem::path build_;
  std::filesystem::path shots_;
  std::filesystem::path work_;
  json before_;
};

const char kDialogue[] =
    "wait Tessaron EBOOT Loader\n"
    "click %TARGET%\n"
    "wait Tessaron Loader\n"
    "click OK\n"
    "wait Open\n"
    "file %FILE%\n";

std::string Dialogue(const std::string& target, const std::string& file) {
  std::string steps = kDialogue;
  steps.replace(steps.find("%TARGET%"), 8, target);
  steps.replace(steps.find("%FILE%"), 6, file);
  return steps;
}

TEST_F(WineTest, UpdatesTheBootLoader) {
  Run("wait Tessaron EBOOT Loader\n"
      "shot SHOTS/1-target\n"
      "click Update Bootloader\n"
      "wait Tessaron Loader\n"
      "expect Please, choose a bootloader file.\\n\\nDon't use Flash directory and don't push on "
      "power button during process\n"
      "shot SHOTS/2-instructions\n"
      "click OK\n"
      "wait Open\n"
      "shot SHOTS/3-file-dialog\n"
      "file Storage\\EbootLoader.nbX\n"
      "find Updating bootloader with\\n\\Storage\\EbootLoader.nbX\\n\\nAre you sure?\n"
      "shot SHOTS/4-confirmation\n"
      "click OK\n"
      "wait Quorvane\n"
      "expect OS loading Success\n"
      "click OK\n"
      "gone\n");
  const json state = State();
  EXPECT_EQ(state["bootloader"]["sha256"], Sha("Storage/EbootLoader.nbX"));
  EXPECT_EQ(state["settings_hex"], before_["settings_hex"]);
  EXPECT_EQ(state["constants_hex"], before_["constants_hex"]);
  EXPECT_EQ(state["timeouts"], before_["timeouts"]);
}

TEST_F(WineTest, UpdatesTheMainImageOnceAndChoosesTheImageToBoot) {
  Run(Dialogue("Update Main Image", "Storage\\EbootMain.nbX") +
      "find Updating main image with\\n\\Storage\\EbootMain.nbX\\n\\nAre you sure?\n"
      "click OK\n"
      "find Loading image in flash memory, please wait ...\n"
      "progress 40\n"
      "shot SHOTS/5-progress\n"
      "wait Quorvane\n"
      "expect OS loading Success\n"
      "shot SHOTS/6-result\n"
      "click OK\n"
      "wait Select the image to boot on\n"
      "shot SHOTS/7-boot-selection\n"
      "find Updating main image with\\n\\Storage\\EbootMain.nbX\\n\\nAre you sure?\n"
      "press OK\n"  // the main dialog behind takes no input: no second update
      "wait Select the image to boot on\n"
      "check Boot the RESCUE image\n"
      "click OK\n"
      "gone\n");
  std::vector<std::wstring> log;
  EXPECT_TRUE(platform::sim::ReadDebugLog(device_->paths().debugLog(), log));
  EXPECT_EQ(log,
            (std::vector<std::wstring>{L"Updating Main Image\r\n", L"csDir1 : Flash csDir2 : Stora",
                                       L"restore timeouts in registry: 0 , 0 , 0\r\n",
                                       L"Varnel_Quorvane : Before setting new config\r\n",
                                       L"Writing image to flash complete.\r\n",
                                       L"Varnel_Quorvane : Before driver desactivation\r\n",
                                       L"restore timeouts in registry: 600 , 300 , 60\r\n"}));
  const json state = State();
  EXPECT_TRUE(state["main"]["whole"]);
  EXPECT_EQ(state["main"]["length"], 2 * 1024 * 1024);
  EXPECT_EQ(state["boot_image"], 1);  // the user's choice
  EXPECT_EQ(state["timeouts"], before_["timeouts"]);
}

TEST_F(WineTest, ARefusedPackageIsReportedAndNothingIsWritten) {
  Run(Dialogue("Update Main Image", "Storage\\EbootBadCrc.nbX") +
      "find Updating main image with\\n\\Storage\\EbootBadCrc.nbX\\n\\nAre you sure?\n"
      "click OK\n"
      "wait Quorvane\n"
      "expect OS loading Failure\n"
      "click OK\n"
      "wait Select the image to boot on\n"
      "click Cancel\n"
      "gone\n");
  const json state = State();
  EXPECT_EQ(state["main"], before_["main"]);
  EXPECT_EQ(state["boot_image"], 1);  // a bad main image has turned the device to its rescue image
}

TEST_F(WineTest, AnImageInTheStoreFolderIsRefused) {
  Run(Dialogue("Update Main Image", "Flash\\EbootMain.nbX") +
      "wait tessaron\n"
      "expect OS loading Failure\n"
      "click OK\n"
      "gone\n");
  ExpectUntouched();
}

TEST_F(WineTest, CancelAtEachStepEndsTheApplication) {
  const std::string steps[] = {
      "wait Tessaron EBOOT Loader\nclick Cancel\ngone\n",
      "wait Tessaron EBOOT Loader\nclick Update Rescue Image\nwait Tessaron Loader\nclick "
      "Cancel\ngone\n",
      "wait Tessaron EBOOT Loader\nclick Update Rescue Image\nwait Tessaron Loader\nclick OK\n"
      "wait Open\nclick Cancel\ngone\n",
      Dialogue("Update Rescue Image", "Storage\\EbootRescue.nbX") +
          "find Updating rescue image with\\n\\Storage\\EbootRescue.nbX\\n\\nAre you sure?\n"
          "click Cancel\ngone\n",
  };
  for (const std::string& step : steps) {
    SCOPED_TRACE(step);
    Run(step);
    ExpectUntouched();
  }
}

}  // namespace
