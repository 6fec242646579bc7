// The power manager's timeouts read, switched off and put back, over the simulated device's
// registry, events and power manager; and the saved copy that outlives a power cut.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "journal/saved_timeouts.h"
#include "platform/text/strings.h"
#include "platform/text/utf8.h"
#include "power/power_timeouts.h"
#include "tests/support/core_fixture.h"

namespace {

namespace sim = platform::sim;
using namespace platform;
using power::PowerTimeouts;
using power::TimeoutValue;
using Found = TimeoutValue::Found;
using Data = std::vector<BYTE>;
using testing::ElementsAre;
using Lines = std::vector<std::wstring>;

const std::wstring kOpen = L"open SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";
const std::wstring kReload = L"event PowerManager/ReloadActivityTimeouts 2031619";

// The device's registry and events, noting what the device does not tell: the key, each value
// with its buffer's size or the number set, the access asked for the event and what is done.
struct Spy final : Registry, Events {
  Spy(Registry& r, Events& e) : registry(r), events(e) {}
  LONG RegOpenKeyEx(HKEY root, const std::wstring& key, DWORD, DWORD, HKEY* result) override {
    return Note(L"open " + key), registry.RegOpenKeyEx(root, key, 0, 0, result);
  }
  LONG RegCreateKeyEx(HKEY root, const std::wstring& key, DWORD, DWORD, HKEY* result) override {
    return Note(L"create " + key), registry.RegCreateKeyEx(root, key, 0, 0, result);
  }
  LONG RegFlushKey(HKEY key) override { return Note(L"flush"), registry.RegFlushKey(key); }
  LONG RegQueryValueEx(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                       DWORD* size) override {
    Note(L"query " + name + L" " + std::to_wstring(*size));
    return registry.RegQueryValueEx(key, name, type, data, size);
  }
  LONG RegSetValueEx(HKEY key, const std::wstring& name, DWORD, DWORD type, const BYTE* data,
                     DWORD size) override {
    Note(L"set " + name + L" " + std::to_wstring(type) + L":" +
         FromUtf8(HexEncode(std::string(data, data + size))));
    return registry.RegSetValueEx(key, name, 0, type, data, size);
  }
  LONG RegDeleteValue(HKEY key, const std::wstring& name) override {
    return Note(L"delete " + name), registry.RegDeleteValue(key, name);
  }
  LONG RegCloseKey(HKEY key) override { return Note(L"close"), registry.RegCloseKey(key); }
  Handle OpenEvent(DWORD access, bool inherit, const std::wstring& name) override {
    Note(L"event " + name + L" " + std::to_wstring(access) + (inherit ? L" inherit" : L""));
    return events.OpenEvent(access, inherit, name);
  }
  bool EventModify(Handle event, DWORD function) override {
    return Note(L"modify " + std::to_wstring(function)), events.EventModify(event, function);
  }
  Handle CreateMutex(bool owner, const std::wstring& name) override {
    return events.CreateMutex(owner, name);
  }
  bool CloseHandle(Handle event) override { return Note(L"close"), events.CloseHandle(event); }
  void Note(const std::wstring& call) { noted.push_back(call); }

  Registry& registry;
  Events& events;
  Lines noted;
};

class PowerTimeoutsTest : public e2e::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    spy_ = std::make_unique<Spy>(device_->registry(), device_->events());
  }
  bool Read(PowerTimeouts& record) { return power::ReadPowerTimeouts(*spy_, record); }
  bool Write(const PowerTimeouts& record) {
    return power::WritePowerTimeouts(*spy_, *spy_, device_->log(), record);
  }
  void Put(const wchar_t* name, const std::optional<sim::RegValue>& value) {
    device_->simRegistry().Delete(sim::kPowerTimeoutsKey, std::wstring(name));
    ASSERT_TRUE(!value || device_->simRegistry().Put(sim::kPowerTimeoutsKey, name, *value));
  }
  // What the power manager took from the registry when it was last told.
  const auto& Enforced() const { return device_->powerManager()->reloads().back().values; }
  std::unique_ptr<Spy> spy_;
};

// Each value whole with its type, four bytes asked first; only a query that fails leaves one
// alone.
TEST_F(PowerTimeoutsTest, ReadsEachValueWholeWithItsType) {
  // What ACSuspend holds (nothing: absent), how it is found (a value: as it is held), and the
  // size asked after the first four bytes, when one is.
  const std::tuple<std::optional<sim::RegValue>, Found, DWORD> cases[] = {
      {sim::DwordValue(600), Found::kValue, 0},
      {std::nullopt, Found::kAbsent, 0},
      {sim::RegValue{kRegBinary, Data(8, 1)}, Found::kValue, 8},
      {sim::RegValue{kRegBinary, {5, 1}}, Found::kValue, 0},
      {sim::RegValue{kRegSz, {'6', 0, 0, 0}}, Found::kValue, 0},
      {sim::RegValue{5, {0, 0, 2, 0x58}}, Found::kValue, 0},
      {sim::RegValue{kRegBinary, Data(1024, 3)}, Found::kValue, 1024},
      {sim::RegValue{kRegBinary, Data(1025, 3)}, Found::kUnreadable, 0},
  };
  for (const auto& [suspend, found, larger] : cases) {
    const sim::RegValue read = found == Found::kValue ? *suspend : sim::RegValue{};
    SCOPED_TRACE(read.data.size());
    Put(L"ACSuspend", suspend);
    spy_->noted.clear();
    PowerTimeouts record;
    ASSERT_TRUE(Read(record));
    EXPECT_EQ(record.values[0].data, TimeoutValue::Dword(60).data);
    EXPECT_EQ(record.values[2].found, found);
    EXPECT_EQ(record.values[2].type, read.type);
    EXPECT_EQ(record.values[2].data, read.data);
    Lines expected = {kOpen, L"query ACUserIdle 4", L"query ACSystemIdle 4", L"query ACSuspend 4"};
    if (larger)
      expected.push_back(L"query ACSuspend " + std::to_wstring(larger));
    expected.push_back(L"close");
    EXPECT_EQ(spy_->noted, expected);
  }
  // A query that fails is the one thing left alone.
  Fail("RegQueryValueEx", kErrorReadFault, 2);
  PowerTimeouts record;
  ASSERT_TRUE(Read(record));
  EXPECT_EQ(record.values[1].found, Found::kUnreadable);
  EXPECT_TRUE(device_->Unreleased().empty());
  EXPECT_TRUE(Log().empty());
}

// Every value goes back with its own type and bytes; the line shows only what was written as a
// number.
TEST_F(PowerTimeoutsTest, WritesEachValueBackAsItWasFoundAndTellsThePowerManager) {
  Put(L"ACSuspend", sim::RegValue{kRegBinary, Data(8, 7)});
  PowerTimeouts record;
  record.values[0] = TimeoutValue::Dword(11);
  record.values[1] = {Found::kAbsent, kRegNone, {}};
  record.values[2] = {Found::kUnreadable, kRegNone, {}};
  EXPECT_TRUE(Write(record));
  EXPECT_EQ(spy_->noted, (Lines{kOpen, L"set ACUserIdle 4:0b000000", L"delete ACSystemIdle",
                                L"close", kReload, L"modify 3", L"close"}));
  EXPECT_THAT(Enforced(), ElementsAre(11u, std::nullopt, std::nullopt));
  EXPECT_EQ(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSuspend")->data, Data(8, 7));
  EXPECT_TRUE(Write(record));  // a value already absent is no failure: a cut may repeat a restore
  record.values[1] = {Found::kValue, kRegSz, {'6', 0, 0, 0}};
  record.values[2] = {Found::kValue, 5, {0, 0, 2, 0x58}};
  spy_->noted.clear();
  EXPECT_TRUE(Write(record));
  EXPECT_EQ(spy_->noted,
            (Lines{kOpen, L"set ACUserIdle 4:0b000000", L"set ACSystemIdle 1:36000000",
                   L"set ACSuspend 5:00000258", L"close", kReload, L"modify 3", L"close"}));
  EXPECT_EQ(Log(), Lines(3, L"restore timeouts in registry: -1 , -1 , 11\r\n"));
  // Switching off puts a DWORD 0 in place of every value but one that could not be read.
  const PowerTimeouts off = power::TimeoutsOffFor(record);
  EXPECT_EQ(off.values[1].data, TimeoutValue::Dword(0).data);
  record.values[1].found = Found::kUnreadable;
  EXPECT_EQ(power::TimeoutsOffFor(record).values[1].found, Found::kUnreadable);
}

// A value that does not take is told, and the rest goes on; without the key, nothing is read,
// and writing still tells the power manager.
TEST_F(PowerTimeoutsTest, TellsWhatDidNotTakeAndTellsThePowerManagerAllTheSame) {
  Fail("RegSetValueEx", kErrorDiskFull);
  EXPECT_FALSE(Write(PowerTimeouts::Of(11, 22, 33)));
  EXPECT_EQ(GetLastError(), kErrorDiskFull);
  EXPECT_EQ(spy_->noted,
            (Lines{kOpen, L"set ACUserIdle 4:0b000000", L"set ACSystemIdle 4:16000000",
                   L"set ACSuspend 4:21000000", L"close", kReload, L"modify 3", L"close"}));
  EXPECT_THAT(Enforced(), ElementsAre(60u, 22u, 33u));
  ASSERT_TRUE(device_->simRegistry().Delete(sim::kPowerTimeoutsKey, std::nullopt));
  PowerTimeouts record = PowerTimeouts::Of(1, 2, 3);
  spy_->noted.clear();
  EXPECT_FALSE(Read(record));
  EXPECT_EQ(record.values[0].data, TimeoutValue::Dword(1).data);
  Fail("OpenEvent", kErrorFileNotFound);  // and without the event, that is logged
  EXPECT_FALSE(Write(record));
  EXPECT_EQ(spy_->noted, (Lines{kOpen, kOpen, kReload}));
  EXPECT_EQ(Log(), (Lines{L"restore timeouts in registry: 33 , 22 , 11\r\n",
                          L"restore timeouts in registry: 3 , 2 , 1\r\n",
                          L"Error: Could not open PM reload event\r\n"}));
}

// The saved copy, as the next start finds it: put back and forgotten, or kept with a reason.
TEST_F(PowerTimeoutsTest, TheNextStartPutsBackWhatAnInterruptedRunSaved) {
  const PowerTimeouts saved = PowerTimeouts::Of(60, 300, 600);
  const std::wstring key = L"Software\\Tessaron Loader";
  // A copy that may not outlive a power cut is not left for the next start.
  Fail("RegFlushKey", kErrorDiskFull);
  EXPECT_FALSE(journal::SaveTimeouts(device_->registry(), saved));
  EXPECT_FALSE(journal::TimeoutsWaiting(device_->registry()));
  const Data good = [&] {
    EXPECT_TRUE(journal::SaveTimeouts(device_->registry(), saved));
    return device_->simRegistry().Get(key, L"SavedTimeouts")->data;
  }();
  Data cut = good;
  cut.pop_back();
  Data found = good;
  found[0] = 3;
  Data longer = good;
  longer.push_back(0);
  // The saved copy (none: nothing saved), the call that fails, whether put back, the error,
  // ACUserIdle then, and whether the copy was read.
  using Row = std::tuple<std::optional<sim::RegValue>, std::string, bool, DWORD, int, bool>;
  const sim::RegValue copy{kRegBinary, good};
  const Row cases[] = {
      {std::nullopt, "", true, kErrorSuccess, 0, false},
      {copy, "", true, kErrorSuccess, 60, true},
      {copy, "RegSetValueEx", false, kErrorDiskFull, 0, true},
      {copy, "RegDeleteValue", false, kErrorDiskFull, 60, true},
      {copy, "RegQueryValueEx", false, kErrorDiskFull, 0, false},
      {sim::RegValue{kRegBinary, cut}, "", false, kErrorInvalidData, 0, false},
      {sim::RegValue{kRegBinary, found}, "", false, kErrorInvalidData, 0, false},
      {sim::RegValue{kRegBinary, longer}, "", false, kErrorInvalidData, 0, false},
      {sim::RegValue{kRegBinary, Data(5000)}, "", false, kErrorInvalidParameter, 0, false},
      {sim::RegValue{kRegDword, Data(4)}, "", false, kErrorInvalidData, 0, false},
  };
  for (const auto& [copied, failing, putBack, error, userIdle, read] : cases) {
    SCOPED_TRACE(failing + " " + std::to_string(error));
    for (const wchar_t* name : {L"ACUserIdle", L"ACSystemIdle", L"ACSuspend"})
      Put(name, sim::DwordValue(0));
    device_->simRegistry().Delete(key, std::wstring(L"SavedTimeouts"));
    if (copied) {
      ASSERT_TRUE(device_->simRegistry().Put(key, L"SavedTimeouts", *copied));
    }
    NewRun();
    if (!failing.empty())
      Fail(failing, kErrorDiskFull);
    EXPECT_EQ(
        journal::PutBackInterruptedTimeouts(device_->registry(), device_->events(), device_->log()),
        putBack);
    if (!putBack) {
      EXPECT_EQ(GetLastError(), error);
    }
    EXPECT_EQ(journal::TimeoutsWaiting(device_->registry()), !putBack);
    EXPECT_EQ(State()["timeouts"]["ACUserIdle"], userIdle);
    EXPECT_EQ(Log().size(), read ? 2u : 0u);  // its own line, then the restore line
    EXPECT_TRUE(device_->Unreleased().empty());
  }
}

}  // namespace
