// The Win32 front end: the dialog framework over real dialogs, built in memory from the same
// templates as the terminal's, with message boxes, the file-open dialog and the progress bar.
// It uses only calls that Windows CE 5.0 also offers.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "platform/ui/framework.h"

namespace platform::win32 {

class Win32Frontend final : public ui::Frontend {
 public:
  // deviceFiles: the host folder behind the device's file system, where the file dialog opens;
  // the path it returns is the device path of the chosen file.
  explicit Win32Frontend(std::filesystem::path deviceFiles);

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
  std::filesystem::path deviceFiles_;
  std::map<ui::WindowId, ui::DialogEvents*> modeless_;
};

}  // namespace platform::win32
