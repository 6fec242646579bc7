// The update run from the confirmation to the end, on the simulated device.
#include <gtest/gtest.h>

#include "app/progress_dlg.h"
#include "tests/e2e/app_fixture.h"

namespace {

using e2e::AppTest;

std::deque<std::wstring> Answers(const std::wstring& target, const std::wstring& file) {
  return {L"click " + target, L"click OK", L"file " + file, L"click OK"};
}

std::size_t IndexOf(const std::vector<std::wstring>& shown, const std::wstring& prefix) {
  for (std::size_t i = 0; i < shown.size(); ++i)
    if (shown[i].rfind(prefix, 0) == 0)
      return i;
  return shown.size();
}

TEST_F(AppTest, ABootLoaderUpdateKeepsTheBlocks) {
  const nlohmann::json before = State();
  std::deque<std::wstring> answers = Answers(L"Update Bootloader", L"\\Storage\\EbootLoader.nbX");
  answers.push_back(L"click OK");
  const std::vector<std::wstring> shown = RunApp(answers);
  const nlohmann::json after = State();
  EXPECT_EQ(after["settings_hex"], before["settings_hex"]);
  EXPECT_EQ(after["constants_hex"], before["constants_hex"]);
  EXPECT_EQ(after["timeouts"], before["timeouts"]);
  const std::size_t window = IndexOf(shown, L"show 129");
  ASSERT_LT(window, shown.size());
  EXPECT_EQ(shown[window],
            L"show 129 [1003:Please, wait during bootloader updating, don't switch off the "
            L"device.] [1002:Progress1=0-]");
  EXPECT_LT(IndexOf(shown, L"destroy 129"),
            IndexOf(shown, L"message Quorvane|OS loading Success|0x0"));
  EXPECT_EQ(shown.back(), L"destroy 102");
  EXPECT_EQ(IndexOf(shown, L"show 132"), shown.size());  // no boot selection after a boot loader
  EXPECT_EQ(Log(), (std::vector<std::wstring>{
                       L"Updating Bootloader\r\n", L"restore timeouts in registry: 0 , 0 , 0\r\n",
                       L"restore timeouts in registry: 600 , 300 , 60\r\n"}));
  EXPECT_TRUE(device_->Unreleased().empty());
  EXPECT_EQ(device_->powerManager()->reloads().back().values[2], 600u);
}

TEST_F(AppTest, AMainImageUpdateWritesTheImageAndOffersTheBootSelection) {
  std::deque<std::wstring> answers = Answers(L"Update Main Image", L"\\Storage\\EbootMain.nbX");
  answers.insert(answers.end(), {L"click OK", L"click OK"});
  const std::vector<std::wstring> shown = RunApp(answers);
  const nlohmann::json state = State();
  EXPECT_TRUE(state["main"]["whole"]);
  EXPECT_EQ(state["boot_image"], 0);
  EXPECT_EQ(state["timeouts"],
            (nlohmann::json{{"ACUserIdle", 60}, {"ACSystemIdle", 300}, {"ACSuspend", 600}}));
  EXPECT_EQ(shown[IndexOf(shown, L"show 129")],
            L"show 129 [1003:Loading image in flash memory, please wait ...] [1002:Progress1=0]");
  // The bar moves after each chunk: 128 chunks, ending short of full.
  EXPECT_LT(IndexOf(shown,
                    L"change 129 [1003:Loading image in flash memory, please wait ...] "
                    L"[1002:Progress1=99]"),
            shown.size());
  EXPECT_LT(IndexOf(shown, L"message Quorvane|OS loading Success|0x0"),
            IndexOf(shown, L"show 132"));
  EXPECT_EQ(shown[IndexOf(shown, L"show 132")],
            L"show 132 [1:OK] [2:Cancel] [1007:Boot the RESCUE image] [1008:Boot the MAIN image*]");
  EXPECT_EQ(Log(),
            (std::vector<std::wstring>{L"Updating Main Image\r\n", L"csDir1 : Flash csDir2 : Stora",
                                       L"restore timeouts in registry: 0 , 0 , 0\r\n",
                                       L"Varnel_Quorvane : Before setting new config\r\n",
                                       L"Writing image to flash complete.\r\n",
                                       L"Varnel_Quorvane : Before driver desactivation\r\n",
                                       L"restore timeouts in registry: 600 , 300 , 60\r\n"}));
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(AppTest, AFileThatCannotBeOpenedStillOffersTheBootSelection) {
  std::deque<std::wstring> answers = Answers(L"Update Main Image", L"\\Storage\\Gone.nbX");
  answers.insert(answers.end(), {L"check Boot the RESCUE image", L"click OK"});
  const std::vector<std::wstring> shown = RunApp(answers);
  EXPECT_EQ(IndexOf(shown, L"message Quorvane"), shown.size());
  EXPECT_LT(IndexOf(shown, L"show 132"), shown.size());
  EXPECT_EQ(State()["boot_image"], 1);
  EXPECT_EQ(Log().size(), 2u);  // the target's line and the folder check's
}

TEST_F(AppTest, AFailedWriteReportsFailureAndPutsTheTimeoutsBack) {
  platform::sim::Fault fault;
  std::string error;
  ASSERT_TRUE(platform::sim::ParseFaultTarget("WriteFile", fault, error));
  fault.nth = 3;
  ASSERT_TRUE(device_->faults().Arm(fault));
  std::deque<std::wstring> answers = Answers(L"Update Main Image", L"\\Storage\\EbootMain.nbX");
  answers.insert(answers.end(), {L"click OK", L"click OK"});
  const std::vector<std::wstring> shown = RunApp(answers);
  EXPECT_LT(IndexOf(shown, L"message Quorvane|OS loading Failure|0x0"), shown.size());
  const nlohmann::json state = State();
  EXPECT_EQ(state["timeouts"],
            (nlohmann::json{{"ACUserIdle", 60}, {"ACSystemIdle", 300}, {"ACSuspend", 600}}));
  EXPECT_FALSE(state["main"]["whole"]);
  // The boot selection dialog shows what the failed write left: the rescue image.
  EXPECT_EQ(shown[IndexOf(shown, L"show 132")],
            L"show 132 [1:OK] [2:Cancel] [1007:Boot the RESCUE image*] [1008:Boot the MAIN image]");
  EXPECT_EQ(state["boot_image"], 1);
}

TEST_F(AppTest, TheTimeoutsKeyEndsAsItBeganWhateverItHeld) {
  namespace sim = platform::sim;
  const sim::RegValue unreadable{platform::kRegBinary, std::vector<platform::BYTE>(8, 7)};
  ASSERT_TRUE(device_->simRegistry().Delete(sim::kPowerTimeoutsKey, std::wstring(L"ACSuspend")));
  ASSERT_TRUE(device_->simRegistry().Put(sim::kPowerTimeoutsKey, L"ACSystemIdle", unreadable));
  std::deque<std::wstring> answers = Answers(L"Update Bootloader", L"\\Storage\\EbootLoader.nbX");
  answers.push_back(L"click OK");
  RunApp(answers);
  // An absent value is switched off too, and removed again; one that is not four bytes is
  // never touched.
  EXPECT_FALSE(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSuspend"));
  EXPECT_EQ(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSystemIdle")->data,
            unreadable.data);
  EXPECT_EQ(State()["timeouts"]["ACUserIdle"], 60);
  EXPECT_EQ(Log(), (std::vector<std::wstring>{L"Updating Bootloader\r\n",
                                              L"restore timeouts in registry: 0 , 0 , 0\r\n",
                                              L"restore timeouts in registry: 0 , 0 , 60\r\n"}));
}

TEST_F(AppTest, TheFlashingRunWritesTheTargetItsFlagsName) {
  struct Case {
    const char* name;
    std::int32_t rescue;
    bool window;
    const char* written;
  };
  // Any non-zero rescue flag is the rescue image; without a window only the display is lost.
  for (const Case& c :
       {Case{"rescue flag 2", 2, true, "rescue"}, Case{"no window", 0, false, "main"}}) {
    SCOPED_TRACE(c.name);
    fakes::RecordingFrontend frontend;
    frontend.refuseModeless = !c.window;
    const platform::ui::UiContext ui{frontend, resources::AppResources()};
    app::Services services{device_->files(),   device_->registry(), device_->events(),
                           device_->devices(), device_->kernel(),   device_->log()};
    platform::Files& files = device_->files();
    const nlohmann::json before = State();
    {
      platform::ScopedFile file(
          files,
          files.CreateFile(c.rescue ? L"\\Storage\\EbootRescue.nbX" : L"\\Storage\\EbootMain.nbX",
                           platform::kGenericRead, 0, platform::kOpenExisting, 0));
      app::CProgressDlg progress(ui, services, file.get());
      EXPECT_TRUE(progress.RunFlash(0, c.rescue));
    }
    const nlohmann::json after = State();
    const char* other = c.rescue ? "main" : "rescue";
    EXPECT_NE(after[c.written]["sha256"], before[c.written]["sha256"]);
    EXPECT_TRUE(after[c.written]["whole"]);
    EXPECT_EQ(after[other], before[other]);
    EXPECT_EQ(after["timeouts"], before["timeouts"]);
    EXPECT_EQ(IndexOf(frontend.shown, L"show 129") < frontend.shown.size(), c.window);
    EXPECT_TRUE(device_->Unreleased().empty());
  }
}

}  // namespace
