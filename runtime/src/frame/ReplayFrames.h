// Where the frame pump tells the session source (platform/replay.h) that a frame is shown or
// the program ends, with the checksum of the picture when the source asks for one.
#pragma once

#include <cstdint>

namespace TAVELOR {

// Start-up, once the window and OpenGL context exist.
void ReplayBegin();
// SHOWSCREEN, before the back buffer is shown.
void ReplayFrameShown();
// The program ends: the picture the program left in the back buffer.
void ReplayProgramEnds();
// Checksum of the back buffer's colour (red, green and blue of every pixel).
std::uint64_t BackBufferChecksum();

}  // namespace TAVELOR
