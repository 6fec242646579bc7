// The target and boot selection dialogs; the boot selection over the simulated device's
// settings block. The confirmation dialog: the update flow's and boot-loader writer's tests.
#include <gtest/gtest.h>

#include "dialogs/boot_select_dlg.h"
#include "dialogs/target_dlg.h"
#include "resources/resource.h"
#include "tests/e2e/core_fixture.h"
#include "tests/support/fakes.h"

namespace {

using namespace platform::ui;
using Lines = std::vector<std::wstring>;

struct Ui {
  explicit Ui(std::deque<std::wstring> answers, Resources shown = resources::AppResources())
      : frontend(std::move(answers)), resources(std::move(shown)) {}
  fakes::RecordingFrontend frontend;
  Resources resources;
  UiContext ui{frontend, resources};
  fakes::RecordingLog log;
};

// Each choice's flags and line: the update flow's tests.
TEST(CTargetDlg, TheShippedTemplateOffersOnlyTheBootLoader) {
  Resources shipped = resources::AppResources();
  shipped.dialogs.insert_or_assign(IDD_TARGET, resources::TargetTemplateBootLoaderOnly());
  Ui f({L"click Update Main Image"}, shipped);
  dialogs::CTargetDlg target(f.ui, f.log);
  EXPECT_EQ(target.DoModal(), IDCANCEL);
  EXPECT_TRUE(f.frontend.aborted());
  EXPECT_EQ(f.frontend.shown.front(), L"show 133 [2:Cancel] [1011:Update Bootloader]");
  EXPECT_TRUE(f.log.lines.empty());
}

class CBootSelectDlg : public e2e::CoreTest {
 protected:
  // Shows the dialog over a block that holds stored; what it stored comes back.
  int Run(platform::BYTE stored, std::deque<std::wstring> answers) {
    std::vector<platform::BYTE> block = Settings();
    block[42] = stored;
    PutSettings(block);
    NewRun();
    ui_ = std::make_unique<Ui>(std::move(answers));
    bootcfg::BootConfig config(device_->kernel(), device_->log());
    return dialogs::CBootSelectDlg(ui_->ui, config).DoModal();
  }
  bool Stored() const { return !Calls(e2e::kSetSettings).empty(); }
  std::unique_ptr<Ui> ui_;
};

TEST_F(CBootSelectDlg, PreselectsTheStoredImageAndStoresTheCheckedOneOnOkOnly) {
  const std::wstring main = L"[1007:Boot the RESCUE image] [1008:Boot the MAIN image*]",
                     rescue = L"[1007:Boot the RESCUE image*] [1008:Boot the MAIN image]",
                     none = L"[1007:Boot the RESCUE image] [1008:Boot the MAIN image]";
  // The image stored, the answers, the buttons as shown, whether stored, the image then.
  const std::tuple<platform::BYTE, std::deque<std::wstring>, std::wstring, bool, platform::BYTE>
      cases[] = {
          {0, {L"click OK"}, main, true, 0},  // unchanged, written all the same
          {0, {L"check Boot the RESCUE image", L"click OK"}, main, true, 1},
          {1, {L"check 1008", L"click OK"}, rescue, true, 0},
          {0, {L"check 1007", L"click Cancel"}, main, false, 0},
          {2, {L"click OK"}, none, false, 2},  // neither checked: nothing stored
      };
  for (const auto& [stored, answers, buttons, written, image] : cases) {
    EXPECT_EQ(Run(stored, answers), answers.back() == L"click OK" ? IDOK : IDCANCEL);
    EXPECT_EQ(ui_->frontend.shown.front(), L"show 132 [1:OK] [2:Cancel] " + buttons);
    EXPECT_EQ(Stored(), written);
    EXPECT_EQ(Settings()[42], image);
  }
  // A block that cannot be written is told of.
  Fail(e2e::kSetSettings, 29);
  EXPECT_EQ(Run(0, {L"click OK", L"click OK"}), IDOK);
  EXPECT_EQ(ui_->frontend.shown,
            (Lines{L"show 132 [1:OK] [2:Cancel] " + main,
                   L"message tessaron|Unable to set the image to load|0x0", L"destroy 132"}));
  EXPECT_EQ(Log(), Lines{L"Error set settings n\u00b0 29\r\n"});
}

}  // namespace
