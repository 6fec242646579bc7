#pragma once

#include <map>
#include <string>

#include "platform/ui/framework.h"

namespace resources {

std::map<platform::ui::UINT, std::wstring> StringTable();

}  // namespace resources
