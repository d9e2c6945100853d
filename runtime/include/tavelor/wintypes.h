// The window-system types and message numbers the runtime's window procedure speaks.
// The values are the classic ones, so game code written against them keeps working.
#pragma once

namespace TAVELOR {

using HWND = void*;
using HINSTANCE = void*;
using LRESULT = long;

constexpr unsigned int WM_CREATE = 0x0001;
constexpr unsigned int WM_MOVE = 0x0003;
constexpr unsigned int WM_SIZE = 0x0005;
constexpr unsigned int WM_ACTIVATE = 0x0006;
constexpr unsigned int WM_CLOSE = 0x0010;
constexpr unsigned int WM_SYSCOMMAND = 0x0112;

constexpr unsigned int WA_INACTIVE = 0;
constexpr unsigned int WA_ACTIVE = 1;
constexpr unsigned int WA_CLICKACTIVE = 2;

constexpr unsigned int SC_CLOSE = 0xF060;
constexpr unsigned int SC_SCREENSAVE = 0xF140;
constexpr unsigned int SC_MONITORPOWER = 0xF170;

}  // namespace TAVELOR
