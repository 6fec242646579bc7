#include "platform/console/console_frontend.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <system_error>

#include "platform/text/strings.h"
#include "platform/text/utf8.h"

namespace platform::console {

using ui::ControlKind;

namespace {

constexpr std::size_t kInner = 56;  // characters inside a box; 60 with the frame

// Word-wraps text to width, keeping its own line breaks ("\n" and "\r\n").
std::vector<std::wstring> Wrap(const std::wstring& text, std::size_t width) {
  std::vector<std::wstring> lines;
  std::wstring paragraph;
  const auto flush = [&]() {
    std::wstring line;
    std::size_t start = 0;
    while (start <= paragraph.size()) {
      std::size_t end = paragraph.find(L' ', start);
      if (end == std::wstring::npos)
        end = paragraph.size();
      std::wstring word = paragraph.substr(start, end - start);
      while (word.size() > width) {
        if (!line.empty())
          lines.push_back(line);
        lines.push_back(word.substr(0, width));
        word.erase(0, width);
        line.clear();
      }
      if (!line.empty() && line.size() + 1 + word.size() > width) {
        lines.push_back(line);
        line.clear();
      }
      line += (line.empty() ? L"" : L" ") + word;
      start = end + 1;
    }
    lines.push_back(line);
    paragraph.clear();
  };
  for (const wchar_t c : text) {
    if (c == L'\r')
      continue;
    if (c == L'\n') {
      flush();
    } else {
      paragraph += c;
    }
  }
  flush();
  return lines;
}

std::wstring Center(const std::wstring& text, std::size_t width) {
  if (text.size() >= width)
    return text;
  const std::size_t left = (width - text.size()) / 2;
  return std::wstring(left, L' ') + text;
}

std::wstring Top(const std::wstring& caption) {
  std::wstring line = L"+-";
  if (!caption.empty())
    line += L"[ " + caption.substr(0, kInner - 6) + L" ]";
  line += std::wstring(kInner + 3 - line.size(), L'-');
  return line + L"+";
}

// Control characters, as a file name or an answer may hold, shown as <1B>, so that none reaches
// the terminal raw. Device names never hold '<' or '>'.
std::wstring Printable(const std::wstring& text) {
  std::wstring shown;
  for (const wchar_t c : text) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      wchar_t code[5];
      std::swprintf(code, 5, L"<%02X>", static_cast<unsigned>(c));
      shown += code;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::wstring Row(const std::wstring& text) {
  std::wstring padded = Printable(text).substr(0, kInner);
  padded += std::wstring(kInner - padded.size(), L' ');
  return L"| " + padded + L" |";
}

std::wstring Bottom() {
  return L"+" + std::wstring(kInner + 2, L'-') + L"+";
}

std::wstring Bar(int position) {
  const int filled = position * 40 / 100;
  return L"[" + std::wstring(static_cast<std::size_t>(filled), L'#') +
         std::wstring(static_cast<std::size_t>(40 - filled), L'.') + L"] " +
         std::to_wstring(position) + L"%";
}

// Case-insensitive match of a file name against a pattern with * and ?.
bool Matches(const std::wstring& name, const std::wstring& pattern) {
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t star = std::wstring::npos;
  std::size_t mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == L'?' || std::towlower(static_cast<wint_t>(pattern[p])) ==
                                   std::towlower(static_cast<wint_t>(name[n])))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      mark = n;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*')
    ++p;
  return p == pattern.size();
}

// The patterns of a filter "Description (pattern)|pattern;pattern|...||".
std::vector<std::wstring> Patterns(const std::wstring& filter) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (const wchar_t c : filter) {
    if (c == L'|') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  std::vector<std::wstring> patterns;
  for (std::size_t i = 1; i < parts.size(); i += 2) {
    std::wstring pattern;
    for (const wchar_t c : parts[i] + L";") {
      if (c == L';') {
        if (!pattern.empty())
          patterns.push_back(pattern);
        pattern.clear();
      } else {
        pattern += c;
      }
    }
  }
  return patterns;
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
    return std::make_pair(a->source->y, a->source->x) < std::make_pair(b->source->y, b->source->x);
  });
  std::vector<Choice> choices;
  for (const Control* control : controls) {
    choices.push_back({control, static_cast<int>(choices.size()) + 1});
  }
  return choices;
}

int ConsoleFrontend::DefaultButton(const Window& window) {
  for (const Control& control : window.controls) {
    if (control.source->kind == ControlKind::kPushButton &&
        (control.source->style & 0xF) == ui::BS_DEFPUSHBUTTON)
      return control.source->id;
  }
  return ui::IDOK;  // a dialog without a default button takes Enter as OK
}

void ConsoleFrontend::Print(std::vector<std::wstring> lines) {
  lines.push_back(Row(L""));
  lines.push_back(Bottom());
  out_ << '\n';
  for (const std::wstring& line : lines)
    out_ << ToUtf8(line) << '\n';
  out_.flush();
}

std::wstring ConsoleFrontend::Look(const Window& window) {
  std::wstring look = std::to_wstring(window.id);
  for (const Control& control : window.controls) {
    look += L"|" + control.text + (control.visible ? L"+" : L"-") + (control.checked ? L"*" : L"");
  }
  return look;
}

void ConsoleFrontend::Draw(const Window& window) {
  drawnLook_ = Look(window);
  shownPosition_.reset();
  std::vector<std::wstring> lines = {Top(window.source->caption), Row(L"")};
  for (const Control& control : window.controls) {
    if (control.source->kind != ControlKind::kStatic || !control.visible)
      continue;
    const bool centred = (control.source->style & 0xF) == ui::SS_CENTER;
    for (const std::wstring& line : Wrap(control.text, kInner - 2)) {
      lines.push_back(Row(L" " + (centred ? Center(line, kInner - 2) : line)));
    }
    lines.push_back(Row(L""));
  }
  // Radio buttons a line each; buttons side by side where the template puts them in a row.
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
    if (radios) {
      lines.push_back(Row(L""));
      radios = false;
    }
    const bool isDefault = source.id == DefaultButton(window);
    const std::wstring button = number + label + (isDefault ? L" (Enter)" : L"");
    if (!row.empty() && source.y != rowY) {
      lines.push_back(Row(L"  " + row));
      row.clear();
    }
    row += (row.empty() ? L"" : L"   ") + button;
    rowY = source.y;
  }
  if (!row.empty())
    lines.push_back(Row(L"  " + row));
  const Control* bar = nullptr;
  for (const Control& control : window.controls) {
    if (control.source->kind == ControlKind::kProgressBar && control.visible)
      bar = &control;
  }
  if (bar) {
    lines.push_back(Row(L"  " + Bar(bar->position)));
    shownPosition_ = bar->position;
  }
  Print(lines);
}

void ConsoleFrontend::DrawProgress(const Window& window, bool inPlace) {
  const Control* bar = nullptr;
  for (const Control& control : window.controls) {
    if (control.source->kind == ControlKind::kProgressBar && control.visible)
      bar = &control;
  }
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
  if (Look(window) == drawnLook_) {
    DrawProgress(window, terminal_);
  } else {
    Draw(window);
  }
}

void ConsoleFrontend::Destroyed(const Window& window) {
  if (Look(window) == drawnLook_) {
    drawnLook_.clear();
    shownPosition_.reset();
  }
}

void ConsoleFrontend::DrawMessageBox(const Prompt& prompt) {
  std::vector<std::wstring> lines = {Top(prompt.caption), Row(L"")};
  for (const std::wstring& line : Wrap(prompt.text, kInner - 2))
    lines.push_back(Row(L" " + line));
  lines.push_back(Row(L""));
  const bool okCancel = (prompt.type & 0xF) == ui::MB_OKCANCEL;
  lines.push_back(Row(okCancel ? L"  [1] OK (Enter)   [2] Cancel" : L"  [1] OK (Enter)"));
  Print(lines);
}

std::vector<std::wstring> ConsoleFrontend::ListFiles(const std::wstring& filter) const {
  std::vector<std::wstring> files;
  const std::vector<std::wstring> patterns = Patterns(filter);
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(deviceFiles_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    // The device opens no link, and one may lead out of its file system.
    if (it->is_symlink(ec) || !it->is_regular_file(ec))
      continue;
    const std::wstring name = FromUtf8(it->path().filename().u8string());
    if (std::none_of(patterns.begin(), patterns.end(),
                     [&name](const std::wstring& pattern) { return Matches(name, pattern); })) {
      continue;
    }
    std::wstring devicePath;
    for (const auto& part : it->path().lexically_relative(deviceFiles_)) {
      devicePath += L"\\" + FromUtf8(part.u8string());
    }
    files.push_back(devicePath);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::wstring ConsoleFrontend::Translate(const Prompt& prompt, const std::wstring& line) const {
  const std::wstring text = TrimSpace(line);
  const std::wstring verb = LowerCase(text.substr(0, text.find(L' ')));
  if (verb == L"click" || verb == L"check" || verb == L"file" || verb == L"cancel")
    return text;
  int number = 0;
  const bool numeric =
      !text.empty() && text.size() < 6 &&
      std::all_of(text.begin(), text.end(), [](wchar_t c) { return std::iswdigit(c); });
  if (numeric)
    number = std::stoi(text);
  switch (prompt.kind) {
    case Prompt::Kind::kDialog: {
      if (text.empty())
        return L"click " + std::to_wstring(DefaultButton(*prompt.window));
      if (numeric) {
        for (const Choice& choice : Choices(*prompt.window)) {
          if (choice.number != number)
            continue;
          const bool radio = choice.control->source->kind == ControlKind::kAutoRadioButton;
          return (radio ? L"check " : L"click ") + std::to_wstring(choice.control->source->id);
        }
      }
      return L"click " + text;
    }
    case Prompt::Kind::kMessageBox:
      if (text.empty() || (numeric && number == 1))
        return L"click OK";
      if (numeric && number == 2 && (prompt.type & 0xF) == ui::MB_OKCANCEL)
        return L"click Cancel";
      return L"click " + text;
    case Prompt::Kind::kFileDialog:
      break;
  }
  if (numeric && number >= 1 && static_cast<std::size_t>(number) <= offeredFiles_.size()) {
    return L"file " + offeredFiles_[static_cast<std::size_t>(number) - 1];
  }
  return text.empty() ? text : L"file " + text;
}

std::optional<std::wstring> ConsoleFrontend::NextAnswer(const Prompt& prompt) {
  if (prompt.kind == Prompt::Kind::kMessageBox)
    DrawMessageBox(prompt);
  if (prompt.kind == Prompt::Kind::kFileDialog) {
    offeredFiles_ = ListFiles(prompt.text);
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
      out_ << "> " << ToUtf8(Printable(line)) << "\n";
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
    Abort(L"script line " + std::to_wstring(scriptLine_) + L": '" + Printable(answer) +
          L"' does not answer the " + prompt.Describe() + L": " + why);
    return;
  }
  out_ << "  ? " << ToUtf8(why) << " (answer with a number, a label, Enter, or cancel)\n";
  out_.flush();
}

int ConsoleFrontend::GetOpenFileName(ui::WindowId owner, const std::wstring& filter,
                                     std::wstring& path) {
  const int result = ModelFrontend::GetOpenFileName(owner, filter, path);
  if (result != ui::IDOK)
    return result;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (path.front() != L'\\')
    path.insert(0, 1, L'\\');
  return result;
}

}  // namespace platform::console
