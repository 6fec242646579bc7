#include "platform/win32/win32_frontend.h"

#include <algorithm>
#include <vector>

#include "platform/os/windows_api.h"
#include "platform/text/strings.h"

namespace platform::win32 {

namespace {

HWND Hwnd(ui::WindowId window) {
  return reinterpret_cast<HWND>(window);
}
ui::WindowId Id(HWND window) {
  return reinterpret_cast<ui::WindowId>(window);
}

// The extended styles that the build drops from templates: on a desktop, the device's OK button
// in the caption bar, which means nothing there.
#ifdef _WIN32_WCE
constexpr ::DWORD kDroppedExStyles = 0;
#else
constexpr ::DWORD kDroppedExStyles = ui::kWsExCaptionOkButton;
#endif

// The predefined window classes that a template names by atom (0xFFFF, then the atom).
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;

// An in-memory DLGTEMPLATE with its items, as the resource compiler would lay it out.
class TemplateBuffer {
 public:
  explicit TemplateBuffer(const ui::DialogTemplate& dialog) {
    Dword(dialog.style);
    Dword(dialog.exStyle & ~kDroppedExStyles);
    Word(static_cast<WORD>(dialog.controls.size()));
    Word(0);
    Word(0);
    Word(static_cast<WORD>(dialog.size.cx));
    Word(static_cast<WORD>(dialog.size.cy));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(dialog.caption);
    if (dialog.style & DS_SETFONT) {
      Word(static_cast<WORD>(dialog.font.points));
      Text(dialog.font.face);
    }
    for (const ui::ControlTemplate& control : dialog.controls) {
      Align();
      Dword(control.style);
      Dword(0);
      Word(static_cast<WORD>(control.rect.x));
      Word(static_cast<WORD>(control.rect.y));
      Word(static_cast<WORD>(control.rect.cx));
      Word(static_cast<WORD>(control.rect.cy));
      Word(static_cast<WORD>(control.id));
      switch (control.kind) {
        case ui::ControlKind::kPushButton:
        case ui::ControlKind::kAutoRadioButton:
          Word(0xFFFF);
          Word(kButtonClass);
          break;
        case ui::ControlKind::kStatic:
          Word(0xFFFF);
          Word(kStaticClass);
          break;
        case ui::ControlKind::kProgressBar:
          Text(PROGRESS_CLASSW);
          break;
      }
      Text(control.text);
      Word(0);  // no creation data
    }
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(::DWORD value) {
    Word(static_cast<WORD>(value & 0xFFFF));
    Word(static_cast<WORD>(value >> 16));
  }
  void Text(const std::wstring& text) {
    for (const wchar_t c : text)
      Word(static_cast<WORD>(c));
    Word(0);
  }
  void Align() {
    if (words_.size() % 2)
      Word(0);
  }
  std::vector<WORD> words_;
};

// The dialog's events, kept in its window: by the device's calls where a pointer is 32 bits, by
// a desktop's pointer-sized ones elsewhere.
ui::DialogEvents* EventsOf(HWND window) {
#ifdef _WIN32_WCE
  return reinterpret_cast<ui::DialogEvents*>(::GetWindowLongW(window, DWL_USER));
#else
  return reinterpret_cast<ui::DialogEvents*>(::GetWindowLongPtrW(window, DWLP_USER));
#endif
}
void KeepEvents(HWND window, LPARAM events) {
#ifdef _WIN32_WCE
  ::SetWindowLongW(window, DWL_USER, static_cast<LONG>(events));
#else
  ::SetWindowLongPtrW(window, DWLP_USER, events);
#endif
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ui::DialogEvents* events = EventsOf(window);
  switch (message) {
    case WM_INITDIALOG:
      KeepEvents(window, lParam);
      return reinterpret_cast<ui::DialogEvents*>(lParam)->HandleInitDialog(Id(window)) ? TRUE
                                                                                       : FALSE;
    case WM_COMMAND:
      if (events && HIWORD(wParam) == BN_CLICKED) {
        events->HandleCommand(LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      if (events)
        events->HandleCommand(IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

HINSTANCE Module() {
  return ::GetModuleHandleW(nullptr);
}

// Drops the clicks, taps and keys that wait in the queue.
void DropQueuedInput() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
         ::PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
}

// Input made before a dialog or box appears must not answer it, as a click or key made during a
// write would: what waits is dropped, and a key that answers dialogs and is still held (whose
// repeats would answer) must be let go first.
void DropEarlierInput() {
  DropQueuedInput();
  const auto held = [] {
    for (const int key : {VK_RETURN, VK_ESCAPE, VK_SPACE}) {
      if (::GetAsyncKeyState(key) & 0x8000)
        return true;
    }
    return false;
  };
  while (held()) {
    ::Sleep(20);
    DropQueuedInput();
  }
}

}  // namespace

Win32Frontend::Win32Frontend(FileChoice files) : files_(std::move(files)) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
}

int Win32Frontend::RunModal(ui::WindowId owner, const ui::DialogTemplate& dialog,
                            ui::DialogEvents& events) {
  const TemplateBuffer buffer(dialog);
  DropEarlierInput();
  // The dialog box disables its owner for the length of its loop, and EndDialog enables it
  // again before the dialog goes, so that the activation returns to the owner.
  return static_cast<int>(::DialogBoxIndirectParamW(Module(), buffer.get(), Hwnd(owner), DialogProc,
                                                    reinterpret_cast<LPARAM>(&events)));
}

ui::WindowId Win32Frontend::CreateModeless(const ui::DialogTemplate& dialog,
                                           ui::DialogEvents& events) {
  const TemplateBuffer buffer(dialog);
  return Id(::CreateDialogIndirectParamW(Module(), buffer.get(), nullptr, DialogProc,
                                         reinterpret_cast<LPARAM>(&events)));
}

void Win32Frontend::DestroyWindow(ui::WindowId window) {
  ::DestroyWindow(Hwnd(window));
}

void Win32Frontend::EndDialog(ui::WindowId window, int result) {
  ::EndDialog(Hwnd(window), result);
}

void Win32Frontend::SetItemText(ui::WindowId window, int id, const std::wstring& text) {
  ::SetDlgItemTextW(Hwnd(window), id, text.c_str());
}

std::wstring Win32Frontend::GetItemText(ui::WindowId window, int id) {
  wchar_t text[1024] = {};
  ::GetDlgItemTextW(Hwnd(window), id, text, 1024);
  return text;
}

void Win32Frontend::ShowItem(ui::WindowId window, int id, int command) {
  ::ShowWindow(::GetDlgItem(Hwnd(window), id), command);
}

void Win32Frontend::ShowWindow(ui::WindowId window, int command) {
  ::ShowWindow(Hwnd(window), command);
}

ui::LRESULT Win32Frontend::SendItemMessage(ui::WindowId window, int id, ui::UINT message,
                                           ui::WPARAM wParam, ui::LPARAM lParam) {
  return ::SendDlgItemMessageW(Hwnd(window), id, message, wParam, lParam);
}

ui::LRESULT Win32Frontend::SendMessage(ui::WindowId window, ui::UINT message, ui::WPARAM wParam,
                                       ui::LPARAM lParam) {
  if (message == WM_SETICON) {
    // The dialogs name the icon by its resource id; the loaded icon is shared, never destroyed.
    HICON icon = ::LoadIconW(Module(), MAKEINTRESOURCEW(lParam));
    return ::SendMessageW(Hwnd(window), WM_SETICON, wParam, reinterpret_cast<LPARAM>(icon));
  }
  return ::SendMessageW(Hwnd(window), message, wParam, lParam);
}

void Win32Frontend::CenterWindow(ui::WindowId window) {
  RECT rect{};
  ::GetWindowRect(Hwnd(window), &rect);
  RECT screen{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
  RECT around = screen;
  HWND owner = ::GetWindow(Hwnd(window), GW_OWNER);
  if (owner && ::IsWindowVisible(owner))
    ::GetWindowRect(owner, &around);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  // Over the owner, but never off the screen.
  const int x = std::max<int>(
      screen.left, std::min<int>(screen.right - width, (around.left + around.right - width) / 2));
  const int y = std::max<int>(
      screen.top, std::min<int>(screen.bottom - height, (around.top + around.bottom - height) / 2));
  ::SetWindowPos(Hwnd(window), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Frontend::SetForegroundWindow(ui::WindowId window) {
  ::SetForegroundWindow(Hwnd(window));
}

void Win32Frontend::UpdateWindow(ui::WindowId window) {
  // The write keeps this thread from its message loop: paint the window and its controls now,
  // and nothing else; input made meanwhile is dropped, never taken later.
  DropQueuedInput();
  HWND parent = Hwnd(window);
  ::UpdateWindow(parent);
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    ::UpdateWindow(child);
  }
  MSG message;
  while (::PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
    ::DispatchMessageW(&message);
}

int Win32Frontend::MessageBox(ui::WindowId owner, const std::wstring& text,
                              const std::wstring& caption, ui::UINT type) {
  DropEarlierInput();
  return ::MessageBoxW(Hwnd(owner), text.c_str(), caption.c_str(), type);
}

int Win32Frontend::GetOpenFileName(ui::WindowId owner, const std::wstring& filter,
                                   std::wstring& path) {
  std::wstring pairs = filter;
  for (wchar_t& c : pairs) {
    if (c == L'|')
      c = L'\0';
  }
  for (;;) {
    DropEarlierInput();
    wchar_t chosen[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    // Windows CE 5.0's record ends before the desktop's last fields; a desktop takes it too.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = Hwnd(owner);
    dialog.lpstrFilter = pairs.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = files_.folder.empty() ? nullptr : files_.folder.c_str();
    if (!::GetOpenFileNameW(&dialog))
      return IDCANCEL;
    // Only a file of the device's file system has a device path.
    if (const auto devicePath = files_.devicePath(chosen)) {
      path = *devicePath;
      return IDOK;
    }
    ::MessageBoxW(Hwnd(owner),
                  (L"This file is not on the device:\n" + std::wstring(chosen)).c_str(),
                  L"tessaron", MB_OK | MB_ICONEXCLAMATION);
  }
}

}  // namespace platform::win32
