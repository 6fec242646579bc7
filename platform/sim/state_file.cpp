#include "platform/sim/state_file.h"

#include "platform/text/strings.h"

namespace platform::sim {

namespace {

// The deepest any state file of the device nests its arrays and objects.
constexpr int kDeepest = 8;
constexpr std::size_t kExcerpt = 40;

// How deep the text nests its arrays and objects, outside strings.
int Nesting(std::string_view text) {
  int depth = 0;
  int deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

bool ReadStateFile(const host::Below& file, std::uint64_t limit, nlohmann::json& document,
                   std::string& error) {
  std::string bytes;
  if (!host::ReadWholeFile(file, bytes, limit)) {
    error = CannotRead(file);
    return false;
  }
  if (Nesting(bytes) > kDeepest) {
    error = host::Shown(file) + " nests deeper than the device ever writes";
    return false;
  }
  document = nlohmann::json::parse(bytes, nullptr, false);
  if (document.is_discarded()) {
    error = host::Shown(file) + " is not JSON";
    return false;
  }
  return true;
}

bool WriteStateFile(const host::Below& file, const nlohmann::json& document) {
  return host::ReplaceFile(file, document.dump(2) + "\n");
}

std::string CannotRead(const host::Below& file) {
  return "cannot read " + host::Shown(file) + ": " + host::LastErrorText();
}

std::string CannotWrite(const host::Below& file) {
  return "cannot write " + host::Shown(file) + ": " + host::LastErrorText();
}

std::string Excerpt(std::string_view text) {
  const bool cut = text.size() > kExcerpt;
  const std::string shown = Escaped(text.substr(0, kExcerpt));
  return "'" + shown + (cut ? "\u2026'" : "'");
}

}  // namespace platform::sim
