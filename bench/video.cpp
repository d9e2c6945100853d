// Video playback: a generated 640 x 480, 30 fps, 10-second H.264 clip decoded, converted,
// uploaded and drawn by the video player as fast as it can (SDL's offscreen driver), against
// FFmpeg decoding the same file alone (no scaling, no display) with the same threading.
// Both must see the same number of pictures. Prints pictures per second of both and the
// ratio (median and spread over interleaved rounds), then the processor share of playing
// the clip in real time.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <tavelor/tavelor.h>

#include "audio/Video.h"
#include "display/OpenGLLumenar.h"
#include "platform/platform.h"

using namespace TAVELOR;

namespace {

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
double WallSeconds() { return static_cast<double>(Lumbo.AccurateTime()) / 1000.0; }

// The reference: every picture of the file decoded, nothing else.
long long DecodeOnly(const std::string& path) {
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return -1;
  avformat_find_stream_info(fmt, nullptr);
  const int vs = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec = avcodec_find_decoder(fmt->streams[vs]->codecpar->codec_id);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->thread_count = 0;
  avcodec_parameters_to_context(ctx, fmt->streams[vs]->codecpar);
  avcodec_open2(ctx, codec, nullptr);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  long long pictures = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(ctx, frame) == 0) {
      ++pictures;
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(fmt, pkt) >= 0) {
    if (pkt->stream_index == vs && avcodec_send_packet(ctx, pkt) == 0) drain();
    av_packet_unref(pkt);
  }
  avcodec_send_packet(ctx, nullptr);
  drain();
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  avformat_close_input(&fmt);
  return pictures;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const std::string clip = platform::TempDir() + "bench-video.mp4";
  const std::string make = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=s=640x480:r=30:d=10 "
                           "-f lavfi -i sine=frequency=440:duration=10 -c:v libx264 -preset medium -pix_fmt yuv420p "
                           "-c:a aac -shortest " + clip;
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "ffmpeg could not make the clip\n");
    return 1;
  }
  char cmd[1] = {0};
  __GlobalInit(nullptr, nullptr, cmd, 1, "bench video");

  constexpr int kRounds = 7;
  std::vector<double> ours, reference, ratios;
  MovieOptions fast;
  fast.paced = false;
  for (int round = 0; round < kRounds; ++round) {
    long long shown = 0;
    double t0 = WallSeconds();
    if (PlayMovieFile(clip.c_str(), false, fast, &shown) != 0) return 1;
    const double oursFps = static_cast<double>(shown) / (WallSeconds() - t0);
    t0 = WallSeconds();
    const long long decoded = DecodeOnly(clip);
    const double refFps = static_cast<double>(decoded) / (WallSeconds() - t0);
    if (shown != decoded || shown != 300) {
      std::fprintf(stderr, "picture counts differ: player %lld, decoder %lld (expected 300)\n", shown, decoded);
      return 1;
    }
    ours.push_back(oursFps);
    reference.push_back(refFps);
    ratios.push_back(oursFps / refFps);
  }
  auto spread = [](const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end());
  };
  std::printf("video 640x480 H.264, %d rounds of 300 pictures\n", kRounds);
  std::printf("  player (decode, BGRA, upload, draw, swap): %8.1f pictures/s (spread %.1f)\n", Median(ours), spread(ours));
  std::printf("  FFmpeg decoding alone:                    %8.1f pictures/s (spread %.1f)\n", Median(reference),
              spread(reference));
  std::printf("  ratio player / decoding: %.2f (spread %.2f)\n", Median(ratios), spread(ratios));

  const double cpu0 = CpuSeconds(), wall0 = WallSeconds();
  long long shown = 0;
  PlayMovieFile(clip.c_str(), false, {}, &shown);
  const double wall = WallSeconds() - wall0;
  const double cpuShare = 100.0 * (CpuSeconds() - cpu0) / wall;
  std::printf("  real-time playback: %lld pictures in %.2f s, processor %.1f%% of one core\n", shown, wall, cpuShare);
  std::printf("| `bench_video`: 640 x 480 H.264 clip, decode + convert + draw as fast as possible | %.0f pictures/s; "
              "real-time playback %.1f%% of one core | FFmpeg decoding alone %.0f pictures/s | %.2f (speed, spread %.2f) |\n",
              Median(ours), cpuShare, Median(reference), Median(ratios), spread(ratios));
  std::remove(clip.c_str());
  std::fflush(stdout);
  std::_Exit(0);
}
