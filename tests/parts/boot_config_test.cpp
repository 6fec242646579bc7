// The boot selection: the settings block, over the simulated device's kernel, and the dialog that
// chooses the image to boot. The HAL requests themselves: the boot-loader writer's tests.
#include <gtest/gtest.h>

#include "bootcfg/boot_config.h"
#include "dialogs/boot_select_dlg.h"
#include "journal/unfinished_images.h"
#include "tests/support/core_fixture.h"
#include "tests/support/fakes.h"

namespace {

using namespace e2e;
using namespace platform::ui;
using platform::BYTE;
using platform::DWORD;
using Strings = std::vector<std::string>;
using Lines = std::vector<std::wstring>;

class BootConfigTest : public CoreTest {
 protected:
  bootcfg::BootConfig Config() { return {device_->kernel(), device_->log()}; }
};

TEST_F(BootConfigTest, SetBootSelectionStoresTheValueClearsOffset48AndSumsTheNewBytes) {
  // A block of zeros or of counted bytes, its old checksum byte, byte 48 and image; the value.
  for (const auto& [counted, checksum, old48, image, value] :
       {std::tuple<bool, BYTE, BYTE, BYTE, DWORD>{false, 0, 0, 0, 1},
        {true, 0x00, 0x01, 1, 0},
        {true, 0x77, 0xEE, 0, 0},
        {true, 0x12, 0x80, 1, 1},
        {true, 0x00, 0x00, 7, 0x1F234}}) {
    std::vector<BYTE> block(112);
    for (std::size_t i = 0; counted && i < block.size(); ++i)
      block[i] = static_cast<BYTE>(i);
    block[0] = checksum;
    block[48] = old48;
    block[42] = image;
    PutSettings(block);
    NewRun();
    ASSERT_TRUE(Config().SetBootSelection(value));
    // The low 16 bits of the value at 42, 0 at 48, and the sum of bytes 4 on XOR 0xFF0055AA at 0,
    // all little-endian.
    block[42] = static_cast<BYTE>(value);
    block[43] = static_cast<BYTE>(value >> 8);
    block[48] = 0;
    DWORD sum = 0;
    for (std::size_t i = 4; i < 112; ++i)
      sum += block[i];
    for (int i = 0; i < 4; ++i)
      block[i] = static_cast<BYTE>((sum ^ 0xFF0055AAu) >> (8 * i));
    EXPECT_EQ(Settings(), block);
    EXPECT_EQ(Calls(), (Strings{kGetSettings, kSetSettings}));
    EXPECT_TRUE(Log().empty());
    // Read back unsigned: 0xF234 is no error.
    EXPECT_EQ(Config().GetBootSelection(), static_cast<int>(value & 0xFFFF));
  }
}

TEST_F(BootConfigTest, ReadsTheLimitsOrReportsAnUnreadableBlockInItsOwnWords) {
  // The fields at their offsets, in a block written by hand: wMainLimitA 4 at 64,
  // dwRescueMaxSize 256 at 72, dwMainLimitB 100 at 76. The rescue limit read alone: the OS image
  // writer's tests.
  std::vector<BYTE> block(112);
  block[64] = 4;
  block[73] = 1;
  block[76] = 100;
  PutSettings(block);
  NewRun();
  DWORD main = 0;
  ASSERT_TRUE(Config().GetMainImageMaxSize(&main));
  EXPECT_EQ(main, 244u);  // (4 / 0.8) * 100 - 256
  NewRun();
  for (unsigned nth = 1; nth <= 4; ++nth)
    Fail(kGetSettings, 1117, nth);
  DWORD out = 0xCAFE;
  EXPECT_EQ(Config().GetBootSelection(), -1);
  EXPECT_FALSE(Config().SetBootSelection(1));
  EXPECT_FALSE(Config().GetMainImageMaxSize(&out));
  EXPECT_FALSE(Config().GetRescueImageMaxSize(&out));
  EXPECT_EQ(out, 0xCAFEu);
  EXPECT_EQ(Calls(), Strings(4, kGetSettings));  // nothing written
  EXPECT_EQ(
      Log(),
      (Lines{L"Erreur get settings n\u00b0 1117\r\n", L"Error get settings n\u00b0 1117\r\n",
             L"Error get settings n\u00b0 1117\r\n", L"Error get settings n\u00b0 1117\r\n"}));
}

TEST(MainImageLimit, StaysInsideThirtyTwoBits) {
  for (const auto& [a, b, rescue, limit] :
       {std::tuple<platform::WORD, DWORD, DWORD, DWORD>{512, 131072, 16777216, 67108864},
        {4, 100, 0, 500},
        {1, 3, 0, 3},  // 3.75 with the fraction discarded
        {0, 131072, 1, 0},
        {8, 100, 2000, 0},
        {65535, 0xFFFFFFFF, 0, 0xFFFFFFFF},
        {4, 1u << 30, 1u << 30, 0xFFFFFFFF}}) {  // exactly 2^32
    EXPECT_EQ(bootcfg::MainImageLimit(a, b, rescue), limit) << a << " " << b;
  }
}

class CBootSelectDlg : public CoreTest {
 protected:
  // Shows the dialog over a block that holds stored, with the image unfinished (when not -1)
  // written down as an update leaves it; what it stored comes back.
  int Run(BYTE stored, std::deque<std::wstring> answers, int unfinished = -1) {
    std::vector<BYTE> block = Settings();
    block[42] = stored;
    PutSettings(block);
    for (int image = 0; image < 2; ++image) {
      EXPECT_TRUE(image == unfinished ? journal::MarkUnfinished(device_->registry(), image)
                                      : journal::MarkFinished(device_->registry(), image));
    }
    NewRun();
    frontend_ = std::make_unique<fakes::RecordingFrontend>(std::move(answers));
    UiContext ui{*frontend_, resources::AppResources()};
    bootcfg::BootConfig config(device_->kernel(), device_->log());
    return dialogs::CBootSelectDlg(ui, config, device_->registry()).DoModal();
  }
  bool Stored() const { return !Calls(kSetSettings).empty(); }
};

TEST_F(CBootSelectDlg, PreselectsTheStoredImageAndStoresTheCheckedOneOnOkOnly) {
  const std::wstring main = L"[1007:Boot the RESCUE image] [1008:Boot the MAIN image*]",
                     rescue = L"[1007:Boot the RESCUE image*] [1008:Boot the MAIN image]",
                     none = L"[1007:Boot the RESCUE image] [1008:Boot the MAIN image]";
  const std::wstring askMain =
      L"show 102 [1:OK] [2:Cancel] [1004:The main image may not be "
      L"whole: an update did not finish it, and the device could not "
      L"start it.\r\nBoot it all the same ?]";
  const std::deque<std::wstring> declinedTwice = {L"check 1008", L"click OK", L"click Cancel",
                                                  L"click OK",   L"cancel",   L"click Cancel"};
  // The image stored, the answers, the image left unfinished, the buttons as shown, whether
  // stored, the image then, the questions asked.
  const std::tuple<BYTE, std::deque<std::wstring>, int, std::wstring, bool, BYTE, int> cases[] = {
      {0, {L"click OK"}, -1, main, true, 0, 0},  // unchanged, written all the same
      {0, {L"check Boot the RESCUE image", L"click OK"}, -1, main, true, 1, 0},
      {1, {L"check 1008", L"click OK"}, -1, rescue, true, 0, 0},
      {0, {L"check 1007", L"click Cancel"}, -1, main, false, 0, 0},
      {2, {L"click OK"}, -1, none, false, 2, 0},  // neither checked: nothing stored
      // An unfinished image takes a confirmation; without it the dialog waits on.
      {1, {L"check 1008", L"click OK", L"click OK"}, 0, rescue, true, 0, 1},
      {1, declinedTwice, 0, rescue, false, 1, 2},
      {1, {L"click OK"}, 0, rescue, true, 1, 0},
  };
  for (const auto& [stored, answers, unfinished, buttons, written, image, asked] : cases) {
    SCOPED_TRACE(answers.size());
    EXPECT_EQ(Run(stored, answers, unfinished), answers.back() == L"click OK" ? kIdOk : kIdCancel);
    EXPECT_EQ(frontend_->shown.front(), L"show 132 [1:OK] [2:Cancel] " + buttons);
    EXPECT_EQ(std::count(frontend_->shown.begin(), frontend_->shown.end(), askMain), asked);
    EXPECT_EQ(Stored(), written);
    EXPECT_EQ(Settings()[42], image);
  }
  // A block that cannot be written is told of.
  Fail(kSetSettings, 29);
  EXPECT_EQ(Run(0, {L"click OK", L"click OK"}), kIdOk);
  EXPECT_EQ(frontend_->shown,
            (Lines{L"show 132 [1:OK] [2:Cancel] " + main,
                   L"message tessaron|Unable to set the image to load|0x0", L"destroy 132"}));
  EXPECT_EQ(Log(), Lines{L"Error set settings n\u00b0 29\r\n"});
}

}  // namespace
