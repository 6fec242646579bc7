#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dialogs/target_dlg.h"
#include "platform/console/console_frontend.h"
#include "resources/resource.h"
#include "resources/resources.h"
#include "tests/support/fakes.h"

namespace {

using testing::HasSubstr;

using namespace platform::ui;
using platform::console::ConsoleFrontend;

struct Console {
  explicit Console(const std::string& input, bool terminal = false,
                   std::optional<std::vector<std::wstring>> script = std::nullopt)
      : in(input), frontend(in, out, root, std::move(script), terminal) {}

  // The device's files, in a folder of the test's own: ctest runs tests side by side.
  static std::filesystem::path Files() {
    const std::filesystem::path root =
        std::filesystem::path(testing::TempDir()) /
        ("console-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(root);
    for (const char* file : {"Storage/EbootA.nbX", "Storage/other.bin", "Flash/eboot1.NBX"}) {
      std::filesystem::create_directories((root / file).parent_path());
      std::ofstream(root / file) << "x";
    }
    return root;
  }

  std::filesystem::path root = Files();
  std::istringstream in;
  std::ostringstream out;
  ConsoleFrontend frontend;
  UiContext ui{frontend, resources::AppResources()};
  fakes::RecordingLog log;
};

TEST(ConsoleFrontend, DrawsTheDialogInASixtyColumnBoxAndPicksButtonsByNumberLabelOrEnter) {
  const std::tuple<std::string, int, std::int32_t, std::int32_t> cases[] = {
      {"2\n", kIdOk, 0, 0},                    // the second button: Update Main Image
      {"update rescue image\n", kIdOk, 0, 1},  // a label
      {"click 1011\n", kIdOk, 1, 0},           // a command
      {"\n", kIdCancel, 0, 0},                 // Enter: Cancel is the default button
      {"9\nnonsense\n1\n", kIdOk, 1, 0},       // what fits nothing is asked again
  };
  for (const auto& [input, result, bootLoader, rescue] : cases) {
    Console console(input);
    dialogs::CTargetDlg target(console.ui, console.log);
    EXPECT_EQ(target.DoModal(), result) << input;
    EXPECT_EQ(target.m_bBootLoader, bootLoader) << input;
    EXPECT_EQ(target.m_bRescue, rescue) << input;
    EXPECT_FALSE(console.frontend.aborted()) << input;
  }
  Console ended("");
  dialogs::CTargetDlg target(ended.ui, ended.log);
  EXPECT_EQ(target.DoModal(), kIdCancel);
  EXPECT_EQ(ended.frontend.abortReason(),
            L"the input ended while the dialog 133 \"Tessaron EBOOT Loader\" waits");
  const std::string box =
      "\n"
      "+-[ Tessaron EBOOT Loader ]--------------------------------+\n"
      "|                                                          |\n"
      "|   [1] Update Bootloader                                  |\n"
      "|   [2] Update Main Image                                  |\n"
      "|   [3] Update Rescue Image                                |\n"
      "|   [4] Cancel (Enter)                                     |\n"
      "|                                                          |\n"
      "+----------------------------------------------------------+\n"
      "> \n";
  EXPECT_EQ(ended.out.str(), box);

  // A hidden button is neither drawn nor answered.
  Console hidden("update main image\n\n");
  Resources shipped = resources::AppResources();
  for (ControlTemplate& control : shipped.dialogs.at(IDD_TARGET).controls) {
    if (control.text == L"Update Main Image")
      control.style &= ~kWsVisible;
  }
  UiContext ui{hidden.frontend, shipped};
  dialogs::CTargetDlg shown(ui, hidden.log);
  EXPECT_EQ(shown.DoModal(), kIdCancel);
  EXPECT_EQ(hidden.out.str().find("Update Main Image"), std::string::npos) << hidden.out.str();
}

// Enter, [1] and its label are OK; [2] and closing are Cancel, on a box that has it.
TEST(ConsoleFrontend, AnswersAMessageBoxByNumberLabelOrEnter) {
  const std::tuple<std::string, UINT, int> cases[] = {
      {"\n", kMbOkCancel, kIdOk},           {"ok\n", kMbOkCancel, kIdOk},
      {"2\n", kMbOkCancel, kIdCancel},      {"2\n1\n", kMbOk, kIdOk},  // no [2]: asked again
      {"cancel\n", kMbOkCancel, kIdCancel},
  };
  for (const auto& [input, type, result] : cases) {
    Console console(input);
    EXPECT_EQ(console.frontend.MessageBox(platform::kNullHandle, L"text", L"caption", type), result)
        << input;
    EXPECT_FALSE(console.frontend.aborted()) << input;
  }
}

TEST(ConsoleFrontend, TheFileDialogListsDeviceFilesAndReturnsFullDevicePaths) {
  const std::wstring filter = L"Eboot Files (Eboot*.nbX)|Eboot*.nbX||";
  const std::tuple<std::string, int, std::wstring> cases[] = {
      {"2\n", kIdOk, L"\\Storage\\EbootA.nbX"},  // by number, in the listed order
      {"\\Storage\\Missing.nbX\n", kIdOk, L"\\Storage\\Missing.nbX"},
      {"file Flash/eboot1.NBX\n", kIdOk, L"\\Flash\\eboot1.NBX"},
      {"cancel\n", kIdCancel, L""},
  };
  for (const auto& [input, result, expected] : cases) {
    Console console(input);
    std::wstring path;
    EXPECT_EQ(console.frontend.GetOpenFileName(platform::kNullHandle, filter, path), result)
        << input;
    EXPECT_EQ(path, expected) << input;
  }

  // Links are not offered: the device opens none, and one may lead out of its file system.
  // Control characters are never sent to the terminal, in a listed name or an echoed answer.
  const std::wstring answer = L"file \\Storage\\A\x1b[2J\x9b\x7f.nbX";
  Console console("", false, std::vector<std::wstring>{answer});
  std::filesystem::create_symlink(console.root / "Storage/EbootA.nbX",
                                  console.root / "Storage/EbootLink.nbX");
  std::ofstream(console.root / "Storage/Eboot\x1b[2J.nbX") << "x";
  std::wstring path;
  EXPECT_EQ(console.frontend.GetOpenFileName(platform::kNullHandle, filter, path), kIdOk);
  EXPECT_EQ(path, answer.substr(5));
  const std::string shown = console.out.str();
  EXPECT_THAT(shown, HasSubstr("[2] \\Storage\\Eboot<1B>[2J.nbX"));
  EXPECT_EQ(shown.find("[4]"), std::string::npos) << shown;
  EXPECT_THAT(shown, HasSubstr("> file \\Storage\\A<1B>[2J<9B><7F>.nbX\n"));
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
}

std::string RunProgress(bool terminal) {
  Console console("", terminal);
  CDialog window(console.ui, IDD_PROGRESS);
  EXPECT_TRUE(window.Create());
  window.ShowWindow(kSwShow);
  window.UpdateWindow();
  for (const WPARAM position : {0, 25, 50, 75, 150}) {
    window.SendDlgItemMessage(IDC_PROGRESS_BAR, kPbmSetPos, position, 0);
    window.UpdateWindow();
  }
  window.DestroyWindow();
  return console.out.str();
}

TEST(ConsoleFrontend, TheProgressBarMovesInPlace) {
  const std::string lines = RunProgress(false);
  EXPECT_THAT(lines, HasSubstr("|   [........................................] 0%"));
  EXPECT_THAT(lines, HasSubstr("\n  [##########..............................] 25%\n"));
  EXPECT_EQ(lines.find("] 0%", lines.find("] 0%") + 1), std::string::npos);  // drawn once
  EXPECT_THAT(lines, HasSubstr("\n  [########################################] 100%\n"));
  EXPECT_EQ(lines.find("Progress1"), std::string::npos);

  const std::string terminal = RunProgress(true);
  EXPECT_THAT(terminal, HasSubstr("\x1b[3A\r|   [####################....................] 50%"));
}

}  // namespace
