#include "dialogs/boot_select_dlg.h"

#include "dialogs/confirm_dlg.h"
#include "journal/unfinished_images.h"
#include "resources/resource.h"

namespace dialogs {

using namespace platform::ui;

CBootSelectDlg::CBootSelectDlg(UiContext& ui, bootcfg::BootConfig& bootConfig,
                               platform::Registry& registry)
    : CDialog(ui, IDD_BOOT_SELECT), bootConfig_(bootConfig), registry_(registry) {}

bool CBootSelectDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // Any other value, an unreadable block included, leaves both unchecked.
  switch (bootConfig_.GetBootSelection()) {
    case bootcfg::BOOT_IMAGE_MAIN:
      SendDlgItemMessage(IDC_BOOT_MAIN, kBmSetCheck, kBstChecked, 0);
      break;
    case bootcfg::BOOT_IMAGE_RESCUE:
      SendDlgItemMessage(IDC_BOOT_RESCUE, kBmSetCheck, kBstChecked, 0);
      break;
    default:
      break;
  }
  return true;
}

void CBootSelectDlg::OnOK() {
  const int checked = GetCheckedRadioButton(IDC_BOOT_RESCUE, IDC_BOOT_MAIN);
  if (checked != 0) {
    const platform::DWORD value =
        checked == IDC_BOOT_RESCUE ? bootcfg::BOOT_IMAGE_RESCUE : bootcfg::BOOT_IMAGE_MAIN;
    // One click must not set the device to start an image it could not start: the dialog stays
    // unless the user confirms.
    if (journal::MayBeUnfinished(registry_, static_cast<int>(value)) &&
        !Confirm(ui(), value ? IDS_BOOT_UNFINISHED_RESCUE : IDS_BOOT_UNFINISHED_MAIN)) {
      return;
    }
    if (!bootConfig_.SetBootSelection(value)) {
      ui().AfxMessageBox(L"Unable to set the image to load", kMbOk);
    }
  }
  CDialog::OnOK();
}

}  // namespace dialogs
