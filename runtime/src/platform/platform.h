// What the runtime needs from the operating system. This folder holds the only code that
// includes SDL or POSIX system headers; everything else goes through these functions.
#pragma once

#include <cstdint>
#include <string>

namespace TAVELOR::platform {

// ---- Window and OpenGL ---------------------------------------------------------------
using WindowHandle = void*;

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bits = 0;
};

// Starts the video and event subsystems once; false when no display can be had.
bool VideoInit();
DisplayMode GetDesktopMode();

// Creates a hidden, non-resizable window with an OpenGL-capable client area of exactly
// width x height pixels at (x, y). Null on failure.
WindowHandle CreateWindow(const char* title, int x, int y, int width, int height);
void DestroyWindow(WindowHandle window);
void SetWindowCaption(WindowHandle window, const char* caption);
std::string GetWindowCaption(WindowHandle window);
void ShowWindow(WindowHandle window, bool visible);
bool IsWindowVisible(WindowHandle window);
void RaiseWindow(WindowHandle window);
void SetWindowPosition(WindowHandle window, int x, int y);
void GetWindowPosition(WindowHandle window, int* x, int* y);
void SetWindowClientSize(WindowHandle window, int width, int height);
void GetWindowClientSize(WindowHandle window, int* width, int* height);
// Switches the display to width x height (and bits when non-zero) and makes the window
// cover it. False when the mode cannot be set; the window is then left as it was.
bool EnterFullscreen(WindowHandle window, int width, int height, int bits);
void LeaveFullscreen(WindowHandle window);

// A compatibility-profile context, RGBA, double buffered, 24-bit depth, no vsync.
bool CreateGLContext(WindowHandle window);
void DeleteGLContext();
bool HasGLContext();
void SwapWindow(WindowHandle window);
void* GetGLProcAddress(const char* name);

// ---- Messages --------------------------------------------------------------------------
// Window-system events translated into the window messages of the runtime's window
// procedure.
struct Message {
  unsigned int message = 0;
  unsigned int wParam = 0;
  long lParam = 0;
};
// Takes one pending message; false when none is waiting.
bool PeekMessage(Message* out);
// Queues focus changes as if the window system had sent them (used by tests and tools).
void PushFocusEvent(WindowHandle window, bool gained);
void PushCloseEvent(WindowHandle window);
// Queues a key press or release of a DirectInput key code, as if typed.
void PushKeyEvent(WindowHandle window, int keyCode, bool down);

// ---- Keyboard ----------------------------------------------------------------------------
// Fills 256 bytes indexed by DirectInput key code (PC set-1 scan codes, 0x80 = down). A key
// pressed and released since the last ClearKeyTaps still reads as down, so a short tap
// between two frames is not lost.
void GetKeyboardState(unsigned char state[256]);
// Forgets the taps seen so far (the frame pump calls it after its keyboard poll).
void ClearKeyTaps();
// The DirectInput key code of an SDL scancode number, 0 when it has none.
int ScancodeToKeyCode(int scancode);

// Whether SDL's events are running, so the keyboard can be read at all.
bool KeyboardAvailable();
// The character the key with that DirectInput key code gives under the current keyboard
// layout without Shift, 0 when it gives none.
int KeyCodeChar(int keyCode);

// ---- Mouse -------------------------------------------------------------------------------
// Whether the video driver has a pointer at all (the offscreen driver has none).
bool HasPointer();
// On: the game owns the mouse (relative motion, pointer hidden and held in the window).
// Off: the system pointer is shown and moves freely. False when the window system refuses.
bool SetRelativeMouse(bool on);
// Moves the pointer to client position (x, y) of the window.
void WarpMouse(WindowHandle window, int x, int y);
// From now on relative mouse mode and the joystick start fail as on a window system or
// machine without them (for checking the fallbacks); false, false restores normal service.
void RefuseDevices(bool relativeMouse, bool joysticks);

struct MouseSample {
  int dx = 0, dy = 0;  // relative motion summed since the last read that took it
  int wheel = 0;       // wheel notches summed likewise, up positive
  int x = 0, y = 0;    // the pointer's position in the window's client area
  bool buttons[3] = {};  // left, right, middle: down now or pressed since the last read
};
// Reads the mouse. Motion and wheel are handed over (and cleared) only when takeMotion is
// set; otherwise they stay for the next read that takes them.
void ReadMouse(WindowHandle window, bool takeMotion, MouseSample* out);
// Forgets the presses no read has taken yet (the frame pump calls it at each frame's end, just
// before it takes the waiting events): a press is reported by the next read of the frame that
// follows it, or never.
void DropMouseTaps();

// ---- Joysticks ------------------------------------------------------------------------------
constexpr int kMaxJoysticks = 10;
// Starts the joystick and force-feedback subsystems; false when joysticks cannot be had.
bool JoystickInit();
void JoystickShutdown();
// Opens joysticks attached since the last call and drops the removed ones (at most ten are
// kept, in the order they came); returns how many are kept.
int JoystickSync();
// "instance, product" as the device reports them; "" for an index not kept.
std::string JoystickName(int index);

struct JoystickSample {
  int axes[6] = {};                 // x, y, z, x/y/z rotation as the device reports them (-32768..32767)
  std::uint32_t pov = 0xFFFFFFFFu;  // hat 0 in hundredths of degrees clockwise from up; all ones centred
  bool buttons[32] = {};
};
// False for an index not kept.
bool ReadJoystick(int index, JoystickSample* out);
// Plays a constant force: direction (dirX, dirY) in -32767..32767, magnitude 0..10000, for
// that many milliseconds, iterations times. Uses the device's haptic constant effect, else
// its rumble (played once). False when the device has neither.
bool PlayForce(int index, int iterations, double milliseconds, int dirX, int dirY, int magnitude);

// ---- Clock ----------------------------------------------------------------------------
std::uint64_t PerformanceCounter();
std::uint64_t PerformanceFrequency();
std::uint32_t TickCount();  // milliseconds since the clock started
void SleepMs(double milliseconds);

// ---- Process and files ------------------------------------------------------------------
std::string TempDir();       // TMPDIR or /tmp, always ending in '/'
std::string ModulePath();    // the executable's full path
std::string CurrentDir();
bool SetCurrentDir(const char* path);
bool RemoveFile(const char* path);
// Opens path for appending without following a symbolic link at the last component, and
// writes the bytes. Only a regular file with a single link, owned by this process's user, is
// written (created if missing); anything else (a FIFO, a device, a hard link to another
// file) is left alone. Never blocks on opening. False when nothing was written.
bool AppendToFile(const char* path, const char* bytes, std::size_t length);

// A modal message box with an exclamation icon. Returns at once where there is no display.
void MessageBox(const char* caption, const char* text);

// True when a debugger (a tracer) is attached to the process.
bool DebuggerAttached();
// Hands control to the attached debugger.
void DebugBreak();
// Writes a line to standard error.
void DebugOutput(const char* text);

}  // namespace TAVELOR::platform
