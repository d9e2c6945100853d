// Helpers of the system commands, exposed for their tests.
#pragma once

#include <string>
#include <vector>

namespace TAVELOR {

// Splits a Windows command line into arguments: blanks and tabs separate, double quotes
// group, and 2n backslashes before a quote give n backslashes (2n+1 give n and a literal
// quote); the program name ends at its closing quote or the first blank.
std::vector<std::string> SplitWindowsCommandLine(const char* line);

// The dialog program's arguments for FILEREQUEST_Str. program is "zenity" or "kdialog";
// filter is the "description|patterns|..." list (patterns separated by ';').
std::vector<std::string> FileDialogArguments(const std::string& program, bool open, const std::string& filter,
                                             const std::string& startDir);

// The machine identifier of PLATFORMINFO_Str("ID") made from the text of a machine-id file
// (hexadecimal digits; anything else gives the fixed start value).
std::string MachineIdentifier(const std::string& machineIdText);

}  // namespace TAVELOR
