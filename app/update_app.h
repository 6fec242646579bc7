// The application: one run of the main dialog, then the end. It runs once per device: a second
// start while one runs tells the user why and ends at once.
#pragma once

#include "app/services.h"
#include "platform/ui/framework.h"

namespace app {

class CUpdateApp {
 public:
  CUpdateApp(const platform::ui::UiContext& ui, Services& services)
      : ui_(ui), services_(services) {}

  // Runs the main dialog modally; always false, so that no message loop of its own follows.
  bool InitInstance();

  // Whether InitInstance found another instance running and so did nothing.
  bool anotherInstance() const { return anotherInstance_; }

 private:
  const platform::ui::UiContext& ui_;
  Services& services_;
  bool anotherInstance_ = false;
};

}  // namespace app
