#include <gtest/gtest.h>

#include <cstring>

#include "app/progress_dlg.h"
#include "app/update_app.h"
#include "resources/resources.h"
#include "tests/support/fakes.h"
#include "tests/support/recording_frontend.h"

namespace {

using namespace platform::ui;

const std::wstring kProfileKey = L"System\\StorageManager\\Profiles\\USER";
const std::wstring kFilter = L"file Eboot Files (Eboot*.nbX)|Eboot*.nbX||";

fakes::FakeRegistry::Value Text(const std::wstring& text) {
  std::vector<platform::BYTE> data((text.size() + 1) * sizeof(wchar_t));
  std::memcpy(data.data(), text.c_str(), data.size());
  return {platform::kRegSz, data};
}

struct Flow {
  explicit Flow(std::deque<std::wstring> answers, const std::wstring& folder = L"Flash")
      : frontend(std::move(answers)) {
    registry.keys[kProfileKey][L"Folder"] = Text(folder);
  }
  void Run() { app::CUpdateApp(ui, services).InitInstance(); }

  fakes::RecordingFrontend frontend;
  UiContext ui{frontend, resources::AppResources()};
  fakes::MemoryFiles files;
  fakes::FakeRegistry registry;
  fakes::FakeEvents events;
  fakes::FakeKernel kernel;
  fakes::RecordingLog log;
  struct NoDevices final : platform::Devices {
    platform::Handle ActivateDevice(const std::wstring&, platform::DWORD) override { return 0; }
    bool DeactivateDevice(platform::Handle) override { return false; }
    platform::Handle CreateFile(const std::wstring&, platform::DWORD, platform::DWORD,
                                platform::DWORD, platform::DWORD) override {
      return platform::kInvalidHandle;
    }
    bool DeviceIoControl(platform::Handle, platform::DWORD, const void*, platform::DWORD, void*,
                         platform::DWORD, platform::DWORD*) override {
      return false;
    }
    bool WriteFile(platform::Handle, const void*, platform::DWORD, platform::DWORD*) override {
      return false;
    }
    bool CloseHandle(platform::Handle) override { return false; }
  } devices;
  app::Services services{files, registry, events, devices, kernel, log};
};

std::wstring Instructions(const std::wstring& target, const std::wstring& folder) {
  return L"message Tessaron Loader|Please, choose a " + target + L" file.\n\nDon't use " + folder +
         L" directory and don't push on power button during process|0x10001";
}

std::wstring Confirmation(const std::wstring& text) {
  return L"show 102 [1:OK] [2:Cancel] [1004:" + text + L"]";
}

TEST(UpdateFlow, LeadsFromTheTargetToTheConfirmation) {
  const std::wstring stora = L"csDir1 : Flash csDir2 : Stora";
  const std::tuple<std::wstring, std::wstring, std::vector<std::wstring>> cases[] = {
      {L"Bootloader", L"bootloader", {L"Updating Bootloader\r\n"}},
      {L"Main Image", L"main image", {L"Updating Main Image\r\n", stora}},
      {L"Rescue Image", L"rescue image", {L"Updating Rescue mage\r\n", stora}}};
  for (const auto& [target, name, log] : cases) {
    Flow flow({L"click Update " + target, L"click OK", L"file \\Storage\\E.nbX", L"click Cancel"});
    flow.Run();
    EXPECT_FALSE(flow.frontend.aborted());
    ASSERT_EQ(flow.frontend.shown.size(), 6u);
    EXPECT_EQ(flow.frontend.shown[0].substr(0, 9), L"show 133 ");
    const std::wstring confirmation =
        L"Updating " + name + L" with\n\\Storage\\E.nbX\n\nAre you sure?";
    EXPECT_EQ(std::vector<std::wstring>(flow.frontend.shown.begin() + 1, flow.frontend.shown.end()),
              (std::vector<std::wstring>{L"destroy 133", Instructions(name, L"Flash"), kFilter,
                                         Confirmation(confirmation), L"destroy 102"}));
    EXPECT_EQ(flow.log.lines, log);
    EXPECT_EQ(flow.registry.openKeys, 0);
  }
}

TEST(UpdateFlow, EveryRefusalEndsTheApplicationAtOnce) {
  struct Case {
    const char* name;
    std::deque<std::wstring> answers;
    const char* missing;  // "key", "value" or ""
    std::vector<std::wstring> shownAfterTarget;
    std::vector<std::wstring> log;
  };
  const std::wstring main = L"click Update Main Image";
  const std::wstring mainLine = L"Updating Main Image\r\n";
  const std::wstring told = Instructions(L"main image", L"Flash");
  const std::vector<Case> cases = {
      {"target cancelled", {L"click Cancel"}, "", {}, {}},
      {"no profile key", {main}, "key", {}, {mainLine}},
      {"no Folder value", {main}, "value", {}, {mainLine}},
      {"instructions cancelled", {main, L"click Cancel"}, "", {told}, {mainLine}},
      {"file dialog cancelled", {main, L"click OK", L"cancel"}, "", {told, kFilter}, {mainLine}},
      {"image in the store folder",
       {L"click Update Rescue Image", L"click OK", L"file \\Flash\\Eboot1.nbX", L"click OK"},
       "",
       {Instructions(L"rescue image", L"Flash"), kFilter,
        L"message tessaron|OS loading Failure|0x0"},
       {L"Updating Rescue mage\r\n", L"csDir1 : Flash csDir2 : Flash",
        L"ERROR : file in nand flash directory\r\n"}},
      {"confirmation cancelled",
       {L"click Update Bootloader", L"click OK", L"file \\Flash\\Eboot1.nbX", L"click Cancel"},
       "",
       {Instructions(L"bootloader", L"Flash"), kFilter,
        Confirmation(L"Updating bootloader with\n\\Flash\\Eboot1.nbX\n\nAre you sure?"),
        L"destroy 102"},
       {L"Updating Bootloader\r\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Flow flow(c.answers);
    if (c.missing == std::string("key"))
      flow.registry.keys.clear();
    if (c.missing == std::string("value"))
      flow.registry.keys[kProfileKey].clear();
    flow.Run();
    EXPECT_FALSE(flow.frontend.aborted());
    ASSERT_GE(flow.frontend.shown.size(), 2u);
    EXPECT_EQ(std::vector<std::wstring>(flow.frontend.shown.begin() + 2, flow.frontend.shown.end()),
              c.shownAfterTarget);
    EXPECT_EQ(flow.log.lines, c.log);
    EXPECT_EQ(flow.registry.openKeys, 0);
    EXPECT_TRUE(flow.kernel.requests.empty());
  }
  Flow cancelled({L"click Cancel"});
  cancelled.Run();
  EXPECT_TRUE(cancelled.registry.calls.empty());  // the registry is not even read
}

TEST(UpdateFlow, EachBoxBelongsToTheActiveWindowWhichTakesNoAnswersMeanwhile) {
  // Without power timeouts the update fails at once; then the boot selection cannot be stored.
  Flow flow({L"click Update Main Image", L"click OK", L"file \\Storage\\Eboot1.nbX", L"click OK",
             L"click OK", L"click OK", L"click OK"});
  flow.kernel.failWith[platform::IOCTL_HAL_SET_BOOT_SETTINGS] = 29;
  flow.Run();
  EXPECT_FALSE(flow.frontend.aborted());
  EXPECT_EQ(flow.frontend.owners,
            (std::vector<std::wstring>{
                L"dialog 133, owner 102 disabled", L"message box, owner 102 disabled",
                L"file dialog, owner 102 disabled", L"dialog 102, no owner",
                L"message box, owner 102 disabled",  // OS loading Failure
                L"dialog 132, owner 102 disabled",
                L"message box, owner 132 disabled"}));  // Unable to set the image to load
  // Nothing is written: no progress window, and the run says why.
  EXPECT_EQ(std::count(flow.frontend.shown.begin(), flow.frontend.shown.end(),
                       L"message Quorvane|OS loading Failure|0x0"),
            1);
  EXPECT_EQ(std::count_if(flow.frontend.shown.begin(), flow.frontend.shown.end(),
                          [](const std::wstring& line) { return line.rfind(L"show 129", 0) == 0; }),
            0);
  EXPECT_EQ(flow.log.lines[2], L"ERROR : PM timeouts not found in registry\r\n");
}

TEST(UpdateFlow, TheInstanceMutexIsHeldForTheWholeRunAndASecondInstanceEndsAtOnce) {
  // An update that switches the timeouts off and back, so that the power manager is told twice.
  Flow first({L"click Update Main Image", L"click OK", L"file \\Storage\\Eboot1.nbX", L"click OK",
              L"click OK", L"cancel"});
  const std::vector<platform::BYTE> zero(4);
  for (const wchar_t* name : {L"ACUserIdle", L"ACSystemIdle", L"ACSuspend"})
    first.registry.keys[L"SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts"][name] = {
        platform::kRegDword, zero};
  first.Run();
  const std::wstring reload = L"open PowerManager/ReloadActivityTimeouts 2031619";
  EXPECT_EQ(first.events.calls,
            (std::vector<std::wstring>{L"mutex TessaronLoader", reload, L"modify 3", L"close",
                                       reload, L"modify 3", L"close", L"close"}));
  Flow second({L"click OK"});
  second.events.CreateMutex(false, L"TessaronLoader");  // the other instance's
  second.Run();
  EXPECT_EQ(second.frontend.shown,
            std::vector<std::wstring>{L"message tessaron|Tessaron Loader is already running.\nOnly "
                                      L"one update at a time can be made.|0x0"});
  EXPECT_TRUE(second.log.lines.empty());
  EXPECT_EQ(second.events.openEvents, 1);
}

TEST(UpdateFlow, TheStoreFolderTestIsACaseSensitivePrefixTest) {
  using Case = std::tuple<std::wstring, std::wstring, std::wstring, bool, std::wstring>;
  const std::vector<Case> cases = {
      {L"Flash", L"\\Flash\\Eboot1.nbX", L"Main", false, L"csDir1 : Flash csDir2 : Flash"},
      {L"Flash", L"\\FlashCard\\Eboot1.nbX", L"Main", false, L"csDir1 : Flash csDir2 : Flash"},
      {L"Flash", L"\\flash\\Eboot1.nbX", L"Main", true, L"csDir1 : Flash csDir2 : flash"},
      {L"Flash", L"\\Storage\\Eboot1.nbX", L"Rescue", true, L"csDir1 : Flash csDir2 : Stora"},
      {L"Flash", L"\\Fl", L"Main", true, L"csDir1 : Flash csDir2 : Fl"},
      {L"", L"\\Storage\\Eboot1.nbX", L"Main", false, L"csDir1 :  csDir2 : "},
      {L"", L"\\Storage\\Eboot1.nbX", L"Rescue", false, L"csDir1 :  csDir2 : "},
      {L"", L"\\Storage\\Eboot1.nbX", L"Bootloader", true, L""},
      {L"Flash", L"\\Flash\\Eboot1.nbX", L"Bootloader", true, L""},
      // The longest name the buffer takes: its size is given in bytes.
      {std::wstring(200, L'F'), L"\\Storage\\Eboot1.nbX", L"Main", true,
       L"csDir1 : " + std::wstring(200, L'F') + L" csDir2 : Storage\\Eboot1.nbX"},
  };
  for (const auto& [folder, path, target, accepted, line] : cases) {
    const std::wstring image = target == L"Bootloader" ? L"" : L" Image";
    Flow flow({L"click Update " + target + image, L"click OK", L"file " + path, L"click Cancel"},
              folder);
    flow.Run();
    const bool confirmed =
        flow.frontend.shown.size() >= 2 &&
        flow.frontend.shown[flow.frontend.shown.size() - 2].substr(0, 8) == L"show 102";
    EXPECT_EQ(confirmed, accepted) << path << " in " << folder;
    EXPECT_EQ(flow.log.lines.size() == 1, line.empty()) << path << " in " << folder;
    EXPECT_EQ(flow.log.lines.size() > 1 ? flow.log.lines[1] : L"", line) << path;
  }
}

TEST(UpdateFlow, TheConfirmationCarriesTheIconsAndLabels) {
  Flow flow({L"click Update Bootloader", L"click OK", L"file \\Storage\\E.nbX"});
  flow.Run();
  // The answers ran out at the confirmation: the run was given up there, cancelled.
  EXPECT_TRUE(flow.frontend.aborted());
  EXPECT_NE(flow.frontend.abortReason().find(L"dialog 102"), std::wstring::npos);
  EXPECT_EQ(flow.frontend.shown.back(), L"destroy 102");
}

TEST(UpdateRun, AsksTheBootLoaderWritersQuestionsAndTellsItsFailures) {
  using Block = writers::UserQuestions::Block;
  Flow flow({L"click OK", L"cancel"});
  app::CProgressDlg progress(flow.ui, flow.services, fakes::MemoryFiles::kHandle);
  EXPECT_TRUE(progress.GoOnWithout(Block::kSettings));
  EXPECT_FALSE(progress.GoOnWithout(Block::kConstants));
  progress.Tell(L"Could not write old bootloader settings");
  std::vector<std::wstring> shown;
  std::copy_if(flow.frontend.shown.begin(), flow.frontend.shown.end(), std::back_inserter(shown),
               [](const std::wstring& l) {
                 return l.rfind(L"show", 0) == 0 || l.rfind(L"message", 0) == 0;
               });
  EXPECT_EQ(shown,
            (std::vector<std::wstring>{
                L"show 102 [1:OK] [2:Cancel] [1004:Could not get old bootloader "
                L"settings!\r\nContinue ?]",
                L"show 102 [1:OK] [2:Cancel] [1004:Could not get constants settings(Bluetooth "
                L"Address, Serial number, frequency Offset)!\r\nContinue?]",
                L"message tessaron|Could not write old bootloader settings|0x0"}));
}

}  // namespace
