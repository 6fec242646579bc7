// Proof that an update never takes from a device what it can start. Every state that this
// application can leave a device in is made by running it into a real failure or power cut.
// From each state every target is updated: with a good package, with each refused one, with
// every call failing in turn, with the power cut at every call, and with Cancel on every question.
// Seeded random walks then chain twenty updates each. After every run the device must hold what
// the application promises (Expect below).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <regex>

#include "journal/saved_timeouts.h"
#include "journal/unfinished_images.h"
#include "platform/model/model_frontend.h"
#include "platform/text/utf8.h"
#include "tests/support/core_fixture.h"
#include "tools/common/sha256.h"

namespace {

using nlohmann::json;
using platform::BYTE;
namespace sim = platform::sim;

constexpr int kBootLoader = -1;
const char* const kTargetNames[] = {"bootloader", "main", "rescue"};  // by target + 1
const char* const kGoodPackages[] = {"Boot", "Main", "Rescue"};
const wchar_t* const kButtons[] = {L"Update Bootloader", L"Update Main Image",
                                   L"Update Rescue Image"};
const char* const kImages[] = {"main", "rescue"};

// The packages on the device: a good one of each target, and one for each refusal.
struct Package {
  const char* name;
  std::string image;  // what an image target holds once it is written
  enum { kTaken, kImagesRefuse, kAllRefuse } refused = kTaken;
  std::vector<BYTE> bytes = {};
};

std::string Text(const std::vector<BYTE>& bytes) {
  return {bytes.begin(), bytes.end()};
}

std::vector<Package> Packages() {
  std::vector<Package> packages = {
      {"Boot", tools::SampleImage("boot loader", 40000)},
      {"Main", tools::SampleImage("main", 3 * 16384 + 500)},
      {"Rescue", tools::SampleImage("rescue", 2 * 16384 + 77)},
      {"Big", "", Package::kImagesRefuse},  // the boot loader has no limit of its own
      {"Long", "", Package::kAllRefuse},
      {"Tag", "", Package::kAllRefuse},
      {"Empty", "", Package::kAllRefuse},
      {"Crc", "", Package::kAllRefuse},
  };
  for (std::size_t i = 0; i < 3; ++i)
    packages[i].bytes = e2e::PackExactly(packages[i].image);
  // Whole blocks over both image limits; a trailer longer than the file; another product's tag;
  // a trailer and nothing before it; a block whose CRC differs.
  packages[3].bytes = e2e::PackExactly(tools::SampleImage("big", 272 * 1024));
  packages[4].bytes = packages[1].bytes;
  packages[4].bytes[packages[4].bytes.size() - 3] = 0xFF;
  packages[5].bytes = e2e::PackExactly(packages[1].image, "KORVALIX");
  packages[6].bytes = e2e::Trailer({1}, {0});
  packages[7].bytes = e2e::SpoiledPackage();
  return packages;
}

const Package& Named(const std::vector<Package>& packages, const std::string& name) {
  return *std::find_if(packages.begin(), packages.end(),
                       [&name](const Package& package) { return package.name == name; });
}

// What the user does, from the target dialog to the boot selection.
struct Choices {
  int target = 0;       // kBootLoader, 0 main, 1 rescue
  std::string package;  // a name of Packages()
  int cancelAt = -1;    // the prompt answered with Cancel, counted from 0
  bool goOn = true;     // the answer to every question that follows the confirmation
  int bootChoice = -1;  // the image checked in the boot selection; -1 keeps the shown one
};

// What a run showed of itself.
struct Outcome {
  bool inProcess = true;       // else it ran in a child that the power cut ended
  bool succeeded = false;      // "OS loading Success" was shown
  bool confirmedRisk = false;  // the user agreed to leave nothing whole to start
  bool changed = true;         // it changed the device before the boot selection
  int prompts = 0;
  std::size_t unreleased = 0;  // handles, keys and drivers it still held at its end
};

// The user's hands on the dialogs, as Choices say.
class Hands final : public platform::ui::ModelFrontend {
 public:
  // report, when not -1, is told of a risk the user agreed to at once: a power cut may follow.
  Hands(Choices choices, const std::vector<std::string>& trace, int report = -1)
      : choices_(std::move(choices)), trace_(trace), report_(report) {}

  Outcome outcome;                           // what the user saw and agreed to
  std::size_t callsBeforeBootSelection = 0;  // all of the run's, without a boot selection

 protected:
  std::optional<std::wstring> NextAnswer(const Prompt& prompt) override {
    callsBeforeBootSelection = booting_ ? callsBeforeBootSelection : trace_.size();
    if (outcome.prompts++ == choices_.cancelAt)
      return L"cancel";
    switch (prompt.kind) {
      case Prompt::Kind::kMessageBox:
        outcome.succeeded = outcome.succeeded || prompt.text == L"OS loading Success";
        return L"click OK";
      case Prompt::Kind::kFileDialog:
        return L"file \\Storage\\" + platform::FromUtf8(choices_.package) + L".nbX";
      case Prompt::Kind::kDialog:
        break;
    }
    switch (prompt.window->source->id) {
      case 133:
        return std::wstring(L"click ") + kButtons[choices_.target + 1];
      case 132:
        booting_ = true;
        if (declined_)
          return L"cancel";  // no second try for what was declined
        if (choices_.bootChoice >= 0 && !std::exchange(checked_, true))
          return L"check " + std::to_wstring(choices_.bootChoice ? 1007 : 1008);
        return L"click OK";
      default:
        break;
    }
    // The confirmation has no owner; every later question does.
    if (!prompt.owner)
      return L"click OK";
    const std::wstring& question = prompt.window->Find(1004)->text;
    if (question.find(L"may start neither") != std::wstring::npos ||
        question.find(L"Boot it all the same") != std::wstring::npos) {
      if (choices_.goOn && !std::exchange(outcome.confirmedRisk, true) && report_ >= 0) {
        EXPECT_EQ(::write(report_, "!", 1), 1);
      }
      declined_ = !choices_.goOn;
    }
    return choices_.goOn ? L"click OK" : L"click Cancel";
  }

 private:
  Choices choices_;
  const std::vector<std::string>& trace_;
  int report_;
  bool booting_ = false;
  bool checked_ = false;
  bool declined_ = false;
};

// A fault armed for a run: a call failing, or the power cut at it.
struct Fault {
  std::string call;  // empty: none
  unsigned nth = 1;
  bool cut = false;
};

// The debug lines a run may write.
const std::wregex kKnownLines(
    L"csDir1 : Flash csDir2 : Stora|(Updating (Bootloader|Main Image|Rescue mage)|"
    L"restore timeouts in registry: -?\\d+ , -?\\d+ , -?\\d+|"
    L"restore timeouts saved by an interrupted update|"
    L"PM timeouts of an interrupted update left as they are|"
    L"ERROR : PM timeouts (not found in registry|(not saved|not restored|of an interrupted "
    L"update not restored) n\u00b0 \\d+)|Error: Could not open PM reload event|"
    L"(Erreur|Error) (get|set) settings n\u00b0 \\d+|"
    L"Erreur (reading file|write file in NOR Flash|alloc memory) \\d+|Image not fit this "
    L"product!!!|CRC error at block n\u00b0 \\d+|Varnel_Quorvane: Erreur "
    L"(createfile|readfile|writefile|update header setting|closefile|journal) n\u00b0 \\d+|"
    L"Varnel_Quorvane: Erreur update selecting image n\u00b0[01], error n\u00b0 \\d+|"
    L"Varnel_Quorvane: (Image not fit this product!!!|CRC error at block #\\d+)|"
    L"Varnel_Quorvane ERROR: WriteRegionsToNAND: .*|"
    L"Quorvane: Error on BIN_IOCTL_GET_SECTOR_SIZE n\u00b0 \\d+|"
    L"((Varnel_)?Quorvane: )?BinDrv DeInit Failed !!!|Writing image to flash complete.|"
    L"Varnel_Quorvane : Before (setting new config|driver desactivation))\r\n");

// The calls that change the device; a run that made none changed nothing.
bool Changes(const std::string& call) {
  return call == e2e::kSetSettings || call == e2e::kSetConstants || call == e2e::kWriteBootLoader ||
         call == "DeviceIoControl:2" || call == "WriteFile" || call == "DeviceIoControl:1";
}

const json kUserTimeouts = {{"ACUserIdle", 60}, {"ACSystemIdle", 300}, {"ACSuspend", 600}};

// A state: the device as a list of runs leaves it, made once and copied for every run from it.
struct Recipe {
  const char* name;
  std::vector<std::pair<Choices, Fault>> runs;
};

// The target's good package unless another is named.
Choices Update(int target, std::string package = "", int bootChoice = -1) {
  Choices choices;
  choices.target = target;
  choices.package = package.empty() ? kGoodPackages[target + 1] : package;
  choices.bootChoice = bootChoice;
  return choices;
}

void PrintTo(const Recipe& recipe, std::ostream* out) {
  *out << recipe.name;
}

const Recipe kStates[] = {
    {"sound_booting_main", {}},
    {"sound_booting_rescue", {{Update(0, "Crc", 1), {}}}},
    {"main_torn_booting_rescue", {{Update(0), {"WriteFile", 2}}}},
    {"main_empty_booting_rescue", {{Update(0), {"WriteFile", 1}}}},
    {"main_without_length", {{Update(0), {"DeviceIoControl:1", 1}}}},
    {"main_torn_by_a_cut", {{Update(0), {"WriteFile", 2, true}}}},
    {"rescue_torn_booting_main", {{Update(1), {"WriteFile", 2}}}},
    {"rescue_torn_by_a_cut_while_booted",
     {{Update(0, "Crc", 1), {}}, {Update(1), {"WriteFile", 2, true}}}},
    {"main_torn_and_booted_as_asked", {{Update(0, "Main", 0), {"WriteFile", 2}}}},
    {"both_torn", {{Update(0), {"WriteFile", 2}}, {Update(1), {"WriteFile", 2}}}},
};

class BootSafety : public e2e::CoreTest {
 protected:
  void SetUp() override {
    options_.factoryImages[0] = 64 * 1024;
    options_.factoryImages[1] = 32 * 1024;
    options_.mainMax = 256 * 1024;
    options_.rescueMax = 128 * 1024;
    CoreTest::SetUp();
    std::filesystem::remove_all(dir_ / "fs");
    for (const Package& package : packages_)
      PutDeviceFile(std::string("Storage/") + package.name + ".nbX", package.bytes);
  }
  void TearDown() override {
    CoreTest::TearDown();
    std::filesystem::remove_all(saved_);
  }

  // Keeps the device as it stands, to start each later run from; and brings it back.
  void Save() { Copy(dir_, saved_); }
  void Restore() { Copy(saved_, dir_); }
  void Copy(const std::filesystem::path& from, const std::filesystem::path& to) {
    device_.reset();
    std::filesystem::remove_all(to);
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
    Reopen();
  }

  // Runs the application once as the choices say, with the fault armed. A power cut runs in a
  // child process, which the cut ends.
  Outcome RunOnce(const Choices& choices, const Fault& fault) {
    NewRun();
    if (!fault.call.empty()) {
      fault.cut ? PowerCut(fault.call, fault.nth) : Fail(fault.call, 1117, fault.nth);
    }
    if (fault.cut)
      return RunCut(choices);
    Hands hands(choices, device_->faults().trace());
    RunApp(hands);
    const std::vector<std::string>& calls = device_->faults().trace();
    Outcome outcome = hands.outcome;
    outcome.changed = std::any_of(
        calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(hands.callsBeforeBootSelection),
        Changes);
    outcome.unreleased = device_->Unreleased().size();
    return outcome;
  }

  Outcome RunCut(const Choices& choices) {
    int report[2];
    EXPECT_EQ(::pipe(report), 0);
    device_.reset();
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(report[0]);
      Reopen();
      Hands hands(choices, device_->faults().trace(), report[1]);
      RunApp(hands);
      std::_Exit(0);
    }
    ::close(report[1]);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    char told = 0;
    Outcome outcome;
    outcome.inProcess = false;
    outcome.confirmedRisk = ::read(report[0], &told, 1) == 1;
    ::close(report[0]);
    // A cut that the run did not meet ends nothing: the run went on to its end.
    EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == SIGKILL
                                    : WIFEXITED(status) && WEXITSTATUS(status) == 0);
    Reopen();
    return outcome;
  }

  // The device as the next start finds it, with what the application wrote down.
  json View() {
    Reopen();
    // A fault that the run did not meet must not meet the looking.
    const bool met = device_->faults().armed().empty();
    device_->faults().Clear();
    json view = State();
    view["met"] = met;
    for (int image = 0; image < 2; ++image)
      view["unfinished"][image] = journal::MayBeUnfinished(device_->registry(), image);
    view["timeouts_waiting"] = journal::TimeoutsWaiting(device_->registry());
    view["log"] = json::array();
    for (const std::wstring& line : Log())
      view["log"].push_back(platform::ToUtf8(line));
    return view;
  }

  // Makes the state from a new device and keeps it.
  void Make(const Recipe& recipe) {
    for (const auto& [choices, fault] : recipe.runs) {
      RunOnce(choices, fault);
      ASSERT_TRUE(device_->faults().armed().empty()) << recipe.name;
    }
    Save();
  }

  // One run from the kept state and what it must leave; false once a check failed. changed,
  // when given, says whether a cut run had changed the device before the cut.
  bool Check(const Choices& choices, const Fault& fault, std::optional<bool> changed = {}) {
    Restore();
    const json before = View();
    Outcome outcome = RunOnce(choices, fault);
    outcome.changed = changed.value_or(outcome.changed);
    Expect(before, View(), choices, fault, outcome);
    return !HasFailure();
  }

  void Expect(const json& before, const json& after, const Choices& choices, const Fault& fault,
              const Outcome& outcome);
  // The timeouts are the user's own again, at the latest after the next start.
  void ExpectTheUsersTimeouts(const json& after);

  const std::vector<Package> packages_ = Packages();
  const std::filesystem::path saved_ = e2e::NewFolder("state");
};

void BootSafety::Expect(const json& before, const json& after, const Choices& choices,
                        const Fault& fault, const Outcome& outcome) {
  const int target = choices.target;
  const bool faulted = !fault.call.empty() && after["met"];
  SCOPED_TRACE(
      std::string(kTargetNames[target + 1]) + " with " + choices.package + ", " +
      (faulted ? fault.call + " #" + std::to_string(fault.nth) + (fault.cut ? " cut" : " failing")
               : std::string("no fault")) +
      ", cancel at " + std::to_string(choices.cancelAt));
  // Nothing of the device but what the target and the selection own ever changes.
  EXPECT_EQ(after["constants_hex"], before["constants_hex"]);
  EXPECT_TRUE(after["settings_checksum_ok"]);
  std::string settings = after["settings_hex"], kept = before["settings_hex"];
  for (const auto& [at, length] : {std::pair{0, 8}, {84, 4}, {96, 2}})
    kept.replace(at, length, settings.substr(at, length));
  EXPECT_EQ(settings, kept);
  const Package& sent = Named(packages_, choices.package);
  for (int image = 0; image < 2; ++image) {
    if (image != target) {
      EXPECT_EQ(after[kImages[image]], before[kImages[image]]) << kImages[image];
    }
    // What is whole is what was there, or the whole package: never a torn image.
    if (after[kImages[image]]["whole"]) {
      EXPECT_TRUE(after[kImages[image]]["sha256"] == before[kImages[image]]["sha256"] ||
                  after[kImages[image]]["sha256"] == tools::Sha256Hex(sent.image))
          << kImages[image];
    }
    // Every image that is not whole is written down as such.
    if (!after[kImages[image]]["whole"]) {
      EXPECT_TRUE(after["unfinished"][image]) << kImages[image];
    }
  }
  // A refusal, a cancel or a failure before the first change leaves everything as it was.
  if (!outcome.changed) {
    if (target >= 0) {
      EXPECT_EQ(after[kImages[target]], before[kImages[target]]);
    }
    EXPECT_EQ(after["bootloader"], before["bootloader"]);
    if (choices.bootChoice < 0) {
      EXPECT_EQ(after["boot_image"], before["boot_image"]);
    }
  }
  // Success when, and only when, the target holds the package, which a writer takes.
  const bool taken = sent.refused == Package::kTaken ||
                     (sent.refused == Package::kImagesRefuse && target == kBootLoader);
  if (outcome.succeeded) {
    EXPECT_TRUE(taken);
    if (target == kBootLoader) {
      EXPECT_EQ(after["bootloader"]["sha256"], tools::Sha256Hex(Text(sent.bytes)));
    } else {
      EXPECT_TRUE(after[kImages[target]]["whole"]);
      EXPECT_EQ(after[kImages[target]]["sha256"], tools::Sha256Hex(sent.image));
    }
  } else if (outcome.inProcess && taken && !faulted && choices.cancelAt < 0 && choices.goOn) {
    ADD_FAILURE() << "a package that the device takes was not written";
  }
  // A device that could start a whole image still can, unless the user agreed otherwise.
  if (before["boot"]["whole"] && !outcome.confirmedRisk) {
    EXPECT_TRUE(after["boot"]["whole"]);
  }
  if (outcome.inProcess) {
    const bool release = fault.call == "CloseHandle" || fault.call == "RegCloseKey" ||
                         fault.call == "DeactivateDevice";
    EXPECT_LE(outcome.unreleased, faulted && release ? 1u : 0u);
    for (const json& line : after["log"]) {
      EXPECT_TRUE(std::regex_match(platform::FromUtf8(line.get<std::string>()), kKnownLines))
          << line;
    }
  }
  ExpectTheUsersTimeouts(after);
}

void BootSafety::ExpectTheUsersTimeouts(const json& after) {
  if (after["timeouts"] == kUserTimeouts && !after["timeouts_waiting"])
    return;
  EXPECT_TRUE(after["timeouts_waiting"]) << after["timeouts"];
  RunOnce({0, "Main", 0}, {});  // the next start, cancelled at once
  const json next = View();
  EXPECT_EQ(next["timeouts"], kUserTimeouts);
  EXPECT_FALSE(next["timeouts_waiting"]);
}

class States : public BootSafety, public testing::WithParamInterface<std::tuple<Recipe, int>> {};

// Every update from every state: each way it can go, each way it can be refused or cut.
TEST_P(States, EveryUpdateFromEveryStateKeepsWhatTheDeviceCanStart) {
  const auto& [recipe, target] = GetParam();
  Make(recipe);
  const Choices good = Update(target);
  Restore();
  const Outcome whole = RunOnce(good, {});
  const std::vector<std::string> trace = device_->faults().trace();
  ASSERT_TRUE(Check(good, {})) << "the good package";
  for (const char* refused : {"Big", "Long", "Tag", "Empty", "Crc"}) {
    if (!Check(Update(target, refused), {}))
      return;
  }
  for (int prompt = 0; prompt < whole.prompts; ++prompt) {
    Choices cancelled = good;
    cancelled.cancelAt = prompt;
    if (!Check(cancelled, {}))
      return;
  }
  for (std::size_t at = 0; at < trace.size(); ++at) {
    if (!Check(good, {trace[at], e2e::Occurrence(trace, at)}))
      return;
  }
  // A cut takes what its call would have done: the calls before it are those of the whole run.
  for (std::size_t at = 0; at < trace.size(); ++at) {
    const bool changed =
        std::any_of(trace.begin(), trace.begin() + static_cast<std::ptrdiff_t>(at), Changes);
    if (!Check(good, {trace[at], e2e::Occurrence(trace, at), true}, changed))
      return;
  }
}

INSTANTIATE_TEST_SUITE_P(BootSafety, States,
                         testing::Combine(testing::ValuesIn(kStates), testing::Values(-1, 0, 1)),
                         [](const testing::TestParamInfo<std::tuple<Recipe, int>>& param) {
                           return std::string(std::get<0>(param.param).name) + "_" +
                                  kTargetNames[std::get<1>(param.param) + 1];
                         });

// Twenty updates in a row from a new device, each with a random target, package, answers, and a
// random call failing or the power cut at it; checked after every one. A failing walk names its
// seed.
TEST_F(BootSafety, RandomWalksOfTwentyUpdatesKeepWhatTheDeviceCanStart) {
  const auto& calls = sim::FaultableCalls();
  const char* const packages[] = {"Boot", "Main", "Rescue", "Main",  "Rescue",
                                  "Big",  "Long", "Tag",    "Empty", "Crc"};
  Save();
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("walk with seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&random](int n) { return static_cast<int>(random() % n); };
    Restore();
    for (int step = 0; step < 20; ++step) {
      Choices choices = Update(pick(3) - 1, packages[pick(10)]);
      choices.cancelAt = pick(8) == 0 ? pick(8) : -1;
      choices.goOn = pick(3) != 0;
      choices.bootChoice = pick(3) - 1;
      Fault fault;
      if (pick(3) != 0)
        fault = {std::string(calls[static_cast<std::size_t>(pick(static_cast<int>(calls.size())))]),
                 static_cast<unsigned>(1 + pick(6)), pick(2) == 0};
      SCOPED_TRACE("step " + std::to_string(step));
      const json before = View();
      const Outcome outcome = RunOnce(choices, fault);
      Expect(before, View(), choices, fault, outcome);
      if (HasFailure())
        return;
    }
  }
}

}  // namespace
