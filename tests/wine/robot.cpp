// Drives tessaron.exe's real windows as a person would: finds each dialog, reads its texts,
// clicks its buttons and radio buttons, fills the file dialog, and takes screenshots. Runs
// beside the application (under Wine, started by tests/wine/run.sh) and reads its steps from a
// file:
//   wait CAPTION   a visible dialog with this caption comes up; it becomes the current dialog
//   find TEXT      a visible dialog holding a control with this text comes up (current)
//   expect TEXT    the current dialog holds a control with this text
//   click LABEL    presses the current dialog's button with this text (BM_CLICK)
//   press LABEL    clicks that button with the mouse, as a person would: a dialog that takes no
//                  input ignores the click
//   double LABEL   double-clicks that button with the mouse
//   taps N         taps the current dialog with the mouse N times, from its top to its bottom
//   hold MS        holds Enter down on the current dialog for MS milliseconds (it repeats)
//   close          sends the current dialog WM_CLOSE
//   altf4          brings the current dialog to the front and presses Alt+F4
//   stays          the current dialog still shows a second later
//   okbutton yes|no  the current dialog has (or has not) the OK button in its caption bar
//   check LABEL    clicks the radio button with this text with the mouse, and waits until it
//                  shows the check: input is taken in order, so every earlier click was taken
//   file PATH      types PATH into the open file dialog and presses Open
//   progress N     waits until the current dialog's progress bar stands at N or more
//   gone           waits until no dialog is left
//   shot NAME      saves the current dialog's picture as NAME.bmp
//   launch PATH    starts the program PATH and goes on at once
// In texts, \n and \r stand for a line feed and a carriage return. Exit 0 when every step passed, 1
// at the first that did not, with a line saying which and what the screen shows.
#include <process.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os/windows_api.h"

namespace {

// Whether done() comes true within 20 s.
template <class Done>
bool Poll(Done done) {
  for (int waited = 0; waited < 20000; waited += 20) {
    if (done())
      return true;
    ::Sleep(20);
  }
  return false;
}

// A window's text, or its class's name with get = GetClassNameW.
std::wstring TextOf(HWND window, int(WINAPI* get)(HWND, LPWSTR, int) = ::GetWindowTextW) {
  wchar_t text[2048] = {};
  get(window, text, 2048);
  return text;
}

BOOL CALLBACK Add(HWND window, LPARAM windows) {
  reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  return TRUE;
}

// The children of a dialog, or the visible dialogs when parent is null.
std::vector<HWND> Windows(HWND parent = nullptr) {
  std::vector<HWND> list;
  if (parent) {
    ::EnumChildWindows(parent, Add, reinterpret_cast<LPARAM>(&list));
    return list;
  }
  for (HWND dialog = nullptr; (dialog = ::FindWindowExW(nullptr, dialog, L"#32770", nullptr));) {
    if (::IsWindowVisible(dialog))
      list.push_back(dialog);
  }
  return list;
}

HWND Child(HWND dialog, const std::wstring& text, const std::wstring& kind = L"") {
  for (HWND child : Windows(dialog)) {
    if (kind.empty() ? TextOf(child) == text
                     : TextOf(child, ::GetClassNameW) == kind && ::IsWindowVisible(child))
      return child;
  }
  return nullptr;
}

// Clicks at a point of the screen through the input queue. Every event carries the position, so
// that no other pointer motion moves the clicks.
bool ClickAt(LONG x, LONG y, int clicks = 1) {
  std::vector<INPUT> events(1 + 2 * clicks);
  for (std::size_t i = 0; i < events.size(); ++i) {
    events[i].type = INPUT_MOUSE;
    events[i].mi.dx = ::MulDiv(x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    events[i].mi.dy = ::MulDiv(y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    events[i].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE |
                           (i == 0  ? 0
                            : i % 2 ? MOUSEEVENTF_LEFTDOWN
                                    : MOUSEEVENTF_LEFTUP);
  }
  return ::SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT)) ==
         events.size();
}

// Clicks in the middle of the part of the control where its own dialog is on top: the system
// hands them on only as far as the windows take input.
bool MouseClick(HWND control, int clicks = 1) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  const LONG x = (rect.left + rect.right) / 2;
  const auto onTop = [&](LONG y) {
    return ::GetAncestor(::WindowFromPoint(POINT{x, y}), GA_ROOT) ==
           ::GetAncestor(control, GA_ROOT);
  };
  LONG bottom = rect.bottom - 1;
  while (bottom >= rect.top && !onTop(bottom))
    --bottom;
  LONG top = bottom;
  while (top > rect.top && onTop(top - 1))
    --top;
  return bottom >= rect.top && ClickAt(x, (top + bottom) / 2, clicks);  // else covered
}

// Taps down the middle of the window, top to bottom, as a hand would all over it.
bool Taps(HWND window, int count) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  for (int i = 0; i < count; ++i) {
    if (!ClickAt((rect.left + rect.right) / 2,
                 rect.top + (rect.bottom - rect.top) * (2 * i + 1) / (2 * count)))
      return false;
  }
  return true;
}

// Keys pressed at the X server (Debian's xdotool), as a keyboard does: Wine matches its keys to
// the server's whenever one of its windows takes the focus, and so would let go of a key held in
// Wine alone.
bool Keys(const wchar_t* action, const wchar_t* keys) {
  return ::_wspawnl(_P_WAIT, L"Z:\\usr\\bin\\xdotool", L"xdotool", action, keys, nullptr) != -1;
}

DWORD_PTR Ask(HWND control, UINT message) {
  DWORD_PTR answer = 0;
  ::SendMessageTimeoutW(control, message, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer);
  return answer;
}

bool SaveShot(HWND dialog, const std::wstring& name) {
  ::Sleep(250);  // let the window finish painting
  RECT rect{};
  ::GetWindowRect(dialog, &rect);
  const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ::DeleteDC(memory);  // lets go of the bitmap
  ::ReleaseDC(nullptr, screen);
  const DWORD size = ((width * 3 + 3) / 4) * 4 * height;
  const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  const BITMAPFILEHEADER file{0x4D42, offset + size, 0, 0, offset};
  std::ofstream out(std::filesystem::path(name + L".bmp"), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
  out.write(static_cast<const char*>(bits), size);
  ::DeleteObject(bitmap);
  return static_cast<bool>(out);
}

bool Step(const std::wstring& verb, const std::wstring& argument, HWND& current) {
  if (verb == L"wait" || verb == L"find") {
    return Poll([&] {
      for (HWND dialog : Windows()) {
        if (verb == L"wait" ? TextOf(dialog) == argument : Child(dialog, argument) != nullptr)
          return (current = dialog) != nullptr;
      }
      return false;
    });
  }
  if (verb == L"gone")
    return Poll([] { return Windows().empty(); });
  if (verb == L"launch") {
    const intptr_t process = ::_wspawnl(_P_NOWAIT, argument.c_str(), argument.c_str(), nullptr);
    return process != -1 && ::CloseHandle(reinterpret_cast<HANDLE>(process));
  }
  if (!::IsWindow(current))
    return false;
  if (verb == L"shot")
    return SaveShot(current, argument);
  if (verb == L"taps")
    return Taps(current, std::stoi(argument));
  if (verb == L"hold") {
    ::SetForegroundWindow(current);
    return Keys(L"keydown", L"Return") && (::Sleep(std::stoi(argument)), Keys(L"keyup", L"Return"));
  }
  if (verb == L"close")
    return ::SendMessageTimeoutW(current, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr) != 0;
  if (verb == L"altf4")
    return ::SetForegroundWindow(current) && Keys(L"key", L"alt+F4");
  if (verb == L"stays")
    return ::Sleep(1000), ::IsWindowVisible(current);
  if (verb == L"okbutton")
    return ((::GetWindowLongW(current, GWL_EXSTYLE) & 0x80000000u) != 0) == (argument == L"yes");
  if (verb == L"progress") {
    return Poll([&] {
      HWND bar = Child(current, L"", L"msctls_progress32");
      return bar && static_cast<int>(Ask(bar, PBM_GETPOS)) >= std::stoi(argument);
    });
  }
  if (verb == L"file") {
    // The name box of the open file dialog: a combo box's edit, or an edit.
    HWND name = Child(current, L"", L"Edit");
    if (!name)
      return false;
    ::SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argument.c_str()),
                          SMTO_ABORTIFHUNG, 5000, nullptr);
    return ::PostMessageW(current, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  HWND control = Child(current, argument);
  if (!control)
    return false;
  if (verb == L"expect")
    return true;
  if (verb == L"click")
    return ::PostMessageW(control, BM_CLICK, 0, 0);
  if (verb == L"press" || verb == L"double")
    return MouseClick(control, verb == L"press" ? 1 : 2);
  return verb == L"check" && MouseClick(control) &&
         Poll([&] { return Ask(control, BM_GETCHECK) == BST_CHECKED; });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputws(L"usage: robot STEPS\n", stderr);
    return 2;
  }
  std::wifstream steps(argv[1]);
  std::wstring line;
  HWND current = nullptr;
  for (int number = 1; std::getline(steps, line); ++number) {
    const std::size_t space = line.find(L' ');
    std::wstring argument = space == std::wstring::npos ? L"" : line.substr(space + 1);
    for (const wchar_t* escape : {L"\\n", L"\\r"}) {
      for (std::size_t at; (at = argument.find(escape)) != std::wstring::npos;)
        argument.replace(at, 2, escape[1] == L'n' ? L"\n" : L"\r");
    }
    if (line.empty() || Step(line.substr(0, space), argument, current))
      continue;
    std::fwprintf(stderr, L"robot: step %d failed: %ls\n", number, line.c_str());
    for (HWND dialog : Windows()) {
      std::fwprintf(stderr, L"  dialog \"%ls\":", TextOf(dialog).c_str());
      for (HWND child : Windows(dialog)) {
        if (::IsWindowVisible(child))
          std::fwprintf(stderr, L" [%ls]", TextOf(child).c_str());
      }
      std::fputws(L"\n", stderr);
    }
    return 1;
  }
  return 0;
}
