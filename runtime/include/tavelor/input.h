// Input devices: keyboard, mouse and joysticks.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// 1 while the key with that DirectInput key code (1 Escape, 57 Space, 200 Up ...) is down.
// The code is taken modulo 256.
double KEY(double code);

// ---- Mouse ----------------------------------------------------------------------------------
// 0 dx, 1 dy, 2 wheel (-1, 0, 1), 3/4/5 buttons 1/2/3 as 0 or 1; the mouse is read once a frame.
double MOUSEAXIS(double n);
// The tracked pointer position, clamped to the screen, and buttons 1 and 2.
void MOUSESTATE(double& x, double& y, double& b1, double& b2);
// Sets the tracked position.
void SETMOUSE(double x, double y);
// Non-zero: the system pointer is shown and followed; 0: the game owns the mouse.
void SYSTEMPOINTER(double on);

// ---- Joysticks ------------------------------------------------------------------------------
// Joystick 0: x and y as -1, 0 or 1, buttons 0 and 1 as stored (128 pressed).
void JOYSTATE(double& x, double& y, double& b1, double& b2);
// Axes of joystick i, -1..1; an absent joystick reads 0.
double GETJOYX(double i);
double GETJOYY(double i);
double GETJOYZ(double i);
double GETJOYRX(double i);
double GETJOYRY(double i);
double GETJOYRZ(double i);
// Hat of joystick i: -1, 0 or 1.
double GETDIGIX(double i);
double GETDIGIY(double i);
// Button b (0..31) of joystick i: 128 pressed, 0 released.
double GETJOYBUTTON(double i, double b);
double GETNUMJOYSTICKS();
DGStr GETJOYNAME_Str(double i);
// A force of strength (x, y) (-1..1 each) for that many milliseconds.
void FORCEFEEDBACK(double i, double milliseconds, double x, double y);

// ---- Text entry and waits -------------------------------------------------------------------
// The character of the key pressed since the last call, or "".
DGStr INKEY_Str();
// Edits a line of text at (x, y) until Return.
void INPUT(DGStr& text, double x, double y);
void INPUT(double& value, double x, double y);
// Wait for a character key or a mouse button; both return 0.
double KEYWAIT();
double MOUSEWAIT();

}  // namespace TAVELOR
