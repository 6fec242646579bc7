#pragma once

#include <string>
#include <string_view>

namespace tools {

// Lower-case hex digest.
std::string Sha256Hex(std::string_view bytes);

}  // namespace tools
