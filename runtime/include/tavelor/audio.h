// Sound effects, music and video.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Loads a wave, OGG Vorbis, FLAC or MP3 file (told apart by content) into sound slot id
// (0..127, higher ids use 127) with 1..4 copies that can play at once. A file that cannot be
// read or decoded leaves the slot empty.
void LOADSOUND(DGStr file, double id, double copies);
// Plays slot id: pan -1 (left) .. 1 (right), volume 0..1.
void PLAYSOUND(double id, double pan, double volume);
// Stops every sound.
void HUSH();

// Plays a music file, looping; 0 when started, 3 when the file was not found.
double PLAYMUSIC(DGStr file);
// Stops the music that PLAYMUSIC started, if any.
void STOPMUSIC();

// Plays a video in the window until its end or a key or mouse button; 0, or 3 when the file was
// not found or cannot be played. LOOPMOVIE repeats it until interrupted.
double PLAYMOVIE(DGStr file);
double LOOPMOVIE(DGStr file);

}  // namespace TAVELOR
