#include "platform/sim/power_manager.h"

#include <nlohmann/json.hpp>

#include "platform/host/host.h"
#include "platform/sim/state_file.h"
#include "platform/text/utf8.h"

namespace platform::sim {

const wchar_t kPowerTimeoutsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";
const wchar_t* const kPowerTimeoutNames[3] = {L"ACUserIdle", L"ACSystemIdle", L"ACSuspend"};

namespace {

constexpr std::size_t kReloadsKept = 64;
constexpr std::uint64_t kLargestRecord = std::uint64_t{64} * 1024;

nlohmann::json ToJson(const EnforcedTimeouts& timeouts) {
  nlohmann::json record = nlohmann::json::object();
  for (int i = 0; i < 3; ++i) {
    const std::string name = ToUtf8(kPowerTimeoutNames[i]);
    record[name] = timeouts.values[i] ? nlohmann::json(*timeouts.values[i]) : nlohmann::json();
  }
  return record;
}

bool FromJson(const nlohmann::json& record, EnforcedTimeouts& timeouts) {
  if (!record.is_object())
    return false;
  for (int i = 0; i < 3; ++i) {
    const auto it = record.find(ToUtf8(kPowerTimeoutNames[i]));
    timeouts.values[i].reset();
    if (it == record.end() || it->is_null())
      continue;
    if (!it->is_number_unsigned() || it->get<std::uint64_t>() > 0xFFFFFFFFu)
      return false;
    timeouts.values[i] = it->get<DWORD>();
  }
  return true;
}

}  // namespace

PowerManager::PowerManager(const DevicePaths& paths, SimRegistry& registry)
    : paths_(paths), registry_(registry) {}

bool PowerManager::Load(std::string& error) {
  reloads_.clear();
  const host::Below file = paths_.powerManager();
  nlohmann::json state;
  if (!ReadStateFile(file, kLargestRecord, state, error))
    return false;
  if (!state.is_object() ||
      !FromJson(state.value("enforced", nlohmann::json::object()), enforced_)) {
    error = host::Shown(file) + " is not a power manager record";
    return false;
  }
  const nlohmann::json reloads = state.value("reloads", nlohmann::json::array());
  if (!reloads.is_array() || reloads.size() > kReloadsKept) {
    error = host::Shown(file) + ": the reloads are not a list of at most " +
            std::to_string(kReloadsKept);
    return false;
  }
  for (const nlohmann::json& record : reloads) {
    EnforcedTimeouts timeouts;
    if (!FromJson(record, timeouts)) {
      error = host::Shown(file) + ": bad reload record";
      return false;
    }
    reloads_.push_back(timeouts);
  }
  return true;
}

bool PowerManager::ReloadActivityTimeouts() {
  // Reloads made by other processes are kept: the record is read again under the lock.
  std::string error;
  const auto lock = LockForChange(paths_);
  if (!lock || !Load(error))
    return false;
  for (int i = 0; i < 3; ++i) {
    const auto value = registry_.Get(kPowerTimeoutsKey, kPowerTimeoutNames[i]);
    enforced_.values[i] = value && value->type == kRegDword ? ValueDword(*value) : std::nullopt;
  }
  reloads_.push_back(enforced_);
  if (reloads_.size() > kReloadsKept)
    reloads_.erase(reloads_.begin());
  return Save();
}

bool PowerManager::Save() {
  nlohmann::json reloads = nlohmann::json::array();
  for (const EnforcedTimeouts& record : reloads_)
    reloads.push_back(ToJson(record));
  const nlohmann::json state = {{"enforced", ToJson(enforced_)}, {"reloads", reloads}};
  return WriteStateFile(paths_.powerManager(), state);
}

}  // namespace platform::sim
