// The application in the terminal, answered by scripts, on a simulated device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/host/host.h"
#include "platform/sim/sim_debug_log.h"
#include "tests/e2e/device_fixture.h"
#include "tests/support/run_command.h"
#include "tools/devsim/report.h"

namespace {

using testing::HasSubstr;

struct Outcome {
  int status;
  std::string output;  // standard output
  std::string errors;
};

class TessaronTest : public e2e::DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    work_ = e2e::NewFolder("work");
    std::filesystem::create_directories(work_);
  }
  void TearDown() override {
    std::filesystem::remove_all(work_);
    DeviceTest::TearDown();
  }

  Outcome Run(const std::string& script, const std::string& arguments = "") {
    const std::filesystem::path scriptPath = work_ / "answers.txt";
    std::ofstream(scriptPath) << script;
    const std::filesystem::path errors = work_ / "errors.txt";
    const std::string command = std::string(TESSARON_PATH) + " --device " + dir_.string() +
                                " --script " + scriptPath.string() + " " + arguments + " 2>" +
                                errors.string() + " </dev/null";
    const fakes::CommandResult result = fakes::RunCommand(command);
    std::ifstream in(errors);
    return {result.exitCode, result.output, {std::istreambuf_iterator<char>(in), {}}};
  }

  std::vector<std::wstring> Log() {
    std::vector<std::wstring> lines;
    EXPECT_TRUE(platform::sim::ReadDebugLog(dir_ / "debug.jsonl", lines));
    return lines;
  }

  // The parts of the device that an update may change.
  nlohmann::json Flash() {
    Reopen();
    nlohmann::json state = tools::DescribeDevice(*device_);
    return {state["bootloader"], state["settings_hex"], state["constants_hex"],
            state["main"],       state["rescue"],       state["timeouts"]};
  }

  std::filesystem::path work_;
};

TEST_F(TessaronTest, AConfirmationCancelledWritesNothing) {
  const nlohmann::json before = Flash();
  // An editor's byte-order mark, and a path as a user may type it: the confirmation shows the
  // full device path.
  const Outcome run =
      Run("\xEF\xBB\xBF# the boot loader, then cancel at the confirmation\n"
          "click Update Bootloader\n\n"
          "click OK\n"
          "file Storage/EbootLoader.nbX\n"
          "click Cancel\n");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"Updating Bootloader\r\n"});
  EXPECT_EQ(Flash(), before);
  EXPECT_THAT(run.output, HasSubstr("Updating bootloader with"));
  EXPECT_THAT(run.output, HasSubstr("\\Storage\\EbootLoader.nbX"));
}

TEST_F(TessaronTest, AnImageInTheStoreFolderIsRefused) {
  const Outcome run =
      Run("click Update Main Image\nclick OK\nfile Flash\\EbootMain.nbX\nclick OK\n");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(Log(),
            (std::vector<std::wstring>{L"Updating Main Image\r\n", L"csDir1 : Flash csDir2 : Flash",
                                       L"ERROR : file in nand flash directory\r\n"}));
  EXPECT_THAT(run.output, HasSubstr("[ tessaron ]"));
  EXPECT_THAT(run.output, HasSubstr("OS loading Failure"));
  EXPECT_EQ(run.output.find("Updating main image with"), std::string::npos);
}

TEST_F(TessaronTest, AScriptThatRunsOutOrDoesNotFitGivesUp) {
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
    const nlohmann::json before = Flash();
    const Outcome run = Run(script);
    EXPECT_EQ(run.status, 3) << script;
    EXPECT_THAT(run.errors, HasSubstr(error)) << script;
    EXPECT_EQ(Flash(), before);
  }
}

TEST_F(TessaronTest, ARunWhileAnotherHoldsTheDeviceEndsAtOnceAndChangesNothing) {
  const std::string update =
      "click Update Bootloader\nclick OK\nfile \\Storage\\EbootLoader.nbX\nclick OK\nclick OK\n";
  const nlohmann::json before = Flash();
  {
    // What another running instance holds.
    platform::Events& events = device_->events();
    const platform::ScopedMutex held(events, events.CreateMutex(false, L"TessaronLoader"));
    const Outcome second = Run(update);
    EXPECT_EQ(second.status, 4) << second.errors;
    EXPECT_THAT(second.output, HasSubstr("Tessaron Loader is already running."));
    EXPECT_TRUE(Log().empty());
  }
  EXPECT_EQ(Flash(), before);
  EXPECT_EQ(Run(update).status, 0);  // once it is let go, the next run runs
  EXPECT_NE(Flash(), before);
}

TEST_F(TessaronTest, MakesTheDeviceInAMissingOrEmptyFolderAndSaysSo) {
  for (const bool folder : {false, true}) {
    std::filesystem::remove_all(dir_);
    if (folder)
      std::filesystem::create_directories(dir_);
    const Outcome run = Run("cancel\n");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_THAT(run.output, HasSubstr("made one with the default contents and sample packages"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fs" / "Storage" / "EbootLoader.nbX"));
  }
}

}  // namespace
