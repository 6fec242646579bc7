// The Win32 programs under Wine, driven through their real windows by the robot
// (tests/wine/robot.cpp), which tests/wine/run.sh starts beside them: tessaron.exe on a simulated
// device, and the device program in the device's forms over the stand-in of the calls that only
// Windows CE has (tests/standin), with Wine's own registry, files, events and mutexes. Runs when
// TESSARON_WINE_BUILD and TESSARON_WINE_DEVICE_BUILD name the 64-bit Windows build and the device
// program's 32-bit build, with Wine and an X server at hand
// (scripts/test sets them up); the screenshots of every dialog go to TESSARON_SCREENSHOTS. Which
// dialog follows which, and every refusal, are tested without Wine; here, what the programs add.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

#include "tests/support/core_fixture.h"
#include "tests/support/run_command.h"
#include "tools/common/sha256.h"

namespace {

using e2e::ReadText;
using nlohmann::json;

class WineTest : public e2e::CoreTest {
 protected:
  void SetUp() override {
    if (!std::getenv("TESSARON_WINE_BUILD") || !std::getenv("TESSARON_WINE_DEVICE_BUILD"))
      GTEST_SKIP() << "TESSARON_WINE_BUILD or TESSARON_WINE_DEVICE_BUILD is not set";
    options_.writeDelayMs = 10;  // slow enough to catch the bar part way
    // On a disk: Wine's file dialog does not open in a folder below /dev.
    base_ = std::filesystem::temp_directory_path();
    CoreTest::SetUp();
    before_ = State();
  }

  // Runs the program (path and arguments) and the robot taking these steps; both must end well.
  void Run(const std::string& steps, const std::string& program) {
    const std::filesystem::path file = dir_ / "steps.txt";
    const std::filesystem::path script =
        std::filesystem::path(__FILE__).parent_path().parent_path() / "wine" / "run.sh";
    std::ofstream(file) << steps;
    const fakes::CommandResult run =
        fakes::RunCommand("sh " + script.string() + " " + file.string() + " " + program + " 2>&1");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    Reopen();
  }

  static std::string Program(const char* name, const char* build = "TESSARON_WINE_BUILD") {
    return std::string(std::getenv(build)) + "/" + name;
  }

  json before_;
};

// Every dialog, photographed on the way through a main image update: the progress bar moves,
// and while the boot selection waits, the main dialog behind it takes no click. The package's
// name ends in a dot, beside one without it: the file confirmed is the file written.
TEST_F(WineTest, UpdatesTheMainImageAndChoosesTheImageToBoot) {
  const std::filesystem::path storage = dir_ / "fs" / "Storage";
  std::filesystem::rename(storage / "EbootMain.nbX", storage / "EbootMain.nbX.");
  std::filesystem::copy_file(storage / "EbootRescue.nbX", storage / "EbootMain.nbX");
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
      "file Storage\\EbootMain.nbX.\n"
      "find Updating main image with\\n\\Storage\\EbootMain.nbX.\\n\\nAre you sure?\n"
      "okbutton no\n"
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
      "find Updating main image with\\n\\Storage\\EbootMain.nbX.\\n\\nAre you sure?\n"
      "press OK\n"
      "wait Select the image to boot on\n"
      "check Boot the RESCUE image\n"
      "click OK\n"
      "gone\n",
      Program("tessaron.exe") + " --device Z:" + dir_.string());
  // One update, not two (the press on the main dialog started none), logged through the debug
  // output.
  const std::vector<std::wstring> log = Log();
  EXPECT_EQ(log.size(), 7u);
  EXPECT_EQ(std::count(log.begin(), log.end(), L"Writing image to flash complete.\r\n"), 1);
  const json state = State();
  EXPECT_TRUE(state["main"]["whole"]);
  EXPECT_EQ(state["main"]["length"], 2 * 1024 * 1024);
  EXPECT_EQ(state["boot_image"], 1);  // the user's choice
}

const char kTimeoutsKey[] = "'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts'";

// The device program with Wine's registry seeded as the device's: the user store "Flash", the
// power manager's timeouts, and a stand-in power manager that records what it reloads; the
// packages lie in C:\Storage.
class WineDeviceTest : public WineTest {
 protected:
  void SetUp() override {
    WineTest::SetUp();
    if (IsSkipped())
      return;
    setenv("TESSARON_STANDIN_DEVICE", ("Z:" + dir_.string()).c_str(), 1);
    storage_ = std::filesystem::path(std::getenv("WINEPREFIX")) / "drive_c" / "Storage";
    std::filesystem::remove_all(storage_);
    std::filesystem::copy(dir_ / "fs" / "Storage", storage_);
    Reg("add 'HKLM\\System\\StorageManager\\Profiles\\USER' /v Folder /d Flash /f");
    record_ = dir_ / "reloads.txt";
    fakes::RunCommand("wine " + Program("power_manager.exe") + " Z:" + record_.string() +
                      " >/dev/null 2>&1 &");
    ASSERT_TRUE(Await("ready"));
  }
  void TearDown() override {
    if (!record_.empty()) {
      std::ofstream(record_.string() + ".stop");
      EXPECT_TRUE(Await("stopped"));
      std::filesystem::remove_all(storage_);
    }
    WineTest::TearDown();
  }

  static void Reg(const std::string& arguments) {
    fakes::RunCommand("wine reg " + arguments + " 2>/dev/null");
  }
  // Sets the power manager's timeouts, leaving out those not given.
  static void SeedTimeouts(const std::map<std::string, unsigned>& values) {
    Reg(std::string("delete ") + kTimeoutsKey + " /f");
    for (const auto& [name, value] : values)
      Reg(std::string("add ") + kTimeoutsKey + " /v " + name + " /t REG_DWORD /d " +
          std::to_string(value) + " /f");
  }
  // Whether the power manager writes the line within a minute (Wine may take its time to start).
  bool Await(const std::string& line) const {
    for (int i = 0; i < 1200; ++i) {
      if (ReadText(record_).find(line + "\n") != std::string::npos)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  static std::string Device() {
    return Program("tessaron_device_standin.exe", "TESSARON_WINE_DEVICE_BUILD");
  }
  void RunDevice(const std::string& steps) { Run(steps, Device()); }

  std::filesystem::path storage_;
  std::filesystem::path record_;
};

// From the target to the confirmation, which carries the device's OK button in its caption bar,
// answered so.
std::string Dialogue(const std::string& target, const std::string& file,
                     const std::string& confirm = "click OK") {
  std::string name = target.substr(7);  // "Update Main Image": "main image"
  std::transform(name.begin(), name.end(), name.begin(), ::tolower);
  return "wait Tessaron EBOOT Loader\nclick " + target + "\nwait Tessaron Loader\nclick OK\n" +
         "wait Open\nfile \\Storage\\" + file + "\nfind Updating " + name + " with\\n\\Storage\\" +
         file + "\\n\\nAre you sure?\nokbutton yes\n" + confirm + "\n";
}

// The timeouts go to zero for the write and back after it; a value that was absent is absent
// again, as the power manager sees at each reload.
TEST_F(WineDeviceTest, UpdatesTheBootLoaderWithTheTimeoutsOffMeanwhile) {
  SeedTimeouts({{"ACUserIdle", 60}, {"ACSystemIdle", 300}});
  RunDevice(Dialogue("Update Bootloader", "EbootLoader.nbX") +
            "wait Quorvane\nexpect OS loading Success\nclick OK\ngone\n");
  EXPECT_EQ(ReadText(record_), "ready\n0 0 0\n60 300 -\n");
  EXPECT_EQ(Log(), (std::vector<std::wstring>{L"Updating Bootloader\r\n",  // by NKDbgPrintfW
                                              L"restore timeouts in registry: 0 , 0 , 0\r\n",
                                              L"restore timeouts in registry: -1 , 300 , 60\r\n"}));
  const json state = State();
  EXPECT_EQ(state["bootloader"]["sha256"],
            tools::Sha256Hex(ReadText(dir_ / "fs" / "Storage" / "EbootLoader.nbX")));
  EXPECT_EQ(state["settings_hex"], before_["settings_hex"]);
  EXPECT_EQ(state["constants_hex"], before_["constants_hex"]);
}

// Input made before the result or the boot selection appears answers neither: taps on the
// progress window during the write, Enter held on the confirmation.
TEST_F(WineDeviceTest, UpdatesTheMainImageOrRefusesABadOneAndChoosesTheImageToBoot) {
  struct Case {
    const char *file, *confirm, *during, *result;
    bool written;
  };
  for (const Case& c :
       {Case{"EbootMain.nbX", "click OK",
             "find Loading image in flash memory, please wait ...\ntaps 8\n", "Success", true},
        Case{"EbootBadCrc.nbX", "hold 1000", "", "Failure", false}}) {
    SCOPED_TRACE(c.file);
    SeedTimeouts({{"ACUserIdle", 60}, {"ACSystemIdle", 300}, {"ACSuspend", 600}});
    const json before = State();
    RunDevice(Dialogue("Update Main Image", c.file, c.confirm) + c.during +
              "wait Quorvane\nexpect OS loading " + c.result +
              "\nclick OK\nwait Select the image to boot on\ncheck Boot the RESCUE image\n"
              "click OK\ngone\n");
    const json state = State();
    EXPECT_EQ(state["main"] != before["main"], c.written);
    EXPECT_TRUE(state["main"]["whole"]);
    EXPECT_EQ(state["boot_image"], 1);  // the user's choice
  }
  EXPECT_EQ(ReadText(record_), "ready\n0 0 0\n60 300 600\n0 0 0\n60 300 600\n");
}

// A second start while one runs says so and ends, taking nothing; a cancel in each kind of
// window (a dialog box, a message box, the file dialog) ends the program, changing nothing.
TEST_F(WineDeviceTest, ASecondInstanceOrACancelEndsTheProgramAndChangesNothing) {
  const std::string target = "wait Tessaron EBOOT Loader\nclick Update Rescue Image\n";
  const std::string runs[] = {
      "wait Tessaron EBOOT Loader\nlaunch Z:" + Device() +
          "\nwait tessaron\n"
          "expect Tessaron Loader is already running.\\nOnly one update at a time can be made.\n"
          "click OK\nwait Tessaron EBOOT Loader\nclick Cancel\ngone\n",
      target + "wait Tessaron Loader\nclick Cancel\ngone\n",
      target + "wait Tessaron Loader\nclick OK\nwait Open\nclick Cancel\ngone\n"};
  SeedTimeouts({{"ACUserIdle", 60}});
  for (const std::string& steps : runs) {
    SCOPED_TRACE(steps);
    RunDevice(steps);
  }
  EXPECT_EQ(ReadText(record_), "ready\n");
  EXPECT_EQ(State(), before_);
}

// The boot loader's question waits for input made after it appears, whether the confirmation was
// double-clicked or Enter held on it; and while it waits, neither WM_CLOSE nor Alt+F4 closes the
// progress window. Answered Cancel, nothing is written.
TEST_F(WineDeviceTest, TheBootLoadersQuestionWaitsAndTheProgressWindowStays) {
  const std::string question =
      "find Could not get constants settings(Bluetooth Address, Serial number, frequency "
      "Offset)!\\r\\nContinue?\n";
  const std::string progress =
      "find Please, wait during bootloader updating, don't switch off the device.\nclose\nstays\n"
      "altf4\nstays\n";
  SeedTimeouts({{"ACUserIdle", 60}});
  for (const std::string confirm : {"double OK", "hold 1000"}) {
    SCOPED_TRACE(confirm);
    Fail(e2e::kGetConstants, 31);
    RunDevice(Dialogue("Update Bootloader", "EbootLoader.nbX", confirm) + question +
              (confirm == "double OK" ? progress + question : "") +
              "click Cancel\nwait Quorvane\nexpect OS loading Failure\nclick OK\ngone\n");
    EXPECT_EQ(State()["bootloader"], before_["bootloader"]);
  }
}

// nbx.exe where package makers work: the package it makes on a path with non-ASCII characters
// is the one nbx makes on Linux, and info and verify read it there.
TEST_F(WineTest, NbxPacksShowsAndVerifiesOnAPathWithAccents) {
  const std::filesystem::path folder = dir_ / "Paquets \u00e9t\u00e9";
  std::filesystem::create_directories(folder);
  std::string image(40000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<char>(i * 7 + 3);
  std::ofstream(folder / "image.bin", std::ios::binary) << image;
  const std::string package = "'Z:" + (folder / "\u00c9boot.nbX").string() + "'";
  const std::pair<std::string, std::string> runs[] = {
      {"pack 'Z:" + (folder / "image.bin").string() + "' -o " + package, "3 block(s)"},
      {"info " + package, "Blocks    N = 3"},
      {"verify " + package, "OK: the device would write it"}};
  for (const auto& [arguments, said] : runs) {
    const fakes::CommandResult run =
        fakes::RunCommand("timeout 60 wine " + Program("nbx.exe") + " " + arguments + " 2>&1");
    EXPECT_EQ(run.exitCode, 0) << arguments << ": " << run.output;
    EXPECT_NE(run.output.find(said), std::string::npos) << arguments << ": " << run.output;
  }
  EXPECT_EQ(fakes::RunCommand(std::string(NBX_PATH) + " pack '" + (folder / "image.bin").string() +
                              "' -o '" + (folder / "linux.nbX").string() + "'")
                .exitCode,
            0);
  EXPECT_EQ(ReadText(folder / "\u00c9boot.nbX"), ReadText(folder / "linux.nbX"));
}

}  // namespace
