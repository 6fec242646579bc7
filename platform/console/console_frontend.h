// The terminal front end: each dialog is a framed box with its caption, texts and buttons; the
// user answers by number, by a button's label, with Enter for the default button, or with the
// answer commands (click, check, file, cancel). With a script the answers come from a file,
// one per line, and the first one that fits nothing, or the script's end while a dialog waits,
// gives up the run.
#pragma once

#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/model/model_frontend.h"

namespace platform::console {

class ConsoleFrontend final : public ui::ModelFrontend {
 public:
  // deviceFiles is the host folder behind the device's file system, for the file dialog.
  // script, when given, holds the answers; otherwise they are read from in.
  ConsoleFrontend(std::istream& in, std::ostream& out, std::filesystem::path deviceFiles,
                  std::optional<std::vector<std::wstring>> script, bool terminal);

  // The chosen file's full device path, as the device's file dialog gives it: slashes become
  // backslashes and a relative answer is taken from the root (Storage/X.nbX is \Storage\X.nbX).
  int GetOpenFileName(ui::WindowId owner, const std::wstring& filter, std::wstring& path) override;

 protected:
  std::optional<std::wstring> NextAnswer(const Prompt& prompt) override;
  void Refuse(const Prompt& prompt, const std::wstring& answer, const std::wstring& why) override;
  void Shown(const Window& window) override;
  void Changed(const Window& window) override;
  void Destroyed(const Window& window) override;

 private:
  // A control the user can pick by number.
  struct Choice {
    const Control* control;
    int number;
  };
  std::vector<Choice> Choices(const Window& window) const;
  // The button that Enter presses.
  static int DefaultButton(const Window& window);
  // What the box shows apart from the bar's position.
  static std::wstring Content(const Window& window);
  void Draw(const Window& window);
  void AddChoices(const Window& window, std::vector<std::wstring>& lines) const;
  // A box's lines, closed with a blank line and the bottom frame.
  void Print(std::vector<std::wstring> lines);
  void DrawProgress(const Window& window, bool inPlace);
  void DrawMessageBox(const Prompt& prompt);
  // What an interactive line means, in the answer commands; one translation per prompt kind.
  std::wstring Translate(const Prompt& prompt, const std::wstring& line) const;
  std::wstring TranslateForDialog(const Window& window, const std::wstring& text) const;
  static std::wstring TranslateForMessageBox(ui::UINT type, const std::wstring& text);
  std::wstring TranslateForFileDialog(const std::wstring& text) const;

  std::istream& in_;
  std::ostream& out_;
  std::filesystem::path deviceFiles_;
  std::optional<std::vector<std::wstring>> script_;
  std::size_t scriptLine_ = 0;  // the next line to read
  bool terminal_;
  std::vector<std::wstring> offeredFiles_;
  std::wstring drawnContent_;         // of the box drawn last
  std::optional<int> shownPosition_;  // of its progress bar, when it has one
};

}  // namespace platform::console
