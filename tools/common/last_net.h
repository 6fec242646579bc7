// The last net of every tool's main: each failure the tool foresees is reported where it
// happens; anything else thrown ends the tool with one line and status 1.
#pragma once

#include <exception>
#include <iostream>

namespace tools {

template <class Run>
int RunWithLastNet(const char* tool, Run run) {
  try {
    return run();
  } catch (const std::exception& error) {
    std::cerr << tool << ": " << error.what() << "\n";
    return 1;
  }
}

}  // namespace tools
