#include "platform/sim/sim_debug_log.h"

#include <nlohmann/json.hpp>

#include <sstream>

#include "platform/host/host.h"
#include "platform/text/utf8.h"

namespace platform::sim {

void SimDebugLog::Print(std::wstring_view text) {
  // One write a call: a power cut never leaves half a line behind.
  const std::string line = nlohmann::json(ToUtf8(text)).dump() + "\n";
  host::AppendToFile(file_, line.data(), line.size());
}

bool ReadDebugLog(const host::Below& file, std::vector<std::wstring>& texts) {
  texts.clear();
  std::string bytes;
  if (!std::filesystem::exists(file.path()))
    return true;
  if (!host::ReadWholeFile(file, bytes))
    return false;
  std::istringstream lines(bytes);
  std::string line;
  while (std::getline(lines, line)) {
    const nlohmann::json text = nlohmann::json::parse(line, nullptr, false);
    if (!text.is_string())
      return false;
    texts.push_back(FromUtf8(text.get<std::string>()));
  }
  return true;
}

}  // namespace platform::sim
