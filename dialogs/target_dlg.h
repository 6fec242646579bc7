// The first question: what to update.
#pragma once

#include "platform/debuglog.h"
#include "platform/ui/framework.h"

namespace dialogs {

class CTargetDlg : public platform::ui::CDialog {
 public:
  CTargetDlg(platform::ui::UiContext& ui, platform::DebugLog& log);

  // After kIdOk: both 0 means the main image; at most one is set.
  std::int32_t m_bRescue = 0;
  std::int32_t m_bBootLoader = 0;

 protected:
  void OnCommand(int id) override;

 private:
  void OnUpdateBootLoader();
  void OnUpdateMainImage();
  void OnUpdateRescueImage();

  platform::DebugLog& log_;
};

}  // namespace dialogs
