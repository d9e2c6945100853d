// The platform layer on SDL2 and POSIX.
#include "platform/platform.h"
#include "platform/input.h"
#include "platform/files.h"
#include "platform/input_sdl.h"
#include "platform/live.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include <tavelor/wintypes.h>

namespace TAVELOR::platform {

namespace {
SDL_GLContext g_context = nullptr;
SDL_Window* g_glWindow = nullptr;
// Keys pressed since the frame's keyboard poll, so a tap between two frames is not lost.
unsigned char g_latched[256] = {};

SDL_Window* Win(WindowHandle w) { return static_cast<SDL_Window*>(w); }

// SDL scancode -> DirectInput key code (PC set-1 scan codes).
struct KeyPair {
  SDL_Scancode sdl;
  unsigned char dik;
};
constexpr KeyPair kKeys[] = {
    {SDL_SCANCODE_ESCAPE, 1},        {SDL_SCANCODE_1, 2},           {SDL_SCANCODE_2, 3},
    {SDL_SCANCODE_3, 4},             {SDL_SCANCODE_4, 5},           {SDL_SCANCODE_5, 6},
    {SDL_SCANCODE_6, 7},             {SDL_SCANCODE_7, 8},           {SDL_SCANCODE_8, 9},
    {SDL_SCANCODE_9, 10},            {SDL_SCANCODE_0, 11},          {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13},       {SDL_SCANCODE_BACKSPACE, 14},  {SDL_SCANCODE_TAB, 15},
    {SDL_SCANCODE_Q, 16},            {SDL_SCANCODE_W, 17},          {SDL_SCANCODE_E, 18},
    {SDL_SCANCODE_R, 19},            {SDL_SCANCODE_T, 20},          {SDL_SCANCODE_Y, 21},
    {SDL_SCANCODE_U, 22},            {SDL_SCANCODE_I, 23},          {SDL_SCANCODE_O, 24},
    {SDL_SCANCODE_P, 25},            {SDL_SCANCODE_LEFTBRACKET, 26}, {SDL_SCANCODE_RIGHTBRACKET, 27},
    {SDL_SCANCODE_RETURN, 28},       {SDL_SCANCODE_LCTRL, 29},      {SDL_SCANCODE_A, 30},
    {SDL_SCANCODE_S, 31},            {SDL_SCANCODE_D, 32},          {SDL_SCANCODE_F, 33},
    {SDL_SCANCODE_G, 34},            {SDL_SCANCODE_H, 35},          {SDL_SCANCODE_J, 36},
    {SDL_SCANCODE_K, 37},            {SDL_SCANCODE_L, 38},          {SDL_SCANCODE_SEMICOLON, 39},
    {SDL_SCANCODE_APOSTROPHE, 40},   {SDL_SCANCODE_GRAVE, 41},      {SDL_SCANCODE_LSHIFT, 42},
    {SDL_SCANCODE_BACKSLASH, 43},    {SDL_SCANCODE_Z, 44},          {SDL_SCANCODE_X, 45},
    {SDL_SCANCODE_C, 46},            {SDL_SCANCODE_V, 47},          {SDL_SCANCODE_B, 48},
    {SDL_SCANCODE_N, 49},            {SDL_SCANCODE_M, 50},          {SDL_SCANCODE_COMMA, 51},
    {SDL_SCANCODE_PERIOD, 52},       {SDL_SCANCODE_SLASH, 53},      {SDL_SCANCODE_RSHIFT, 54},
    {SDL_SCANCODE_KP_MULTIPLY, 55},  {SDL_SCANCODE_LALT, 56},       {SDL_SCANCODE_SPACE, 57},
    {SDL_SCANCODE_CAPSLOCK, 58},     {SDL_SCANCODE_F1, 59},         {SDL_SCANCODE_F2, 60},
    {SDL_SCANCODE_F3, 61},           {SDL_SCANCODE_F4, 62},         {SDL_SCANCODE_F5, 63},
    {SDL_SCANCODE_F6, 64},           {SDL_SCANCODE_F7, 65},         {SDL_SCANCODE_F8, 66},
    {SDL_SCANCODE_F9, 67},           {SDL_SCANCODE_F10, 68},        {SDL_SCANCODE_NUMLOCKCLEAR, 69},
    {SDL_SCANCODE_SCROLLLOCK, 70},   {SDL_SCANCODE_KP_7, 71},       {SDL_SCANCODE_KP_8, 72},
    {SDL_SCANCODE_KP_9, 73},         {SDL_SCANCODE_KP_MINUS, 74},   {SDL_SCANCODE_KP_4, 75},
    {SDL_SCANCODE_KP_5, 76},         {SDL_SCANCODE_KP_6, 77},       {SDL_SCANCODE_KP_PLUS, 78},
    {SDL_SCANCODE_KP_1, 79},         {SDL_SCANCODE_KP_2, 80},       {SDL_SCANCODE_KP_3, 81},
    {SDL_SCANCODE_KP_0, 82},         {SDL_SCANCODE_KP_PERIOD, 83},  {SDL_SCANCODE_NONUSBACKSLASH, 86},
    {SDL_SCANCODE_F11, 87},          {SDL_SCANCODE_F12, 88},        {SDL_SCANCODE_F13, 100},
    {SDL_SCANCODE_F14, 101},         {SDL_SCANCODE_F15, 102},       {SDL_SCANCODE_KP_EQUALS, 141},
    {SDL_SCANCODE_KP_ENTER, 156},    {SDL_SCANCODE_RCTRL, 157},     {SDL_SCANCODE_KP_DIVIDE, 181},
    {SDL_SCANCODE_PRINTSCREEN, 183}, {SDL_SCANCODE_RALT, 184},      {SDL_SCANCODE_PAUSE, 197},
    {SDL_SCANCODE_HOME, 199},        {SDL_SCANCODE_UP, 200},        {SDL_SCANCODE_PAGEUP, 201},
    {SDL_SCANCODE_LEFT, 203},        {SDL_SCANCODE_RIGHT, 205},     {SDL_SCANCODE_END, 207},
    {SDL_SCANCODE_DOWN, 208},        {SDL_SCANCODE_PAGEDOWN, 209},  {SDL_SCANCODE_INSERT, 210},
    {SDL_SCANCODE_DELETE, 211},      {SDL_SCANCODE_LGUI, 219},      {SDL_SCANCODE_RGUI, 220},
    {SDL_SCANCODE_APPLICATION, 221},
};

Uint32 WindowIdOf(WindowHandle w) { return w ? SDL_GetWindowID(Win(w)) : 0; }
}  // namespace

// ---- Window and OpenGL -----------------------------------------------------------------

bool VideoInit() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return false;
  SDL_DisableScreenSaver();
  return true;
}

DisplayMode GetDesktopMode() {
  DisplayMode mode;
  SDL_DisplayMode dm;
  if (VideoInit() && SDL_GetDesktopDisplayMode(0, &dm) == 0) {
    mode.width = dm.w;
    mode.height = dm.h;
    mode.bits = static_cast<int>(SDL_BITSPERPIXEL(dm.format));
    if (mode.bits == 24) mode.bits = 32;  // padded true colour, as the desktop reports it
  }
  return mode;
}

WindowHandle CreateWindow(const char* title, int x, int y, int width, int height) {
  if (!VideoInit()) return nullptr;
  // Keep the OpenGL library loaded for the whole run: destroying the window would otherwise
  // unload the driver at shut-down, just before the process exits anyway.
  static bool glLoaded = SDL_GL_LoadLibrary(nullptr) == 0;
  (void)glLoaded;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_Window* w = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!w) {
    // Some drivers refuse an alpha channel in the window's visual.
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    w = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  }
  return w;
}

void DestroyWindow(WindowHandle window) {
  if (!window) return;
  if (Win(window) == g_glWindow) DeleteGLContext();
  SDL_DestroyWindow(Win(window));
}

void SetWindowCaption(WindowHandle window, const char* caption) {
  if (window) SDL_SetWindowTitle(Win(window), caption ? caption : "");
}

std::string GetWindowCaption(WindowHandle window) {
  return window ? std::string(SDL_GetWindowTitle(Win(window))) : std::string();
}

void ShowWindow(WindowHandle window, bool visible) {
  if (!window) return;
  if (visible) SDL_ShowWindow(Win(window));
  else SDL_HideWindow(Win(window));
}

bool IsWindowVisible(WindowHandle window) {
  return window && (SDL_GetWindowFlags(Win(window)) & SDL_WINDOW_SHOWN) != 0;
}

void RaiseWindow(WindowHandle window) {
  if (window) SDL_RaiseWindow(Win(window));
}

void SetWindowPosition(WindowHandle window, int x, int y) {
  if (window) SDL_SetWindowPosition(Win(window), x, y);
}

void GetWindowPosition(WindowHandle window, int* x, int* y) {
  *x = *y = 0;
  if (window) SDL_GetWindowPosition(Win(window), x, y);
}

void SetWindowClientSize(WindowHandle window, int width, int height) {
  if (window) SDL_SetWindowSize(Win(window), width, height);
}

void GetWindowClientSize(WindowHandle window, int* width, int* height) {
  *width = *height = 0;
  if (window) SDL_GetWindowSize(Win(window), width, height);
}

bool EnterFullscreen(WindowHandle window, int width, int height, int bits) {
  if (!window) return false;
  // Only a mode the display lists exactly (size, and depth when asked) is accepted.
  int count = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(0, i, &mode) != 0 || mode.w != width || mode.h != height) continue;
    int have = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
    if (have == 24) have = 32;
    if (bits != 0 && have != bits) continue;
    if (SDL_SetWindowDisplayMode(Win(window), &mode) != 0) return false;
    return SDL_SetWindowFullscreen(Win(window), SDL_WINDOW_FULLSCREEN) == 0;
  }
  return false;
}

void LeaveFullscreen(WindowHandle window) {
  if (window) SDL_SetWindowFullscreen(Win(window), 0);
}

bool CreateGLContext(WindowHandle window) {
  if (!window) return false;
  if (g_context) DeleteGLContext();
  g_context = SDL_GL_CreateContext(Win(window));
  if (!g_context) return false;
  g_glWindow = Win(window);
  SDL_GL_MakeCurrent(g_glWindow, g_context);
  SDL_GL_SetSwapInterval(0);
  return true;
}

void DeleteGLContext() {
  if (!g_context) return;
  SDL_GL_MakeCurrent(g_glWindow, nullptr);
  SDL_GL_DeleteContext(g_context);
  g_context = nullptr;
  g_glWindow = nullptr;
}

bool HasGLContext() { return g_context != nullptr; }

void SwapWindow(WindowHandle window) {
  if (window && g_context) SDL_GL_SwapWindow(Win(window));
}

void* GetGLProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

// ---- Messages ---------------------------------------------------------------------------

bool live::PeekMessage(Message* out) {
  if (!SDL_WasInit(SDL_INIT_EVENTS)) return false;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
      case SDL_QUIT:
        *out = {TAVELOR::WM_CLOSE, 0, 0};
        return true;
      case SDL_MOUSEMOTION:
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEWHEEL:
        NoteMouseEvent(e);
        break;
      case SDL_JOYDEVICEADDED:
      case SDL_JOYDEVICEREMOVED:
        JoystickSync();  // open a new joystick, or close a removed one, right away
        break;
      case SDL_KEYDOWN: {
        int code = ScancodeToKeyCode(e.key.keysym.scancode);
        if (code > 0) g_latched[code] = 0x80;
        break;
      }
      case SDL_WINDOWEVENT:
        switch (e.window.event) {
          case SDL_WINDOWEVENT_CLOSE: *out = {TAVELOR::WM_CLOSE, 0, 0}; return true;
          case SDL_WINDOWEVENT_FOCUS_LOST: *out = {TAVELOR::WM_ACTIVATE, TAVELOR::WA_INACTIVE, 0}; return true;
          case SDL_WINDOWEVENT_FOCUS_GAINED: *out = {TAVELOR::WM_ACTIVATE, TAVELOR::WA_ACTIVE, 0}; return true;
          case SDL_WINDOWEVENT_MOVED:
            *out = {TAVELOR::WM_MOVE, 0, static_cast<long>((e.window.data1 & 0xFFFF) | ((e.window.data2 & 0xFFFF) << 16))};
            return true;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            *out = {TAVELOR::WM_SIZE, 0, static_cast<long>((e.window.data1 & 0xFFFF) | ((e.window.data2 & 0xFFFF) << 16))};
            return true;
          default: break;
        }
        break;
      default: break;
    }
  }
  return false;
}

void PushFocusEvent(WindowHandle window, bool gained) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = WindowIdOf(window);
  e.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
  SDL_PushEvent(&e);
}

void PushCloseEvent(WindowHandle window) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = WindowIdOf(window);
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&e);
}

void PushKeyEvent(WindowHandle window, int keyCode, bool down) {
  for (const KeyPair& k : kKeys) {
    if (k.dik != keyCode) continue;
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = WindowIdOf(window);
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = k.sdl;
    e.key.keysym.sym = SDL_GetKeyFromScancode(k.sdl);
    SDL_PushEvent(&e);
    return;
  }
}

// ---- Keyboard ---------------------------------------------------------------------------

int ScancodeToKeyCode(int scancode) {
  for (const KeyPair& k : kKeys)
    if (k.sdl == scancode) return k.dik;
  return 0;
}

bool live::KeyboardAvailable() { return SDL_WasInit(SDL_INIT_EVENTS) != 0; }

int live::KeyCodeChar(int keyCode) {
  // Number-pad operators give their character whatever the layout.
  switch (keyCode) {
    case 55: return '*';
    case 74: return '-';
    case 78: return '+';
    default: break;
  }
  for (const KeyPair& k : kKeys) {
    if (k.dik != keyCode) continue;
    const SDL_Keycode sym = SDL_GetKeyFromScancode(k.sdl);
    return sym > 0 && sym < 128 ? static_cast<int>(sym) : 0;
  }
  return 0;
}

void ClearKeyTaps() { std::memset(g_latched, 0, sizeof g_latched); }

void live::GetKeyboardState(unsigned char state[256]) {
  std::memcpy(state, g_latched, 256);
  if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
  SDL_PumpEvents();
  int count = 0;
  const Uint8* keys = SDL_GetKeyboardState(&count);
  for (const KeyPair& k : kKeys)
    if (k.sdl < count && keys[k.sdl]) state[k.dik] = 0x80;
}

// ---- Clock ------------------------------------------------------------------------------

std::uint64_t live::PerformanceCounter() { return SDL_GetPerformanceCounter(); }
std::uint64_t live::PerformanceFrequency() { return SDL_GetPerformanceFrequency(); }
std::uint32_t live::TickCount() { return SDL_GetTicks(); }

void live::SleepMs(double milliseconds) {
  if (milliseconds <= 0) return;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(milliseconds / 1000.0);
  ts.tv_nsec = static_cast<long>((milliseconds - static_cast<double>(ts.tv_sec) * 1000.0) * 1e6);
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// ---- Process and files ----------------------------------------------------------------------

std::string TempDir() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string ModulePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string CurrentDir() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool SetCurrentDir(const char* path) { return path && chdir(path) == 0; }

bool RemoveFile(const char* path) { return path && unlink(path) == 0; }

bool AppendToFile(const char* path, const char* bytes, std::size_t length) {
  // Non-blocking, so a FIFO planted at the name cannot hang the program.
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != geteuid()) {
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  bool ok = WriteAll(fd, bytes, length);
  close(fd);
  return ok;
}

void MessageBox(const char* caption, const char* text) {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, caption, text, nullptr);
}

bool DebuggerAttached() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
  }
  return false;
}

void DebugBreak() { raise(SIGTRAP); }

void DebugOutput(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace TAVELOR::platform
