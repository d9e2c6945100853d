// The runtime's engine objects and the frame's internal helpers.
#pragma once

#include <cstdint>
#include <string>

#include <tavelor/frame.h>

namespace TAVELOR {

class DXInput;
class SFXSound;
class SFXSoundBuffer;
class ZyHawkNetwork;
class ZyShoeBox;

constexpr int kSoundSlots = 128;

extern DXInput* pDXin;
extern SFXSound* pDXsnd;
extern SFXSoundBuffer* DXwav;  // array of kSoundSlots
extern ZyHawkNetwork* pZyNet;
extern ZyShoeBox* __g_ShoeBox_Media;
extern ZyShoeBox* __g_ShoeBox_Data;

// Reads the keyboard and arms the mouse refresh flag: done once per frame.
void PollInputForFrame();
// Whether the mouse reading the last HIBERNATE took had a button down: that reading takes a
// short click's memory, so a wait for a click looks here too.
bool HibernateSawButton();
// Seeds the random number generator (start-up passes the clock).
void SeedRandomFromClock(std::uint32_t seed);
// The end-of-program report of debug builds.
void WriteEndReport();
// "%g" as the Windows C runtime prints it (at least three exponent digits).
std::string FormatPercentG(double value);
// The breakpoint request sent to an attached debugger: "BP" and the position in hex.
std::string DebuggerRequestText(const void* position);
// Top-left corner that centres a window of size res on a screen of size screen.
constexpr int CentredPosition(int screen, int res) { return (screen - res) / 2; }
// The program's directory as start-up derives it from the module file name.
std::string ProgramDirectory(const std::string& modulePath);

}  // namespace TAVELOR
