// The application: one run of the main dialog, then the end. It runs once per device: a second
// start while one runs, or one that cannot tell, tells the user why and ends at once. It first
// puts back the power timeouts that an interrupted run left switched off.
#pragma once

#include "app/services.h"
#include "platform/ui/framework.h"

namespace app {

class CUpdateApp {
 public:
  CUpdateApp(platform::ui::UiContext& ui, Services& services) : ui_(ui), services_(services) {}

  // Runs the main dialog modally; always false, so that no message loop of its own follows.
  bool InitInstance();

  // Whether InitInstance did nothing, as another instance runs or may run.
  bool refused() const { return refused_; }

 private:
  platform::ui::UiContext& ui_;
  Services& services_;
  bool refused_ = false;
};

}  // namespace app
