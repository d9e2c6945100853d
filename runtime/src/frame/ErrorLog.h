// The error log: "ErrorLog.txt" in the temporary directory, where the runtime notes what failed.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Appends text and "\r\n" to "ErrorLog.txt" in the temporary directory. Failures are ignored.
void AppendErrorLog(const char* text);
// The error log's full path.
DGStr ErrorLogPath();

}  // namespace TAVELOR
