#include <gtest/gtest.h>

#include "dialogs/boot_select_dlg.h"
#include "dialogs/confirm_dlg.h"
#include "dialogs/target_dlg.h"
#include "resources/resource.h"
#include "resources/resources.h"
#include "tests/support/fakes.h"
#include "tests/support/recording_frontend.h"

namespace {

using namespace platform::ui;

struct Fixture {
  explicit Fixture(std::deque<std::wstring> answers) : frontend(std::move(answers)) {}
  fakes::RecordingFrontend frontend;
  UiContext ui{frontend, resources::AppResources()};
  fakes::RecordingLog log;
  fakes::FakeKernel kernel;
  bootcfg::BootConfig bootConfig{kernel, log};
};

TEST(CTargetDlg, EachChoiceSetsItsFlagAndLine) {
  using Case = std::tuple<std::deque<std::wstring>, int, std::int32_t, std::int32_t,
                          std::vector<std::wstring>>;
  const Case cases[] = {
      {{L"click Update Bootloader"}, IDOK, 1, 0, {L"Updating Bootloader\r\n"}},
      {{L"click update main image"}, IDOK, 0, 0, {L"Updating Main Image\r\n"}},
      {{L"click 1009"}, IDOK, 0, 1, {L"Updating Rescue mage\r\n"}},
      {{L"click Cancel"}, IDCANCEL, 0, 0, {}},
      {{L"cancel"}, IDCANCEL, 0, 0, {}},
      {{}, IDCANCEL, 0, 0, {}},  // nobody answers: cancelled
  };
  for (const auto& [answers, result, bootLoader, rescue, log] : cases) {
    Fixture f(answers);
    dialogs::CTargetDlg target(f.ui, f.log);
    EXPECT_EQ(target.DoModal(), result) << answers.size();
    EXPECT_EQ(target.m_bBootLoader, bootLoader);
    EXPECT_EQ(target.m_bRescue, rescue);
    EXPECT_EQ(f.log.lines, log);
  }
}

TEST(CTargetDlg, TheShippedTemplateOffersOnlyTheBootLoader) {
  Resources shipped = resources::AppResources();
  shipped.dialogs.erase(IDD_TARGET);
  shipped.dialogs.emplace(IDD_TARGET, resources::TargetTemplateBootLoaderOnly());
  fakes::RecordingFrontend frontend({L"click Update Main Image"});
  const UiContext ui{frontend, shipped};
  fakes::RecordingLog log;
  dialogs::CTargetDlg target(ui, log);
  EXPECT_EQ(target.DoModal(), IDCANCEL);
  EXPECT_TRUE(frontend.aborted());
  EXPECT_EQ(frontend.shown.front(), L"show 133 [2:Cancel] [1011:Update Bootloader]");
  EXPECT_TRUE(log.lines.empty());
}

TEST(CConfirmDlg, ShowsItsStringsOrTheTemplatesTexts) {
  const std::tuple<UINT, UINT, UINT, std::wstring, int, std::wstring> cases[] = {
      {14, 7, 8, L"click OK", IDOK,
       L"show 102 [1:OK] [2:Cancel] [1004:Could not get old bootloader settings!\r\nContinue ?]"},
      {15, 7, 8, L"click Cancel", IDCANCEL,
       L"show 102 [1:OK] [2:Cancel] [1004:Could not get constants settings(Bluetooth Address, "
       L"Serial number, frequency Offset)!\r\nContinue?]"},
      {0, 0, 0, L"click 1", IDOK, L"show 102 [1:OK] [2:Cancel] [1004:Are you sure ???]"},
      {0, 8, 7, L"cancel", IDCANCEL, L"show 102 [1:Cancel] [2:OK] [1004:Are you sure ???]"},
  };
  for (const auto& [message, ok, cancel, answer, result, shown] : cases) {
    Fixture f({answer});
    dialogs::CConfirmDlg confirm(f.ui, message, ok, cancel);
    EXPECT_EQ(confirm.DoModal(), result);
    ASSERT_FALSE(f.frontend.shown.empty());
    EXPECT_EQ(f.frontend.shown.front(), shown);
  }
}

struct BootSelectRun {
  int result;
  std::vector<std::wstring> shown;
  fakes::FakeKernel kernel;
  std::vector<std::wstring> log;
};

BootSelectRun RunBootSelect(platform::WORD stored, std::deque<std::wstring> answers,
                            bool unreadable = false, bool unwritable = false) {
  Fixture f(std::move(answers));
  f.kernel.settings[42] = static_cast<platform::BYTE>(stored);
  if (unreadable)
    f.kernel.failWith[platform::IOCTL_HAL_GET_BOOT_SETTINGS] = 21;
  if (unwritable)
    f.kernel.failWith[platform::IOCTL_HAL_SET_BOOT_SETTINGS] = 29;
  dialogs::CBootSelectDlg dialog(f.ui, f.bootConfig);
  const int result = dialog.DoModal();
  return {result, f.frontend.shown, f.kernel, f.log.lines};
}

bool Stored(const fakes::FakeKernel& kernel) {
  return std::any_of(kernel.requests.begin(), kernel.requests.end(), [](const auto& request) {
    return request.code == platform::IOCTL_HAL_SET_BOOT_SETTINGS;
  });
}

TEST(CBootSelectDlg, PreselectsTheStoredImage) {
  const std::wstring radios[] = {
      L"show 132 [1:OK] [2:Cancel] [1007:Boot the RESCUE image] [1008:Boot the MAIN image*]",
      L"show 132 [1:OK] [2:Cancel] [1007:Boot the RESCUE image*] [1008:Boot the MAIN image]",
      L"show 132 [1:OK] [2:Cancel] [1007:Boot the RESCUE image] [1008:Boot the MAIN image]"};
  for (const platform::WORD stored : {0, 1, 2})
    EXPECT_EQ(RunBootSelect(stored, {L"cancel"}).shown.front(), radios[stored]);
  const BootSelectRun unreadable = RunBootSelect(0, {L"cancel"}, true);
  EXPECT_EQ(unreadable.shown.front(), radios[2]);
  EXPECT_EQ(unreadable.log, std::vector<std::wstring>{L"Erreur get settings n\u00b0 21\r\n"});
}

TEST(CBootSelectDlg, StoresTheCheckedImageOnOkOnly) {
  const std::tuple<platform::WORD, std::deque<std::wstring>, bool, platform::BYTE> cases[] = {
      {0, {L"click OK"}, true, 0},  // unchanged, written all the same
      {0, {L"check Boot the RESCUE image", L"click OK"}, true, 1},
      {1, {L"check 1008", L"click OK"}, true, 0},
      {0, {L"check 1007", L"click Cancel"}, false, 0},
      {2, {L"click OK"}, false, 2},  // neither checked: nothing stored
  };
  for (const auto& [stored, answers, written, image] : cases) {
    const BootSelectRun run = RunBootSelect(stored, answers);
    EXPECT_EQ(run.result, answers.back() == L"click OK" ? IDOK : IDCANCEL);
    EXPECT_EQ(Stored(run.kernel), written);
    EXPECT_EQ(run.kernel.settings[42], image);
  }
}

TEST(CBootSelectDlg, SaysSoWhenTheChoiceCannotBeStored) {
  const BootSelectRun run = RunBootSelect(0, {L"click OK", L"click OK"}, false, true);
  EXPECT_EQ(run.result, IDOK);
  EXPECT_EQ(run.shown.back(), L"destroy 132");
  EXPECT_EQ(run.shown[1], L"message tessaron|Unable to set the image to load|0x0");
  EXPECT_EQ(run.log, std::vector<std::wstring>{L"Error set settings n\u00b0 29\r\n"});
}

}  // namespace
