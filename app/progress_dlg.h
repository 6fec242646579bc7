// The update run's window: switches the power timeouts off, shows the waiting text (and, for
// an operating-system image, the progress bar), runs the writer, and puts everything back.
#pragma once

#include "app/services.h"
#include "platform/ui/framework.h"
#include "power/power_timeouts.h"
#include "writers/progress.h"
#include "writers/user_questions.h"

namespace app {

class CProgressDlg : public platform::ui::CDialog,
                     public writers::Progress,
                     public writers::UserQuestions {
 public:
  CProgressDlg(platform::ui::UiContext& ui, Services& services, platform::Handle imageFile);

  // Runs the writer for the target: the boot loader when bootLoader is set, else the rescue
  // image when rescue is non-zero, else the main image. The writer's result, or false when the
  // timeouts cannot be read or kept safe (then nothing is done at all). Timeouts that an
  // interrupted update left switched off are left alone.
  virtual bool RunFlash(std::int32_t bootLoader, std::int32_t rescue);

  void InitProgress(int total) override;
  void UpdateProgress(int block) override;
  void Repaint() override;

  // The writers' questions, in the confirmation dialog, and their message boxes.
  bool GoOnWithout(Block block) override;
  bool GoOnDespite(Doubt doubt) override;
  void Tell(const std::wstring& text) override;

 protected:
  void DoDataExchange() override;
  bool OnInitDialog() override;
  // The window has no buttons: neither Enter nor Escape nor closing it ends it.
  void OnOK() override {}
  void OnCancel() override {}

 private:
  // Saves the timeouts where a power cut keeps them, then switches them off; false when they
  // cannot be read or kept.
  bool SwitchTimeoutsOff();
  void ShowProgress(std::int32_t bootLoader);
  bool Write(std::int32_t bootLoader, std::int32_t rescue);

  Services& services_;
  platform::ui::CStatic m_stcText;
  platform::ui::CProgressCtrl m_progress;
  int m_nTotalBlocks = 0;
  platform::Handle m_hImageFile;
  power::PowerTimeouts m_savedTimeouts;
};

}  // namespace app
