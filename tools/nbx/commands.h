// The commands of nbx, each returning the exit status.
#pragma once

#include <string>

namespace nbx {

// Packs IMAGE into a package; 1 when a file cannot be read or written, 2 for a bad argument.
int Pack(const std::string& input, const std::string& output, const std::string& tag,
         const std::string& reservedHex, bool exact);

// Describes the package's trailer: 0 when it was read, 1 when the device finds none to take
// (what can be told is still shown), 2 when the file cannot be read.
int Info(const std::string& path, bool asJson);

// 0 when the device would write the package, 1 when it would refuse it (the reason is printed),
// 2 when the file cannot be read.
int Verify(const std::string& path);

}  // namespace nbx
