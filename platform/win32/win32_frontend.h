// The Win32 front end: the dialog framework over real dialogs, built in memory from the same
// templates as the terminal's, with message boxes, the file-open dialog and the progress bar.
// It uses only calls that Windows CE 5.0 also offers.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/ui/framework.h"

namespace platform::win32 {

// Where the file dialog opens, and the device path of the file chosen there: nothing for a file
// that is not on the device.
struct FileChoice {
  std::wstring folder;  // empty: where the dialog itself chooses
  std::function<std::optional<std::wstring>(const std::wstring& chosen)> devicePath;
};

class Win32Frontend final : public ui::Frontend {
 public:
  explicit Win32Frontend(FileChoice files);

  int RunModal(ui::WindowId owner, const ui::DialogTemplate& dialog,
               ui::DialogEvents& events) override;
  ui::WindowId CreateModeless(const ui::DialogTemplate& dialog, ui::DialogEvents& events) override;
  void DestroyWindow(ui::WindowId window) override;
  void EndDialog(ui::WindowId window, int result) override;
  void SetItemText(ui::WindowId window, int id, const std::wstring& text) override;
  std::wstring GetItemText(ui::WindowId window, int id) override;
  void ShowItem(ui::WindowId window, int id, int command) override;
  void ShowWindow(ui::WindowId window, int command) override;
  ui::LRESULT SendItemMessage(ui::WindowId window, int id, ui::UINT message, ui::WPARAM wParam,
                              ui::LPARAM lParam) override;
  ui::LRESULT SendMessage(ui::WindowId window, ui::UINT message, ui::WPARAM wParam,
                          ui::LPARAM lParam) override;
  void CenterWindow(ui::WindowId window) override;
  void SetForegroundWindow(ui::WindowId window) override;
  void UpdateWindow(ui::WindowId window) override;
  int MessageBox(ui::WindowId owner, const std::wstring& text, const std::wstring& caption,
                 ui::UINT type) override;
  int GetOpenFileName(ui::WindowId owner, const std::wstring& filter, std::wstring& path) override;

 private:
  FileChoice files_;
};

}  // namespace platform::win32
