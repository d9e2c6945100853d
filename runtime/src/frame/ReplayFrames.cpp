// The frame pump's side of recording and replay: checksums of the shown pictures.
#include "frame/ReplayFrames.h"

#include <vector>

#include "display/OpenGLLumenar.h"
#include "platform/replay.h"
#include "platform/replay_file.h"

namespace TAVELOR {

std::uint64_t BackBufferChecksum() {
  Lumbo.FlushBatch();
  if (!Lumbo.hasContext || Lumbo.displayWidth <= 0 || Lumbo.displayHeight <= 0) return 0;
  const int w = Lumbo.displayWidth, h = Lumbo.displayHeight;
  static std::vector<std::uint32_t> pixels;
  pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  GLint readBuffer = 0, alignment = 0;
  glGetIntegerv(GL_READ_BUFFER, &readBuffer);
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glReadBuffer(static_cast<GLenum>(readBuffer));
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  // Alpha is left out: windows without an alpha channel read it as opaque. Four lanes of
  // FNV-style mixing over the pixels, folded together at the end.
  std::uint64_t lanes[4] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull, 0x9ce484222325cbf2ull, 0x2325cbf29ce48422ull};
  const std::size_t n = pixels.size();
  for (std::size_t i = 0; i < n; ++i) lanes[i & 3] = (lanes[i & 3] ^ (pixels[i] & 0xFFFFFFu)) * 0x100000001b3ull;
  const std::uint64_t sum =
      platform::replay::Fnv1a(reinterpret_cast<const unsigned char*>(lanes), sizeof lanes);
  return sum;
}

void ReplayBegin() {
  const char* renderer = Lumbo.hasContext ? reinterpret_cast<const char*>(glGetString(GL_RENDERER)) : nullptr;
  platform::replay::Begin(Lumbo.displayWidth, Lumbo.displayHeight, renderer ? renderer : "");
  // The clock's frequency is read again, through the source, so a replay scales its
  // readings as the recorded run did.
  if (platform::replay::CurrentMode() != platform::replay::Mode::kLive) Lumbo.SetupAccurateTimer();
}

void ReplayFrameShown() {
  if (platform::replay::CurrentMode() == platform::replay::Mode::kLive) return;
  const bool want = platform::replay::FrameChecksumWanted();
  platform::replay::FrameShown(want ? BackBufferChecksum() : 0);
}

void ReplayProgramEnds() {
  if (platform::replay::CurrentMode() == platform::replay::Mode::kLive) return;
  const bool want = platform::replay::EndChecksumWanted();
  platform::replay::ProgramEnds(want ? BackBufferChecksum() : 0);
}

}  // namespace TAVELOR
