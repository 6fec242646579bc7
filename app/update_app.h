// The application: one run of the main dialog, then the end.
#pragma once

#include "app/services.h"
#include "platform/ui.h"

namespace app {

class CUpdateApp {
 public:
  CUpdateApp(const platform::ui::UiContext& ui, Services& services)
      : ui_(ui), services_(services) {}

  // Runs the main dialog modally; always false, so that no message loop of its own follows.
  bool InitInstance();

 private:
  const platform::ui::UiContext& ui_;
  Services& services_;
};

}  // namespace app
