// System commands: FILEREQUEST_Str, SHELLCMD, GETCOMMANDLINE_Str, PLATFORMINFO_Str.
#include "storage/SystemCommands.h"

#include <cstdint>
#include <cstdio>
#include <fstream>

#include <tavelor/frame.h>
#include <tavelor/storage.h>

#include "display/OpenGLLumenar.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "storage/WindowsPath.h"

namespace TAVELOR {

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string Trim(const std::string& s) {
  std::size_t a = 0, b = s.size();
  while (a < b && Blank(s[a])) ++a;
  while (b > a && Blank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

// Identifier parts; any fixed values do, as long as they stay the same between runs.
constexpr std::uint32_t kIdStart = 0x5EED1234u;
constexpr std::uint32_t kIdMask = 0x7A5E10C4u;

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(const char* line) {
  std::vector<std::string> args;
  if (!line) return args;
  const std::string s = line;
  std::size_t i = 0;
  while (i < s.size() && Blank(s[i])) ++i;
  if (i >= s.size()) return args;
  // The program name takes no escapes.
  std::string program;
  if (s[i] == '"') {
    ++i;
    while (i < s.size() && s[i] != '"') program += s[i++];
    if (i < s.size()) ++i;
  } else {
    while (i < s.size() && !Blank(s[i])) program += s[i++];
  }
  args.push_back(program);
  for (;;) {
    while (i < s.size() && Blank(s[i])) ++i;
    if (i >= s.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < s.size() && (quoted || !Blank(s[i]))) {
      std::size_t slashes = 0;
      while (i < s.size() && s[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < s.size() && s[i] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2) {
          arg += '"';
        } else if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
          arg += '"';  // "" inside quotes is one quote
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, '\\');
        if (i < s.size() && (quoted || !Blank(s[i]))) arg += s[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::vector<std::string> FileDialogArguments(const std::string& program, bool open, const std::string& filter,
                                             const std::string& startDir) {
  std::vector<std::pair<std::string, std::string>> filters;  // description, blank-separated patterns
  std::vector<std::string> parts = Split(filter, '|');
  for (std::size_t k = 0; k + 1 < parts.size(); k += 2) {
    std::string patterns;
    for (const std::string& p : Split(parts[k + 1], ';')) {
      std::string t = Trim(p);
      if (t.empty()) continue;
      if (!patterns.empty()) patterns += ' ';
      patterns += t;
    }
    if (patterns.empty()) continue;
    std::string desc = Trim(parts[k]);
    filters.emplace_back(desc.empty() ? patterns : desc, patterns);
  }
  std::string dir = startDir;
  if (dir.empty() || dir.back() != '/') dir += '/';
  std::vector<std::string> args{program};
  if (program == "kdialog") {
    args.push_back(open ? "--getopenfilename" : "--getsavefilename");
    args.push_back(dir);
    std::string list;
    for (const auto& f : filters) {
      if (!list.empty()) list += '\n';
      list += f.second + "|" + f.first;
    }
    if (!list.empty()) args.push_back(list);
    return args;
  }
  args.push_back("--file-selection");
  if (!open) {
    args.push_back("--save");
    args.push_back("--confirm-overwrite");
  }
  args.push_back("--filename=" + dir);
  for (const auto& f : filters) args.push_back("--file-filter=" + f.first + " | " + f.second);
  return args;
}

std::string MachineIdentifier(const std::string& text) {
  std::uint32_t id = kIdStart;
  std::uint8_t bytes[16] = {};
  int digits = 0;
  for (char c : text) {
    int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (v < 0) continue;
    if (digits < 32) bytes[digits / 2] = static_cast<std::uint8_t>(bytes[digits / 2] << 4 | v);
    ++digits;
  }
  if (digits >= 32) {
    id = 0;
    for (int w = 0; w < 4; ++w) {
      id ^= static_cast<std::uint32_t>(bytes[w * 4]) | static_cast<std::uint32_t>(bytes[w * 4 + 1]) << 8 |
            static_cast<std::uint32_t>(bytes[w * 4 + 2]) << 16 | static_cast<std::uint32_t>(bytes[w * 4 + 3]) << 24;
    }
  }
  id ^= kIdMask;
  // Least significant byte first.
  char out[9];
  std::snprintf(out, sizeof out, "%02X%02X%02X%02X", id & 0xFF, (id >> 8) & 0xFF, (id >> 16) & 0xFF, id >> 24);
  return out;
}

DGStr FILEREQUEST_Str(double open, DGStr filter) {
  const char* program = platform::ProgramAvailable("zenity")    ? "zenity"
                        : platform::ProgramAvailable("kdialog") ? "kdialog"
                                                                : nullptr;
  if (!program) return DGStr("NO_FILE");
  const std::string startDir = platform::CurrentDir();
  const bool window = Lumbo.window != nullptr;
  if (window) Lumbo.HideWindow();
  std::string output;
  int code = 0;
  bool ran = platform::RunAndCapture(FileDialogArguments(program, open != 0, filter.c_str(), startDir), &output, &code);
  platform::SetCurrentDir(startDir.c_str());
  if (window) {
    if (__DG_FULLSCREEN) Lumbo.DoFullscreen();
    else Lumbo.DoWindowed();
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  // Only the first line counts (a dialog never returns more than one file here).
  std::size_t nl = output.find('\n');
  if (nl != std::string::npos) output.resize(nl);
  if (!ran || code != 0 || output.empty()) return DGStr("NO_FILE");
  for (char& c : output) {
    if (c == '\\') c = '/';
  }
  return DGStr(output.c_str());
}

double SHELLCMD(DGStr command, double wait, double show, double& exitcode) {
  (void)show;  // programs open their own windows here; there is no show state to pass on
  exitcode = 0;
  std::vector<std::string> args = SplitWindowsCommandLine(command.c_str());
  if (args.empty()) return 0;
  // A Windows program path ("tools\run.sh") is matched on disk like any other file name.
  if (args[0].find_first_of("/\\") != std::string::npos) {
    std::string found = FindWindowsPath(args[0].c_str(), PathKind::ExistingFile);
    if (!found.empty()) args[0] = found.find('/') == std::string::npos ? "./" + found : found;
  }
  int code = 0;
  if (!platform::SpawnProcess(args, wait != 0, &code)) return 0;
  if (wait != 0) exitcode = code;
  return 1;
}

DGStr GETCOMMANDLINE_Str() { return __g_cmdline; }

DGStr PLATFORMINFO_Str(DGStr key) {
  std::string k = key.c_str();
  for (char& c : k) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (k.empty()) return DGStr("LINUX");
  if (k == "ID") {
    std::string text;
    for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
      std::ifstream in(file);
      if (in && std::getline(in, text) && !text.empty()) break;
    }
    return DGStr(MachineIdentifier(text).c_str());
  }
  return DGStr("NO_DATA");
}

}  // namespace TAVELOR
