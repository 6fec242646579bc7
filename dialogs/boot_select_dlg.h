// Which operating-system image the boot loader starts next.
#pragma once

#include "bootcfg/boot_config.h"
#include "platform/ui/framework.h"

namespace dialogs {

class CBootSelectDlg : public platform::ui::CDialog {
 public:
  CBootSelectDlg(const platform::ui::UiContext& ui, bootcfg::BootConfig& bootConfig);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  bootcfg::BootConfig& bootConfig_;
};

}  // namespace dialogs
