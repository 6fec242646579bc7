// nbx, devsim and tessaron as a user runs them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>

#include "package/crc16.h"
#include "package/package_builder.h"
#include "platform/host/host.h"
#include "tests/e2e/device_fixture.h"
#include "tests/support/run_command.h"

namespace {

using package::BYTE;
using package::WORD;
using testing::HasSubstr;
using testing::StartsWith;

struct Outcome {
  int status;
  std::string output;  // standard output
  std::string errors;  // standard error
};

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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

class ToolsTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = e2e::NewFolder("tools");
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  // Runs a tool in dir_, bounded in time, so that one that waits on a FIFO fails instead of
  // hanging the test.
  Outcome Run(const char* tool, const std::string& arguments) const {
    const std::string errors = Path("errors.txt");
    const fakes::CommandResult result =
        fakes::RunCommand("cd " + dir_.string() + " && timeout 10 " + tool + " " + arguments +
                          " 2>" + errors + " </dev/null");
    return {result.exitCode, result.output, ReadBytes(errors)};
  }
  Outcome Nbx(const std::string& arguments) const { return Run(NBX_PATH, arguments); }
  Outcome Devsim(const std::string& arguments) const { return Run(DEVSIM_PATH, arguments); }
  Outcome Tessaron(const std::string& arguments) const { return Run(TESSARON_PATH, arguments); }

  static void MakeFifo(const std::string& path) {
    ASSERT_EQ(fakes::RunCommand("mkfifo " + path).exitCode, 0);
  }

  std::filesystem::path dir_;
};

using NbxTest = ToolsTest;
using DevsimTest = ToolsTest;

TEST_F(NbxTest, PackThenVerifyPassesAndEveryFlippedBlockIsFound) {
  std::string image(3 * 16384 + 123, '\0');
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<char>(i * 31 + 7);
  WriteBytes(Path("image.bin"), image);
  const Outcome pack = Nbx("pack " + Path("image.bin") + " -o " + Path("Eboot.nbX"));
  ASSERT_EQ(pack.status, 0) << pack.errors;
  EXPECT_THAT(pack.output, HasSubstr("4 block(s)"));
  EXPECT_THAT(pack.output, HasSubstr("Padded the image with 16261 bytes"));
  const Outcome verify = Nbx("verify " + Path("Eboot.nbX"));
  EXPECT_EQ(verify.status, 0) << verify.output;
  EXPECT_EQ(verify.errors, "");

  const std::string package = ReadBytes(Path("Eboot.nbX"));
  for (int block = 0; block < 4; ++block) {
    std::string flipped = package;
    flipped[static_cast<std::size_t>(block) * 16384 + 5000] ^= 0x40;
    WriteBytes(Path("flipped.nbX"), flipped);
    const Outcome failed = Nbx("verify " + Path("flipped.nbX"));
    EXPECT_EQ(failed.status, 1) << failed.output;
    const std::string where = "FAILED: CRC error at position " + std::to_string(block) +
                              ", block " + std::to_string(block);
    EXPECT_THAT(failed.output, HasSubstr(where));
  }

  const Outcome info = Nbx("info --json " + Path("Eboot.nbX"));
  ASSERT_EQ(info.status, 0) << info.errors;
  const nlohmann::json details = nlohmann::json::parse(info.output);
  EXPECT_EQ(details["file_size"], package.size());
  EXPECT_EQ(details["payload_size"], 4 * 16384);
  EXPECT_EQ(details["block_count"], 4);
  EXPECT_EQ(details["tag_length"], 9);
  EXPECT_EQ(details["tag"], "KORVALIN");
  EXPECT_EQ(details["blocks"][3]["offset"], 3 * 16384);
}

TEST_F(NbxTest, ExactPackingSaysWhatIsNotCovered) {
  WriteBytes(Path("image.bin"), std::string(2 * 16384 + 100, 'x'));
  const Outcome pack = Nbx("pack --exact --tag KORVALIN --reserved 0102 " + Path("image.bin") +
                           " -o " + Path("E.nbX"));
  ASSERT_EQ(pack.status, 0) << pack.errors;
  EXPECT_THAT(pack.output, HasSubstr("the last 100 bytes of the image (offsets 32768 to 32867)"));
  const Outcome verify = Nbx("verify " + Path("E.nbX"));
  EXPECT_EQ(verify.status, 0);
  EXPECT_EQ(verify.errors, "nbx: warning: " + Path("E.nbX") +
                               ": 100 payload byte(s) in 1 range(s) are covered by no block, so "
                               "nothing checks them (first: offsets 32768 to 32867)\n");
  const nlohmann::json details = nlohmann::json::parse(Nbx("info --json " + Path("E.nbX")).output);
  EXPECT_EQ(details["reserved_hex"], "0102000000000000000000000000000000");
  EXPECT_EQ(details["payload_size"], 2 * 16384 + 100);
}

TEST_F(NbxTest, RefusesWhatItCannotPackWithTheReason) {
  WriteBytes(Path("empty.bin"), "");
  WriteBytes(Path("image.bin"), "x");
  MakeFifo(Path("fifo"));
  struct Case {
    std::string arguments;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"empty.bin -o o.nbX", 1, "nbx: empty.bin: the image is empty"},
      {"missing -o o.nbX", 1, "nbx: cannot read missing: No such file or directory"},
      {"fifo -o o.nbX", 1, "nbx: cannot read fifo: not a regular file"},
      {"image.bin -o fifo", 1, "nbx: cannot write fifo: not a regular file"},
      {"image.bin -o none/o.nbX", 1, "nbx: cannot write none/o.nbX: No such file or directory"},
      {"--reserved 0g image.bin -o o.nbX", 2, "nbx: --reserved takes up to 17 bytes"},
      {"--reserved 123 image.bin -o o.nbX", 2, "nbx: --reserved takes up to 17 bytes"},
  };
  for (const Case& c : cases) {
    const Outcome run = Nbx("pack " + c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_EQ(run.errors.rfind(c.message, 0), 0u) << c.arguments << ": " << run.errors;
    EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;  // one line
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "o.nbX"));
}

// verify exits 0 exactly when the device would write the package, 1 with the device's reason
// when it would refuse it, 2 when the file cannot be read; odd layouts are warnings.
TEST_F(NbxTest, VerifyTellsWhatTheDeviceWouldDo) {
  std::string block(16384, '\0');
  for (std::size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<char>(i * 7 + 3);
  const std::string good = block + Trailer({0}, {Crc(block)}, kTag);
  std::string longTrailer = good;
  longTrailer[longTrailer.size() - 4] = '\xFF';  // N = 65535
  longTrailer[longTrailer.size() - 3] = '\xFF';
  const std::string intoTrailer =
      block.substr(0, 16382) +
      Trailer({0}, {Crc(block.substr(0, 16382) + std::string(2, '\0'))}, kTag);
  // 100 payload bytes and 4070 entries that all list block 1: it starts inside the reserved
  // bytes and ends with the file, so it covers no CRC of its own.
  const std::vector<WORD> ones(4070, 1);
  const std::string tail =
      (std::string(100, 'p') + Trailer(ones, std::vector<WORD>(4070, 0), kTag)).substr(16384);
  const std::string inTrailer =
      std::string(100, 'p') + Trailer(ones, std::vector<WORD>(4070, Crc(tail)), kTag);

  struct Case {
    const char* name;
    std::string bytes;
    std::string failure;  // after "PATH: FAILED: "; empty when the device would write it
    std::string warning;  // after "nbx: warning: PATH: "; empty when none is given
    int infoStatus;
  };
  const std::string past = "1 listed block(s) start at or past the end of the file";
  const Case cases[] = {
      {"as packed", good, "", "", 0},
      {"empty", "", "the file is too short to list a block (0 bytes)", "", 1},
      {"N = 0", block + Trailer({}, {}, kTag), "the trailer lists no block (N = 0)", "", 1},
      {"T > F", longTrailer,
       "the trailer is longer than the file: T = 262170 bytes (N = 65535, L = 9), F = 16418", "",
       1},
      {"wrong tag", block + Trailer({0}, {Crc(block)}, package::TagField("KORVALIX")),
       "the tag is \"KORVALIX\", not \"KORVALIN\"", "", 0},
      {"tag without NUL",
       block + Trailer({0}, {Crc(block)}, {'K', 'O', 'R', 'V', 'A', 'L', 'I', 'N'}),
       "the tag field \"KORVALIN\" (L = 8) holds no NUL", "", 0},
      {"L = 0", block + Trailer({0}, {Crc(block)}, {}), "the tag field is empty (L = 0)", "", 0},
      {"T = F", Trailer({5}, {0}, kTag),
       "the payload is empty: the trailer takes the whole file (T = F = 34 bytes",
       past + " (34 bytes)", 0},
      {"past the end, CRC 1", block + Trailer({0, 5}, {Crc(block), 1}, kTag),
       "CRC error at position 1, block 5 (offset 81920): computed 0x0000, listed 0x0001", past, 0},
      {"past the end, CRC 0", block + Trailer({0, 5}, {Crc(block), 0}, kTag), "",
       past + " (16422 bytes): no byte is read for them, so only a CRC of 0x0000 passes (first: "
              "block 5 at position 1)",
       0},
      {"at the end, CRC 0", block.substr(0, 16350) + Trailer({1}, {0}, kTag), "",
       past + " (16384 bytes)", 0},
      {"into the trailer", intoTrailer, "",
       "1 listed block(s) reach from the payload into the trailer at offset 16382, so their CRCs "
       "cover trailer bytes (first: block 0 at position 0)",
       0},
      {"inside the trailer", inTrailer, "",
       "4070 listed block(s) start inside the trailer (offsets 100 to 16409)", 0},
  };
  for (const Case& c : cases) {
    WriteBytes(Path("case.nbX"), c.bytes);
    const Outcome verify = Nbx("verify case.nbX"), info = Nbx("info case.nbX");
    EXPECT_EQ(verify.status, c.failure.empty() ? 0 : 1) << c.name;
    EXPECT_THAT(verify.output,
                StartsWith("case.nbX: " + (c.failure.empty() ? "OK: the device would write it"
                                                             : "FAILED: " + c.failure)))
        << c.name;
    EXPECT_EQ(verify.errors.empty(), c.warning.empty()) << c.name << verify.errors;
    EXPECT_THAT(verify.errors,
                HasSubstr(c.warning.empty() ? "" : "nbx: warning: case.nbX: " + c.warning));
    EXPECT_EQ(info.status, c.infoStatus) << c.name << info.errors;
    EXPECT_THAT(info.output, StartsWith("File      case.nbX\n")) << c.name;
    EXPECT_THAT(info.errors, HasSubstr(c.infoStatus ? "nbx: case.nbX: " + c.failure : ""));
  }

  MakeFifo(Path("fifo.nbX"));
  std::filesystem::create_directories(dir_ / "folder.nbX");
  const std::pair<const char*, const char*> unreadable[] = {
      {"fifo.nbX", "not a regular file"},
      {"folder.nbX", "not a regular file"},
      {"missing.nbX", "No such file or directory"}};
  for (const char* command : {"verify", "info"}) {
    for (const auto& [name, reason] : unreadable) {
      const Outcome run = Nbx(std::string(command) + " " + name);
      EXPECT_EQ(run.status, 2) << command << " " << name;
      EXPECT_EQ(run.errors, "nbx: cannot open " + std::string(name) + ": " + reason + "\n");
    }
  }
}

TEST_F(NbxTest, AFileOfFourGiBOrMoreIsToldApart) {
  // A sparse file: the block, a hole, the trailer at the end.
  const std::string block(16384, 'b');
  const std::string trailer = Trailer({0}, {Crc(block)}, kTag);
  const std::uint64_t size = (std::uint64_t{1} << 32) + 16484;
  {
    std::ofstream out(Path("big.nbX"), std::ios::binary);
    out << block;
    out.seekp(static_cast<std::streamoff>(size - trailer.size()));
    out << trailer;
  }
  // The device cannot take its size: it refuses the file before reading its trailer.
  const Outcome info = Nbx("info big.nbX");
  EXPECT_EQ(info.status, 1);
  EXPECT_THAT(info.output, HasSubstr("F = 4294983780 bytes (4 GiB or more)"));
  EXPECT_EQ(info.errors,
            "nbx: big.nbX: the file holds 4294983780 bytes, 4 GiB or more: its size does not fit "
            "the device's 32 bits\n");
  EXPECT_EQ(nlohmann::json::parse(Nbx("info --json big.nbX").output),
            (nlohmann::json{{"file_size", size}}));
  EXPECT_EQ(Nbx("verify big.nbX").status, 1);
  const Outcome pack = Nbx("pack big.nbX -o o.nbX");
  EXPECT_EQ(pack.status, 1);
  EXPECT_EQ(pack.errors, "nbx: cannot read big.nbX: it could not be read whole\n");
}

TEST_F(DevsimTest, InitShowBootAndFaults) {
  const Outcome init =
      Devsim("init device --store-folder Store --boot-image 1 --timeouts 10,20,30");
  ASSERT_EQ(init.status, 0) << init.errors;
  EXPECT_NE(Devsim("init device").status, 0);  // not empty any more
  const nlohmann::json state = nlohmann::json::parse(Devsim("show --json device").output);
  const nlohmann::json expected = {
      {"boot_image", 1},
      {"settings_checksum_ok", true},
      {"main_max_size", 64 << 20},
      {"rescue_max_size", 16 << 20},
      {"store_folder", "Store"},
      {"timeouts", {{"ACUserIdle", 10}, {"ACSystemIdle", 20}, {"ACSuspend", 30}}}};
  for (const auto& [key, value] : expected.items())
    EXPECT_EQ(state[key], value) << key;
  EXPECT_EQ(state["constants_hex"].get<std::string>().size(), 1080u);
  EXPECT_TRUE(state["bootloader"].contains("sha256"));
  EXPECT_EQ(state["main"]["length"], 1536 * 1024);
  EXPECT_EQ(state["main"]["written"], 1536 * 1024);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "device" / "fs" / "Store" / "EbootMain.nbX"));
  for (const char* name : {"EbootBadCrc.nbX", "EbootWrongTag.nbX"})
    EXPECT_EQ(Nbx("verify device/fs/Storage/" + std::string(name)).status, 1) << name;
  EXPECT_THAT(Devsim("show device").output, HasSubstr("boot image            1 (rescue)"));
  const Outcome boot = Devsim("boot device");
  EXPECT_EQ(boot.status, 0) << boot.output;
  EXPECT_THAT(boot.output, HasSubstr("starts the rescue image (the settings select it).\nThe "
                                     "rescue image is whole: 786432 bytes"));

  const std::tuple<int, const char*, const char*> faults[] = {
      {0, "fault device KernelIoControl:IOCTL_HAL_WRITE_BOOTLOADER --nth 1 --error 29",
       "Armed: KernelIoControl:0x01010428 #1 error 29\n"},
      {0, "fault device power-cut WriteFile --nth 3", "Armed: WriteFile #3 power-cut\n"},
      {0, "fault device --list",
       "KernelIoControl:0x01010428 #1 error 29\nWriteFile #3 power-cut\n"},
      {2, "fault device Nonsense",
       "devsim: unknown call 'Nonsense'; calls are: CreateFile ReadFile"},
      {2, "fault device ReadFile --error 0",
       "devsim: --error 0 is success: a call made to fail needs a non-zero error code\n"},
      {0, "fault device --clear", "No fault armed.\n"},
      {0, "fault device --list", "No fault armed.\n"},
  };
  for (const auto& [status, arguments, text] : faults) {
    const Outcome run = Devsim(arguments);
    EXPECT_EQ(run.status, status) << arguments;
    EXPECT_THAT(status == 2 ? run.errors : run.output, StartsWith(text)) << arguments;
  }
}

TEST_F(DevsimTest, LimitsAreMetExactlyOrRefusedWithTheReason) {
  // A limit of gigabytes keeps its region within 512 MiB of the host's disk.
  const std::tuple<std::string, const char*, std::uint64_t, std::uint64_t, std::uint64_t> made[] = {
      {"a", " --main-max 50000000 --rescue-max 8000000", 50000000, 8000000, 50000000},
      {"huge", " --main-max 4000000000", 4000000000u, 16 << 20, 512 << 20}};
  for (const auto& [name, arguments, main, rescue, region] : made) {
    const Outcome init = Devsim("init " + name + arguments);
    ASSERT_EQ(init.status, 0) << init.errors;
    const nlohmann::json state = nlohmann::json::parse(Devsim("show --json " + name).output);
    EXPECT_EQ(state["main_max_size"], main) << arguments;
    EXPECT_EQ(state["rescue_max_size"], rescue) << arguments;
    EXPECT_EQ(state["main"]["region"], region) << arguments;
  }
  struct Case {
    const char* limits;
    const char* message;
  };
  const Case cases[] = {
      {"--main-max 1000",
       "devsim: the main image limit 1000 is below the factory main image's 1572864 bytes, so the "
       "device could not start it; the smallest main image limit that works is 1572864\n"},
      {"--rescue-max 0",
       "devsim: the rescue image limit 0 is below the factory rescue image's 786432 bytes, so the "
       "device could not start it; the smallest rescue image limit that works is 786432\n"},
      // (A / 0.8) * B is 1.25 * A * B, which never meets this one beside 16 MiB.
      {"--main-max 2000003",
       "devsim: the limit is (wMainLimitA / 0.8) * dwMainLimitB - dwRescueMaxSize with a 16-bit "
       "wMainLimitA and a 32-bit dwMainLimitB, and no such inputs give exactly 2000003 bytes "
       "beside a rescue limit of 16777216; the nearest limit that can be had is 2000002\n"},
  };
  for (const Case& c : cases) {
    const Outcome refused = Devsim(std::string("init b ") + c.limits);
    EXPECT_EQ(refused.status, 1) << c.limits;
    EXPECT_EQ(refused.errors, c.message);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "b")) << c.limits;
  }
}

TEST_F(ToolsTest, NothingWaitsOnAFifo) {
  ASSERT_EQ(Devsim("init device").status, 0);
  for (const char* file : {"device.json", "registry.json"}) {
    std::filesystem::copy(dir_ / "device", dir_ / "fifo", std::filesystem::copy_options::recursive);
    std::filesystem::remove(dir_ / "fifo" / file);
    MakeFifo((dir_ / "fifo" / file).string());
    const std::string reason = "cannot read fifo/" + std::string(file) + ": not a regular file\n";
    const std::pair<const char*, const char*> runs[] = {
        {DEVSIM_PATH, "show fifo"}, {DEVSIM_PATH, "boot fifo"}, {TESSARON_PATH, "--device fifo"}};
    for (const auto& [tool, arguments] : runs) {
      const Outcome run = Run(tool, arguments);
      EXPECT_EQ(run.status, 1) << arguments << " " << file;
      EXPECT_THAT(run.errors, HasSubstr(reason));
      EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
    }
    std::filesystem::remove_all(dir_ / "fifo");
  }
  MakeFifo(Path("answers"));
  const Outcome script = Tessaron("--device device --script answers");
  EXPECT_EQ(script.status, 1);
  EXPECT_EQ(script.errors, "tessaron: cannot read the script answers: not a regular file\n");
}

// A device is made only in a missing or empty folder; anything else is refused and left as it
// was, whatever the path.
TEST_F(ToolsTest, NoFolderIsTakenForADeviceThatIsNotOne) {
  const std::string sentinel = "{\"mine\": true}\n";
  WriteBytes(Path("registry.json"), sentinel);
  WriteBytes(Path("device.json"), sentinel);
  std::filesystem::create_directories(dir_ / "papers");
  WriteBytes(Path("papers/letter.txt"), sentinel);
  const std::string longName(300, 'x');
  struct Case {
    const char* tool;
    std::string arguments;
    std::string message;
  };
  const Case cases[] = {
      {DEVSIM_PATH, "init ''", "devsim: an empty path names no folder for the device\n"},
      {DEVSIM_PATH, "show ''", "devsim: an empty path names no folder for the device\n"},
      {TESSARON_PATH, "--device ''", "tessaron: an empty path names no folder for the device\n"},
      {DEVSIM_PATH, "init papers", "devsim: papers exists and is not empty\n"},
      {TESSARON_PATH, "--device papers",
       "tessaron: papers is not a simulated device: cannot read papers/device.json: No such file "
       "or directory\n"},
      {TESSARON_PATH, "--device " + longName,
       "tessaron: cannot reach " + longName + ": File name too long\n"},
      {DEVSIM_PATH, "init " + longName,
       "devsim: cannot create " + longName + "/nor: File name too long\n"},
  };
  for (const Case& c : cases) {
    const Outcome run = Run(c.tool, c.arguments);
    EXPECT_EQ(run.status, 1) << c.arguments;
    EXPECT_EQ(run.errors, c.message);
  }
  EXPECT_EQ(ReadBytes(Path("registry.json")), sentinel);
  EXPECT_EQ(ReadBytes(Path("device.json")), sentinel);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "nor"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "papers"),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
