// tavelor-pack: the command-line entry.
#include "PackCommands.h"

int main(int argc, char** argv) { return RunPackCommand(std::vector<std::string>(argv + 1, argv + argc)); }
