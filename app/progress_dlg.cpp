#include "app/progress_dlg.h"

#include "bootcfg/boot_config.h"
#include "dialogs/confirm_dlg.h"
#include "journal/saved_timeouts.h"
#include "resources/resource.h"
#include "writers/boot_loader_writer.h"
#include "writers/os_image_writer.h"

namespace app {

using namespace platform::ui;

CProgressDlg::CProgressDlg(UiContext& ui, Services& services, platform::Handle imageFile)
    : CDialog(ui, IDD_PROGRESS), services_(services), m_hImageFile(imageFile) {}

void CProgressDlg::DoDataExchange() {
  DDX_Control(IDC_PROGRESS_TEXT, m_stcText);
  DDX_Control(IDC_PROGRESS_BAR, m_progress);
}

bool CProgressDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CenterWindow();
  return true;
}

bool CProgressDlg::RunFlash(std::int32_t bootLoader, std::int32_t rescue) {
  platform::Registry& registry = services_.registry;
  platform::DebugLog& log = services_.log;
  // Timeouts that an interrupted update left switched off are not the user's own: saving them
  // again would lose those for good.
  const bool guarded = !journal::TimeoutsWaiting(registry);
  if (!guarded) {
    platform::NKDbgPrintfW(log, L"PM timeouts of an interrupted update left as they are\r\n");
  } else if (!SwitchTimeoutsOff()) {
    return false;
  }
  ShowProgress(bootLoader);
  const bool written = Write(bootLoader, rescue);
  if (guarded && !journal::PutBackTimeouts(registry, services_.events, log, m_savedTimeouts)) {
    platform::NKDbgPrintfW(log, L"ERROR : PM timeouts not restored n\u00b0 %d\r\n",
                           platform::GetLastError());
  }
  DestroyWindow();
  return written;
}

bool CProgressDlg::SwitchTimeoutsOff() {
  platform::Registry& registry = services_.registry;
  platform::DebugLog& log = services_.log;
  if (!power::ReadPowerTimeouts(registry, m_savedTimeouts)) {
    platform::NKDbgPrintfW(log, L"ERROR : PM timeouts not found in registry\r\n");
    return false;
  }
  // Kept where a power cut cannot take them, before they are switched off.
  if (!journal::SaveTimeouts(registry, m_savedTimeouts)) {
    platform::NKDbgPrintfW(log, L"ERROR : PM timeouts not saved n\u00b0 %d\r\n",
                           platform::GetLastError());
    return false;
  }
  power::WritePowerTimeouts(registry, services_.events, log,
                            power::TimeoutsOffFor(m_savedTimeouts));
  return true;
}

void CProgressDlg::ShowProgress(std::int32_t bootLoader) {
  // The writers work without the window: a window that cannot be made only loses the display.
  if (!Create())
    return;
  m_stcText.SetWindowText(
      ui().LoadString(bootLoader ? IDS_WAIT_BOOTLOADER : IDS_WAIT_IMAGE).value_or(L""));
  if (bootLoader)
    m_progress.ShowWindow(kSwHide);
  SetForegroundWindow();
  ShowWindow(kSwShow);
  UpdateWindow();
}

bool CProgressDlg::Write(std::int32_t bootLoader, std::int32_t rescue) {
  if (bootLoader) {
    return writers::WriteBootLoader({services_.files, services_.kernel, services_.log, *this},
                                    m_hImageFile);
  }
  bootcfg::BootConfig bootConfig(services_.kernel, services_.log);
  return writers::WriteOsImage({services_.files, services_.devices, bootConfig, services_.registry,
                                services_.log, *this},
                               m_hImageFile, *this, rescue ? 1 : 0) != 0;
}

void CProgressDlg::InitProgress(int total) {
  m_nTotalBlocks = total;
  m_progress.SendMessage(kPbmSetStep, 1, 0);
  m_progress.SendMessage(kPbmSetPos, 0, 0);
}

void CProgressDlg::UpdateProgress(int block) {
  if (m_nTotalBlocks < 1)
    return;
  m_progress.SendMessage(kPbmSetPos, static_cast<WPARAM>(block * 100 / m_nTotalBlocks), 0);
}

void CProgressDlg::Repaint() {
  UpdateWindow();
}

bool CProgressDlg::GoOnWithout(Block block) {
  return dialogs::Confirm(ui(), block == Block::kSettings ? IDS_NO_OLD_SETTINGS : IDS_NO_CONSTANTS);
}

bool CProgressDlg::GoOnDespite(Doubt doubt) {
  const UINT message = doubt == Doubt::kRescueStarted    ? IDS_RESCUE_STARTED
                       : doubt == Doubt::kMainUnfinished ? IDS_MAIN_UNFINISHED
                                                         : IDS_RESCUE_UNFINISHED;
  return dialogs::Confirm(ui(), message);
}

void CProgressDlg::Tell(const std::wstring& text) {
  ui().AfxMessageBox(text, kMbOk);
}

}  // namespace app
