#include "app/update_app.h"

#include "app/update_dlg.h"

namespace app {

namespace {
constexpr wchar_t kInstanceMutex[] = L"TessaronLoader";
constexpr wchar_t kAlreadyRunning[] =
    L"Tessaron Loader is already running.\nOnly one update at a time can be made.";
}  // namespace

bool CUpdateApp::InitInstance() {
  // Held until the update ends: two updates at once would tear what each of them writes. A
  // mutex that cannot be made at all says nothing of another instance, so the update goes on.
  platform::Events& events = services_.events;
  const platform::ScopedMutex instance(events, events.CreateMutex(false, kInstanceMutex));
  if (instance.valid() && platform::GetLastError() == platform::kErrorAlreadyExists) {
    anotherInstance_ = true;
    ui_.AfxMessageBox(kAlreadyRunning, platform::ui::MB_OK);
    return false;
  }
  CUpdateDlg dialog(ui_, services_);
  ui_.m_pMainWnd = &dialog;
  dialog.DoModal();
  return false;
}

}  // namespace app
