// The update run from the confirmation to the end, on the simulated device: what the application
// adds to the writers, the power timeouts and the boot selection, each tested on its own.
#include <gtest/gtest.h>

#include "app/progress_dlg.h"
#include "tests/e2e/app_fixture.h"

namespace {

using e2e::AppTest;
using Lines = std::vector<std::wstring>;

std::deque<std::wstring> Answers(const std::wstring& target, const std::wstring& file) {
  return {L"click " + target, L"click OK", L"file " + file, L"click OK"};
}

std::size_t IndexOf(const Lines& shown, const std::wstring& prefix) {
  for (std::size_t i = 0; i < shown.size(); ++i)
    if (shown[i].rfind(prefix, 0) == 0)
      return i;
  return shown.size();
}

// The timeouts are off while the package is written and as they were after: one that is not four
// bytes is never touched.
TEST_F(AppTest, ABootLoaderUpdateHasTheTimeoutsOffMeanwhileAndOffersNoBootSelection) {
  namespace sim = platform::sim;
  const sim::RegValue unreadable{platform::kRegBinary, std::vector<platform::BYTE>(8, 7)};
  ASSERT_TRUE(device_->simRegistry().Put(sim::kPowerTimeoutsKey, L"ACSystemIdle", unreadable));
  const Lines shown =
      RunApp(Answers(L"Update Bootloader", L"\\Storage\\EbootLoader.nbX"), L"click OK");
  EXPECT_EQ(shown[IndexOf(shown, L"show 129")],
            L"show 129 [1003:Please, wait during bootloader updating, don't switch off the "
            L"device.] [1002:Progress1=0-]");
  EXPECT_LT(IndexOf(shown, L"destroy 129"),
            IndexOf(shown, L"message Quorvane|OS loading Success|0x0"));
  EXPECT_EQ(IndexOf(shown, L"show 132"), shown.size());
  EXPECT_EQ(Log(),
            (Lines{L"Updating Bootloader\r\n", L"restore timeouts in registry: 0 , 0 , 0\r\n",
                   L"restore timeouts in registry: 600 , 0 , 60\r\n"}));
  EXPECT_EQ(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSystemIdle")->data,
            unreadable.data);
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(AppTest, AMainImageUpdateMovesTheBarAndThenOffersTheBootSelection) {
  const Lines shown =
      RunApp(Answers(L"Update Main Image", L"\\Storage\\EbootMain.nbX"), L"click OK");
  const std::wstring window = L"129 [1003:Loading image in flash memory, please wait ...] ";
  EXPECT_EQ(shown[IndexOf(shown, L"show 129")], L"show " + window + L"[1002:Progress1=0]");
  // The bar moves after each chunk: 128 chunks, ending short of full.
  EXPECT_LT(IndexOf(shown, L"change " + window + L"[1002:Progress1=99]"), shown.size());
  EXPECT_LT(IndexOf(shown, L"message Quorvane|OS loading Success|0x0"),
            IndexOf(shown, L"show 132"));
  EXPECT_EQ(Log(), (Lines{L"Updating Main Image\r\n", L"csDir1 : Flash csDir2 : Stora",
                          L"restore timeouts in registry: 0 , 0 , 0\r\n",
                          L"Varnel_Quorvane : Before setting new config\r\n",
                          L"Writing image to flash complete.\r\n",
                          L"Varnel_Quorvane : Before driver desactivation\r\n",
                          L"restore timeouts in registry: 600 , 300 , 60\r\n"}));
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(AppTest, AFileThatCannotBeOpenedStillOffersTheBootSelection) {
  const Lines shown = RunApp(Answers(L"Update Main Image", L"\\Storage\\Gone.nbX"), L"click OK");
  EXPECT_EQ(IndexOf(shown, L"message Quorvane"), shown.size());
  EXPECT_LT(IndexOf(shown, L"show 132"), shown.size());
  EXPECT_EQ(Log().size(), 2u);  // the target's line and the folder check's
}

// Any non-zero rescue flag is the rescue image; a window that cannot be made only loses the
// display.
TEST_F(AppTest, TheFlashingRunWritesTheTargetItsFlagsNameWithOrWithoutAWindow) {
  fakes::RecordingFrontend frontend;
  frontend.refuseModeless = true;
  const platform::ui::UiContext ui{frontend, resources::AppResources()};
  app::Services services{device_->files(),   device_->registry(), device_->events(),
                         device_->devices(), device_->kernel(),   device_->log()};
  platform::Files& files = device_->files();
  const nlohmann::json before = State();
  {
    platform::ScopedFile file(
        files, files.CreateFile(L"\\Storage\\EbootRescue.nbX", platform::kGenericRead, 0,
                                platform::kOpenExisting, 0));
    EXPECT_TRUE(app::CProgressDlg(ui, services, file.get()).RunFlash(0, 2));
  }
  const nlohmann::json after = State();
  EXPECT_NE(after["rescue"]["sha256"], before["rescue"]["sha256"]);
  EXPECT_TRUE(after["rescue"]["whole"]);
  EXPECT_EQ(after["main"], before["main"]);
  EXPECT_EQ(IndexOf(frontend.shown, L"show 129"), frontend.shown.size());
  EXPECT_TRUE(device_->Unreleased().empty());
}

}  // namespace
