// Start-up, the window procedure and shut-down.
#include <cstdlib>
#include <string>

#include <tavelor/audio.h>
#include <tavelor/frame.h>
#include <tavelor/graphics2d.h>
#include <tavelor/storage.h>

#include "audio/SFXSound.h"
#include "audio/Video.h"
#include "display/OpenGLLumenar.h"
#include "frame/ErrorLog.h"
#include "frame/ReplayFrames.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"
#include "net/ZyHawkNetwork.h"
#include "platform/platform.h"
#include "storage/FastFile.h"
#include "storage/ZyShoeBox.h"

namespace TAVELOR {

int __DG_RESX = 640;
int __DG_RESY = 480;
int __DG_FULLSCREEN = 0;
int __DG_FRAMERATE = 60;
int __DG_DEBUG = 0;
int __DG_WANTMOUSE = 1;

namespace {
DGStr MakeRuntimeString() {
  DGStr s;
  s.Alloc(512);
  return s;
}
}  // namespace

DGStr __g_cmdline = MakeRuntimeString();
DGStr __g_Caption = MakeRuntimeString();
HWND __hWnd = nullptr;
HINSTANCE __hInstance = nullptr;
double __g_FirstTime = 0;
double __g_LastTime = 0;
double __g_ThisTime = 0;
bool __g_paused = false;
int __nCurFont = 0;

DXInput* pDXin = nullptr;
SFXSound* pDXsnd = nullptr;
SFXSoundBuffer* DXwav = nullptr;
ZyHawkNetwork* pZyNet = nullptr;
ZyShoeBox* __g_ShoeBox_Media = nullptr;
ZyShoeBox* __g_ShoeBox_Data = nullptr;

std::string ProgramDirectory(const std::string& modulePath) {
  // The last separator at index 1 or beyond ends the directory; without one the whole
  // name is kept.
  for (std::size_t i = modulePath.size(); i >= 1; --i) {
    if (i < modulePath.size() && (modulePath[i] == '/' || modulePath[i] == '\\')) return modulePath.substr(0, i);
  }
  return modulePath;
}

DGStr JoinCommandLine(int argc, char** argv) {
  DGStr line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += " ";
    std::string arg = argv[i] ? argv[i] : "";
    if (arg.find_first_of(" \t\"") != std::string::npos || arg.empty()) {
      std::string quoted = "\"";
      for (char c : arg) {
        if (c == '"') quoted += '\\';
        quoted += c;
      }
      quoted += '"';
      line += quoted.c_str();
    } else {
      line += arg.c_str();
    }
  }
  return line;
}

void RunGame(int argc, char** argv, const GameSettings& settings, void (*game)()) {
  __DG_RESX = settings.width;
  __DG_RESY = settings.height;
  __g_cmdline = JoinCommandLine(argc, argv);
  __DG_FULLSCREEN = settings.windowed ? 0 : 1;
  __DG_FRAMERATE = settings.frameRate;
  __DG_DEBUG = settings.debug ? 1 : 0;
  __DG_WANTMOUSE = settings.wantMouse ? 1 : 0;
  __g_cmdline.Alloc(513);
  __GlobalInit(nullptr, nullptr, __g_cmdline.c_str(), 1, settings.caption ? settings.caption : "");
  __g_errorline = 0;
  __g_error = 0;
  __g_debugline = 0;
  if (game) game();
  __EndProgram();
}

namespace {
// Without a window there is nothing a game can do: say why and stop.
[[noreturn]] void StartupFailed(const char* why) {
  AppendErrorLog(why);
  platform::DebugOutput(why);
  std::exit(1);
}
}  // namespace

int __GlobalInit(HINSTANCE instance, HINSTANCE, char*, int, const char* caption) {
  if (!platform::VideoInit()) StartupFailed("No display available");
  __hInstance = instance;
  platform::DisplayMode screen = platform::GetDesktopMode();
  __hWnd = platform::CreateWindow("Tavelor", CentredPosition(screen.width, __DG_RESX),
                                  CentredPosition(screen.height, __DG_RESY), __DG_RESX, __DG_RESY);
  if (!__hWnd) StartupFailed("Window could not be created");
  platform::ShowWindow(__hWnd, true);
  platform::SetWindowCaption(__hWnd, caption);
  __g_Caption = caption;

  platform::RemoveFile(ErrorLogPath().c_str());

  pDXin = new DXInput;
  pDXsnd = new SFXSound;
  DXwav = new SFXSoundBuffer[kSoundSlots];
  pZyNet = new ZyHawkNetwork;

  Lumbo.Init(__hWnd, __DG_RESX, __DG_RESY, 0, static_cast<unsigned int>(__DG_FRAMERATE));
  ReplayBegin();  // from here on the devices and the clock may be recorded or replayed
  SeedRandomFromClock(static_cast<std::uint32_t>(static_cast<long long>(Lumbo.AccurateTime())));
  if (__DG_FULLSCREEN) Lumbo.DoFullscreen();
  else Lumbo.DoWindowed();
  pDXin->CreateDInput(__hWnd, instance, __DG_WANTMOUSE != 0);
  pDXsnd->Create(__hWnd);
  __nCurFont = 0;

  std::string dir = ProgramDirectory(platform::ModulePath());
  platform::SetCurrentDir(dir.c_str());
  AppendErrorLog("Current Dir");
  AppendErrorLog(dir.c_str());

  __g_ShoeBox_Media = new ZyShoeBox;
  __g_ShoeBox_Data = new ZyShoeBox;
  SETSHOEBOX(dir.c_str(), dir.c_str());
  LOADFONT("smalfont.bmp", 0);

  Lumbo.FlushBatch();
  if (Lumbo.hasContext) glClear(GL_COLOR_BUFFER_BIT);
  Lumbo.FlipScreens();
  Lumbo.Make2DViewport(0, 0, 0, 0);
  __g_paused = false;
  const double now = static_cast<double>(Lumbo.AccurateTime());
  __g_FirstTime = __g_LastTime = __g_ThisTime = now;
  return 0;
}

LRESULT __WndProc_(HWND, unsigned int message, unsigned int wParam, long) {
  switch (message) {
    case WM_CLOSE:
      __EndProgram();
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_SCREENSAVE:
        case SC_MONITORPOWER: return 0;
        case SC_CLOSE: __EndProgram();
        default: return 0;
      }
    case WM_ACTIVATE: {
      if (__DG_DEBUG) return 0;
      unsigned int state = wParam & 0xFFFF;
      if (state == WA_INACTIVE) {
        DGStr text = __g_Caption + " <pause>";
        platform::SetWindowCaption(__hWnd, text.c_str());
        __g_paused = true;
      } else if (state == WA_ACTIVE || state == WA_CLICKACTIVE) {
        platform::SetWindowCaption(__hWnd, __g_Caption.c_str());
        __g_paused = false;
      }
      return 0;
    }
    default:
      // Moves and size changes need no redraw: every frame is drawn whole.
      return 0;
  }
}

void __EndProgram() {
  StopMovie();
  ReplayProgramEnds();
  STOPMUSIC();
  if (__DG_DEBUG) WriteEndReport();
  if (pDXin) delete pDXin;
  if (DXwav) delete[] DXwav;  // destroys the slots from the last to the first
  if (pDXsnd) delete pDXsnd;
  if (pZyNet) {
    pZyNet->Stop();
    pZyNet->LogOffPlayers();
    delete pZyNet;
  }
  FlushLineFiles();
  for (ZyShoeBox* box : {__g_ShoeBox_Media, __g_ShoeBox_Data}) {
    if (box) {
      box->Clear();
      delete box;
    }
  }
  pDXin = nullptr;
  DXwav = nullptr;
  pDXsnd = nullptr;
  pZyNet = nullptr;
  __g_ShoeBox_Media = __g_ShoeBox_Data = nullptr;
  // The GL context goes before its window; the display engine's destructor then finds
  // nothing left to release.
  Lumbo.Shutdown();
  Lumbo.window = nullptr;
  platform::DestroyWindow(__hWnd);
  __hWnd = nullptr;
  std::exit(0);
}

double END() {
  __g_error = 0;
  __g_errorline = __g_debugline;
  __EndProgram();
}

}  // namespace TAVELOR
