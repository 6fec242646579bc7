// How a writer reports a package the device refuses: its own line for each verdict.
#pragma once

#include "package/package_check.h"
#include "platform/debuglog.h"

namespace writers {

struct RefusalLine {
  package::Verdict verdict;
  const wchar_t* line;
  enum class Number { kNone, kLastError, kPosition, kBlock } number;  // what fills the %d
};

// Logs the line that lines gives for the check's verdict; nothing when it gives none.
template <std::size_t N>
void ReportRefusal(platform::DebugLog& log, const RefusalLine (&lines)[N],
                   const package::PackageCheck& check) {
  for (const RefusalLine& entry : lines) {
    if (entry.verdict != check.verdict)
      continue;
    switch (entry.number) {
      case RefusalLine::Number::kNone:
        platform::NKDbgPrintfW(log, entry.line);
        return;
      case RefusalLine::Number::kLastError:
        platform::NKDbgPrintfW(log, entry.line, platform::GetLastError());
        return;
      case RefusalLine::Number::kPosition:
        platform::NKDbgPrintfW(log, entry.line, check.position);
        return;
      case RefusalLine::Number::kBlock:
        platform::NKDbgPrintfW(log, entry.line, check.block);
        return;
    }
  }
}

}  // namespace writers
