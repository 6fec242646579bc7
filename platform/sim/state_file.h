// The device's state files: JSON that the device writes itself. A file is read only within what
// the device ever writes into it, a size and a nesting, so that a damaged or hostile one is
// refused at once, with one line that names it and says why.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/host/host.h"

namespace platform::sim {

// Reads a whole state file of at most limit bytes into document. False with the message.
bool ReadStateFile(const host::Below& file, std::uint64_t limit, nlohmann::json& document,
                   std::string& error);

// Replaces the file with the document, as ReadStateFile reads it.
bool WriteStateFile(const host::Below& file, const nlohmann::json& document);

// "cannot read FILE: the host's reason", and "cannot write FILE: ...".
std::string CannotRead(const host::Below& file);
std::string CannotWrite(const host::Below& file);

// The start of a text from a file, for a message: escaped, and cut short with an ellipsis.
std::string Excerpt(std::string_view text);

}  // namespace platform::sim
