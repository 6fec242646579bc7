// tessaron.exe under Wine, driven through its real windows by the robot (tests/wine/robot.cpp),
// which tests/wine/run.sh starts beside it. Runs when TESSARON_WINE_BUILD names the folder that
// holds tessaron.exe and robot.exe, with Wine and an X server at hand (scripts/test sets them
// up); the screenshots of every dialog go to TESSARON_SCREENSHOTS. Which dialog follows which,
// and every refusal, are tested without Wine (tests/unit/update_flow_test.cpp,
// tests/e2e/update_run_test.cpp); here, what the Win32 front end and tessaron.exe add.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/sim/sim_debug_log.h"
#include "tests/e2e/device_fixture.h"
#include "tests/support/run_command.h"
#include "tools/devsim/report.h"

namespace {

class WineTest : public e2e::DeviceTest {
 protected:
  void SetUp() override {
    if (!std::getenv("TESSARON_WINE_BUILD"))
      GTEST_SKIP() << "TESSARON_WINE_BUILD is not set: no Win32 build to run";
    options_.writeDelayMs = 10;  // slow enough to catch the bar part way
    DeviceTest::SetUp();
  }

  // Runs tessaron.exe with the robot taking these steps; both must end well.
  void Run(const std::string& steps) {
    const std::filesystem::path file = dir_.string() + "-steps.txt";
    const std::filesystem::path script =
        std::filesystem::path(__FILE__).parent_path().parent_path() / "wine" / "run.sh";
    std::ofstream(file) << steps;
    const fakes::CommandResult run = fakes::RunCommand(
        "sh " + script.string() + " " + file.string() + " " + dir_.string() + " 2>&1");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::filesystem::remove(file);
    Reopen();
  }
};

// Every dialog, photographed on the way through a main image update: the progress bar moves,
// and while the boot selection waits, the main dialog behind it takes no click.
TEST_F(WineTest, UpdatesTheMainImageAndChoosesTheImageToBoot) {
  Run("wait Tessaron EBOOT Loader\n"
      "shot 1-target\n"
      "click Update Main Image\n"
      "wait Tessaron Loader\n"
      "expect Please, choose a main image file.\\n\\nDon't use Flash directory and don't push on "
      "power button during process\n"
      "shot 2-instructions\n"
      "click OK\n"
      "wait Open\n"
      "shot 3-file-dialog\n"
      "file Storage\\EbootMain.nbX\n"
      "find Updating main image with\\n\\Storage\\EbootMain.nbX\\n\\nAre you sure?\n"
      "shot 4-confirmation\n"
      "click OK\n"
      "find Loading image in flash memory, please wait ...\n"
      "progress 40\n"
      "shot 5-progress\n"
      "wait Quorvane\n"
      "expect OS loading Success\n"
      "shot 6-result\n"
      "click OK\n"
      "wait Select the image to boot on\n"
      "shot 7-boot-selection\n"
      "find Updating main image with\\n\\Storage\\EbootMain.nbX\\n\\nAre you sure?\n"
      "press OK\n"
      "wait Select the image to boot on\n"
      "check Boot the RESCUE image\n"
      "click OK\n"
      "gone\n");
  // One update, not two (the press on the main dialog started none), logged through the debug
  // output.
  std::vector<std::wstring> log;
  EXPECT_TRUE(platform::sim::ReadDebugLog(device_->paths().debugLog(), log));
  EXPECT_EQ(log.size(), 7u);
  EXPECT_EQ(std::count(log.begin(), log.end(), L"Writing image to flash complete.\r\n"), 1);
  const nlohmann::json state = tools::DescribeDevice(*device_);
  EXPECT_TRUE(state["main"]["whole"]);
  EXPECT_EQ(state["main"]["length"], 2 * 1024 * 1024);
  EXPECT_EQ(state["boot_image"], 1);  // the user's choice
}

// Cancel in each kind of window: a dialog box, a message box, the file dialog.
TEST_F(WineTest, CancelInEachKindOfWindowEndsTheApplication) {
  const std::string target = "wait Tessaron EBOOT Loader\nclick Update Rescue Image\n";
  const std::string cancelled[] = {
      "wait Tessaron EBOOT Loader\nclick Cancel\ngone\n",
      target + "wait Tessaron Loader\nclick Cancel\ngone\n",
      target + "wait Tessaron Loader\nclick OK\nwait Open\nclick Cancel\ngone\n"};
  for (const std::string& steps : cancelled) {
    SCOPED_TRACE(steps);
    Run(steps);
  }
}

}  // namespace
