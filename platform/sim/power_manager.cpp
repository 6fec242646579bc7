#include "platform/sim/power_manager.h"

#include <nlohmann/json.hpp>

#include "platform/host/host.h"
#include "platform/text/utf8.h"

namespace platform::sim {

const wchar_t kPowerTimeoutsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";
const wchar_t* const kPowerTimeoutNames[3] = {L"ACUserIdle", L"ACSystemIdle", L"ACSuspend"};

namespace {

constexpr std::size_t kReloadsKept = 64;

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
    if (!it->is_number_unsigned())
      return false;
    timeouts.values[i] = it->get<DWORD>();
  }
  return true;
}

}  // namespace

PowerManager::PowerManager(const DevicePaths& paths, SimRegistry& registry)
    : paths_(paths), registry_(registry) {}

bool PowerManager::Load(std::string& error) {
  std::string bytes;
  reloads_.clear();
  const std::filesystem::path file = paths_.powerManager();
  if (!host::ReadWholeFile(file, bytes)) {
    error = "cannot read " + file.string() + ": " + host::LastErrorText();
    return false;
  }
  const nlohmann::json state = nlohmann::json::parse(bytes, nullptr, false);
  if (!state.is_object() ||
      !FromJson(state.value("enforced", nlohmann::json::object()), enforced_)) {
    error = file.string() + " is not a power manager record";
    return false;
  }
  for (const nlohmann::json& record : state.value("reloads", nlohmann::json::array())) {
    EnforcedTimeouts timeouts;
    if (!FromJson(record, timeouts)) {
      error = file.string() + ": bad reload record";
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
  return host::ReplaceFile(paths_.powerManager(), state.dump(2) + "\n");
}

}  // namespace platform::sim
