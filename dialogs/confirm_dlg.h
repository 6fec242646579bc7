// The system's one yes/no question, on the main dialog's template.
#pragma once

#include "platform/ui/framework.h"

namespace dialogs {

class CConfirmDlg : public platform::ui::CDialog {
 public:
  // String ids of the message and the two button labels; 0 keeps the template's text.
  CConfirmDlg(platform::ui::UiContext& ui, platform::ui::UINT messageId,
              platform::ui::UINT okTextId, platform::ui::UINT cancelTextId);

 protected:
  void DoDataExchange() override;
  bool OnInitDialog() override;

 private:
  platform::ui::CButton m_btnCancel;
  platform::ui::CButton m_btnOK;
  platform::ui::CStatic m_stcMessage;
  platform::ui::UINT m_nOkTextId;
  platform::ui::UINT m_nCancelTextId;
  platform::ui::UINT m_nMessageId;
  int m_hIcon;
};

// Asks the question with OK and Cancel; whether the user answered OK.
bool Confirm(platform::ui::UiContext& ui, platform::ui::UINT messageId);

}  // namespace dialogs
