// The application in the terminal, answered by scripts, on a simulated device.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/host/host.h"
#include "platform/sim/sim_debug_log.h"
#include "tests/e2e/device_fixture.h"
#include "tests/support/run_command.h"
#include "tools/devsim/report.h"

namespace {

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
    Outcome outcome{result.exitCode, result.output, {}};
    std::ifstream in(errors);
    outcome.errors.assign(std::istreambuf_iterator<char>(in), {});
    return outcome;
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
  EXPECT_NE(run.output.find("Updating bootloader with"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\\Storage\\EbootLoader.nbX"), std::string::npos);
}

TEST_F(TessaronTest, AnImageInTheStoreFolderIsRefused) {
  const Outcome run =
      Run("click Update Main Image\nclick OK\nfile Flash\\EbootMain.nbX\nclick OK\n");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(Log(),
            (std::vector<std::wstring>{L"Updating Main Image\r\n", L"csDir1 : Flash csDir2 : Flash",
                                       L"ERROR : file in nand flash directory\r\n"}));
  EXPECT_NE(run.output.find("[ tessaron ]"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("OS loading Failure"), std::string::npos);
  EXPECT_EQ(run.output.find("Updating main image with"), std::string::npos);
}

TEST_F(TessaronTest, AScriptThatRunsOutOrDoesNotFitGivesUp) {
  struct Case {
    const char* script;
    const char* error;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    const nlohmann::json before = Flash();
    const Outcome run = Run(c.script);
    EXPECT_EQ(run.status, 3) << c.script;
    EXPECT_NE(run.errors.find(c.error), std::string::npos) << c.script << run.errors;
    EXPECT_EQ(Flash(), before);
  }
}

// A run answered through a pipe, so that it waits at each dialog for as long as the test likes.
class InteractiveRun {
 public:
  explicit InteractiveRun(const std::filesystem::path& device) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0)
      return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::close(in[1]);
      ::close(out[0]);
      ::execl(TESSARON_PATH, "tessaron", "--device", device.c_str(), nullptr);
      std::_Exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    answers_ = in[1];
    shown_ = out[0];
  }
  ~InteractiveRun() { Finish(); }

  // Whether text was shown within ten seconds.
  bool WaitFor(const std::string& text) {
    std::string output;
    pollfd wait{shown_, POLLIN, 0};
    char buffer[4096];
    while (output.find(text) == std::string::npos && ::poll(&wait, 1, 10000) == 1) {
      const ssize_t n = ::read(shown_, buffer, sizeof buffer);
      if (n <= 0)
        return false;
      output.append(buffer, static_cast<std::size_t>(n));
    }
    return output.find(text) != std::string::npos;
  }
  void Answer(const std::string& lines) {
    EXPECT_EQ(::write(answers_, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  }
  // Ends the answers and waits for the run: its exit status.
  int Finish() {
    if (pid_ <= 0)
      return -1;
    ::close(answers_);
    char buffer[4096];
    while (::read(shown_, buffer, sizeof buffer) > 0) {
    }
    ::close(shown_);
    int status = 0;
    ::waitpid(std::exchange(pid_, 0), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = 0;
  int answers_ = -1;
  int shown_ = -1;
};

TEST_F(TessaronTest, ASecondRunWhileOneRunsEndsAtOnceAndChangesNothing) {
  const std::string update =
      "click Update Bootloader\nclick OK\nfile \\Storage\\EbootLoader.nbX\nclick OK\nclick OK\n";
  InteractiveRun first(dir_);
  ASSERT_TRUE(first.WaitFor("Update Bootloader"));
  const nlohmann::json before = Flash();
  const Outcome second = Run(update);
  EXPECT_EQ(second.status, 4) << second.errors;
  EXPECT_NE(second.output.find("Tessaron Loader is already running."), std::string::npos)
      << second.output;
  EXPECT_EQ(Flash(), before);
  EXPECT_TRUE(Log().empty());

  first.Answer(update);
  EXPECT_EQ(first.Finish(), 0);
  const std::vector<std::wstring> log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), L"Updating Bootloader\r\n"), 1);
  EXPECT_NE(Flash(), before);
  // Once the first run ended, the next one runs.
  EXPECT_EQ(Run("cancel\n").status, 0);
}

TEST_F(TessaronTest, MakesTheDeviceInAMissingOrEmptyFolderAndSaysSo) {
  for (const bool folder : {false, true}) {
    std::filesystem::remove_all(dir_);
    if (folder)
      std::filesystem::create_directories(dir_);
    const Outcome run = Run("cancel\n");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.output.find("made one with the default contents and sample packages"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "fs" / "Storage" / "EbootLoader.nbX"));
  }
}

}  // namespace
