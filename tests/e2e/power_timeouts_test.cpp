// The power manager's timeouts read, switched off and put back, over the simulated device's
// registry, events and power manager.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "power/power_timeouts.h"
#include "tests/e2e/core_fixture.h"

namespace {

namespace sim = platform::sim;
using namespace platform;
using power::PowerTimeouts;
using Found = PowerTimeouts::Found;
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
  LONG RegQueryValueEx(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                       DWORD* size) override {
    Note(L"query " + name + L" " + std::to_wstring(*size));
    return registry.RegQueryValueEx(key, name, type, data, size);
  }
  LONG RegSetValueEx(HKEY key, const std::wstring& name, DWORD, DWORD type, const BYTE* data,
                     DWORD size) override {
    Note(L"set " + name + L" " + std::to_wstring(LoadLittleEndian<DWORD>(data)));
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

TEST_F(PowerTimeoutsTest, ReadsEachValueIntoFourBytes) {
  // The last value short after a longer one: none of the longer one's bytes is taken.
  Put(L"ACSystemIdle", sim::DwordValue(0x7F6E5D4C));
  const std::tuple<std::optional<sim::RegValue>, Found, DWORD> cases[] = {
      {sim::DwordValue(600), Found::kValue, 600},
      {std::nullopt, Found::kAbsent, 1234},
      {sim::RegValue{kRegBinary, std::vector<BYTE>(8, 1)}, Found::kUnreadable, 1234},
      {sim::RegValue{kRegBinary, {0x05, 0x01}}, Found::kUnreadable, 1234},
      {sim::RegValue{kRegBinary, {0x05, 0x01, 0, 0}}, Found::kValue, 0x105}};
  for (const auto& [suspend, found, field] : cases) {
    Put(L"ACSuspend", suspend);
    spy_->noted.clear();
    PowerTimeouts record = PowerTimeouts::Of(1, 2, 1234);
    ASSERT_TRUE(Read(record));
    EXPECT_EQ(record.dwACUserIdle, 60u);
    EXPECT_EQ(record.dwACSystemIdle, 0x7F6E5D4Cu);
    EXPECT_EQ(record.dwACSuspend, field) << field;
    EXPECT_THAT(record.found, ElementsAre(Found::kValue, Found::kValue, found));
    EXPECT_EQ(spy_->noted, (Lines{kOpen, L"query ACUserIdle 4", L"query ACSystemIdle 4",
                                  L"query ACSuspend 4", L"close"}));
  }
  // A short first value leaves the next ones their whole four bytes.
  Put(L"ACUserIdle", sim::RegValue{kRegBinary, {0x05, 0x01}});
  PowerTimeouts record = PowerTimeouts::Of(1, 2, 3);
  ASSERT_TRUE(Read(record));
  EXPECT_THAT(record.found, ElementsAre(Found::kUnreadable, Found::kValue, Found::kValue));
  EXPECT_TRUE(device_->Unreleased().empty());
  EXPECT_TRUE(Log().empty());
}

TEST_F(PowerTimeoutsTest, WritesInOrderLogsInReverseAndThenTellsThePowerManager) {
  EXPECT_TRUE(Write(PowerTimeouts::Of(11, 22, 33)));
  EXPECT_EQ(spy_->noted, (Lines{kOpen, L"set ACUserIdle 11", L"set ACSystemIdle 22",
                                L"set ACSuspend 33", L"close", kReload, L"modify 3", L"close"}));
  // As four-byte DWORDs: the only values the power manager takes.
  EXPECT_THAT(Enforced(), ElementsAre(11u, 22u, 33u));
}

TEST_F(PowerTimeoutsTest, WritesRemovesOrLeavesEachValueAsItWasFoundAndGoesOnPastAFailure) {
  Put(L"ACSuspend", sim::RegValue{kRegBinary, std::vector<BYTE>(8, 7)});
  PowerTimeouts record = PowerTimeouts::Of(11, 22, 33);
  record.found[1] = Found::kAbsent;
  record.found[2] = Found::kUnreadable;
  Fail("RegSetValueEx", kErrorWriteFault);  // the first set fails: the rest goes on
  EXPECT_TRUE(Write(record));
  EXPECT_EQ(spy_->noted, (Lines{kOpen, L"set ACUserIdle 11", L"delete ACSystemIdle", L"close",
                                kReload, L"modify 3", L"close"}));
  EXPECT_THAT(Enforced(), ElementsAre(60u, std::nullopt, std::nullopt));
  EXPECT_EQ(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSuspend")->data,
            std::vector<BYTE>(8, 7));
  EXPECT_EQ(Log(), Lines{L"restore timeouts in registry: 33 , 22 , 11\r\n"});
  // Switching off writes a zero in place of an absent value, never over an unreadable one.
  EXPECT_THAT(power::TimeoutsOffFor(record).found,
              ElementsAre(Found::kValue, Found::kValue, Found::kUnreadable));
}

TEST_F(PowerTimeoutsTest, WithoutTheKeyReadingFailsAndWritingStillTellsThePowerManager) {
  ASSERT_TRUE(device_->simRegistry().Delete(sim::kPowerTimeoutsKey, std::nullopt));
  PowerTimeouts record = PowerTimeouts::Of(1, 2, 3);
  EXPECT_FALSE(Read(record));
  EXPECT_EQ(record.dwACUserIdle, 1u);
  Fail("OpenEvent", kErrorFileNotFound);  // and without the event, that is logged
  EXPECT_FALSE(Write(record));
  EXPECT_EQ(spy_->noted, (Lines{kOpen, kOpen, kReload}));
  EXPECT_EQ(Log(), (Lines{L"restore timeouts in registry: 3 , 2 , 1\r\n",
                          L"Error: Could not open PM reload event\r\n"}));
}

}  // namespace
