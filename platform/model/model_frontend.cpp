#include "platform/model/model_frontend.h"

#include <functional>

#include "platform/text/strings.h"

namespace platform::ui {

namespace {

// The buttons of a message box type, with their results.
std::vector<std::pair<std::wstring, int>> MessageBoxButtons(UINT type) {
  switch (type & 0xF) {
    case kMbOkCancel:
      return {{L"OK", kIdOk}, {L"Cancel", kIdCancel}};
    case kMbYesNo:
      return {{L"Yes", kIdYes}, {L"No", kIdNo}};
    default:
      return {{L"OK", kIdOk}};
  }
}

// Closing a message box gives its Cancel, or its only button.
int ClosedMessageBox(UINT type) {
  const auto buttons = MessageBoxButtons(type);
  for (const auto& [label, result] : buttons) {
    if (result == kIdCancel || result == kIdNo)
      return result;
  }
  return buttons.front().second;
}

}  // namespace

std::optional<int> ParseNumber(const std::wstring& text) {
  if (text.empty() || text.size() > 5)
    return std::nullopt;
  int value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9')
      return std::nullopt;
    value = value * 10 + (c - L'0');
  }
  return value;
}

std::wstring OneLine(std::wstring_view text) {
  constexpr std::size_t kLongest = 60;
  std::wstring line;
  for (const wchar_t c : text.substr(0, kLongest)) {
    const bool lineEnd = c == L'\r' || c == L'\n';
    if (!lineEnd)
      line += c;
    else if (line.empty() || line.back() != L' ')
      line += L' ';
  }
  return text.size() > kLongest ? line + L"\u2026" : line;
}

std::wstring PlainLabel(const std::wstring& text) {
  std::wstring plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size())
      ++i;
    plain += text[i];
  }
  return plain;
}

const ModelFrontend::Control* ModelFrontend::Window::Find(int controlId) const {
  for (const Control& control : controls) {
    if (control.source->id == controlId)
      return &control;
  }
  return nullptr;
}

ModelFrontend::Control* ModelFrontend::Window::Find(int controlId) {
  return const_cast<Control*>(static_cast<const Window*>(this)->Find(controlId));
}

std::wstring ModelFrontend::Window::Describe() const {
  std::wstring text = L"dialog " + std::to_wstring(source->id);
  if (!source->caption.empty())
    text += L" \"" + source->caption + L"\"";
  return text;
}

std::wstring ModelFrontend::Prompt::Describe() const {
  switch (kind) {
    case Kind::kDialog:
      return window->Describe();
    case Kind::kMessageBox:
      return L"message box \"" + OneLine(caption) + L"\" (" + OneLine(text) + L")";
    case Kind::kFileDialog:
      break;
  }
  return L"file dialog (" + OneLine(text) + L")";
}

std::optional<ModelFrontend::Answer> ModelFrontend::Parse(const std::wstring& line) {
  const std::wstring text = TrimSpace(line);
  const auto space = text.find_first_of(L" \t");
  const std::wstring verb = LowerCase(text.substr(0, space));
  const std::wstring argument = space == std::wstring::npos ? L"" : TrimSpace(text.substr(space));
  if (verb == L"cancel" && argument.empty())
    return Answer{Verb::kCancel, {}};
  if (argument.empty())
    return std::nullopt;
  if (verb == L"click")
    return Answer{Verb::kClick, argument};
  if (verb == L"check")
    return Answer{Verb::kCheck, argument};
  if (verb == L"file")
    return Answer{Verb::kFile, argument};
  return std::nullopt;
}

void ModelFrontend::Refuse(const Prompt& prompt, const std::wstring& answer,
                           const std::wstring& why) {
  Abort(L"'" + OneLine(answer) + L"' does not answer the " + prompt.Describe() + L": " + why);
}

std::optional<std::wstring> ModelFrontend::Ask(const Prompt& prompt) {
  std::optional<std::wstring> line = NextAnswer(prompt);
  if (!line)
    Abort(L"no answer left while the " + prompt.Describe() + L" waits");
  return line;
}

void ModelFrontend::Abort(const std::wstring& reason) {
  if (abortReason_.empty())
    abortReason_ = reason;
}

ModelFrontend::DisabledOwner::DisabledOwner(ModelFrontend& frontend, WindowId owner)
    : owner_(frontend.Find(owner)), disabled_(owner_ && owner_->enabled) {
  if (disabled_)
    owner_->enabled = false;
}

void ModelFrontend::DisabledOwner::Release() {
  if (disabled_)
    owner_->enabled = true;
  disabled_ = false;
}

ModelFrontend::Window* ModelFrontend::Find(WindowId window) {
  const auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

bool ModelFrontend::Apply(Window& window, const Answer& answer, std::wstring& why) {
  switch (answer.verb) {
    case Verb::kCancel:
      window.events->HandleCommand(kIdCancel);
      return true;
    case Verb::kFile:
      why = L"no file dialog is open";
      return false;
    case Verb::kClick:
      return Click(window, answer.argument, why);
    case Verb::kCheck:
      break;
  }
  return Check(window, answer.argument, why);
}

ModelFrontend::Control* ModelFrontend::Named(Window& window, ControlKind kind,
                                             const std::wstring& name) {
  const std::optional<int> id = ParseNumber(name);
  for (Control& control : window.controls) {
    if (control.source->kind == kind && control.visible &&
        (id ? control.source->id == *id : LowerCase(PlainLabel(control.text)) == LowerCase(name))) {
      return &control;
    }
  }
  return nullptr;
}

bool ModelFrontend::Click(Window& window, const std::wstring& name, std::wstring& why) {
  if (const Control* button = Named(window, ControlKind::kPushButton, name)) {
    window.events->HandleCommand(button->source->id);
    return true;
  }
  // The caption bar's OK button answers to OK.
  if ((window.source->exStyle & kWsExCaptionOkButton) &&
      (ParseNumber(name) == kIdOk || LowerCase(name) == L"ok")) {
    window.events->HandleCommand(kIdOk);
    return true;
  }
  why = L"it has no such button";
  return false;
}

bool ModelFrontend::Check(Window& window, const std::wstring& name, std::wstring& why) {
  Control* radio = Named(window, ControlKind::kAutoRadioButton, name);
  if (!radio) {
    why = L"it has no such radio button";
    return false;
  }
  // Automatic radio buttons of one group exclude each other.
  for (Control& other : window.controls) {
    if (other.source->kind == ControlKind::kAutoRadioButton)
      other.checked = false;
  }
  radio->checked = true;
  return true;
}

int ModelFrontend::RunModal(WindowId owner, const DialogTemplate& dialog, DialogEvents& events) {
  DisabledOwner disabled(*this, owner);
  const WindowId id = Open(dialog, events, true);
  Window* window = Find(id);
  if (!window->ended)
    ShowWindow(id, kSwShow);
  const Prompt prompt{Prompt::Kind::kDialog, window, disabled.owner(), {}, {}, 0};
  while (!window->ended) {
    const bool answered = AskUntil(prompt, L"not an answer (click, check, file or cancel)",
                                   [&](const Answer& answer, std::wstring& why) -> Decision {
                                     if (!Apply(*window, answer, why))
                                       return std::nullopt;
                                     if (!window->ended && answer.verb == Verb::kCheck)
                                       Changed(*window);
                                     return kIdOk;
                                   })
                              .has_value();
    if (!answered) {
      window->events->HandleCommand(kIdCancel);
      if (!window->ended)
        EndDialog(id, kIdCancel);
    }
  }
  const int result = window->result;
  disabled.Release();
  DestroyWindow(id);
  return result;
}

WindowId ModelFrontend::CreateModeless(const DialogTemplate& dialog, DialogEvents& events) {
  const WindowId id = Open(dialog, events, false);
  if (dialog.style & kWsVisible)
    ShowWindow(id, kSwShow);
  return id;
}

WindowId ModelFrontend::Open(const DialogTemplate& dialog, DialogEvents& events, bool modal) {
  const WindowId id = next_ += 4;
  Window window;
  window.id = id;
  window.source = &dialog;
  window.events = &events;
  window.modal = modal;
  window.visible = false;  // nothing shows before the initialisation is done
  for (const ControlTemplate& control : dialog.controls) {
    Control state;
    state.source = &control;
    state.text = control.text;
    state.visible = (control.style & kWsVisible) != 0;
    window.controls.push_back(state);
  }
  windows_.emplace(id, std::move(window));
  events.HandleInitDialog(id);
  return id;
}

void ModelFrontend::DestroyWindow(WindowId window) {
  if (Window* found = Find(window)) {
    if (found->visible)
      Destroyed(*found);
    windows_.erase(window);
  }
}

void ModelFrontend::EndDialog(WindowId window, int result) {
  if (Window* found = Find(window)) {
    found->ended = true;
    found->result = result;
  }
}

void ModelFrontend::SetItemText(WindowId window, int id, const std::wstring& text) {
  Window* found = Find(window);
  Control* control = found ? found->Find(id) : nullptr;
  if (!control)
    return;
  control->text = text;
  if (found->visible)
    Changed(*found);
}

std::wstring ModelFrontend::GetItemText(WindowId window, int id) {
  const Window* found = Find(window);
  const Control* control = found ? found->Find(id) : nullptr;
  return control ? control->text : std::wstring();
}

void ModelFrontend::ShowItem(WindowId window, int id, int command) {
  Window* found = Find(window);
  Control* control = found ? found->Find(id) : nullptr;
  if (!control)
    return;
  control->visible = command != kSwHide;
  if (found->visible)
    Changed(*found);
}

void ModelFrontend::ShowWindow(WindowId window, int command) {
  Window* found = Find(window);
  if (!found)
    return;
  const bool visible = command != kSwHide;
  if (visible == found->visible)
    return;
  found->visible = visible;
  if (visible)
    Shown(*found);
}

LRESULT ModelFrontend::SendItemMessage(WindowId window, int id, UINT message, WPARAM wParam,
                                       LPARAM /*lParam*/) {
  Window* found = Find(window);
  Control* control = found ? found->Find(id) : nullptr;
  if (!control)
    return 0;
  switch (message) {
    case kBmGetCheck:
      return static_cast<LRESULT>(control->checked ? kBstChecked : kBstUnchecked);
    case kBmSetCheck:
      control->checked = wParam == kBstChecked;
      return 0;
    case kPbmSetStep: {
      const int previous = control->step;
      control->step = static_cast<int>(wParam);
      return previous;
    }
    case kPbmSetPos: {
      const int previous = control->position;
      const auto position = static_cast<int>(wParam);
      control->position = position < 0 ? 0 : position > 100 ? 100 : position;
      return previous;
    }
    default:
      return 0;
  }
}

LRESULT ModelFrontend::SendMessage(WindowId window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* found = Find(window);
  if (!found || message != kWmSetIcon)
    return 0;
  const int previous = found->icon[wParam == kIconBig];
  found->icon[wParam == kIconBig] = static_cast<int>(lParam);
  return previous;
}

void ModelFrontend::CenterWindow(WindowId) {}
void ModelFrontend::SetForegroundWindow(WindowId) {}

void ModelFrontend::UpdateWindow(WindowId window) {
  if (const Window* found = Find(window); found && found->visible)
    Changed(*found);
}

int ModelFrontend::MessageBox(WindowId owner, const std::wstring& text, const std::wstring& caption,
                              UINT type) {
  const DisabledOwner disabled(*this, owner);
  const Prompt prompt{Prompt::Kind::kMessageBox, nullptr, disabled.owner(), text, caption, type};
  return AskUntil(prompt, L"its buttons are not that",
                  [type](const Answer& answer, std::wstring&) -> Decision {
                    if (answer.verb == Verb::kCancel)
                      return ClosedMessageBox(type);
                    const std::optional<int> id = ParseNumber(answer.argument);
                    for (const auto& [label, result] : MessageBoxButtons(type)) {
                      const bool named =
                          id ? *id == result : LowerCase(label) == LowerCase(answer.argument);
                      if (answer.verb == Verb::kClick && named)
                        return result;
                    }
                    return std::nullopt;
                  })
      .value_or(ClosedMessageBox(type));
}

int ModelFrontend::GetOpenFileName(WindowId owner, const std::wstring& filter, std::wstring& path) {
  const DisabledOwner disabled(*this, owner);
  const Prompt prompt{Prompt::Kind::kFileDialog, nullptr, disabled.owner(), filter, {}, 0};
  return AskUntil(prompt, L"give 'file PATH' or 'cancel'",
                  [&path](const Answer& answer, std::wstring&) -> Decision {
                    if (answer.verb == Verb::kFile) {
                      path = answer.argument;
                      return kIdOk;
                    }
                    const bool cancel =
                        answer.verb == Verb::kCancel ||
                        (answer.verb == Verb::kClick && LowerCase(answer.argument) == L"cancel");
                    return cancel ? Decision(kIdCancel) : std::nullopt;
                  })
      .value_or(kIdCancel);
}

ModelFrontend::Decision ModelFrontend::AskUntil(
    const Prompt& prompt, const wchar_t* unfitting,
    const std::function<Decision(const Answer&, std::wstring&)>& decide) {
  while (!aborted()) {
    const std::optional<std::wstring> line = Ask(prompt);
    if (!line)
      break;
    const std::optional<Answer> answer = Parse(*line);
    std::wstring why = unfitting;
    if (answer) {
      if (const Decision decision = decide(*answer, why))
        return decision;
    }
    Refuse(prompt, *line, why);
  }
  return std::nullopt;
}

}  // namespace platform::ui
