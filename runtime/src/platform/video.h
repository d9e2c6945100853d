// Movie decoding for the video player: pictures as BGRA scaled to a chosen size,
// sound as 16-bit samples in the sound device's format. Also the mouse-button reading that
// lets a click end a video.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace TAVELOR::platform {

class MovieDecoder {
 public:
  // Null when the file cannot be opened as a movie or holds no video stream that can be
  // decoded.
  static std::unique_ptr<MovieDecoder> Open(const char* path);
  ~MovieDecoder();
  MovieDecoder(const MovieDecoder&) = delete;
  MovieDecoder& operator=(const MovieDecoder&) = delete;

  // The picture's size as it is meant to be seen (non-square pixels widen or narrow it).
  int Width() const;
  int Height() const;
  // Pictures are delivered as BGRA (blue, green, red, opaque alpha: the byte order OpenGL
  // uploads fastest), 4 bytes a pixel, rows from the top, at this size.
  bool SetPictureSize(int width, int height);
  // Sound is delivered at this rate and channel count (interleaved 16-bit samples); without
  // this call the sound is skipped.
  void SetSoundFormat(int rate, int channels);
  // Decodes up to the next picture; sound decoded on the way is appended to *sound. The
  // pixels stay valid until the next call; *seconds is the picture's time from the start.
  // False at the end of the movie, or when the stream is too damaged to go on.
  bool NextPicture(const unsigned char** bgra, double* seconds, std::vector<std::int16_t>* sound);

 private:
  MovieDecoder();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// True when a mouse button is down now or was pressed since the last call.
bool TakeMouseButton();

}  // namespace TAVELOR::platform
