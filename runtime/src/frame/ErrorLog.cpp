// The error log "ErrorLog.txt" and the debug channel.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <tavelor/frame.h>

#include "frame/ErrorLog.h"
#include "frame/Runtime.h"
#include "platform/platform.h"

namespace TAVELOR {

double __g_debugline = 0;
double __g_errorline = 0;
double __g_error = 0;
double __g_debugfile = 0;

DGStr ErrorLogPath() {
  std::string path = platform::TempDir() + "ErrorLog.txt";
  return DGStr(path.c_str());
}

void AppendErrorLog(const char* text) {
  if (!text) text = "null";
  std::string line(text);
  line += "\r\n";
  // The temporary directory is shared with other users: never follow a symbolic link, and
  // write only to a plain file of our own. The first failure is told on standard error.
  static bool told = false;
  if (!platform::AppendToFile(ErrorLogPath().c_str(), line.data(), line.size()) && !told) {
    told = true;
    platform::DebugOutput((std::string("Cannot write the error log ") + ErrorLogPath().c_str()).c_str());
  }
}

double __Error(double code) {
  __g_error = code;
  __g_errorline = __g_debugline;
  return code;
}

void __dLn(double file, double line) {
  __g_debugfile = file;
  __g_debugline = line;
}

std::string DebuggerRequestText(const void* position) {
  char text[32];
  std::snprintf(text, sizeof text, "BP%x", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(position)));
  return text;
}

void __PauseAndDebug(void* position) {
  if (!platform::DebuggerAttached()) return;
  platform::ShowWindow(__hWnd, false);
  platform::DebugOutput(DebuggerRequestText(position).c_str());
  platform::DebugBreak();
  platform::ShowWindow(__hWnd, true);
  platform::RaiseWindow(__hWnd);
  __g_paused = false;
  PollInputForFrame();
}

std::string FormatPercentG(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", value);
  // Windows writes at least three exponent digits: 1.23457e+06 becomes 1.23457e+006.
  std::string s(buf);
  std::size_t e = s.find_first_of("eE");
  if (e != std::string::npos && e + 2 < s.size()) {
    std::string digits = s.substr(e + 2);
    while (digits.size() < 3) digits.insert(digits.begin(), '0');
    s = s.substr(0, e + 2) + digits;
  }
  return s;
}

void WriteEndReport() {
  AppendErrorLog("-End On Line");
  AppendErrorLog(FormatPercentG(__g_error).c_str());
  AppendErrorLog(FormatPercentG(__g_errorline - 1).c_str());
  AppendErrorLog(FormatPercentG(__g_debugline).c_str());
  AppendErrorLog(FormatPercentG(__g_debugfile).c_str());
}

}  // namespace TAVELOR
