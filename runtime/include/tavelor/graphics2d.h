// 2D graphics: bitmaps, sprites, fonts, primitives, capture and transitions.
// Numbers are truncated toward zero where an integer is needed. Sprite slots are 0 to 4095,
// fonts 0 to 15; a command given a number outside its table does nothing (a query gives 0).
// Colours are RGB numbers: red | green << 8 | blue << 16. The colour 0x8000FF is transparent
// in sprites and bitmaps, black in fonts.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// ---- Bitmaps and the sprite store ---------------------------------------------------------
// Loads a picture into sprite slot n: a BMP file (8, 24 or 32 bits), or a PNG, JPEG, TGA or
// GIF file (told apart by content; alpha 0 is transparent, partial alpha is kept). A name
// that resolves to no file leaves the slot as it was; a file that is not a readable picture
// leaves it empty.
void LOADSPRITE(DGStr file, double n);
// As LOADSPRITE, turning the picture (its blue channel as height) into a normal map.
void LOADBUMPTEXTURE(DGStr file, double n);
// Makes the picture the background, drawn behind every frame, and draws it at once. A file
// that exists but cannot be read as a picture ends the program with error 3.
void LOADBMP(DGStr file);
// The frame as drawn so far becomes the background.
void USEASBMP();
// Copies a screen rectangle (top-left x, y) into sprite slot n.
void GRABSPRITE(double n, double x, double y, double width, double height);
// The picture size of sprite slot n.
void GETSPRITESIZE(double n, double& width, double& height);

// ---- Sprite drawing and 2D collision --------------------------------------------------------
void SPRITE(double n, double x, double y);
void STRETCHSPRITE(double n, double x, double y, double width, double height);
// Zoomed about the picture's centre; negative factors do not mirror.
void ZOOMSPRITE(double n, double x, double y, double zoomX, double zoomY);
// Rotated counter-clockwise by angle degrees about the picture's centre.
void ROTOSPRITE(double n, double x, double y, double angle);
void ROTOZOOMSPRITE(double n, double x, double y, double angle, double zoom);
// 0: opaque; below 0: translucent (-1 opaque, -0.5 half); above 0: additive brightness.
void ALPHAMODE(double a);
// 1 when the solid pixels (alpha 128 and above) of the two sprites at their places overlap,
// else 0.
double SPRCOLL(double s1, double x1, double y1, double s2, double x2, double y2);
// result = 1 when the rectangles overlap (touching edges count), else 0.
void BOXCOLL(double& result, double x1, double y1, double w1, double h1, double x2, double y2, double w2,
             double h2);

// ---- Fonts and text ---------------------------------------------------------------------------
// Loads a font picture (16 x 8 glyphs, character code order) into font n (clamped to 0..15),
// which becomes the current font. A file that exists but cannot be read ends the program
// with error 3.
void LOADFONT(DGStr file, double n);
// Current font = n clamped to 0..15.
void SETFONT(double n);
// Draws text with the current font, its top-left at (x, y). Every byte is a glyph.
void PRINT(DGStr text, double x, double y);
// Prints a number with 10 significant digits.
void PRINT(double value, double x, double y);
// The glyph cell size of the current font.
void GETFONTSIZE(double& width, double& height);

// ---- 2D primitives ------------------------------------------------------------------------------
void SETPIXEL(double x, double y, double colour);
void DRAWLINE(double x1, double y1, double x2, double y2, double colour);
// Fills the rectangle between two corners given in any order, both included.
void FILLRECT(double x1, double y1, double x2, double y2, double colour);
// The colour of a pixel of the frame drawn so far; 0 outside the window.
double GETPIXEL(double x, double y);
// Begins a polygon textured with sprite slot n (negative: none).
void STARTPOLY(double n);
// Adds a point; tx, ty are fractions of the whole texture, ty 0 at its top.
void POLYVECTOR(double x, double y, double tx, double ty, double colour);
// Draws the polygon as a fan around its first point; list points counter-clockwise.
void ENDPOLY();
// Limits 2D drawing to a window rectangle; a width or height below 1 means the whole window.
void VIEWPORT(double x, double y, double width, double height);
void GETSCREENSIZE(double& width, double& height);

// ---- Screen capture and transitions ---------------------------------------------------------
// Writes the frame drawn so far to a 24-bit BMP file.
void SAVEBMP(DGStr file);
// Writes the picture of sprite slot n to a 24-bit BMP file.
void SAVESPRITE(double n, DGStr file);
// Clears the frame and removes the background.
void BLACKSCREEN();
// Cross-fades from the current frame to the picture in the file, which becomes the
// background. A file that exists but cannot be read ends the program with error 3.
void BLENDSCREEN(DGStr file);

}  // namespace TAVELOR
