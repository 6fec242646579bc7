#include <gtest/gtest.h>

#include <optional>

#include "power/power_timeouts.h"
#include "tests/support/fakes.h"

namespace {

using power::PowerTimeouts;

const std::wstring kKey = L"SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";

fakes::FakeRegistry::Value Dword(platform::DWORD value) {
  std::vector<platform::BYTE> data(4);
  for (int i = 0; i < 4; ++i)
    data[i] = static_cast<platform::BYTE>(value >> (8 * i));
  return {platform::kRegDword, data};
}

struct Fixture {
  Fixture() {
    registry.keys[kKey] = {
        {L"ACUserIdle", Dword(60)}, {L"ACSystemIdle", Dword(300)}, {L"ACSuspend", Dword(600)}};
  }
  fakes::FakeRegistry registry;
  fakes::FakeEvents events;
  fakes::RecordingLog log;
};

TEST(ReadPowerTimeouts, QueriesEachValueIntoFourBytes) {
  Fixture f;
  PowerTimeouts record;
  ASSERT_TRUE(power::ReadPowerTimeouts(f.registry, record));
  EXPECT_EQ(record.dwACUserIdle, 60u);
  EXPECT_EQ(record.dwACSystemIdle, 300u);
  EXPECT_EQ(record.dwACSuspend, 600u);
  for (const PowerTimeouts::Found found : record.found)
    EXPECT_EQ(found, PowerTimeouts::Found::kValue);
  EXPECT_EQ(f.registry.calls,
            (std::vector<std::wstring>{L"open " + kKey, L"query ACUserIdle 4",
                                       L"query ACSystemIdle 4", L"query ACSuspend 4", L"close"}));
  EXPECT_EQ(f.registry.openKeys, 0);
  EXPECT_TRUE(f.log.lines.empty());
}

TEST(ReadPowerTimeouts, NotesWhatItFoundOfEachValue) {
  using Found = PowerTimeouts::Found;
  // Missing, eight bytes, two bytes, four binary bytes.
  const std::tuple<std::optional<std::vector<platform::BYTE>>, Found, platform::DWORD> cases[] = {
      {std::nullopt, Found::kAbsent, 1234},
      {std::vector<platform::BYTE>(8, 1), Found::kUnreadable, 1234},
      {std::vector<platform::BYTE>{0x05, 0x01}, Found::kUnreadable, 1234},
      {std::vector<platform::BYTE>{0x05, 0x01, 0, 0}, Found::kValue, 0x105}};
  for (const auto& [suspend, found, field] : cases) {
    Fixture f;
    f.registry.keys[kKey].erase(L"ACSuspend");
    if (suspend)
      f.registry.keys[kKey][L"ACSuspend"] = {platform::kRegBinary, *suspend};
    PowerTimeouts record = PowerTimeouts::Of(1, 2, 1234);
    ASSERT_TRUE(power::ReadPowerTimeouts(f.registry, record));
    EXPECT_EQ(record.dwACSuspend, field) << field;
    EXPECT_EQ(record.found[2], found) << field;
    EXPECT_EQ(record.found[0], Found::kValue);
  }
}

TEST(ReadPowerTimeouts, FailsOnlyWithoutTheKey) {
  Fixture f;
  f.registry.keys.clear();
  PowerTimeouts record = PowerTimeouts::Of(1, 2, 3);
  EXPECT_FALSE(power::ReadPowerTimeouts(f.registry, record));
  EXPECT_EQ(record.dwACUserIdle, 1u);
  EXPECT_EQ(f.registry.calls, std::vector<std::wstring>{L"open " + kKey});
  EXPECT_TRUE(f.log.lines.empty());
}

TEST(WritePowerTimeouts, WritesLogsInReverseOrderAndSetsTheReloadEvent) {
  for (const auto& [record, values] : {std::pair{PowerTimeouts::Of(60, 300, 600),
                                                 std::vector<std::wstring>{L"60", L"300", L"600"}},
                                       {power::g_TimeoutsOff, {L"0", L"0", L"0"}}}) {
    Fixture f;
    EXPECT_TRUE(power::WritePowerTimeouts(f.registry, f.events, f.log, record));
    EXPECT_EQ(f.registry.calls,
              (std::vector<std::wstring>{L"open " + kKey, L"set ACUserIdle " + values[0],
                                         L"set ACSystemIdle " + values[1],
                                         L"set ACSuspend " + values[2], L"close"}));
    EXPECT_EQ(f.registry.keys[kKey][L"ACSuspend"].type, platform::kRegDword);
    EXPECT_EQ(f.registry.keys[kKey][L"ACSuspend"].data.size(), 4u);
    EXPECT_EQ(f.log.lines,
              std::vector<std::wstring>{L"restore timeouts in registry: " + values[2] + L" , " +
                                        values[1] + L" , " + values[0] + L"\r\n"});
    EXPECT_EQ(f.events.calls,
              (std::vector<std::wstring>{L"open PowerManager/ReloadActivityTimeouts 2031619",
                                         L"modify 3", L"close"}));
    EXPECT_EQ(f.events.openEvents, 0);
  }
}

TEST(WritePowerTimeouts, StillAnnouncesWhenTheKeyOrEventIsMissing) {
  Fixture f;
  f.registry.keys.clear();
  f.events.exists = false;
  EXPECT_FALSE(power::WritePowerTimeouts(f.registry, f.events, f.log, PowerTimeouts::Of(1, 2, 3)));
  EXPECT_EQ(f.registry.calls, std::vector<std::wstring>{L"open " + kKey});
  EXPECT_EQ(f.log.lines, (std::vector<std::wstring>{L"restore timeouts in registry: 3 , 2 , 1\r\n",
                                                    L"Error: Could not open PM reload event\r\n"}));
  EXPECT_EQ(f.events.calls.size(), 1u);
}

TEST(WritePowerTimeouts, WritesRemovesOrLeavesEachValueAsItWasFound) {
  using Found = PowerTimeouts::Found;
  Fixture f;
  PowerTimeouts record = PowerTimeouts::Of(11, 22, 33);
  record.found[1] = Found::kAbsent;
  record.found[2] = Found::kUnreadable;
  EXPECT_TRUE(power::WritePowerTimeouts(f.registry, f.events, f.log, record));
  EXPECT_EQ(f.registry.calls, (std::vector<std::wstring>{L"open " + kKey, L"set ACUserIdle 11",
                                                         L"delete ACSystemIdle", L"close"}));
  EXPECT_EQ(f.registry.keys[kKey][L"ACSuspend"].data, Dword(600).data);
  EXPECT_EQ(f.log.lines,
            std::vector<std::wstring>{L"restore timeouts in registry: 33 , 22 , 11\r\n"});

  // Switching off writes a zero in place of an absent value, never over an unreadable one.
  const PowerTimeouts off = power::TimeoutsOffFor(record);
  EXPECT_EQ(off.dwACUserIdle + off.dwACSystemIdle + off.dwACSuspend, 0u);
  EXPECT_EQ(off.found[0], Found::kValue);
  EXPECT_EQ(off.found[1], Found::kValue);
  EXPECT_EQ(off.found[2], Found::kUnreadable);
}

TEST(WritePowerTimeouts, IgnoresAFailedSet) {
  Fixture f;
  f.registry.failingSets.insert(L"ACUserIdle");
  EXPECT_TRUE(power::WritePowerTimeouts(f.registry, f.events, f.log, power::g_TimeoutsOff));
  EXPECT_EQ(f.registry.calls.size(), 5u);
}

}  // namespace
