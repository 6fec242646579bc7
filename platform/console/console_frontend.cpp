#include "platform/console/console_frontend.h"

#include <algorithm>
#include <cwctype>
#include <utility>

#include "platform/console/box.h"
#include "platform/console/file_listing.h"
#include "platform/text/strings.h"
#include "platform/text/utf8.h"

namespace platform::console {

using ui::ControlKind;

namespace {

using Control = ui::ModelFrontend::Control;
using Window = ui::ModelFrontend::Window;

// The window's progress bar, when it shows one.
const Control* VisibleBar(const Window& window) {
  for (const Control& control : window.controls) {
    if (control.source->kind == ControlKind::kProgressBar && control.visible)
      return &control;
  }
  return nullptr;
}

// The static texts, wrapped, each followed by a blank row.
void AddTexts(const Window& window, std::vector<std::wstring>& lines) {
  for (const Control& control : window.controls) {
    if (control.source->kind != ControlKind::kStatic || !control.visible)
      continue;
    const bool centred = (control.source->style & 0xF) == ui::kSsCenter;
    for (const std::wstring& line : Wrap(control.text, kInner - 2))
      lines.push_back(Row(L" " + (centred ? Center(line, kInner - 2) : line)));
    lines.push_back(Row(L""));
  }
}

}  // namespace

ConsoleFrontend::ConsoleFrontend(std::istream& in, std::ostream& out,
                                 std::filesystem::path deviceFiles,
                                 std::optional<std::vector<std::wstring>> script, bool terminal)
    : in_(in),
      out_(out),
      deviceFiles_(std::move(deviceFiles)),
      script_(std::move(script)),
      terminal_(terminal) {}

std::vector<ConsoleFrontend::Choice> ConsoleFrontend::Choices(const Window& window) const {
  std::vector<const Control*> controls;
  for (const Control& control : window.controls) {
    const bool pickable = control.source->kind == ControlKind::kPushButton ||
                          control.source->kind == ControlKind::kAutoRadioButton;
    if (pickable && control.visible)
      controls.push_back(&control);
  }
  // Radio buttons first, then buttons, each in reading order.
  std::stable_sort(controls.begin(), controls.end(), [](const Control* a, const Control* b) {
    const bool aRadio = a->source->kind == ControlKind::kAutoRadioButton;
    const bool bRadio = b->source->kind == ControlKind::kAutoRadioButton;
    if (aRadio != bRadio)
      return aRadio;
    return std::make_pair(a->source->rect.y, a->source->rect.x) <
           std::make_pair(b->source->rect.y, b->source->rect.x);
  });
  std::vector<Choice> choices;
  choices.reserve(controls.size());
  for (const Control* control : controls) {
    choices.push_back({control, static_cast<int>(choices.size()) + 1});
  }
  return choices;
}

int ConsoleFrontend::DefaultButton(const Window& window) {
  for (const Control& control : window.controls) {
    if (control.source->kind == ControlKind::kPushButton &&
        (control.source->style & 0xF) == ui::kBsDefPushButton)
      return control.source->id;
  }
  return ui::kIdOk;  // a dialog without a default button takes Enter as OK
}

void ConsoleFrontend::Print(std::vector<std::wstring> lines) {
  lines.push_back(Row(L""));
  lines.push_back(Bottom());
  out_ << '\n';
  for (const std::wstring& line : lines)
    out_ << ToUtf8(line) << '\n';
  out_.flush();
}

std::wstring ConsoleFrontend::Content(const Window& window) {
  std::wstring look = std::to_wstring(window.id);
  for (const Control& control : window.controls) {
    look += L"|" + control.text + (control.visible ? L"+" : L"-") + (control.checked ? L"*" : L"");
  }
  return look;
}

void ConsoleFrontend::Draw(const Window& window) {
  drawnContent_ = Content(window);
  shownPosition_.reset();
  std::vector<std::wstring> lines = {Top(window.source->caption), Row(L"")};
  AddTexts(window, lines);
  AddChoices(window, lines);
  if (const Control* bar = VisibleBar(window)) {
    lines.push_back(Row(L"  " + Bar(bar->position)));
    shownPosition_ = bar->position;
  }
  Print(lines);
}

// Radio buttons a line each; buttons side by side where the template puts them in a row.
void ConsoleFrontend::AddChoices(const Window& window, std::vector<std::wstring>& lines) const {
  bool radios = false;
  std::wstring row;
  short rowY = -1;
  for (const Choice& choice : Choices(window)) {
    const ui::ControlTemplate& source = *choice.control->source;
    const std::wstring number = L"[" + std::to_wstring(choice.number) + L"] ";
    const std::wstring label = ui::PlainLabel(choice.control->text);
    if (source.kind == ControlKind::kAutoRadioButton) {
      lines.push_back(Row(L"  " + number + (choice.control->checked ? L"(*) " : L"( ) ") + label));
      radios = true;
      continue;
    }
    if (std::exchange(radios, false))
      lines.push_back(Row(L""));
    if (!row.empty() && source.rect.y != rowY)
      lines.push_back(Row(L"  " + std::exchange(row, L"")));
    const bool isDefault = source.id == DefaultButton(window);
    row += (row.empty() ? L"" : L"   ") + number + label + (isDefault ? L" (Enter)" : L"");
    rowY = source.rect.y;
  }
  if (!row.empty())
    lines.push_back(Row(L"  " + row));
}

void ConsoleFrontend::DrawProgress(const Window& window, bool inPlace) {
  const Control* bar = VisibleBar(window);
  if (!bar || shownPosition_ == bar->position)
    return;
  shownPosition_ = bar->position;
  if (inPlace) {
    // Up over the box's last two lines, rewrite the bar's, and back down.
    out_ << "\x1b[3A\r" << ToUtf8(Row(L"  " + Bar(bar->position))) << "\x1b[3B\r";
  } else {
    out_ << ToUtf8(L"  " + Bar(bar->position)) << '\n';
  }
  out_.flush();
}

void ConsoleFrontend::Shown(const Window& window) {
  Draw(window);
}

void ConsoleFrontend::Changed(const Window& window) {
  // A moving bar is redrawn alone; any other change redraws the box.
  if (Content(window) == drawnContent_) {
    DrawProgress(window, terminal_);
  } else {
    Draw(window);
  }
}

void ConsoleFrontend::Destroyed(const Window& window) {
  if (Content(window) == drawnContent_) {
    drawnContent_.clear();
    shownPosition_.reset();
  }
}

void ConsoleFrontend::DrawMessageBox(const Prompt& prompt) {
  std::vector<std::wstring> lines = {Top(prompt.caption), Row(L"")};
  for (const std::wstring& line : Wrap(prompt.text, kInner - 2))
    lines.push_back(Row(L" " + line));
  lines.push_back(Row(L""));
  const bool okCancel = (prompt.type & 0xF) == ui::kMbOkCancel;
  lines.push_back(Row(okCancel ? L"  [1] OK (Enter)   [2] Cancel" : L"  [1] OK (Enter)"));
  Print(lines);
}

std::wstring ConsoleFrontend::Translate(const Prompt& prompt, const std::wstring& line) const {
  std::wstring text = TrimSpace(line);
  const std::wstring verb = LowerCase(text.substr(0, text.find(L' ')));
  if (verb == L"click" || verb == L"check" || verb == L"file" || verb == L"cancel")
    return text;
  switch (prompt.kind) {
    case Prompt::Kind::kDialog:
      return TranslateForDialog(*prompt.window, text);
    case Prompt::Kind::kMessageBox:
      return TranslateForMessageBox(prompt.type, text);
    case Prompt::Kind::kFileDialog:
      break;
  }
  return TranslateForFileDialog(text);
}

// Enter presses the default button; a number picks a choice as listed.
std::wstring ConsoleFrontend::TranslateForDialog(const Window& window,
                                                 const std::wstring& text) const {
  if (text.empty())
    return L"click " + std::to_wstring(DefaultButton(window));
  const std::optional<int> number = ui::ParseNumber(text);
  for (const Choice& choice : Choices(window)) {
    if (!number || choice.number != *number)
      continue;
    const bool radio = choice.control->source->kind == ControlKind::kAutoRadioButton;
    return (radio ? L"check " : L"click ") + std::to_wstring(choice.control->source->id);
  }
  return L"click " + text;
}

// [1] OK, which Enter presses, and [2] Cancel when the box has it.
std::wstring ConsoleFrontend::TranslateForMessageBox(ui::UINT type, const std::wstring& text) {
  const std::optional<int> number = ui::ParseNumber(text);
  if (text.empty() || number == 1)
    return L"click OK";
  if (number == 2 && (type & 0xF) == ui::kMbOkCancel)
    return L"click Cancel";
  return L"click " + text;
}

// A number picks a listed file; anything else is a path.
std::wstring ConsoleFrontend::TranslateForFileDialog(const std::wstring& text) const {
  const std::optional<int> number = ui::ParseNumber(text);
  if (number && *number >= 1 && static_cast<std::size_t>(*number) <= offeredFiles_.size())
    return L"file " + offeredFiles_[static_cast<std::size_t>(*number) - 1];
  return text.empty() ? text : L"file " + text;
}

std::optional<std::wstring> ConsoleFrontend::NextAnswer(const Prompt& prompt) {
  if (prompt.kind == Prompt::Kind::kMessageBox)
    DrawMessageBox(prompt);
  if (prompt.kind == Prompt::Kind::kFileDialog) {
    offeredFiles_ = ListMatchingFiles(deviceFiles_, prompt.text);
    out_ << "\n"
         << ToUtf8(Top(L"Open")) << "\n"
         << ToUtf8(Row(L"Files of type: " + prompt.text.substr(0, prompt.text.find(L'|')))) << "\n";
    for (std::size_t i = 0; i < offeredFiles_.size(); ++i) {
      out_ << ToUtf8(Row(L"  [" + std::to_wstring(i + 1) + L"] " + offeredFiles_[i])) << "\n";
    }
    if (offeredFiles_.empty())
      out_ << ToUtf8(Row(L"  (no matching file on the device)")) << "\n";
    out_ << ToUtf8(Row(L"")) << "\n"
         << ToUtf8(Row(L"A number, a device path such as \\Storage\\Eboot1.nbX,")) << "\n"
         << ToUtf8(Row(L"or cancel.")) << "\n"
         << ToUtf8(Bottom()) << "\n";
  }
  if (script_) {
    while (scriptLine_ < script_->size()) {
      const std::wstring line = TrimSpace((*script_)[scriptLine_++]);
      if (line.empty() || line[0] == L'#')
        continue;
      out_ << "> " << ToUtf8(Printable(ui::OneLine(line))) << "\n";
      out_.flush();
      return line;
    }
    Abort(L"the script ended while the " + prompt.Describe() + L" waits");
    return std::nullopt;
  }
  out_ << "> ";
  out_.flush();
  std::string line;
  if (!std::getline(in_, line)) {
    out_ << "\n";
    Abort(L"the input ended while the " + prompt.Describe() + L" waits");
    return std::nullopt;
  }
  return Translate(prompt, FromUtf8(line));
}

void ConsoleFrontend::Refuse(const Prompt& prompt, const std::wstring& answer,
                             const std::wstring& why) {
  if (script_) {
    Abort(L"script line " + std::to_wstring(scriptLine_) + L": '" + Printable(ui::OneLine(answer)) +
          L"' does not answer the " + prompt.Describe() + L": " + why);
    return;
  }
  out_ << "  ? " << ToUtf8(why) << " (answer with a number, a label, Enter, or cancel)\n";
  out_.flush();
}

int ConsoleFrontend::GetOpenFileName(ui::WindowId owner, const std::wstring& filter,
                                     std::wstring& path) {
  const int result = ModelFrontend::GetOpenFileName(owner, filter, path);
  if (result != ui::kIdOk)
    return result;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (path.front() != L'\\')
    path.insert(0, 1, L'\\');
  return result;
}

}  // namespace platform::console
