#include "app/progress_dlg.h"

#include "bootcfg/boot_config.h"
#include "dialogs/confirm_dlg.h"
#include "resources/resource.h"
#include "writers/boot_loader_writer.h"
#include "writers/os_image_writer.h"

namespace app {

using namespace platform::ui;

CProgressDlg::CProgressDlg(const UiContext& ui, Services& services, platform::Handle imageFile)
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
  if (!power::ReadPowerTimeouts(services_.registry, m_savedTimeouts)) {
    platform::NKDbgPrintfW(services_.log, L"ERROR : PM timeouts not found in registry\r\n");
    return false;
  }
  power::WritePowerTimeouts(services_.registry, services_.events, services_.log,
                            power::TimeoutsOffFor(m_savedTimeouts));
  // The writers work without the window: a window that cannot be made only loses the display.
  if (Create()) {
    m_stcText.SetWindowText(
        ui().LoadString(bootLoader ? IDS_WAIT_BOOTLOADER : IDS_WAIT_IMAGE).value_or(L""));
    if (bootLoader)
      m_progress.ShowWindow(SW_HIDE);
    SetForegroundWindow();
    ShowWindow(SW_SHOW);
    UpdateWindow();
  }
  const bool written = RunWriter(bootLoader, rescue);
  power::WritePowerTimeouts(services_.registry, services_.events, services_.log, m_savedTimeouts);
  DestroyWindow();
  return written;
}

bool CProgressDlg::RunWriter(std::int32_t bootLoader, std::int32_t rescue) {
  if (bootLoader) {
    return writers::WriteBootLoader({services_.files, services_.kernel, services_.log, *this},
                                    m_hImageFile);
  }
  bootcfg::BootConfig bootConfig(services_.kernel, services_.log);
  return writers::WriteOsImage({services_.files, services_.devices, bootConfig, services_.log},
                               m_hImageFile, *this, rescue ? 1 : 0) != 0;
}

void CProgressDlg::InitProgress(int total) {
  m_nTotalBlocks = total;
  m_progress.SendMessage(PBM_SETSTEP, 1, 0);
  m_progress.SendMessage(PBM_SETPOS, 0, 0);
}

void CProgressDlg::UpdateProgress(int block) {
  if (m_nTotalBlocks < 1)
    return;
  m_progress.SendMessage(PBM_SETPOS, static_cast<WPARAM>(block * 100 / m_nTotalBlocks), 0);
}

void CProgressDlg::Repaint() {
  UpdateWindow();
}

bool CProgressDlg::GoOnWithout(Block block) {
  dialogs::CConfirmDlg confirm(
      ui(), block == Block::kSettings ? IDS_NO_OLD_SETTINGS : IDS_NO_CONSTANTS, IDS_OK, IDS_CANCEL);
  return confirm.DoModal() == IDOK;
}

void CProgressDlg::Tell(const std::wstring& text) {
  ui().AfxMessageBox(text, MB_OK);
}

}  // namespace app
