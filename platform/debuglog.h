// The debug log: one wide format line per call, written exactly as formatted.
#pragma once

#include <string_view>

#include "platform/text/format.h"

namespace platform {

class DebugLog {
 public:
  virtual ~DebugLog() = default;

  // Writes the text as it stands; line ends are the caller's.
  virtual void Print(std::wstring_view text) = 0;
};

template <class... Args>
void NKDbgPrintfW(DebugLog& log, const wchar_t* format, const Args&... args) {
  log.Print(FormatW(format, args...));
}

}  // namespace platform
