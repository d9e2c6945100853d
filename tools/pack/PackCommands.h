// tavelor-pack: makes packed media archives for games.
//
//   tavelor-pack create ARCHIVE FILE...      a new archive of the files
//   tavelor-pack append TARGET FILE...       the files packed behind TARGET (e.g. the game's
//                                            executable), offsets counted from the end
//   tavelor-pack list ARCHIVE                the members: name, offset, packed and unpacked size
//   tavelor-pack extract ARCHIVE MEMBER [OUT]  one member unpacked into OUT (default: its name)
//   tavelor-pack --version                   the runtime version it was built with
//
// Members are named by their file names without directories. Exit status 0 on success, 1 on
// any error (with a message on standard error), 2 for a wrong command line.
#pragma once

#include <string>
#include <vector>

// Runs one command line of the tool (without the program name); returns the exit status.
int RunPackCommand(const std::vector<std::string>& args);
