#include "tests/support/recording_frontend.h"

#include <cstdio>

namespace fakes {

using platform::ui::ControlKind;

std::wstring RecordingFrontend::Snapshot(const Window& window) {
  std::wstring text = std::to_wstring(window.source->id);
  for (const Control& control : window.controls) {
    text += L" [" + std::to_wstring(control.source->id) + L":" + control.text;
    if (control.checked)
      text += L"*";
    if (control.source->kind == ControlKind::kProgressBar)
      text += L"=" + std::to_wstring(control.position);
    if (!control.visible)
      text += L"-";
    text += L"]";
  }
  return text;
}

namespace {

std::wstring Named(const platform::ui::ModelFrontend::Window& window) {
  return std::to_wstring(window.source->id) + (window.enabled ? L"" : L" disabled");
}

}  // namespace

std::optional<std::wstring> RecordingFrontend::NextAnswer(const Prompt& prompt) {
  const std::wstring waiting = prompt.kind == Prompt::Kind::kDialog
                                   ? L"dialog " + Named(*prompt.window)
                               : prompt.kind == Prompt::Kind::kMessageBox ? L"message box"
                                                                          : L"file dialog";
  owners.push_back(waiting + (prompt.owner ? L", owner " + Named(*prompt.owner) : L", no owner"));
  if (prompt.kind == Prompt::Kind::kMessageBox) {
    wchar_t type[16];
    std::swprintf(type, 16, L"0x%X", prompt.type);
    shown.push_back(L"message " + prompt.caption + L"|" + prompt.text + L"|" + type);
  } else if (prompt.kind == Prompt::Kind::kFileDialog) {
    shown.push_back(L"file " + prompt.text);
  }
  if (answers.empty())
    return fallback.empty() ? std::nullopt : std::optional<std::wstring>(fallback);
  std::wstring answer = answers.front();
  answers.pop_front();
  return answer;
}

platform::ui::WindowId RecordingFrontend::CreateModeless(const platform::ui::DialogTemplate& dialog,
                                                         platform::ui::DialogEvents& events) {
  return refuseModeless ? platform::kNullHandle : ModelFrontend::CreateModeless(dialog, events);
}

void RecordingFrontend::Shown(const Window& window) {
  shown.push_back(L"show " + Snapshot(window));
}

void RecordingFrontend::Changed(const Window& window) {
  shown.push_back(L"change " + Snapshot(window));
}

void RecordingFrontend::Destroyed(const Window& window) {
  shown.push_back(L"destroy " + std::to_wstring(window.source->id));
}

}  // namespace fakes
