// Which operating-system image the boot loader starts next. An image that an update left
// unfinished is chosen only once the user confirmed it.
#pragma once

#include "bootcfg/boot_config.h"
#include "platform/registry.h"
#include "platform/ui/framework.h"

namespace dialogs {

class CBootSelectDlg : public platform::ui::CDialog {
 public:
  // registry: where the images left unfinished are written down.
  CBootSelectDlg(platform::ui::UiContext& ui, bootcfg::BootConfig& bootConfig,
                 platform::Registry& registry);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  bootcfg::BootConfig& bootConfig_;
  platform::Registry& registry_;
};

}  // namespace dialogs
