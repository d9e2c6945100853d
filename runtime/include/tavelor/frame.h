// The runtime frame: settings, start-up and shut-down, the frame pump and timing, the error
// log and the debug channel.
#pragma once

#include <tavelor/dgstr.h>
#include <tavelor/wintypes.h>

namespace TAVELOR {

// ---- Settings, written by the process entry before __GlobalInit -----------------------
extern int __DG_RESX;
extern int __DG_RESY;
extern int __DG_FULLSCREEN;
extern int __DG_FRAMERATE;
extern int __DG_DEBUG;
extern int __DG_WANTMOUSE;

// ---- Runtime state ----------------------------------------------------------------------
extern DGStr __g_cmdline;
extern DGStr __g_Caption;
extern HWND __hWnd;
extern HINSTANCE __hInstance;
extern double __g_FirstTime;
extern double __g_LastTime;
extern double __g_ThisTime;
extern bool __g_paused;
extern int __nCurFont;

// ---- Debug channel ------------------------------------------------------------------------
extern double __g_debugline;
extern double __g_errorline;
extern double __g_error;
extern double __g_debugfile;

// ---- Start-up and shut-down -----------------------------------------------------------------
// Creates the window, the engines and the start state. Always returns 0.
int __GlobalInit(HINSTANCE instance, HINSTANCE previous, char* cmdline, int show, const char* caption);
LRESULT __WndProc_(HWND window, unsigned int message, unsigned int wParam, long lParam);
// Releases every engine and device and exits the process with code 0.
[[noreturn]] void __EndProgram();
// The language's END: a normal end of the program.
[[noreturn]] double END();

// The command line as the runtime keeps it: the arguments after the program name, joined by
// blanks; an argument holding a blank or a quote is quoted.
DGStr JoinCommandLine(int argc, char** argv);

// The settings a process entry writes before start-up; the defaults are the usual ones.
struct GameSettings {
  int width = 640;                  // __DG_RESX: client area and display, pixels
  int height = 480;                 // __DG_RESY
  bool windowed = true;             // !__DG_FULLSCREEN
  int frameRate = 60;               // __DG_FRAMERATE: frames per second at most
  const char* caption = "Tavelor";  // the window caption; null counts as ""
  bool wantMouse = true;            // __DG_WANTMOUSE: the input engine takes the mouse
  bool debug = false;               // __DG_DEBUG
};

// The whole process entry in one call, for main():
//   int main(int argc, char** argv) {
//     TAVELOR::RunGame(argc, argv, {.width = 800, .height = 600, .caption = "My Game"},
//                      __TAVELOR__::__MainGameSub_);
//   }
// Writes the settings into the __DG_ globals, keeps the command line (JoinCommandLine) in
// __g_cmdline, starts the runtime (__GlobalInit with the caption), clears the debug channel,
// runs game and, when it returns, ends the program with __EndProgram (exit code 0). A null
// game ends the program right after start-up.
[[noreturn]] void RunGame(int argc, char** argv, const GameSettings& settings, void (*game)());

// ---- Frame pump and timing -------------------------------------------------------------------
void SHOWSCREEN();
void HIBERNATE();
void LIMITFPS(double fps);
double GETTIMER();
double GETTIMERALL();

// ---- Error log and debug channel ---------------------------------------------------------------
double __Error(double code);
void __dLn(double file, double line);
void __PauseAndDebug(void* position);

}  // namespace TAVELOR

namespace __TAVELOR__ {
// The game's main function; never returns.
void __MainGameSub_();
}  // namespace __TAVELOR__
