// Drives tessaron.exe's real windows as a person would: finds each dialog, reads its texts,
// clicks its buttons and radio buttons, fills the file dialog, and takes screenshots. Runs
// beside the application (under Wine in the tests) and reads its steps from a file:
//   wait CAPTION        a visible dialog with this caption (may be empty) comes up; it becomes
//                       the current dialog
//   find TEXT           a visible dialog holding a control with this text comes up (current)
//   expect TEXT         the current dialog holds a control with this text
//   click LABEL         presses the current dialog's button with this text (BM_CLICK)
//   press LABEL         clicks that button with the mouse, as a person would: a dialog that
//                       takes no input ignores the click
//   check LABEL         clicks the current dialog's radio button with this text with the mouse
//                       and waits until it shows the check
//   file PATH           types PATH into the open file dialog and presses Open
//   progress N          waits until the current dialog's progress bar stands at N or more
//   gone                waits until the current dialog is gone
//   shot NAME           saves the current dialog's picture as NAME.bmp
// In texts, \n and \r stand for line ends. Exit 0 when every step passed, 1 at the first that
// did not (with a line saying which).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os/windows_api.h"

namespace {

constexpr DWORD kPatience = 20000;  // ms for anything to come up

std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\\' && i + 1 < text.size() && (text[i + 1] == L'n' || text[i + 1] == L'r')) {
      out += text[++i] == L'n' ? L'\n' : L'\r';
    } else {
      out += text[i];
    }
  }
  return out;
}

std::wstring TextOf(HWND window) {
  wchar_t text[2048] = {};
  ::GetWindowTextW(window, text, 2048);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

std::vector<HWND> Children(HWND dialog) {
  std::vector<HWND> children;
  ::EnumChildWindows(
      dialog,
      [](HWND child, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

std::vector<HWND> Dialogs() {
  std::vector<HWND> dialogs;
  ::EnumWindows(
      [](HWND window, LPARAM list) -> BOOL {
        if (::IsWindowVisible(window) && ClassOf(window) == L"#32770")
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&dialogs));
  return dialogs;
}

HWND ChildWithText(HWND dialog, const std::wstring& text) {
  for (HWND child : Children(dialog)) {
    if (TextOf(child) == text)
      return child;
  }
  return nullptr;
}

// Whether the dialog is on top at this point of the screen.
bool OnTop(HWND dialog, LONG x, LONG y) {
  return ::GetAncestor(::WindowFromPoint(POINT{x, y}), GA_ROOT) == dialog;
}

// A click through the input queue, in the middle of the part of the control where its own
// dialog is on top: the system hands it on only as far as the windows take input. Every event
// carries the position, so that no other pointer motion moves the click. False when the
// control is covered.
bool MouseClick(HWND control) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  HWND dialog = ::GetAncestor(control, GA_ROOT);
  const LONG x = (rect.left + rect.right) / 2;
  LONG bottom = rect.bottom - 1;
  while (bottom >= rect.top && !OnTop(dialog, x, bottom))
    --bottom;
  LONG top = bottom;
  while (top > rect.top && OnTop(dialog, x, top - 1))
    --top;
  if (bottom < rect.top)
    return false;
  const LONG y = (top + bottom) / 2;
  INPUT events[3] = {};
  const DWORD buttons[3] = {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 3; ++i) {
    events[i].type = INPUT_MOUSE;
    events[i].mi.dx = ::MulDiv(x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    events[i].mi.dy = ::MulDiv(y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    events[i].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons[i];
  }
  return ::SendInput(3, events, sizeof(INPUT)) == 3;
}

template <class Found>
HWND WaitFor(Found found) {
  for (DWORD waited = 0; waited < kPatience; waited += 50) {
    for (HWND dialog : Dialogs()) {
      if (found(dialog))
        return dialog;
    }
    ::Sleep(50);
  }
  return nullptr;
}

bool SaveShot(HWND dialog, const std::wstring& name) {
  ::Sleep(250);  // let the window finish painting
  RECT rect{};
  ::GetWindowRect(dialog, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ::SelectObject(memory, old);
  const DWORD stride = ((width * 3 + 3) / 4) * 4;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + stride * height;
  std::ofstream out(std::filesystem::path(name + L".bmp"), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
  out.write(static_cast<const char*>(bits), stride * height);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return static_cast<bool>(out);
}

bool Step(const std::wstring& verb, const std::wstring& argument, HWND& current) {
  if (verb == L"wait") {
    current = WaitFor([&](HWND dialog) { return TextOf(dialog) == argument; });
    return current != nullptr;
  }
  if (verb == L"find") {
    current = WaitFor([&](HWND dialog) { return ChildWithText(dialog, argument) != nullptr; });
    return current != nullptr;
  }
  if (!current || !::IsWindow(current))
    return false;
  if (verb == L"expect")
    return ChildWithText(current, argument) != nullptr;
  if (verb == L"click") {
    HWND button = ChildWithText(current, argument);
    if (!button)
      return false;
    ::PostMessageW(button, BM_CLICK, 0, 0);
    return true;
  }
  if (verb == L"press") {
    HWND button = ChildWithText(current, argument);
    return button && MouseClick(button);
  }
  if (verb == L"check") {
    HWND button = ChildWithText(current, argument);
    if (!button || !MouseClick(button))
      return false;
    // Input is taken in order: once the check shows, every earlier click was taken too.
    for (DWORD waited = 0; waited < kPatience; waited += 10) {
      DWORD_PTR state = 0;
      if (::SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 1000, &state) &&
          state == BST_CHECKED) {
        return true;
      }
      ::Sleep(10);
    }
    return false;
  }
  if (verb == L"file") {
    // The name box of the open file dialog: a combo box's edit, or an edit.
    for (HWND child : Children(current)) {
      if (ClassOf(child) == L"Edit" && ::IsWindowVisible(child)) {
        ::SendMessageTimeoutW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argument.c_str()),
                              SMTO_ABORTIFHUNG, 5000, nullptr);
        ::PostMessageW(current, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
      }
    }
    return false;
  }
  if (verb == L"progress") {
    const int wanted = std::stoi(argument);
    for (DWORD waited = 0; waited < kPatience; waited += 10) {
      for (HWND child : Children(current)) {
        DWORD_PTR position = 0;
        if (ClassOf(child) == L"msctls_progress32" &&
            ::SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position) &&
            static_cast<int>(position) >= wanted) {
          return true;
        }
      }
      ::Sleep(10);
    }
    return false;
  }
  if (verb == L"gone") {
    for (DWORD waited = 0; waited < kPatience; waited += 50) {
      if (!::IsWindow(current) || !::IsWindowVisible(current))
        return true;
      ::Sleep(50);
    }
    return false;
  }
  if (verb == L"shot")
    return SaveShot(current, argument);
  return false;
}

// What is on the screen, for the failure report.
void ListDialogs() {
  for (HWND dialog : Dialogs()) {
    std::fwprintf(stderr, L"  dialog \"%ls\":", TextOf(dialog).c_str());
    for (HWND child : Children(dialog)) {
      if (::IsWindowVisible(child))
        std::fwprintf(stderr, L" [%ls]", TextOf(child).c_str());
    }
    std::fputws(L"\n", stderr);
  }
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
  int number = 0;
  while (std::getline(steps, line)) {
    ++number;
    if (!line.empty() && line.back() == L'\r')
      line.pop_back();
    if (line.empty() || line[0] == L'#')
      continue;
    const std::size_t space = line.find(L' ');
    const std::wstring verb = line.substr(0, space);
    const std::wstring argument =
        space == std::wstring::npos ? L"" : Unescape(line.substr(space + 1));
    if (!Step(verb, argument, current)) {
      std::fwprintf(stderr, L"robot: step %d failed: %ls\n", number, line.c_str());
      ListDialogs();
      return 1;
    }
  }
  return 0;
}
