#include "dialogs/confirm_dlg.h"

#include "resources/resource.h"

namespace dialogs {

using namespace platform::ui;

CConfirmDlg::CConfirmDlg(UiContext& ui, UINT messageId, UINT okTextId, UINT cancelTextId)
    : CDialog(ui, IDD_UPDATE_DIALOG),
      m_nOkTextId(okTextId),
      m_nCancelTextId(cancelTextId),
      m_nMessageId(messageId),
      m_hIcon(IDR_MAINFRAME) {}

void CConfirmDlg::DoDataExchange() {
  DDX_Control(kIdCancel, m_btnCancel);
  DDX_Control(kIdOk, m_btnOK);
  DDX_Control(IDC_MESSAGE, m_stcMessage);
}

bool CConfirmDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SendMessage(kWmSetIcon, kIconBig, m_hIcon);
  SendMessage(kWmSetIcon, kIconSmall, m_hIcon);
  CenterWindow();
  SetForegroundWindow();
  const auto setText = [this](UINT id, CWndItem& control) {
    if (id == 0)
      return;
    if (const auto text = ui().LoadString(id))
      control.SetWindowText(*text);
  };
  setText(m_nMessageId, m_stcMessage);
  setText(m_nOkTextId, m_btnOK);
  setText(m_nCancelTextId, m_btnCancel);
  return true;
}

bool Confirm(platform::ui::UiContext& ui, platform::ui::UINT messageId) {
  return CConfirmDlg(ui, messageId, IDS_OK, IDS_CANCEL).DoModal() == platform::ui::kIdOk;
}

}  // namespace dialogs
