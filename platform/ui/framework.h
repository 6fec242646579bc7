// The dialog framework: dialog templates as data, a front end that shows them, and the dialog
// class that every dialog of the application derives from. Each front end (terminal, Win32,
// the tests' recorder) implements Frontend once; every dialog is written once on top of it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform::ui {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WindowId = Handle;  // kNullHandle: no window

// Results of a modal run and of message boxes.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Message box types.
constexpr UINT kMbOk = 0x0;
constexpr UINT kMbOkCancel = 0x1;
constexpr UINT kMbYesNo = 0x4;
constexpr UINT kMbSetForeground = 0x10000;

// Window styles, as a template stores them.
constexpr DWORD kWsPopup = 0x80000000;
constexpr DWORD kWsChild = 0x40000000;
constexpr DWORD kWsVisible = 0x10000000;
constexpr DWORD kWsCaption = 0x00C00000;
constexpr DWORD kWsBorder = 0x00800000;
constexpr DWORD kWsSysMenu = 0x00080000;
constexpr DWORD kWsGroup = 0x00020000;
constexpr DWORD kWsTabStop = 0x00010000;
constexpr DWORD kDsModalFrame = 0x80;
constexpr DWORD kDsSetFont = 0x40;
constexpr DWORD kWsExAppWindow = 0x00040000;
constexpr DWORD kWsExCaptionOkButton = 0x80000000;  // the device's OK button in the caption bar
constexpr DWORD kBsPushButton = 0x0;
constexpr DWORD kBsDefPushButton = 0x1;
constexpr DWORD kBsAutoRadioButton = 0x9;
constexpr DWORD kSsLeft = 0x0;
constexpr DWORD kSsCenter = 0x1;

// Messages the dialogs send.
constexpr UINT kWmSetIcon = 0x80;
constexpr UINT kBmGetCheck = 0xF0;
constexpr UINT kBmSetCheck = 0xF1;
constexpr UINT kPbmSetPos = 0x402;
constexpr UINT kPbmSetStep = 0x404;
constexpr WPARAM kBstUnchecked = 0;
constexpr WPARAM kBstChecked = 1;
constexpr WPARAM kIconSmall = 0;
constexpr WPARAM kIconBig = 1;

constexpr int kSwHide = 0;
constexpr int kSwShow = 5;

enum class ControlKind { kPushButton, kStatic, kAutoRadioButton, kProgressBar };

// Places and sizes in dialog units, as a template stores them.
struct Rect {
  short x, y, cx, cy;
};
struct Size {
  short cx, cy;
};
struct Font {
  std::wstring face;
  short points;
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  std::wstring text;
  Rect rect;
  DWORD style;
};

struct DialogTemplate {
  int id;
  std::wstring caption;
  Font font;
  Size size;
  DWORD style;
  DWORD exStyle;
  WORD language;
  std::vector<ControlTemplate> controls;

  const ControlTemplate* Control(int controlId) const;
};

// What a front end calls back while a dialog lives.
class DialogEvents {
 public:
  virtual ~DialogEvents() = default;
  // WM_INITDIALOG. True to let the front end set the focus.
  virtual bool HandleInitDialog(WindowId window) = 0;
  // A button was pressed (WM_COMMAND with notification 0); also kIdOk and kIdCancel from the
  // caption bar, the keyboard or closing the dialog.
  virtual void HandleCommand(int id) = 0;
};

class Frontend {
 public:
  virtual ~Frontend() = default;

  // Shows the dialog modally and returns the result given to EndDialog. Its owner (kNullHandle:
  // none) takes no input while it runs, and takes it again before the dialog is destroyed. A
  // dialog ended during its initialisation is never shown.
  virtual int RunModal(WindowId owner, const DialogTemplate& dialog, DialogEvents& events) = 0;
  // Creates the dialog modeless and unowned (hidden unless the template says visible);
  // kNullHandle on failure. Initialisation runs before it returns.
  virtual WindowId CreateModeless(const DialogTemplate& dialog, DialogEvents& events) = 0;
  virtual void DestroyWindow(WindowId window) = 0;
  virtual void EndDialog(WindowId window, int result) = 0;

  virtual void SetItemText(WindowId window, int id, const std::wstring& text) = 0;
  virtual std::wstring GetItemText(WindowId window, int id) = 0;
  virtual void ShowItem(WindowId window, int id, int command) = 0;
  virtual void ShowWindow(WindowId window, int command) = 0;
  // Control messages: kBmSetCheck, kBmGetCheck, kPbmSetPos, kPbmSetStep.
  virtual LRESULT SendItemMessage(WindowId window, int id, UINT message, WPARAM wParam,
                                  LPARAM lParam) = 0;
  // Window messages: kWmSetIcon with the icon's resource id as lParam.
  virtual LRESULT SendMessage(WindowId window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // Centres the window over its owner when that shows, else on the screen.
  virtual void CenterWindow(WindowId window) = 0;
  virtual void SetForegroundWindow(WindowId window) = 0;
  // Repaints the window now, without waiting for a message loop.
  virtual void UpdateWindow(WindowId window) = 0;

  // A message box with its caption; returns the button pressed. Its owner (kNullHandle: none)
  // takes no input while it shows.
  virtual int MessageBox(WindowId owner, const std::wstring& text, const std::wstring& caption,
                         UINT type) = 0;
  // The file-open dialog with a filter such as "Eboot Files (Eboot*.nbX)|Eboot*.nbX||", owned
  // as a message box is; kIdOk with the full path of the chosen file, anything else when
  // cancelled.
  virtual int GetOpenFileName(WindowId owner, const std::wstring& filter, std::wstring& path) = 0;
};

// The application's resources, as data.
struct Resources {
  std::wstring appName;  // the caption of application-level message boxes
  std::map<UINT, std::wstring> strings;
  std::map<int, DialogTemplate> dialogs;
};

class CDialog;

// Everything a dialog needs of its surroundings, with the application's windows as the
// framework's application object keeps them: the one state that the dialogs change, as they
// run and end.
struct UiContext {
  Frontend& frontend;
  const Resources& resources;
  // CWinApp::m_pMainWnd: the main window, once the application names it, until it goes.
  const CDialog* m_pMainWnd = nullptr;
  // The modal dialog running innermost, kept by CDialog::DoModal.
  const CDialog* runningModal = nullptr;

  // The application's active window, which owns every dialog and box built with no parent: the
  // main window's last active popup (the modal dialog running innermost) or the main window
  // itself; none before the main window has a window.
  WindowId ActiveWindow() const;
  // CString::LoadString: the string, or nothing when the table lacks it.
  std::optional<std::wstring> LoadString(UINT id) const;
  // AfxMessageBox: a message box captioned with the application's name, owned by the active
  // window.
  int AfxMessageBox(const std::wstring& text, UINT type) const;
  int AfxMessageBox(UINT stringId, UINT type) const;
  // CFileDialog in open mode: the file-open dialog, owned by the active window.
  int GetOpenFileName(const std::wstring& filter, std::wstring& path) const;
};

// A control bound to a dialog member (DDX_Control). Until it is bound, as when its dialog's
// window could not be made, it does nothing.
class CWndItem {
 public:
  void SetWindowText(const std::wstring& text);
  void ShowWindow(int command);
  LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  friend class CDialog;
  CDialog* dialog_ = nullptr;
  int id_ = 0;
};
using CButton = CWndItem;
using CStatic = CWndItem;
using CProgressCtrl = CWndItem;

// A dialog: a template, its window while it lives, and the handlers that subclasses override.
class CDialog : public DialogEvents {
 public:
  CDialog(UiContext& ui, int templateId);
  ~CDialog() override;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // kIdOk or kIdCancel (what EndDialog was given); -1 when the template does not exist. The
  // dialog belongs to the application's active window and is that window while it runs.
  int DoModal();
  // Modeless creation; true when the window exists.
  bool Create();
  void DestroyWindow();
  void EndDialog(int result);

  WindowId window() const { return window_; }
  UiContext& ui() const { return ui_; }

  void SetDlgItemText(int id, const std::wstring& text);
  LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void ShowWindow(int command);
  void CenterWindow();
  void SetForegroundWindow();
  void UpdateWindow();
  // The id of the first checked radio button from first to last, or 0.
  int GetCheckedRadioButton(int first, int last);
  int MessageBox(const std::wstring& text, const std::wstring& caption, UINT type);

 protected:
  virtual void DoDataExchange() {}
  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  // Dispatches a command; the base handles kIdOk and kIdCancel.
  virtual void OnCommand(int id);

  void DDX_Control(int id, CWndItem& item);

  // A table-driven command map: subclasses list (control id, handler) pairs.
  template <class T>
  struct CommandEntry {
    int id;
    void (T::*handler)();
  };
  template <class T, std::size_t N>
  static bool Dispatch(T* self, const CommandEntry<T> (&map)[N], int id) {
    for (const CommandEntry<T>& entry : map) {
      if (entry.id == id) {
        (self->*entry.handler)();
        return true;
      }
    }
    return false;
  }

 private:
  bool HandleInitDialog(WindowId window) final;
  void HandleCommand(int id) final;

  UiContext& ui_;
  const DialogTemplate* template_;  // null when the resources lack it
  WindowId window_ = kNullHandle;
};

}  // namespace platform::ui
