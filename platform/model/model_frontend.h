// A front end that keeps every window's state in memory and takes the user's answers as text:
// the terminal front end draws that state and reads answers from the user or a script; the
// tests' recorder writes down what was shown and takes answers from a queue.
//
// Answers, one per waiting dialog, message box or file dialog:
//   click LABEL-OR-ID   a button, by its text (case-insensitive) or its control id
//   check LABEL-OR-ID   a radio button; the dialog keeps waiting
//   file PATH           the file dialog's choice
//   cancel              the dialog's Cancel, closing it
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/framework.h"

namespace platform::ui {

class ModelFrontend : public Frontend {
 public:
  struct Control {
    const ControlTemplate* source = nullptr;
    std::wstring text;
    bool visible = false;
    bool checked = false;
    int position = 0;  // progress bar, 0 to 100
    int step = 10;
  };
  struct Window {
    WindowId id = kNullHandle;
    const DialogTemplate* source = nullptr;
    DialogEvents* events = nullptr;
    bool modal = false;
    bool enabled = true;  // false while a dialog or box it owns waits
    bool visible = false;
    bool ended = false;
    int result = 0;
    std::vector<Control> controls;
    int icon[2] = {0, 0};  // small, big

    const Control* Find(int controlId) const;
    Control* Find(int controlId);
    // "dialog 133 "Tessaron EBOOT Loader"", for messages.
    std::wstring Describe() const;
  };

  // What is waiting for an answer.
  struct Prompt {
    enum class Kind { kDialog, kMessageBox, kFileDialog };
    Kind kind;
    const Window* window = nullptr;  // kDialog
    const Window* owner = nullptr;   // the window it belongs to, if any
    std::wstring text;               // kMessageBox: the text; kFileDialog: the filter
    std::wstring caption;            // kMessageBox
    UINT type = 0;                   // kMessageBox
    std::wstring Describe() const;
  };

  int RunModal(WindowId owner, const DialogTemplate& dialog, DialogEvents& events) override;
  WindowId CreateModeless(const DialogTemplate& dialog, DialogEvents& events) override;
  void DestroyWindow(WindowId window) override;
  void EndDialog(WindowId window, int result) override;
  void SetItemText(WindowId window, int id, const std::wstring& text) override;
  std::wstring GetItemText(WindowId window, int id) override;
  void ShowItem(WindowId window, int id, int command) override;
  void ShowWindow(WindowId window, int command) override;
  LRESULT SendItemMessage(WindowId window, int id, UINT message, WPARAM wParam,
                          LPARAM lParam) override;
  LRESULT SendMessage(WindowId window, UINT message, WPARAM wParam, LPARAM lParam) override;
  void CenterWindow(WindowId window) override;
  void SetForegroundWindow(WindowId window) override;
  void UpdateWindow(WindowId window) override;
  int MessageBox(WindowId owner, const std::wstring& text, const std::wstring& caption,
                 UINT type) override;
  int GetOpenFileName(WindowId owner, const std::wstring& filter, std::wstring& path) override;

  // Set once the answers ran out or one fitted nothing: every later dialog is cancelled at
  // once, so that the application winds down without waiting for anyone.
  bool aborted() const { return !abortReason_.empty(); }
  const std::wstring& abortReason() const { return abortReason_; }

 protected:
  // The next answer for what is waiting, or nothing when there is none to be had.
  virtual std::optional<std::wstring> NextAnswer(const Prompt& prompt) = 0;
  // An answer that fits nothing. The default gives up, as a script must.
  virtual void Refuse(const Prompt& prompt, const std::wstring& answer, const std::wstring& why);
  // Presentation: a window appeared, changed while visible, or went away from the screen.
  virtual void Shown(const Window&) {}
  virtual void Changed(const Window&) {}
  virtual void Destroyed(const Window&) {}

  void Abort(const std::wstring& reason);

 private:
  // Keeps an owner from taking answers while what it owns waits: from construction to Release,
  // or to the end of the guard's life.
  class DisabledOwner {
   public:
    DisabledOwner(ModelFrontend& frontend, WindowId owner);
    ~DisabledOwner() { Release(); }
    DisabledOwner(const DisabledOwner&) = delete;
    DisabledOwner& operator=(const DisabledOwner&) = delete;
    const Window* owner() const { return owner_; }
    void Release();

   private:
    Window* owner_;
    bool disabled_;  // by this guard: an owner disabled already stays so
  };

  enum class Verb { kClick, kCheck, kFile, kCancel };
  struct Answer {
    Verb verb;
    std::wstring argument;
  };
  static std::optional<Answer> Parse(const std::wstring& line);
  // The next answer; without one the run is given up.
  std::optional<std::wstring> Ask(const Prompt& prompt);
  // The one answer loop: asks until decide takes an answer, giving each answer that it does not
  // take back with why (unfitting when the line is no answer at all); nothing once the run was
  // given up.
  using Decision = std::optional<int>;
  Decision AskUntil(const Prompt& prompt, const wchar_t* unfitting,
                    const std::function<Decision(const Answer&, std::wstring&)>& decide);
  // Applies an answer to a waiting dialog; false (with why) when it fits nothing.
  bool Apply(Window& window, const Answer& answer, std::wstring& why);
  // The visible control of the kind named by its id or its label (any case); null when none is.
  static Control* Named(Window& window, ControlKind kind, const std::wstring& name);
  static bool Click(Window& window, const std::wstring& name, std::wstring& why);
  static bool Check(Window& window, const std::wstring& name, std::wstring& why);
  Window* Find(WindowId window);
  // Makes the window and runs its initialisation; it is not shown yet.
  WindowId Open(const DialogTemplate& dialog, DialogEvents& events, bool modal);

  std::map<WindowId, Window> windows_;
  WindowId next_ = 0x10000;
  std::wstring abortReason_;
};

// Button text without the mnemonic ampersand.
std::wstring PlainLabel(const std::wstring& text);

// A short number typed as an answer: up to five digits, as a control's id or a choice.
std::optional<int> ParseNumber(const std::wstring& text);

// A text for a message of one line: line breaks as spaces, and a long one cut short with an
// ellipsis.
std::wstring OneLine(std::wstring_view text);

}  // namespace platform::ui
