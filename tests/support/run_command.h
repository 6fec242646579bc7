// Running a program of the project as a user would, from a shell.
#pragma once

#include <string>

namespace fakes {

struct CommandResult {
  int exitCode = -1;   // when the command exited
  int signal = 0;      // when a signal ended it
  std::string output;  // its standard output
};

// Runs a command line through the shell and collects its standard output.
CommandResult RunCommand(const std::string& command);

}  // namespace fakes
