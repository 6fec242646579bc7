#include "app/update_app.h"

#include "app/update_dlg.h"

namespace app {

bool CUpdateApp::InitInstance() {
  CUpdateDlg dialog(ui_, services_);
  ui_.m_pMainWnd = &dialog;
  dialog.DoModal();
  return false;
}

}  // namespace app
