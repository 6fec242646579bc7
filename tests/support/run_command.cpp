#include "tests/support/run_command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace fakes {

CommandResult RunCommand(const std::string& command) {
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
  if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  return result;
}

CommandResult RunProgram(const std::string& program, const std::string& arguments,
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
