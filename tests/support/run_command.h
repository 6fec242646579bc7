// Running a program of the project as a user would, from a shell.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fakes {

struct CommandResult {
  int exitCode = -1;   // when the command exited; -1 when a signal ended it
  std::string output;  // its standard output
  std::string errors;  // its standard error, from RunProgram
};

// Runs a command line through the shell and collects its standard output.
inline CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe)
    return result;
  char buffer[4096];
  std::size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.output.append(buffer, read);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  return result;
}

// Runs PROGRAM with ARGUMENTS (shell words) in FOLDER, with no input and for 10 s at most, so
// that one that waits fails instead of hanging the test; collects its output and its errors.
inline CommandResult RunProgram(const std::string& program, const std::string& arguments,
                                const std::filesystem::path& folder) {
  const std::filesystem::path errors =
      std::filesystem::temp_directory_path() / ("tessaron-errors-" + std::to_string(::getpid()));
  CommandResult result = RunCommand("cd " + folder.string() + " && timeout 10 " + program + " " +
                                    arguments + " 2>" + errors.string() + " </dev/null");
  std::ifstream in(errors);
  result.errors.assign(std::istreambuf_iterator<char>(in), {});
  std::filesystem::remove(errors);
  return result;
}

}  // namespace fakes
