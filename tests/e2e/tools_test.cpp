// nbx and devsim as a user runs them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>

#include "package/image_trailer.h"
#include "platform/host.h"
#include "tests/e2e/device_fixture.h"

namespace {

struct Outcome {
  int status;
  std::string output;  // standard output and error
};

Outcome Execute(const std::string& command) {
  const platform::host::CommandResult result = platform::host::RunCommand(command + " 2>&1");
  return {result.exitCode, result.output};
}

Outcome Nbx(const std::string& arguments) {
  return Execute(std::string(NBX_PATH) + " " + arguments);
}
Outcome Devsim(const std::string& arguments) {
  return Execute(std::string(DEVSIM_PATH) + " " + arguments);
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class NbxTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = e2e::NewFolder("nbx");
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(NbxTest, PackThenVerifyPassesAndEveryFlippedBlockIsFound) {
  std::string image(3 * 16384 + 123, '\0');
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<char>(i * 31 + 7);
  WriteBytes(Path("image.bin"), image);
  const Outcome pack = Nbx("pack " + Path("image.bin") + " -o " + Path("Eboot.nbX"));
  ASSERT_EQ(pack.status, 0) << pack.output;
  EXPECT_NE(pack.output.find("4 block(s)"), std::string::npos) << pack.output;
  EXPECT_NE(pack.output.find("Padded the image with 16261 bytes"), std::string::npos)
      << pack.output;
  const Outcome verify = Nbx("verify " + Path("Eboot.nbX"));
  EXPECT_EQ(verify.status, 0) << verify.output;

  const std::string package = ReadBytes(Path("Eboot.nbX"));
  for (int block = 0; block < 4; ++block) {
    std::string flipped = package;
    flipped[static_cast<std::size_t>(block) * 16384 + 5000] ^= 0x40;
    WriteBytes(Path("flipped.nbX"), flipped);
    const Outcome failed = Nbx("verify " + Path("flipped.nbX"));
    EXPECT_EQ(failed.status, 1) << failed.output;
    const std::string where =
        "position " + std::to_string(block) + ", block " + std::to_string(block);
    EXPECT_NE(failed.output.find(where), std::string::npos) << failed.output;
  }

  const Outcome info = Nbx("info --json " + Path("Eboot.nbX"));
  ASSERT_EQ(info.status, 0) << info.output;
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
  ASSERT_EQ(pack.status, 0) << pack.output;
  EXPECT_NE(pack.output.find("the last 100 bytes of the image (offsets 32768 to 32867)"),
            std::string::npos)
      << pack.output;
  EXPECT_EQ(Nbx("verify " + Path("E.nbX")).status, 0);
  const nlohmann::json details = nlohmann::json::parse(Nbx("info --json " + Path("E.nbX")).output);
  EXPECT_EQ(details["reserved_hex"], "0102000000000000000000000000000000");
  EXPECT_EQ(details["payload_size"], 2 * 16384 + 100);
}

TEST_F(NbxTest, RefusesWhatItCannotPack) {
  WriteBytes(Path("empty.bin"), "");
  for (const std::string& arguments :
       {"pack " + Path("empty.bin") + " -o " + Path("o.nbX"),
        "pack " + Path("missing") + " -o " + Path("o.nbX"),
        "pack --reserved zz " + Path("empty.bin") + " -o " + Path("o.nbX")}) {
    const Outcome run = Nbx(arguments);
    EXPECT_NE(run.status, 0) << arguments;
    EXPECT_NE(run.output.find("nbx: "), std::string::npos) << run.output;
  }
}

TEST_F(NbxTest, MalformedTrailersExitTwoWithAClearMessage) {
  WriteBytes(Path("image.bin"), std::string(16384, 'y'));
  ASSERT_EQ(Nbx("pack " + Path("image.bin") + " -o " + Path("good.nbX")).status, 0);
  const std::string good = ReadBytes(Path("good.nbX"));
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  };
  std::string hugeN = good;
  hugeN[hugeN.size() - 4] = '\xFF';
  hugeN[hugeN.size() - 3] = '\xFF';
  std::string noNul = good;
  noNul[noNul.size() - 5] = 'X';  // the tag's NUL
  std::string noBlocks = good;
  noBlocks[noBlocks.size() - 4] = 0;
  const std::vector<Case> cases = {
      {"empty", "", "lists no block"},
      {"truncated", good.substr(0, good.size() - 1), "past the image"},
      {"cut into the tag", good.substr(0, good.size() - 13), "lists no block"},
      {"huge N", hugeN, "claims"},
      {"N = 0", noBlocks, "lists no block"},
      {"tag without NUL", noNul, "holds no NUL"},
  };
  for (const Case& c : cases) {
    WriteBytes(Path("bad.nbX"), c.bytes);
    for (const char* command : {"verify ", "info "}) {
      const Outcome run = Nbx(command + Path("bad.nbX"));
      EXPECT_EQ(run.status, 2) << c.name << ": " << run.output;
      EXPECT_NE(run.output.find(c.message), std::string::npos) << c.name << ": " << run.output;
    }
  }
  const Outcome missing = Nbx("verify " + Path("missing.nbX"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("cannot open"), std::string::npos);
}

class DevsimTest : public NbxTest {};

TEST_F(DevsimTest, InitShowBootAndFaults) {
  const std::string device = Path("device");
  const Outcome init =
      Devsim("init " + device + " --store-folder Store --boot-image 1 --timeouts 10,20,30");
  ASSERT_EQ(init.status, 0) << init.output;
  EXPECT_NE(Devsim("init " + device).status, 0);  // not empty any more

  const Outcome show = Devsim("show --json " + device);
  ASSERT_EQ(show.status, 0) << show.output;
  const nlohmann::json state = nlohmann::json::parse(show.output);
  for (const char* key :
       {"boot_image", "settings_checksum_ok", "main_max_size", "rescue_max_size", "constants_hex",
        "settings_hex", "bootloader", "main", "rescue", "timeouts"}) {
    EXPECT_TRUE(state.contains(key)) << key;
  }
  EXPECT_EQ(state["boot_image"], 1);
  EXPECT_EQ(state["settings_checksum_ok"], true);
  EXPECT_EQ(state["main_max_size"], 64 << 20);
  EXPECT_EQ(state["rescue_max_size"], 16 << 20);
  EXPECT_EQ(state["constants_hex"].get<std::string>().size(), 1080u);
  EXPECT_EQ(state["timeouts"],
            (nlohmann::json{{"ACUserIdle", 10}, {"ACSystemIdle", 20}, {"ACSuspend", 30}}));
  EXPECT_EQ(state["store_folder"], "Store");
  EXPECT_TRUE(state["bootloader"].contains("sha256"));
  EXPECT_EQ(state["main"]["length"], 1536 * 1024);
  EXPECT_EQ(state["main"]["written"], 1536 * 1024);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "device" / "fs" / "Store" / "EbootMain.nbX"));
  EXPECT_EQ(
      Nbx("verify " + (dir_ / "device" / "fs" / "Storage" / "EbootBadCrc.nbX").string()).status, 1);
  EXPECT_EQ(
      Nbx("verify " + (dir_ / "device" / "fs" / "Storage" / "EbootWrongTag.nbX").string()).status,
      1);

  const Outcome text = Devsim("show " + device);
  EXPECT_NE(text.output.find("boot image            1 (rescue)"), std::string::npos) << text.output;

  const Outcome boot = Devsim("boot " + device);
  EXPECT_EQ(boot.status, 0) << boot.output;
  EXPECT_NE(boot.output.find("starts the rescue image (the settings select it).\nThe rescue image "
                             "is whole: 786432 bytes"),
            std::string::npos)
      << boot.output;

  EXPECT_EQ(
      Devsim("fault " + device + " KernelIoControl:IOCTL_HAL_WRITE_BOOTLOADER --nth 1 --error 29")
          .status,
      0);
  EXPECT_EQ(Devsim("fault " + device + " power-cut WriteFile --nth 3").status, 0);
  const Outcome list = Devsim("fault " + device + " --list");
  EXPECT_EQ(list.output, "KernelIoControl:0x01010428 #1 error 29\nWriteFile #3 power-cut\n");
  EXPECT_NE(Devsim("fault " + device + " Nonsense").status, 0);
  EXPECT_EQ(Devsim("fault " + device + " --clear").status, 0);
  EXPECT_EQ(Devsim("fault " + device + " --list").output, "No fault armed.\n");
}

TEST_F(DevsimTest, MainMaxIsMetExactlyOrRefusedWithTheReason) {
  const Outcome init = Devsim("init " + Path("a") + " --main-max 50000000 --rescue-max 8000000");
  ASSERT_EQ(init.status, 0) << init.output;
  const nlohmann::json state = nlohmann::json::parse(Devsim("show --json " + Path("a")).output);
  EXPECT_EQ(state["main_max_size"], 50000000);
  EXPECT_EQ(state["rescue_max_size"], 8000000);
  EXPECT_EQ(state["main"]["region"], 50000000);

  // (A / 0.8) * B is 1.25 * A * B: 3 or 5 near 4, never 4.
  const Outcome refused = Devsim("init " + Path("b") + " --main-max 4 --rescue-max 0");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("no such inputs give exactly 4 bytes"), std::string::npos)
      << refused.output;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "b"));
}

}  // namespace
