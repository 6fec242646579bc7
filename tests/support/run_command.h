// Running a program of the project as a user would, from a shell.
#pragma once

#include <filesystem>
#include <string>

namespace fakes {

struct CommandResult {
  int exitCode = -1;   // when the command exited
  int signal = 0;      // when a signal ended it
  std::string output;  // its standard output
  std::string errors;  // its standard error, from RunProgram
};

// Runs a command line through the shell and collects its standard output.
CommandResult RunCommand(const std::string& command);

// Runs PROGRAM with ARGUMENTS (shell words) in FOLDER, with no input and for 10 s at most, so
// that one that waits fails instead of hanging the test; collects its output and its errors.
CommandResult RunProgram(const std::string& program, const std::string& arguments,
                         const std::filesystem::path& folder);

}  // namespace fakes
