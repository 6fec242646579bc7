#include "tests/support/recording_frontend.h"

#include <cstdio>

namespace fakes {

std::wstring RecordingFrontend::Snapshot(const Window& window) {
  std::wstring text = std::to_wstring(window.source->id);
  for (const Control& control : window.controls) {
    text += L" [" + std::to_wstring(control.source->id) + L":" + control.text +
            (control.checked ? L"*" : L"");
    if (control.source->kind == platform::ui::ControlKind::kProgressBar)
      text += L"=" + std::to_wstring(control.position);
    text += control.visible ? L"]" : L"-]";
  }
  return text;
}

std::optional<std::wstring> RecordingFrontend::NextAnswer(const Prompt& prompt) {
  const auto named = [](const Window& window) {
    return std::to_wstring(window.source->id) + (window.enabled ? L"" : L" disabled");
  };
  const std::wstring waiting = prompt.kind == Prompt::Kind::kDialog
                                   ? L"dialog " + named(*prompt.window)
                               : prompt.kind == Prompt::Kind::kMessageBox ? L"message box"
                                                                          : L"file dialog";
  owners.push_back(waiting + (prompt.owner ? L", owner " + named(*prompt.owner) : L", no owner"));
  if (prompt.kind == Prompt::Kind::kMessageBox) {
    wchar_t type[16];
    std::swprintf(type, 16, L"0x%X", prompt.type);
    shown.push_back(L"message " + prompt.caption + L"|" + prompt.text + L"|" + type);
  } else if (prompt.kind == Prompt::Kind::kFileDialog) {
    shown.push_back(L"file " + prompt.text);
  }
  if (answers.empty())
    return fallback.empty() ? std::nullopt : std::make_optional(fallback);
  std::wstring answer = answers.front();
  answers.pop_front();
  return answer;
}

}  // namespace fakes
