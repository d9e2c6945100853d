// The video player behind PLAYMOVIE and LOOPMOVIE.
#pragma once

#include <functional>

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Where a movie is drawn: the largest whole-pixel size with the movie's proportions that
// fits the client area, centred (whole-number halves of the free space on each side).
struct MovieRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const MovieRect&) const = default;
};
MovieRect FitMovie(int movieWidth, int movieHeight, int clientWidth, int clientHeight);

struct MovieOptions {
  // Shows each picture at its time and plays the sound; off, pictures follow each other as
  // fast as they decode, without sound.
  bool paced = true;
  // Called after a picture is drawn into the back buffer, before it is shown, with the
  // number of pictures shown before it.
  std::function<void(long long)> afterDraw;
};

// Plays the movie file in the game window until its end (or, looping, until interrupted)
// or a character key or mouse button. 0, or 3 when the file is not a playable movie.
// *shown, if given, receives the number of pictures shown.
double PlayMovieFile(const char* path, bool loop, const MovieOptions& options = {}, long long* shown = nullptr);

// Stops the decoding of the movie playing now, if any, and frees its decoder: the program's
// end calls it, as the player is left without returning when the window closes.
void StopMovie();

// PLAYMOVIE and LOOPMOVIE: the name resolved through the media archive first.
double PlayVideo(DGStr file, int loop);

}  // namespace TAVELOR
