// nbx, devsim and tessaron as a user runs them: what each prints, writes and exits with. The
// dialogs and the terminal are tested below them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <functional>

#include "package/crc16.h"
#include "package/package_builder.h"
#include "platform/sim/sim_debug_log.h"
#include "tests/support/core_fixture.h"
#include "tests/support/run_command.h"
#include "tools/common/provision.h"

namespace {

using fakes::CommandResult;
using nlohmann::json;
using package::BYTE;
using package::WORD;
using testing::HasSubstr;
using testing::StartsWith;

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Trailer(const std::vector<WORD>& index, const std::vector<WORD>& crc,
                    const std::vector<BYTE>& tagField) {
  const std::vector<BYTE> bytes = package::BuildTrailer(index, crc, {}, tagField);
  return std::string(bytes.begin(), bytes.end());
}

WORD Crc(std::string_view bytes) {
  return package::Crc16(reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<WORD>(bytes.size()));
}

const std::vector<BYTE> kTag = package::TagField(package::kProductTag);

// A main image update answered to its end, as a script.
const std::string kMainUpdate =
    "click Update Main Image\nclick OK\nfile \\Storage\\EbootMain.nbX\nclick OK\nclick OK\n"
    "click OK\n";

class ToolsTest : public testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(dir_); }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void MakeFifo(const std::string& name) const { ASSERT_EQ(::mkfifo(Path(name).c_str(), 0600), 0); }

  // Runs a command line of a tool ("nbx pack ...") in dir_, where the tests' files are.
  CommandResult Run(const std::string& command) const {
    const std::size_t space = command.find(' ');
    const std::string tool = command.substr(0, space);
    const char* path = tool == "nbx" ? NBX_PATH : tool == "devsim" ? DEVSIM_PATH : TESSARON_PATH;
    return fakes::RunProgram(path, command.substr(space + 1), dir_);
  }
  // Runs tessaron on the device in dir_/device, answered by this script.
  CommandResult Tessaron(const std::string& script) const {
    WriteBytes(Path("script"), script);
    return Run("tessaron --device device --script script");
  }

  const std::filesystem::path dir_ = e2e::NewFolder("tools");
};

using NbxTest = ToolsTest;
using DevsimTest = ToolsTest;
using TessaronTest = ToolsTest;

// The builder is tested here, as nbx runs it; how the device reads a package: its own tests.
TEST_F(NbxTest, PacksPaddedOrExactly) {
  const std::string image = tools::SampleImage("nbx", 3 * 16384 + 123);
  WriteBytes(Path("image.bin"), image);
  const std::string reserved = "0102030405060708090a0b0c0d0e0f1011";  // all 17 bytes
  const CommandResult pack = Run("nbx pack image.bin -o Eboot.nbX --reserved " + reserved);
  ASSERT_EQ(pack.exitCode, 0) << pack.errors;
  EXPECT_EQ(pack.output,
            "Packed image.bin (49275 bytes) into Eboot.nbX: 4 block(s) of 16384 bytes listed, "
            "payload 65536 bytes, package 65582 bytes, tag \"KORVALIN\".\nPadded the image with "
            "16261 bytes of 0xFF to whole blocks, so that every image byte is covered and no "
            "listed block reaches into the trailer.\n");
  const CommandResult verify = Run("nbx verify Eboot.nbX");
  EXPECT_EQ(verify.exitCode, 0) << verify.output;
  EXPECT_EQ(verify.errors, "");
  const std::string package = e2e::ReadText(Path("Eboot.nbX"));
  EXPECT_EQ(package.substr(0, 4 * 16384), image + std::string(16261, '\xFF'));
  const json details = json::parse(Run("nbx info --json Eboot.nbX").output);
  EXPECT_EQ(details["file_size"], 4 * 16384 + 4 * 4 + 9 + 21);
  EXPECT_EQ(details["payload_size"], 4 * 16384);
  EXPECT_EQ(details["block_count"], 4);
  EXPECT_EQ(details["tag_length"], 9);
  EXPECT_EQ(details["tag"], "KORVALIN");
  EXPECT_EQ(details["blocks"][3]["offset"], 3 * 16384);
  EXPECT_EQ(details["reserved_hex"], reserved);

  // Unpadded, the tail is covered by no block: pack tells it, verify warns of it.
  const CommandResult exact =
      Run("nbx pack --exact --tag KORVALIN --reserved 0102 image.bin -o E.nbX");
  ASSERT_EQ(exact.exitCode, 0) << exact.errors;
  EXPECT_THAT(exact.output, HasSubstr("the last 123 bytes of the image (offsets 49152 to 49274)"));
  const CommandResult warned = Run("nbx verify E.nbX");
  EXPECT_EQ(warned.exitCode, 0);
  EXPECT_EQ(warned.errors,
            "nbx: warning: E.nbX: 123 payload byte(s) in 1 range(s) are covered by no block, so "
            "nothing checks them (first: offsets 49152 to 49274)\n");
  const json exactDetails = json::parse(Run("nbx info --json E.nbX").output);
  EXPECT_EQ(exactDetails["reserved_hex"], "0102000000000000000000000000000000");
  EXPECT_EQ(exactDetails["payload_size"], 3 * 16384 + 123);
}

// Each refusal is told on standard error with the reason, and makes or changes nothing: a device
// is made only in a missing or empty folder, whatever the path, and no tool waits on a FIFO.
TEST_F(ToolsTest, EachRefusalTellsTheReasonAndChangesNothing) {
  ASSERT_EQ(Run("devsim init device").exitCode, 0);
  for (const std::string file : {"device.json", "registry.json"}) {
    std::filesystem::copy(dir_ / "device", dir_ / ("fifo-" + file),
                          std::filesystem::copy_options::recursive);
    std::filesystem::remove(dir_ / ("fifo-" + file) / file);
    MakeFifo("fifo-" + file + "/" + file);
  }
  const std::string sentinel = "{\"mine\": true}\n";
  WriteBytes(Path("registry.json"), sentinel);
  WriteBytes(Path("device.json"), sentinel);
  std::filesystem::create_directories(dir_ / "papers");
  WriteBytes(Path("papers/letter.txt"), sentinel);
  WriteBytes(Path("empty.bin"), "");
  WriteBytes(Path("image.bin"), "x");
  MakeFifo("fifo");
  const std::string longName(300, 'x');
  const std::string scripted = "tessaron --device device --script script";
  struct Case {
    std::string command;  // the tool's name, then its arguments
    int status;
    std::string message;      // how what it says begins
    std::string script = "";  // tessaron's answers, in the file "script"
  };
  const Case cases[] = {
      {"nbx pack empty.bin -o o.nbX", 1, "nbx: empty.bin: the image is empty"},
      {"nbx pack --exact image.bin -o o.nbX", 1,
       "nbx: image.bin: the image is shorter than one block"},
      {"nbx pack missing -o o.nbX", 1, "nbx: cannot read missing: No such file or directory"},
      {"nbx pack fifo -o o.nbX", 1, "nbx: cannot read fifo: not a regular file"},
      {"nbx pack image.bin -o fifo", 1, "nbx: cannot write fifo: not a regular file"},
      {"nbx pack image.bin -o no/o.nbX", 1,
       "nbx: cannot write no/o.nbX: No such file or directory"},
      {"nbx pack --reserved 0g image.bin -o o.nbX", 2, "nbx: --reserved takes up to 17 bytes"},
      {"nbx pack --reserved 123 image.bin -o o.nbX", 2, "nbx: --reserved takes up to 17 bytes"},
      {"nbx pack --reserved " + std::string(36, '0') + " image.bin -o o.nbX", 2,
       "nbx: --reserved takes up to 17 bytes"},
      {"nbx verify fifo", 2, "nbx: cannot open fifo: not a regular file\n"},
      {"nbx info fifo", 2, "nbx: cannot open fifo: not a regular file\n"},
      {"nbx verify papers", 2, "nbx: cannot open papers: not a regular file\n"},
      {"nbx verify missing", 2, "nbx: cannot open missing: No such file or directory\n"},
      {"devsim show fifo-device.json", 1,
       "devsim: fifo-device.json is not a simulated device: cannot read fifo-device.json/"
       "device.json: not a regular file\n"},
      {"devsim show fifo-registry.json", 1,
       "devsim: cannot read fifo-registry.json/registry.json: not a regular file\n"},
      {"devsim fault device Nonsense", 2,
       "devsim: unknown call 'Nonsense'; calls are: CreateFile ReadFile"},
      {"devsim fault device KernelIoControl:zz", 2,
       "devsim: bad request code 'zz': give a number or a name such as "
       "IOCTL_HAL_WRITE_BOOTLOADER\n"},
      {"devsim fault device DeviceIoControl:0x123456789", 2,
       "devsim: bad request code '0x123456789'"},
      {"devsim fault device ReadFile --error 0", 2,
       "devsim: --error 0 is success: a call made to fail needs a non-zero error code\n"},
      {"devsim init b --write-delay 10001", 2, "devsim: --write-delay takes at most 10000 ms"},
      {"devsim init b --timeouts 1,2,4294967296", 2, "devsim: --timeouts takes three numbers"},
      {"devsim init b --timeouts 1,2,3x", 2, "devsim: --timeouts takes three numbers"},
      {"devsim init b --main-max 1000", 1,
       "devsim: the main image limit 1000 is below the factory main image's 1572864 bytes, so "
       "the device could not start it; the smallest main image limit that works is 1572864\n"},
      {"devsim init b --rescue-max 0", 1,
       "devsim: the rescue image limit 0 is below the factory rescue image's 786432 bytes, so "
       "the device could not start it; the smallest rescue image limit that works is 786432\n"},
      // (A / 0.8) * B is 1.25 * A * B, which never meets this one beside 16 MiB.
      {"devsim init b --main-max 2000003", 1,
       "devsim: the limit is (wMainLimitA / 0.8) * dwMainLimitB - dwRescueMaxSize with a 16-bit "
       "wMainLimitA and a 32-bit dwMainLimitB, and no such inputs give exactly 2000003 bytes "
       "beside a rescue limit of 16777216; the nearest limit that can be had is 2000002\n"},
      {"devsim init ''", 1, "devsim: an empty path names no folder for the device\n"},
      {"devsim show ''", 1, "devsim: an empty path names no folder for the device\n"},
      {"devsim init papers", 1, "devsim: papers exists and is not empty\n"},
      {"devsim init " + longName, 1,
       "devsim: cannot create " + longName + ": File name too long\n"},
      {"tessaron --device ''", 1, "tessaron: an empty path names no folder for the device\n"},
      {"tessaron --device papers", 1,
       "tessaron: papers is not a simulated device: cannot read papers/device.json: No such file "
       "or directory\n"},
      {"tessaron --device " + longName, 1,
       "tessaron: cannot reach " + longName + ": File name too long\n"},
      {"tessaron --device device --script fifo", 1,
       "tessaron: cannot read the script fifo: not a regular file\n"},
      // A script that runs out or does not fit ends the run with status 3.
      {scripted, 3, "tessaron: the script ended while the message box \"Tessaron Loader\"",
       "click Update Bootloader\n"},
      {scripted, 3, "tessaron: the script ended while the dialog 102 waits",
       "click Update Bootloader\nclick OK\nfile \\Storage\\EbootLoader.nbX\n"},
      {scripted, 3,
       "tessaron: script line 1: 'click Frobnicate' does not answer the dialog 133 \"Tessaron "
       "EBOOT Loader\": it has no such button",
       "click Frobnicate\n"},
      {scripted, 3, "tessaron: script line 4: 'check OK' does not answer the message box",
       "\n# nothing\nclick 1011\ncheck OK\n"},
      {scripted, 3, "tessaron: script line 1: 'jump' does not answer the dialog 133", "jump\n"},
      // A message box's lines and a long answer, in one line of the message.
      {scripted, 3,
       "tessaron: script line 2: '" + std::string(60, 'j') +
           "\u2026' does not answer the message box \"Tessaron Loader\" (Please, choose a "
           "bootloader file. Don't use Flash directory\u2026): its buttons are not that\n",
       "click 1011\n" + std::string(4 << 20, 'j') + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + " " + c.script);
    if (!c.script.empty())
      WriteBytes(Path("script"), c.script);
    const CommandResult run = Run(c.command);
    EXPECT_EQ(run.exitCode, c.status);
    EXPECT_THAT(run.errors, StartsWith(c.message));
    EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
  }
  for (const char* made : {"o.nbX", "b", "nor"})
    EXPECT_FALSE(std::filesystem::exists(dir_ / made)) << made;
  EXPECT_EQ(e2e::ReadText(Path("registry.json")), sentinel);
  EXPECT_EQ(e2e::ReadText(Path("device.json")), sentinel);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "papers"),
                          std::filesystem::directory_iterator()),
            1);
}

// verify exits 0 exactly when the device would write the package, 1 with the device's reason
// when it would refuse it; odd layouts are warnings.
TEST_F(NbxTest, VerifyTellsWhatTheDeviceWouldDo) {
  const std::string block = tools::SampleImage("block", 16384);
  const std::string good = block + Trailer({0}, {Crc(block)}, kTag);
  std::string longTrailer = good;
  longTrailer[longTrailer.size() - 4] = '\xFF';  // N = 65535
  longTrailer[longTrailer.size() - 3] = '\xFF';
  const std::string intoTrailer =
      block.substr(0, 16382) +
      Trailer({0}, {Crc(block.substr(0, 16382) + std::string(2, '\0'))}, kTag);

  struct Case {
    const char* name;
    std::string bytes;
    std::string failure;  // after "PATH: FAILED: "; empty when the device would write it
    std::string warning;  // after "nbx: warning: PATH: "; empty when none is given
  };
  const std::string past = "1 listed block(s) start at or past the end of the file";
  const WORD crc = Crc(block), wrong = crc ^ 1;
  char crcs[40];
  std::snprintf(crcs, sizeof crcs, "computed 0x%04X, listed 0x%04X", crc, wrong);
  const Case cases[] = {
      {"as packed", good, "", ""},
      {"empty", "", "the file is too short to list a block (0 bytes)", ""},
      {"N = 0", block + Trailer({}, {}, kTag), "the trailer lists no block (N = 0)", ""},
      {"T > F", longTrailer,
       "the trailer is longer than the file: T = 262170 bytes (N = 65535, L = 9), F = 16418", ""},
      {"wrong tag", block + Trailer({0}, {Crc(block)}, package::TagField("KORVALIX")),
       "the tag is \"KORVALIX\", not \"KORVALIN\"", ""},
      {"tag without NUL",
       block + Trailer({0}, {Crc(block)}, {'K', 'O', 'R', 'V', 'A', 'L', 'I', 'N'}),
       "the tag field \"KORVALIN\" (L = 8) holds no NUL", ""},
      {"L = 0", block + Trailer({0}, {Crc(block)}, {}), "the tag field is empty (L = 0)", ""},
      // The tag is checked first: a trailer alone with another tag is refused for its tag.
      {"T = F, wrong tag", Trailer({5}, {0}, package::TagField("KORVALIX")),
       "the tag is \"KORVALIX\", not \"KORVALIN\"", past + " (34 bytes)"},
      {"T = F", Trailer({5}, {0}, kTag),
       "the payload is empty: the trailer takes the whole file (T = F = 34 bytes",
       past + " (34 bytes)"},
      {"bad CRC", block + Trailer({0}, {wrong}, kTag),
       "CRC error at position 0, block 0 (offset 0): " + std::string(crcs), ""},
      {"past the end, CRC 1", block + Trailer({0, 5}, {Crc(block), 1}, kTag),
       "CRC error at position 1, block 5 (offset 81920): computed 0x0000, listed 0x0001", past},
      {"past the end, CRC 0", block + Trailer({0, 5}, {Crc(block), 0}, kTag), "",
       past + " (16422 bytes): no byte is read for them, so only a CRC of 0x0000 passes (first: "
              "block 5 at position 1)"},
      {"at the end, CRC 0", block.substr(0, 16350) + Trailer({1}, {0}, kTag), "",
       past + " (16384 bytes)"},
      {"into the trailer", intoTrailer, "",
       "1 listed block(s) reach from the payload into the trailer at offset 16382, so their CRCs "
       "cover trailer bytes (first: block 0 at position 0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Path("case.nbX"), c.bytes);
    const CommandResult verify = Run("nbx verify case.nbX");
    EXPECT_EQ(verify.exitCode, c.failure.empty() ? 0 : 1);
    EXPECT_THAT(verify.output,
                StartsWith("case.nbX: " + (c.failure.empty() ? "OK: the device would write it"
                                                             : "FAILED: " + c.failure)));
    EXPECT_EQ(verify.errors.empty(), c.warning.empty()) << verify.errors;
    EXPECT_THAT(verify.errors,
                HasSubstr(c.warning.empty() ? "" : "nbx: warning: case.nbX: " + c.warning));
  }
}

TEST_F(NbxTest, AFileOfFourGiBOrMoreIsToldApart) {
  // Sparse files: the block, a hole, the trailer at the end. One byte short of 4 GiB still fits.
  const std::string block(16384, 'b');
  const std::vector<BYTE> trailer = e2e::Trailer({0}, {Crc(block)});
  e2e::PutSparse(Path("big.nbX"), block, trailer, 0xFFFFFFFF);
  EXPECT_THAT(Run("nbx verify big.nbX").output, StartsWith("big.nbX: OK"));
  e2e::PutSparse(Path("big.nbX"), block, trailer, (std::uint64_t{1} << 32) + 16484);
  // The device cannot take its size: it refuses the file before reading its trailer.
  const CommandResult verify = Run("nbx verify big.nbX");
  EXPECT_EQ(verify.exitCode, 1);
  EXPECT_EQ(
      verify.output,
      "big.nbX: FAILED: the file holds 4294983780 bytes, 4 GiB or more: its size does not fit "
      "the device's 32 bits\n");
  EXPECT_EQ(Run("nbx pack big.nbX -o o.nbX").errors,
            "nbx: cannot read big.nbX: 4294983780 bytes, over the limit of 4294967295\n");
}

// A device folder damaged or turned against its user: every command refuses it at once with one
// line that names the file and the reason, or takes what is sound in it; none crashes, hangs, or
// writes through a link or outside the folder.
TEST_F(ToolsTest, HostileDeviceFoldersAreRefusedOrTakenWithoutHarm) {
  ASSERT_EQ(Run("devsim init pristine --write-delay 0").exitCode, 0);
  using Damage = std::function<void()>;
  const std::filesystem::path device = dir_ / "device", victim = dir_ / "victim";
  // A file of the device written so, nested so deep, or turned into a link to the victim's copy.
  const auto written = [device](const std::string& file, const std::string& text) -> Damage {
    return [=] { WriteBytes(device / file, text); };
  };
  const auto deep = [&written](const std::string& file, std::size_t levels = 100000) {
    return written(file, std::string(levels, '[') + std::string(levels, ']'));
  };
  const auto linked = [device, victim](const std::string& name) -> Damage {
    return [=] {
      std::filesystem::rename(device / name, victim / name);
      std::filesystem::create_symlink(victim / name, device / name);
    };
  };
  std::string beyond = e2e::ReadText(dir_ / "pristine" / "device.json");
  beyond.replace(beyond.find("\"write_delay_ms\": 0"), 19, "\"write_delay_ms\": 4294967295");
  // How the folder is damaged, and how every command begins its refusal (empty: none refuses).
  const std::pair<Damage, std::string> cases[] = {
      {linked("nor"), "device is not a sound device: nor is a link"},
      {linked("binfs"), "device is not a sound device: binfs is a link"},
      {linked("fs"), "device is not a sound device: fs is a link"},
      {linked("registry.json"), "cannot read device/registry.json: a link"},
      {linked("device.json"),
       "device is not a simulated device: cannot read device/device.json: a link"},
      {linked("nor/settings.bin"), "cannot read device/nor/settings.bin: a link"},
      {deep("faults.json", 9), "device/faults.json nests deeper than the device ever writes"},
      {deep("faults.json", 8), "device/faults.json: fault #1 is not"},
      {deep("power-manager.json", 30000),
       "device/power-manager.json nests deeper than the device ever writes"},
      {deep("binfs/headers.json"), "device/binfs/headers.json is not a BINFS header"},
      {deep("registry.json"), "device/registry.json nests deeper than the device ever writes"},
      {written("registry.json", "{" + std::string(2 << 20, ' ') + "}"),
       "cannot read device/registry.json: 2097154 bytes, over the limit of 1048576"},
      {[device] { std::filesystem::resize_file(device / "device.json", 3ull << 30); },
       "device is not a simulated device: cannot read device/device.json: 3221225472 bytes, "
       "over the limit of 65536"},
      {written("device.json", beyond),
       "device/device.json describes a device beyond the simulator's bounds"},
      {written("faults.json", "[{\"call\": \"" + std::string(100000, 'x') + "\"}]"),
       "device/faults.json: fault #1 is not a fault"},
      {written("faults.json", "[{\"call\": \"ReadFile\", \"nth\": 0}]"),
       "device/faults.json: fault #1 is not a fault"},
      // Sound: a folder of the file system that is a link is never opened.
      {linked("fs/Storage"), ""},
      // Sound: what killed programs left goes, but never through a link (last: checked below).
      {[device, victim] {
         WriteBytes(device / "registry.json.aB3dE9", "half");
         WriteBytes(device / "nor" / "settings.bin.Zz0000", "half");
         WriteBytes(victim / "kept", "mine");
         std::filesystem::create_symlink(victim / "kept", device / "faults.json.Qw1234");
       },
       ""},
  };
  // What the victim's folder holds: its names and their contents.
  const auto held = [victim] {
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(victim)) {
      all += entry.path().string() + "=" +
             (entry.is_regular_file() ? e2e::ReadText(entry.path()) : "") + ";";
    }
    return all;
  };
  for (const auto& [damage, refusal] : cases) {
    SCOPED_TRACE(refusal);
    std::filesystem::remove_all(device);
    std::filesystem::remove_all(victim);
    std::filesystem::create_directories(victim / "fs");
    std::filesystem::create_directories(victim / "nor");
    std::filesystem::copy(dir_ / "pristine", device, std::filesystem::copy_options::recursive);
    damage();
    const std::string before = held();
    for (const std::string command :
         {"tessaron --device device --script script", "devsim show device", "devsim boot device",
          "devsim fault device ReadFile"}) {
      WriteBytes(Path("script"), kMainUpdate);
      const CommandResult run = Run(command);
      const std::string tool = command.substr(0, command.find(' '));
      if (refusal.empty()) {
        EXPECT_THAT(run.exitCode, testing::AnyOf(0, 3)) << command << run.errors;
      } else {
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_THAT(run.errors, StartsWith(tool + ": " + refusal)) << command;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors.size();
      }
    }
    EXPECT_EQ(held(), before);
  }
  EXPECT_FALSE(std::filesystem::exists(device / "registry.json.aB3dE9"));
  EXPECT_FALSE(std::filesystem::exists(device / "nor" / "settings.bin.Zz0000"));
  EXPECT_TRUE(std::filesystem::is_symlink(device / "faults.json.Qw1234"));
}

// Each limit is met exactly; one of gigabytes keeps its region within 512 MiB of the host's disk.
TEST_F(DevsimTest, InitShowBootAndFaults) {
  const std::tuple<std::string, const char*, std::uint64_t, std::uint64_t, std::uint64_t> made[] = {
      {"device", " --store-folder Store --boot-image 1 --timeouts 10,20,30", 64 << 20, 16 << 20,
       64 << 20},
      {"a", " --main-max 50000000 --rescue-max 8000000", 50000000, 8000000, 50000000},
      // The smallest limits that work: each factory image fills its region.
      {"least", " --main-max 1572864 --rescue-max 786432", 1572864, 786432, 1572864},
      {"huge", " --main-max 4000000000", 4000000000u, 16 << 20, 512 << 20}};
  for (const auto& [name, arguments, main, rescue, region] : made) {
    const CommandResult init = Run("devsim init " + name + arguments);
    ASSERT_EQ(init.exitCode, 0) << init.errors;
    const json state = json::parse(Run("devsim show --json " + name).output);
    EXPECT_EQ(state["main_max_size"], main) << arguments;
    EXPECT_EQ(state["rescue_max_size"], rescue) << arguments;
    EXPECT_EQ(state["main"]["region"], region) << arguments;
    EXPECT_TRUE(state["main"]["whole"]) << arguments;
    EXPECT_TRUE(state["rescue"]["whole"]) << arguments;
  }
  // An image shorter than its header records does not start.
  std::filesystem::resize_file(dir_ / "a" / "binfs" / "main.img", 16384);
  const CommandResult torn = Run("devsim boot a");
  EXPECT_EQ(torn.exitCode, 3);
  EXPECT_THAT(torn.output, HasSubstr("The main image is NOT whole: 16384 bytes written, header "
                                     "records 1572864 bytes."));
  const json state = json::parse(Run("devsim show --json device").output);
  const json expected = {
      {"boot_image", 1},
      {"settings_checksum_ok", true},
      {"store_folder", "Store"},
      {"timeouts", {{"ACUserIdle", 10}, {"ACSystemIdle", 20}, {"ACSuspend", 30}}}};
  for (const auto& [key, value] : expected.items())
    EXPECT_EQ(state[key], value) << key;
  EXPECT_EQ(state["main"]["length"], 1536 * 1024);
  EXPECT_EQ(state["main"]["written"], 1536 * 1024);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "device" / "fs" / "Store" / "EbootMain.nbX"));
  for (const char* name : {"EbootBadCrc.nbX", "EbootWrongTag.nbX"})
    EXPECT_EQ(Run("nbx verify device/fs/Storage/" + std::string(name)).exitCode, 1) << name;
  EXPECT_THAT(Run("devsim show device").output, HasSubstr("boot image            1 (rescue)"));
  const CommandResult boot = Run("devsim boot device");
  EXPECT_EQ(boot.exitCode, 0) << boot.output;
  EXPECT_THAT(boot.output, HasSubstr("starts the rescue image (the settings select it).\nThe "
                                     "rescue image is whole: 786432 bytes"));

  const std::pair<const char*, const char*> faults[] = {
      {"devsim fault device KernelIoControl:IOCTL_HAL_WRITE_BOOTLOADER --nth 1 --error 29",
       "Armed: KernelIoControl:0x01010428 #1 error 29\n"},
      {"devsim fault device power-cut WriteFile --nth 3", "Armed: WriteFile #3 power-cut\n"},
      {"devsim fault device --list",
       "KernelIoControl:0x01010428 #1 error 29\nWriteFile #3 power-cut\n"},
      {"devsim fault device --clear", "No fault armed.\n"},
      {"devsim fault device --list", "No fault armed.\n"},
  };
  for (const auto& [command, output] : faults) {
    const CommandResult run = Run(command);
    EXPECT_EQ(run.exitCode, 0) << command;
    EXPECT_EQ(run.output, output) << command;
  }
}

// As an editor may save it: a byte-order mark, a comment, a blank line; and a path typed from
// the root, which the confirmation shows in full. The device is made, and the run's log goes to
// it.
TEST_F(TessaronTest, TakesTheScriptAsAnEditorSavesItAndMakesTheDevice) {
  const CommandResult run = Tessaron(
      "\xEF\xBB\xBF# the boot loader, then cancel at the confirmation\n"
      "click Update Bootloader\n\n"
      "click OK\n"
      "file Storage/EbootLoader.nbX\n"
      "click Cancel\n");
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_THAT(run.output, HasSubstr("made one with the default contents and sample packages"));
  EXPECT_THAT(run.output, HasSubstr("Updating bootloader with"));
  EXPECT_THAT(run.output, HasSubstr("  \\Storage\\EbootLoader.nbX  "));  // centred, not listed
  std::vector<std::wstring> log;
  EXPECT_TRUE(
      platform::sim::ReadDebugLog(platform::host::Below::Of(dir_ / "device" / "debug.jsonl"), log));
  EXPECT_EQ(log, std::vector<std::wstring>{L"Updating Bootloader\r\n"});
}

// Names that are no text are taken as the system gives them, bytes, and shown escaped.
TEST_F(TessaronTest, NamesThatAreNoTextAreTakenAsTheSystemGivesThem) {
  const std::string device = "\"$(printf 'dev\\377')\"", package = "\"$(printf 'p\\377.nbX')\"";
  const CommandResult init = Run("devsim init " + device);
  EXPECT_EQ(init.output, "Created a simulated device in dev\\xFF\n") << init.errors;
  WriteBytes(Path("script"), kMainUpdate);
  const CommandResult update = Run("tessaron --device " + device + " --script script");
  EXPECT_EQ(update.exitCode, 0) << update.errors;
  EXPECT_THAT(update.output, HasSubstr("OS loading Success"));
  EXPECT_THAT(update.output,
              HasSubstr("|   [1] ( ) Boot the RESCUE image                          |\n"
                        "|   [2] (*) Boot the MAIN image                            |\n"
                        "|                                                          |\n"
                        "|   [3] OK (Enter)   [4] Cancel"));
  WriteBytes(Path("image.bin"), tools::SampleImage("no text", 20000));
  EXPECT_THAT(Run("nbx pack image.bin -o " + package).output,
              StartsWith("Packed image.bin (20000 bytes) into p\\xFF.nbX: 2 block(s)"));
  EXPECT_THAT(Run("nbx verify " + package).output, StartsWith("p\\xFF.nbX: OK"));
  EXPECT_THAT(Run("nbx info " + package).output, StartsWith("File      p\\xFF.nbX\n"));
}

// Starts at the same time on a missing folder: one makes the device, and each other one is told
// that it is busy, or runs on the device made.
TEST_F(TessaronTest, SimultaneousStartsOnAMissingFolderMakeOneDevice) {
  WriteBytes(Path("script"), "click Cancel\n");
  const std::string tessaron = std::string(TESSARON_PATH) + " --device device --script script";
  const CommandResult starts =
      fakes::RunCommand("cd " + dir_.string() + " && for i in 1 2 3 4 5 6; do (" + tessaron +
                        " >/dev/null 2>errors-$i; echo $? >status-$i) & done; wait");
  ASSERT_EQ(starts.exitCode, 0);
  int made = 0;
  for (int i = 1; i <= 6; ++i) {
    const std::string status = e2e::ReadText(Path("status-" + std::to_string(i)));
    const std::string errors = e2e::ReadText(Path("errors-" + std::to_string(i)));
    EXPECT_THAT(status, testing::AnyOf("0\n", "4\n")) << errors;
    if (status == "4\n") {
      EXPECT_THAT(errors,
                  testing::AnyOf("tessaron: device is being made by another program\n", ""));
    }
    made += status == "0\n";
  }
  EXPECT_GE(made, 1);
  EXPECT_EQ(Run("devsim boot device").exitCode, 0);
}

// Another update running, or one that may run as the mutex cannot be made: nothing is done.
TEST_F(TessaronTest, ASecondInstanceOrOneThatCannotTellSaysSoAndEndsWithStatus4) {
  ASSERT_EQ(Run("devsim init device").exitCode, 0);
  std::string error;
  const auto device = platform::sim::Device::Open(dir_ / "device", error);
  ASSERT_TRUE(device) << error;
  platform::Events& events = device->events();
  {
    const platform::ScopedMutex held(events, events.CreateMutex(false, L"TessaronLoader"));
    const CommandResult second = Tessaron("click OK\n");
    EXPECT_EQ(second.exitCode, 4) << second.errors;
    EXPECT_THAT(second.output, HasSubstr("[ tessaron ]"));
    EXPECT_THAT(second.output, HasSubstr("Tessaron Loader is already running."));
  }
  ASSERT_EQ(Run("devsim fault device CreateMutex --error 1450").exitCode, 0);
  const CommandResult refused = Tessaron("click OK\n");
  EXPECT_EQ(refused.exitCode, 4) << refused.errors;
  EXPECT_THAT(refused.output, HasSubstr("cannot make sure that no other update"));
  EXPECT_THAT(refused.output, HasSubstr("runs (error 1450)."));
  EXPECT_THAT(refused.output, HasSubstr("Nothing was changed."));
}

}  // namespace
