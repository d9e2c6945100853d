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
