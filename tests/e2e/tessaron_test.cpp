// tessaron in the terminal as a process: the script file, the exit statuses, the second
// instance, the device it makes. The dialogs and the terminal are tested below it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/sim/sim_debug_log.h"
#include "tests/e2e/device_fixture.h"
#include "tests/support/run_command.h"

namespace {

using fakes::CommandResult;
using testing::HasSubstr;

class TessaronTest : public e2e::DeviceTest {
 protected:
  void TearDown() override {
    std::filesystem::remove(script_);
    DeviceTest::TearDown();
  }

  // Runs tessaron on the device, answered by this script.
  CommandResult Run(const std::string& script) const {
    std::ofstream(script_) << script;
    return fakes::RunProgram(TESSARON_PATH,
                             "--device " + dir_.string() + " --script " + script_.string(),
                             dir_.parent_path());
  }

  const std::filesystem::path script_ = e2e::NewFolder("script");
};

// As an editor may save it: a byte-order mark, a comment, a blank line; and a path typed from
// the root, which the confirmation shows in full. The run's log goes to the device.
TEST_F(TessaronTest, TakesTheScriptAsAnEditorSavesIt) {
  const CommandResult run =
      Run("\xEF\xBB\xBF# the boot loader, then cancel at the confirmation\n"
          "click Update Bootloader\n\n"
          "click OK\n"
          "file Storage/EbootLoader.nbX\n"
          "click Cancel\n");
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_THAT(run.output, HasSubstr("Updating bootloader with"));
  EXPECT_THAT(run.output, HasSubstr("  \\Storage\\EbootLoader.nbX  "));  // centred, not listed
  std::vector<std::wstring> log;
  EXPECT_TRUE(platform::sim::ReadDebugLog(dir_ / "debug.jsonl", log));
  EXPECT_EQ(log, std::vector<std::wstring>{L"Updating Bootloader\r\n"});
}

TEST_F(TessaronTest, AScriptThatRunsOutOrDoesNotFitEndsWithStatus3) {
  const std::pair<const char*, const char*> cases[] = {
      {"click Update Bootloader\n",
       "tessaron: the script ended while the message box \"Tessaron Loader\""},
      {"click Update Bootloader\nclick OK\nfile \\Storage\\EbootLoader.nbX\n",
       "tessaron: the script ended while the dialog 102 waits"},
      {"click Frobnicate\n",
       "tessaron: script line 1: 'click Frobnicate' does not answer the dialog 133 \"Tessaron "
       "EBOOT Loader\": it has no such button"},
      {"\n# nothing\nclick 1011\ncheck OK\n",
       "tessaron: script line 4: 'check OK' does not answer the message box"},
      {"jump\n", "tessaron: script line 1: 'jump' does not answer the dialog 133"},
  };
  for (const auto& [script, error] : cases) {
    const CommandResult run = Run(script);
    EXPECT_EQ(run.exitCode, 3) << script;
    EXPECT_THAT(run.errors, HasSubstr(error)) << script;
  }
}

TEST_F(TessaronTest, ASecondInstanceSaysSoAndEndsWithStatus4) {
  platform::Events& events = device_->events();
  const platform::ScopedMutex held(events, events.CreateMutex(false, L"TessaronLoader"));
  const CommandResult second = Run("click OK\n");
  EXPECT_EQ(second.exitCode, 4) << second.errors;
  EXPECT_THAT(second.output, HasSubstr("[ tessaron ]"));
  EXPECT_THAT(second.output, HasSubstr("Tessaron Loader is already running."));
}

TEST_F(TessaronTest, MakesTheDeviceInAMissingOrEmptyFolderAndSaysSo) {
  for (const bool folder : {false, true}) {
    std::filesystem::remove_all(dir_);
    if (folder)
      std::filesystem::create_directories(dir_);
    const CommandResult run = Run("cancel\n");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_THAT(run.output, HasSubstr("made one with the default contents and sample packages"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fs" / "Storage" / "EbootLoader.nbX"));
  }
}

}  // namespace
