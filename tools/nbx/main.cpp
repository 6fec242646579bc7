// nbx: make, inspect and verify image packages.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "package/image_trailer.h"
#include "platform/text/utf8.h"
#include "tools/common/last_net.h"
#include "tools/nbx/commands.h"

namespace {

int Run(int argc, char** argv) {
  CLI::App app{"nbx: make, inspect and verify Tessaron image packages (Eboot*.nbX)"};
  app.require_subcommand(1);

  std::string input;
  std::string output;
  std::string tag = package::kProductTag;
  std::string reserved;
  bool exact = false;
  auto* pack = app.add_subcommand(
      "pack",
      "Append a trailer that lists every 16 KiB block of IMAGE with its CRC-16, the image first "
      "padded with 0xFF to whole blocks (exit 1 when a file cannot be read or written)");
  pack->add_option("IMAGE", input, "Image file")->required();
  pack->add_option("-o,--output", output, "Package file to write")->required();
  pack->add_option("--tag", tag, "Product tag")->capture_default_str();
  pack->add_option("--reserved", reserved, "The 17 reserved bytes, as hex (default zeros)");
  pack->add_flag("--exact", exact,
                 "Keep the image as it is, without padding to whole blocks; the bytes after the "
                 "last whole block are then not covered");

  bool asJson = false;
  auto* info = app.add_subcommand(
      "info",
      "Show a package's trailer and blocks as the device reads them (exit 0); of a file in "
      "which the device finds no trailer to take (no block listed, or a trailer longer than the "
      "file), what can be told, with the reason (exit 1); exit 2 when the file cannot be read");
  info->add_option("FILE", input, "Package file")->required();
  info->add_flag("--json", asJson, "Print JSON");

  auto* verify = app.add_subcommand(
      "verify",
      "Tell what the device does with the package: exit 0 when it would write it; 1 when it "
      "would refuse it, with its reason (no block listed, a trailer longer than the file, a tag "
      "other than \"KORVALIN\", an empty payload, or the first block whose CRC differs, with its "
      "position and number); 2 when the file cannot be read. Blocks that reach into the trailer "
      "or past the end, and bytes that no block covers, are warned about on standard error. "
      "The target's size limit is the device's own and is not checked");
  verify->add_option("FILE", input, "Package file")->required();

  CLI11_PARSE(app, argc, argv);
  if (pack->parsed())
    return nbx::Pack(input, output, tag, reserved, exact);
  if (info->parsed())
    return nbx::Info(input, asJson);
  return nbx::Verify(input);
}

}  // namespace

#ifdef _WIN32
// Windows hands the arguments over as wide text; the tool takes them as UTF-8, as on Linux.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> texts(static_cast<std::size_t>(argc));
  std::transform(argv, argv + argc, texts.begin(),
                 [](const wchar_t* argument) { return platform::ToUtf8(argument); });
  std::vector<char*> arguments;
  for (std::string& text : texts)
    arguments.push_back(text.data());
  return tools::RunWithLastNet("nbx", [&] { return Run(argc, arguments.data()); });
}
#else
int main(int argc, char** argv) {
  return tools::RunWithLastNet("nbx", [&] { return Run(argc, argv); });
}
#endif
