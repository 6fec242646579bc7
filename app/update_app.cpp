#include "app/update_app.h"

#include "app/update_dlg.h"
#include "journal/saved_timeouts.h"

namespace app {

namespace {
constexpr wchar_t kInstanceMutex[] = L"TessaronLoader";
constexpr wchar_t kAlreadyRunning[] =
    L"Tessaron Loader is already running.\nOnly one update at a time can be made.";
constexpr wchar_t kNoInstanceMutex[] =
    L"Tessaron Loader cannot make sure that no other update runs (error %d).\nNothing was "
    L"changed.";
constexpr wchar_t kTimeoutsNotRestored[] =
    L"The power settings that an interrupted update switched off could not be put back "
    L"(error %d).\nThey are left as they are.";
}  // namespace

bool CUpdateApp::InitInstance() {
  // Held until the update ends: two updates at once would tear what each of them writes. When
  // the mutex cannot be made, another update may be running: nothing is done.
  platform::Events& events = services_.events;
  const platform::ScopedMutex instance(events, events.CreateMutex(false, kInstanceMutex));
  if (!instance.valid() || platform::GetLastError() == platform::kErrorAlreadyExists) {
    refused_ = true;
    ui_.AfxMessageBox(instance.valid()
                          ? std::wstring(kAlreadyRunning)
                          : platform::FormatW(kNoInstanceMutex, platform::GetLastError()),
                      platform::ui::kMbOk);
    return false;
  }
  // A run cut short left the user's timeouts switched off: they come back before anything else.
  if (!journal::PutBackInterruptedTimeouts(services_.registry, events, services_.log)) {
    const platform::DWORD error = platform::GetLastError();
    platform::NKDbgPrintfW(services_.log,
                           L"ERROR : PM timeouts of an interrupted update not restored n\u00b0 "
                           L"%d\r\n",
                           error);
    ui_.AfxMessageBox(platform::FormatW(kTimeoutsNotRestored, error), platform::ui::kMbOk);
  }
  CUpdateDlg dialog(ui_, services_);
  ui_.m_pMainWnd = &dialog;
  dialog.DoModal();
  return false;
}

}  // namespace app
