// The application from its start to the end of the update run, and the single instance, over
// the simulated device: what the application adds to the writers, the power timeouts and the boot
// selection, each tested on its own.
#include <gtest/gtest.h>

#include <functional>

#include "app/progress_dlg.h"
#include "dialogs/target_dlg.h"
#include "resources/resource.h"
#include "tests/support/core_fixture.h"
#include "tests/support/fakes.h"

namespace {

namespace sim = platform::sim;
using namespace platform;
using Lines = std::vector<std::wstring>;

const std::wstring kProfileKey = L"System\\StorageManager\\Profiles\\USER";
const std::wstring kFilter = L"file Eboot Files (Eboot*.nbX)|Eboot*.nbX||";
const std::wstring kSuccess = L"message Quorvane|OS loading Success|0x0";
const std::wstring kMain = L"Update Main Image", kMainPackage = L"\\Storage\\EbootMain.nbX";

std::deque<std::wstring> Answers(const std::wstring& target, const std::wstring& file) {
  return {L"click " + target, L"click OK", L"file " + file, L"click OK"};
}

std::size_t IndexOf(const Lines& shown, const std::wstring& prefix) {
  for (std::size_t i = 0; i < shown.size(); ++i)
    if (shown[i].rfind(prefix, 0) == 0)
      return i;
  return shown.size();
}

std::wstring Instructions(const std::wstring& target, const std::wstring& folder = L"Flash") {
  return L"message Tessaron Loader|Please, choose a " + target + L" file.\n\nDon't use " + folder +
         L" directory and don't push on power button during process|0x10001";
}

class UpdateFlow : public e2e::CoreTest {
 protected:
  // A new run with the store folder named so, or without the value or the key ("-value",
  // "-key"). A name of 260 characters fills the value, with no terminator.
  Lines Run(std::deque<std::wstring> answers, const std::wstring& folder = L"Flash") {
    NewRun();
    sim::SimRegistry& registry = device_->simRegistry();
    sim::RegValue value = sim::StringValue(folder);
    if (folder.size() == 260)
      value.data.resize(260 * sizeof(wchar_t));
    EXPECT_TRUE(registry.Put(kProfileKey, L"Folder", value));
    if (folder == L"-key")
      registry.Delete(kProfileKey, std::nullopt);
    if (folder == L"-value")
      registry.Delete(kProfileKey, std::wstring(L"Folder"));
    return RunApp(std::move(answers));
  }
};

TEST_F(UpdateFlow, EveryRefusalEndsTheApplicationAtOnce) {
  const std::wstring main = L"click Update Main Image";
  const std::wstring told = Instructions(L"main image");
  const std::tuple<const char*, std::deque<std::wstring>, std::wstring, Lines> cases[] = {
      {"target cancelled", {L"click Cancel"}, L"Flash", {}},
      {"no profile key", {main}, L"-key", {}},
      {"no Folder value", {main}, L"-value", {}},
      {"instructions cancelled", {main, L"click Cancel"}, L"Flash", {told}},
      {"file dialog cancelled", {main, L"click OK", L"cancel"}, L"Flash", {told, kFilter}},
  };
  for (const auto& [name, answers, folder, shownAfterTarget] : cases) {
    SCOPED_TRACE(name);
    const Lines shown = Run(answers, folder);
    EXPECT_FALSE(frontend_->aborted());
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(Lines(shown.begin() + 2, shown.end()), shownAfterTarget);
    const bool cancelled = answers.front() == L"click Cancel";
    EXPECT_EQ(Log(), cancelled ? Lines{} : Lines{L"Updating Main Image\r\n"});
    EXPECT_TRUE(device_->Unreleased().empty());
    // Only the saved timeouts are looked for before the target is chosen.
    EXPECT_EQ(Calls("RegOpenKeyEx").size() > 1, !cancelled);
  }
}

TEST_F(UpdateFlow, EachBoxBelongsToTheActiveWindowWhichTakesNoAnswersMeanwhile) {
  // Without power timeouts the update fails at once; then the boot selection cannot be stored.
  ASSERT_TRUE(device_->simRegistry().Delete(sim::kPowerTimeoutsKey, std::nullopt));
  Fail(e2e::kSetSettings, 29);
  const Lines shown =
      Run({L"click Update Main Image", L"click OK", L"file \\Storage\\EbootMain.nbX", L"click OK",
           L"click OK", L"click OK", L"click OK"});
  EXPECT_FALSE(frontend_->aborted());
  EXPECT_EQ(frontend_->owners,
            (Lines{L"dialog 133, owner 102 disabled", L"message box, owner 102 disabled",
                   L"file dialog, owner 102 disabled", L"dialog 102, no owner",
                   L"message box, owner 102 disabled",  // OS loading Failure
                   L"dialog 132, owner 102 disabled",
                   L"message box, owner 132 disabled"}));  // Unable to set the image to load
  // Nothing is written: no progress window, and the run says why.
  EXPECT_EQ(std::count(shown.begin(), shown.end(), L"message Quorvane|OS loading Failure|0x0"), 1);
  EXPECT_EQ(IndexOf(shown, L"show 129"), shown.size());
  EXPECT_EQ(Log()[2], L"ERROR : PM timeouts not found in registry\r\n");
  // The instance mutex is held from the first call to the last.
  EXPECT_EQ(Calls().front(), "CreateMutex");
  EXPECT_EQ(Calls().back(), "CloseHandle");
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(UpdateFlow, ASecondInstanceEndsAtOnce) {
  std::string error;
  const auto other = sim::Device::Open(dir_, error);  // another instance's
  ASSERT_NE(other->events().CreateMutex(false, L"TessaronLoader"), kNullHandle);
  EXPECT_EQ(Run({L"click OK"}), Lines{L"message tessaron|Tessaron Loader is already running.\n"
                                      L"Only one update at a time can be made.|0x0"});
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(Calls(), (std::vector<std::string>{"CreateMutex", "CloseHandle"}));
}

// The store folder test is a case-sensitive prefix test; a boot loader may come from anywhere.
TEST_F(UpdateFlow, LeadsToTheConfirmationOfAnImageFromOutsideTheStoreFolder) {
  struct Target {
    std::wstring button, name, line;
  };
  const Target boot{L"Bootloader", L"bootloader", L"Updating Bootloader\r\n"},
      main{L"Main Image", L"main image", L"Updating Main Image\r\n"},
      rescue{L"Rescue Image", L"rescue image", L"Updating Rescue mage\r\n"};
  const std::wstring storage = L"\\Storage\\Eboot1.nbX", flash = L"\\Flash\\Eboot1.nbX";
  // The store folder, the path chosen, the target, whether accepted, the folder check's line.
  const std::tuple<std::wstring, std::wstring, Target, bool, std::wstring> cases[] = {
      {L"Flash", flash, rescue, false, L"csDir1 : Flash csDir2 : Flash"},
      {L"Flash", L"\\FlashCard\\Eboot1.nbX", main, false, L"csDir1 : Flash csDir2 : Flash"},
      {L"Flash", L"\\flash\\Eboot1.nbX", main, true, L"csDir1 : Flash csDir2 : flash"},
      {L"Flash", storage, rescue, true, L"csDir1 : Flash csDir2 : Stora"},
      {L"Flash", L"\\Fl", main, true, L"csDir1 : Flash csDir2 : Fl"},
      {L"", storage, main, false, L"csDir1 :  csDir2 : "},
      {L"Flash", flash, boot, true, L""},
      // The longest name the buffer takes, without a terminator: its size is given in bytes.
      {std::wstring(260, L'F'), storage, main, true,
       L"csDir1 : " + std::wstring(260, L'F') + L" csDir2 : Storage\\Eboot1.nbX"},
  };
  for (const auto& [folder, path, target, accepted, line] : cases) {
    SCOPED_TRACE(path + L" in " + folder);
    const Lines shown =
        Run({L"click Update " + target.button, L"click OK", L"file " + path, L"cancel"}, folder);
    EXPECT_FALSE(frontend_->aborted());
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0].substr(0, 9), L"show 133 ");
    Lines expected = {L"destroy 133", Instructions(target.name, folder), kFilter};
    Lines log = {target.line};
    if (!line.empty())
      log.push_back(line);
    if (accepted) {
      expected.push_back(L"show 102 [1:OK] [2:Cancel] [1004:Updating " + target.name + L" with\n" +
                         path + L"\n\nAre you sure?]");
      expected.push_back(L"destroy 102");
    } else {
      expected.push_back(L"message tessaron|OS loading Failure|0x0");
      log.push_back(L"ERROR : file in nand flash directory\r\n");
    }
    EXPECT_EQ(Lines(shown.begin() + 1, shown.end()), expected);
    EXPECT_EQ(Log(), log);
    EXPECT_TRUE(device_->Unreleased().empty());
  }
}

using UpdateRun = e2e::CoreTest;

// The timeouts are off while the package is written and as they were after, whatever their type.
TEST_F(UpdateRun, ABootLoaderUpdateHasTheTimeoutsOffMeanwhileAndOffersNoBootSelection) {
  const sim::RegValue eightBytes{kRegBinary, std::vector<BYTE>(8, 7)};
  ASSERT_TRUE(device_->simRegistry().Put(sim::kPowerTimeoutsKey, L"ACSystemIdle", eightBytes));
  const Lines shown =
      RunApp(Answers(L"Update Bootloader", L"\\Storage\\EbootLoader.nbX"), L"click OK");
  EXPECT_EQ(shown[IndexOf(shown, L"show 129")],
            L"show 129 [1003:Please, wait during bootloader updating, don't switch off the "
            L"device.] [1002:Progress1=0-]");
  EXPECT_LT(IndexOf(shown, L"destroy 129"), IndexOf(shown, kSuccess));
  EXPECT_EQ(IndexOf(shown, L"show 132"), shown.size());
  EXPECT_EQ(Log(),
            (Lines{L"Updating Bootloader\r\n", L"restore timeouts in registry: 0 , 0 , 0\r\n",
                   L"restore timeouts in registry: 600 , -1 , 60\r\n"}));
  EXPECT_EQ(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSystemIdle")->data,
            eightBytes.data);
  const auto& reloads = device_->powerManager()->reloads();
  EXPECT_EQ(reloads[reloads.size() - 2].values[1], 0u);
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(UpdateRun, AMainImageUpdateMovesTheBarAndThenOffersTheBootSelection) {
  const Lines shown = RunApp(Answers(kMain, kMainPackage), L"click OK");
  const std::wstring window = L"129 [1003:Loading image in flash memory, please wait ...] ";
  EXPECT_EQ(shown[IndexOf(shown, L"show 129")], L"show " + window + L"[1002:Progress1=0]");
  // The bar moves after each chunk: 128 chunks, ending short of full.
  EXPECT_LT(IndexOf(shown, L"change " + window + L"[1002:Progress1=99]"), shown.size());
  EXPECT_LT(IndexOf(shown, kSuccess), IndexOf(shown, L"show 132"));
  EXPECT_EQ(Log(), (Lines{L"Updating Main Image\r\n", L"csDir1 : Flash csDir2 : Stora",
                          L"restore timeouts in registry: 0 , 0 , 0\r\n",
                          L"Varnel_Quorvane : Before setting new config\r\n",
                          L"Writing image to flash complete.\r\n",
                          L"Varnel_Quorvane : Before driver desactivation\r\n",
                          L"restore timeouts in registry: 600 , 300 , 60\r\n"}));
  EXPECT_TRUE(device_->Unreleased().empty());
}

// Timeouts that an interrupted update saved and that cannot be put back are not the user's: the
// start says so, and the update leaves them as they are, saved for the next start.
TEST_F(UpdateRun, SavedTimeoutsThatCannotBePutBackAreToldOfAndLeftAlone) {
  const std::wstring saved = L"Software\\Tessaron Loader";
  ASSERT_TRUE(device_->simRegistry().Put(saved, L"SavedTimeouts", {kRegBinary, {1, 2, 3}}));
  std::deque<std::wstring> answers = Answers(kMain, kMainPackage);
  answers.push_front(L"click OK");
  const Lines shown = RunApp(answers, L"click OK");
  EXPECT_FALSE(frontend_->aborted());
  EXPECT_EQ(shown.front(),
            L"message tessaron|The power settings that an interrupted update switched off could "
            L"not be put back (error 13).\nThey are left as they are.|0x0");
  EXPECT_LT(IndexOf(shown, kSuccess), shown.size());
  EXPECT_EQ(Log(),
            (Lines{L"ERROR : PM timeouts of an interrupted update not restored n\u00b0 13\r\n",
                   L"Updating Main Image\r\n", L"csDir1 : Flash csDir2 : Stora",
                   L"PM timeouts of an interrupted update left as they are\r\n",
                   L"Varnel_Quorvane : Before setting new config\r\n",
                   L"Writing image to flash complete.\r\n",
                   L"Varnel_Quorvane : Before driver desactivation\r\n"}));
  EXPECT_TRUE(device_->simRegistry().Get(saved, L"SavedTimeouts"));
}

TEST_F(UpdateRun, AFileThatCannotBeOpenedStillOffersTheBootSelectionForEitherImage) {
  for (const wchar_t* target : {L"Update Main Image", L"Update Rescue Image"}) {
    NewRun();
    const Lines shown = RunApp(Answers(target, L"\\Storage\\Gone.nbX"), L"click OK");
    EXPECT_EQ(IndexOf(shown, L"message Quorvane"), shown.size()) << target;
    EXPECT_LT(IndexOf(shown, L"show 132"), shown.size()) << target;
    EXPECT_EQ(Log().size(), 2u) << target;  // the target's line and the folder check's
  }
}

// While the update runs no other program can open the package, shared or not: it cannot change
// between its check and its write.
TEST_F(UpdateRun, NoOtherProgramOpensThePackageWhileItIsWritten) {
  struct Watching final : Files {
    Watching(Files& to, sim::Device& other) : files(to), elsewhere(other.files()) {}
    Handle CreateFile(const std::wstring& path, DWORD access, DWORD share, DWORD creation,
                      DWORD attributes) override {
      package = path;
      return files.CreateFile(path, access, share, creation, attributes);
    }
    bool ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) override {
      ++reads;
      for (const DWORD share : {DWORD{0}, kFileShareRead}) {
        if (elsewhere.CreateFile(package, kGenericRead, share, kOpenExisting, 0) ==
                kInvalidHandle &&
            GetLastError() == kErrorSharingViolation) {
          ++refused;
        }
      }
      return files.ReadFile(file, buffer, toRead, read);
    }
    DWORD SetFilePointer(Handle file, LONG distance, DWORD method) override {
      return files.SetFilePointer(file, distance, method);
    }
    DWORD GetFileSize(Handle file, DWORD* high) override { return files.GetFileSize(file, high); }
    bool CloseHandle(Handle file) override { return files.CloseHandle(file); }
    Files& files;
    Files& elsewhere;
    std::wstring package;
    int reads = 0;
    int refused = 0;
  };
  std::string error;
  const auto other = sim::Device::Open(dir_, error);
  Watching watching(device_->files(), *other);
  RunApp(Answers(kMain, kMainPackage), L"click OK", &watching);
  EXPECT_GT(watching.reads, 0);
  EXPECT_EQ(watching.refused, 2 * watching.reads);  // shared or not, at every read
}

// Any non-zero rescue flag is the rescue image; a window that cannot be made only loses the
// display.
TEST_F(UpdateRun, TheFlashingRunWritesTheTargetItsFlagsNameWithOrWithoutAWindow) {
  fakes::RecordingFrontend frontend;
  frontend.refuseModeless = true;
  ui::UiContext ui{frontend, resources::AppResources()};
  app::Services services = Services();
  Files& files = device_->files();
  const nlohmann::json before = State();
  {
    ScopedFile file(
        files, files.CreateFile(L"\\Storage\\EbootRescue.nbX", kGenericRead, 0, kOpenExisting, 0));
    EXPECT_TRUE(app::CProgressDlg(ui, services, file.get()).RunFlash(0, 2));
  }
  const nlohmann::json after = State();
  EXPECT_NE(after["rescue"]["sha256"], before["rescue"]["sha256"]);
  EXPECT_EQ(IndexOf(frontend.shown, L"show 129"), frontend.shown.size());
  EXPECT_TRUE(device_->Unreleased().empty());
}

// The writers' questions, as the update run asks them: in the confirmation dialog, OK or Cancel.
TEST_F(UpdateRun, AsksTheWritersQuestionsInTheConfirmationDialog) {
  using Questions = writers::UserQuestions;
  const std::wstring neither =
      L"\r\nIf this update fails, the device may start neither.\r\nContinue ?";
  const std::pair<std::function<bool(Questions&)>, std::wstring> cases[] = {
      {[](Questions& q) { return q.GoOnWithout(Questions::Block::kSettings); },
       L"Could not get old bootloader settings!\r\nContinue ?"},
      {[](Questions& q) { return q.GoOnWithout(Questions::Block::kConstants); },
       L"Could not get constants settings(Bluetooth Address, Serial number, frequency "
       L"Offset)!\r\nContinue?"},
      {[](Questions& q) { return q.GoOnDespite(Questions::Doubt::kRescueStarted); },
       L"The device starts the rescue image now: the main image may not be whole." + neither},
      {[](Questions& q) { return q.GoOnDespite(Questions::Doubt::kMainUnfinished); },
       L"An earlier update did not finish the main image." + neither},
      {[](Questions& q) { return q.GoOnDespite(Questions::Doubt::kRescueUnfinished); },
       L"An earlier update did not finish the rescue image." + neither},
  };
  app::Services services = Services();
  for (const auto& [ask, text] : cases) {
    for (const bool ok : {true, false}) {
      fakes::RecordingFrontend frontend({ok ? L"click OK" : L"click Cancel"});
      ui::UiContext ui{frontend, resources::AppResources()};
      app::CProgressDlg progress(ui, services, kInvalidHandle);
      EXPECT_EQ(ask(progress), ok);
      EXPECT_EQ(frontend.shown,
                (Lines{L"show 102 [1:OK] [2:Cancel] [1004:" + text + L"]", L"destroy 102"}));
    }
  }
}

// The shipped template; each choice's flags and line: the flows above.
TEST(CTargetDlg, TheShippedTemplateOffersOnlyTheBootLoader) {
  ui::Resources shipped = resources::AppResources();
  shipped.dialogs.insert_or_assign(IDD_TARGET, resources::TargetTemplateBootLoaderOnly());
  fakes::RecordingFrontend frontend({L"click Update Main Image"});
  ui::UiContext ui{frontend, shipped};
  fakes::RecordingLog log;
  dialogs::CTargetDlg target(ui, log);
  EXPECT_EQ(target.DoModal(), ui::kIdCancel);
  EXPECT_TRUE(frontend.aborted());
  EXPECT_EQ(frontend.shown.front(), L"show 133 [2:Cancel] [1011:Update Bootloader]");
  EXPECT_TRUE(log.lines.empty());
}

}  // namespace
