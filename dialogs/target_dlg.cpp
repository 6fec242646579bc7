#include "dialogs/target_dlg.h"

#include "resources/resource.h"

namespace dialogs {

using platform::NKDbgPrintfW;

CTargetDlg::CTargetDlg(platform::ui::UiContext& ui, platform::DebugLog& log)
    : CDialog(ui, IDD_TARGET), log_(log) {}

void CTargetDlg::OnCommand(int id) {
  static constexpr CommandEntry<CTargetDlg> kCommands[] = {
      {IDC_UPDATE_BOOTLOADER, &CTargetDlg::OnUpdateBootLoader},
      {IDC_UPDATE_MAIN, &CTargetDlg::OnUpdateMainImage},
      {IDC_UPDATE_RESCUE, &CTargetDlg::OnUpdateRescueImage},
  };
  if (!Dispatch(this, kCommands, id))
    CDialog::OnCommand(id);
}

void CTargetDlg::OnUpdateBootLoader() {
  NKDbgPrintfW(log_, L"Updating Bootloader\r\n");
  m_bBootLoader = 1;
  CDialog::OnOK();
}

void CTargetDlg::OnUpdateMainImage() {
  NKDbgPrintfW(log_, L"Updating Main Image\r\n");
  CDialog::OnOK();
}

void CTargetDlg::OnUpdateRescueImage() {
  NKDbgPrintfW(log_, L"Updating Rescue mage\r\n");
  m_bRescue = 1;
  CDialog::OnOK();
}

}  // namespace dialogs
