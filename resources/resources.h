// The application's string table, dialog templates and icon: one source for every front end.
#pragma once

#include "platform/ui/framework.h"

namespace resources {

// The string table, the four dialogs and the application's name ("tessaron").
const platform::ui::Resources& AppResources();

// Template 133 as shipped: only "Update Bootloader" and Cancel.
platform::ui::DialogTemplate TargetTemplateBootLoaderOnly();
// Template 133 with the main-image and rescue-image buttons too.
platform::ui::DialogTemplate TargetTemplateAllTargets();

}  // namespace resources
