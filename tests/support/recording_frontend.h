// A front end for tests: writes down what was shown, in order, and takes its answers (in the
// answer commands: click, check, file, cancel) from a queue.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/model/model_frontend.h"
#include "platform/text/format.h"

namespace fakes {

class RecordingFrontend final : public platform::ui::ModelFrontend {
 public:
  explicit RecordingFrontend(std::deque<std::wstring> queue = {}) : answers(std::move(queue)) {}

  // "show 102 [1:OK] [2:Cancel] [1004:Are you sure ???]" (a radio button's check as "*", a
  // progress bar's position as "=N", a hidden control as "-"), "change ..." as shown,
  // "message Caption|Text|0x1", "file Filter", "destroy 129".
  std::vector<std::wstring> shown;
  // For each wait, what waits and the window it belongs to: "dialog 132, owner 102 disabled",
  // "message box, owner 132 disabled", "file dialog, no owner" (a waiting dialog that takes no
  // answers itself: "dialog 102 disabled, no owner").
  std::vector<std::wstring> owners;
  std::deque<std::wstring> answers;
  std::wstring fallback;        // the answer once the queue is empty, when not empty itself
  bool refuseModeless = false;  // no modeless window can be made

  platform::ui::WindowId CreateModeless(const platform::ui::DialogTemplate& dialog,
                                        platform::ui::DialogEvents& events) override {
    return refuseModeless ? platform::kNullHandle : ModelFrontend::CreateModeless(dialog, events);
  }

 protected:
  std::optional<std::wstring> NextAnswer(const Prompt& prompt) override {
    const auto named = [](const Window& window) {
      return std::to_wstring(window.source->id) + (window.enabled ? L"" : L" disabled");
    };
    const std::wstring waiting = prompt.kind == Prompt::Kind::kDialog
                                     ? L"dialog " + named(*prompt.window)
                                 : prompt.kind == Prompt::Kind::kMessageBox ? L"message box"
                                                                            : L"file dialog";
    owners.push_back(waiting + (prompt.owner ? L", owner " + named(*prompt.owner) : L", no owner"));
    if (prompt.kind == Prompt::Kind::kMessageBox) {
      shown.push_back(L"message " + prompt.caption + L"|" + prompt.text + L"|" +
                      platform::FormatW(L"0x%X", prompt.type));
    } else if (prompt.kind == Prompt::Kind::kFileDialog) {
      shown.push_back(L"file " + prompt.text);
    }
    if (answers.empty())
      return fallback.empty() ? std::nullopt : std::make_optional(fallback);
    std::wstring answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Shown(const Window& window) override { shown.push_back(L"show " + Snapshot(window)); }
  void Changed(const Window& window) override { shown.push_back(L"change " + Snapshot(window)); }
  void Destroyed(const Window& window) override {
    shown.push_back(L"destroy " + std::to_wstring(window.source->id));
  }

 private:
  static std::wstring Snapshot(const Window& window) {
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
};

}  // namespace fakes
