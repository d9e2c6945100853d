// What the runtime needs from the operating system: the window and its OpenGL context, window
// messages, the clock, the process and message boxes. The rest of the seam is named by role
// the same way: files.h (files, directories, programs), audio.h (the sound device), video.h
// (movie decoding), input.h (keyboard, mouse, joysticks) and memory.h. Each is declarations
// only; the backends are the .cpp files beside them, named for what they are written on
// (platform_sdl.cpp, input_sdl.cpp, audio_sdl.cpp, files_posix.cpp, video_ffmpeg.cpp).
// Code outside this folder includes these headers only, never SDL or system headers, with
// one exception: net/nl/ is the POSIX socket backend of the network sessions and calls the
// socket API itself.
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
