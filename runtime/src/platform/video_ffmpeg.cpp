// Movie decoding on libavformat, libavcodec, libswscale and libswresample.
#include "platform/video.h"

#include <SDL2/SDL.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace TAVELOR::platform {

namespace {
// Packets the decoders refuse in a row before a stream counts as damaged beyond use.
constexpr int kMaxBadPackets = 64;

// Converts decoded sound frames to interleaved 16-bit samples; made for the first frame's
// channels, rate and sample format, which every later frame must keep.
struct SoundConverter {
  SwrContext* resampler = nullptr;
  int channels = 0, rate = 0, format = -1;
  SoundConverter() = default;
  SoundConverter(const SoundConverter&) = delete;
  SoundConverter& operator=(const SoundConverter&) = delete;
  ~SoundConverter() { swr_free(&resampler); }
};

// Appends a decoded frame to *sound as interleaved 16-bit samples at rate and channels (0:
// the first frame's). False when the sound cannot be converted or the frame's format differs
// from the first frame's.
bool AppendConverted(SoundConverter& c, const AVFrame* frame, int rate, int channels, std::vector<std::int16_t>* sound) {
  if (c.resampler && (frame->ch_layout.nb_channels != c.channels || frame->sample_rate != c.rate || frame->format != c.format)) {
    return false;
  }
  SwrContext*& resampler = c.resampler;
  if (!resampler) {
    c.channels = frame->ch_layout.nb_channels;
    c.rate = frame->sample_rate;
    c.format = frame->format;
    AVChannelLayout in{};
    if (av_channel_layout_check(&frame->ch_layout) && frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_copy(&in, &frame->ch_layout);
    } else {
      av_channel_layout_default(&in, frame->ch_layout.nb_channels > 0 ? frame->ch_layout.nb_channels : 1);
    }
    if (rate == 0) rate = c.rate;
    if (channels == 0) channels = c.channels;
    AVChannelLayout out{};
    av_channel_layout_default(&out, channels);
    swr_alloc_set_opts2(&resampler, &out, AV_SAMPLE_FMT_S16, rate, &in, static_cast<AVSampleFormat>(frame->format),
                        frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (!resampler || swr_init(resampler) < 0) {
      swr_free(&resampler);
      return false;
    }
  }
  if (rate == 0) rate = c.rate;
  if (channels == 0) channels = c.channels;
  const int room = swr_get_out_samples(resampler, frame->nb_samples);
  if (room <= 0) return true;
  const std::size_t at = sound->size();
  sound->resize(at + static_cast<std::size_t>(room) * static_cast<std::size_t>(channels));
  auto* out = reinterpret_cast<std::uint8_t*>(sound->data() + at);
  const int got = swr_convert(resampler, &out, room, const_cast<const std::uint8_t**>(frame->extended_data),
                              frame->nb_samples);
  sound->resize(at + static_cast<std::size_t>(got > 0 ? got : 0) * static_cast<std::size_t>(channels));
  return true;
}
}  // namespace

struct MovieDecoder::Impl {
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  int videoStream = -1;
  int audioStream = -1;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  AVFrame* soundFrame = nullptr;
  SwsContext* scaler = nullptr;
  SoundConverter resampler;
  int outWidth = 0, outHeight = 0;
  int soundRate = 0, soundChannels = 0;
  std::vector<unsigned char> rgb;
  bool packetPending = false;
  bool endOfFile = false;
  int badPackets = 0;
  long long pictures = 0;
  double firstTime = NAN;
  double frameRate = 25;

  ~Impl() {
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_frame_free(&soundFrame);
    av_packet_free(&packet);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (format) avformat_close_input(&format);
  }

  AVCodecContext* OpenCodec(int stream, bool threads) {
    const AVCodecParameters* par = format->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) return nullptr;
    if (threads) ctx->thread_count = 0;  // as many as the machine has
    if (avcodec_parameters_to_context(ctx, par) < 0 || avcodec_open2(ctx, codec, nullptr) < 0) {
      avcodec_free_context(&ctx);
      return nullptr;
    }
    ctx->pkt_timebase = format->streams[stream]->time_base;
    return ctx;
  }

  void DecodeSound(std::vector<std::int16_t>* sound) {
    if (avcodec_send_packet(audio, packet) < 0) return;  // a damaged sound packet is skipped
    while (avcodec_receive_frame(audio, soundFrame) == 0) {
      if (!AppendConverted(resampler, soundFrame, soundRate, soundChannels, sound)) {
        soundRate = 0;  // sound that cannot be converted is left out
        return;
      }
    }
  }

  bool Convert(const unsigned char** out, double* seconds) {
    if (frame->width < 1 || frame->height < 1) return false;
    scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  outWidth, outHeight, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler) return false;
    std::uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {outWidth * 4, 0, 0, 0};
    if (sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides) != outHeight) return false;
    const std::int64_t ts = frame->best_effort_timestamp;
    double t = static_cast<double>(pictures) / frameRate;
    if (ts != AV_NOPTS_VALUE) t = static_cast<double>(ts) * av_q2d(format->streams[videoStream]->time_base);
    if (std::isnan(firstTime)) firstTime = t;
    *seconds = t - firstTime;
    *out = rgb.data();
    ++pictures;
    return true;
  }
};

MovieDecoder::MovieDecoder() : impl_(std::make_unique<Impl>()) {}
MovieDecoder::~MovieDecoder() = default;

std::unique_ptr<MovieDecoder> MovieDecoder::Open(const char* path) {
  if (!path) return nullptr;
  av_log_set_level(AV_LOG_QUIET);
  std::unique_ptr<MovieDecoder> d(new MovieDecoder);
  Impl& m = *d->impl_;
  if (avformat_open_input(&m.format, path, nullptr, nullptr) < 0) {
    m.format = nullptr;
    return nullptr;
  }
  if (avformat_find_stream_info(m.format, nullptr) < 0) return nullptr;
  m.videoStream = av_find_best_stream(m.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (m.videoStream < 0) return nullptr;
  m.video = m.OpenCodec(m.videoStream, true);
  if (!m.video || m.video->width < 1 || m.video->height < 1) return nullptr;
  m.audioStream = av_find_best_stream(m.format, AVMEDIA_TYPE_AUDIO, -1, m.videoStream, nullptr, 0);
  if (m.audioStream >= 0) m.audio = m.OpenCodec(m.audioStream, false);
  const AVRational rate = av_guess_frame_rate(m.format, m.format->streams[m.videoStream], nullptr);
  if (rate.num > 0 && rate.den > 0) m.frameRate = av_q2d(rate);
  m.packet = av_packet_alloc();
  m.frame = av_frame_alloc();
  m.soundFrame = av_frame_alloc();
  if (!m.packet || !m.frame || !m.soundFrame) return nullptr;
  m.outWidth = d->Width();
  m.outHeight = d->Height();
  m.rgb.resize(static_cast<std::size_t>(m.outWidth) * m.outHeight * 4);
  return d;
}

int MovieDecoder::Width() const {
  const AVRational sar = impl_->video->sample_aspect_ratio;
  if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) {
    const long w = std::lround(impl_->video->width * av_q2d(sar));
    if (w >= 1 && w <= 16384) return static_cast<int>(w);
  }
  return impl_->video->width;
}

int MovieDecoder::Height() const { return impl_->video->height; }

bool MovieDecoder::SetPictureSize(int width, int height) {
  if (width < 1 || height < 1 || width > 16384 || height > 16384) return false;
  impl_->outWidth = width;
  impl_->outHeight = height;
  impl_->rgb.assign(static_cast<std::size_t>(width) * height * 4, 0);
  return true;
}

void MovieDecoder::SetSoundFormat(int rate, int channels) {
  if (!impl_->audio || rate < 1 || channels < 1) return;
  impl_->soundRate = rate;
  impl_->soundChannels = channels;
}

bool MovieDecoder::NextPicture(const unsigned char** rgb, double* seconds, std::vector<std::int16_t>* sound) {
  Impl& m = *impl_;
  for (;;) {
    const int got = avcodec_receive_frame(m.video, m.frame);
    if (got == 0) {
      const bool ok = m.Convert(rgb, seconds);
      av_frame_unref(m.frame);
      if (ok) return true;
      if (++m.badPackets > kMaxBadPackets) return false;
      continue;
    }
    if (got != AVERROR(EAGAIN)) return false;  // the end, or a decoder that gave up
    if (!m.packetPending) {
      if (av_read_frame(m.format, m.packet) < 0) {
        if (m.endOfFile) return false;
        m.endOfFile = true;  // drain the pictures still held by the decoder
        avcodec_send_packet(m.video, nullptr);
        continue;
      }
      if (m.packet->stream_index == m.audioStream && m.soundRate > 0) {
        m.DecodeSound(sound);
        av_packet_unref(m.packet);
        continue;
      }
      if (m.packet->stream_index != m.videoStream) {
        av_packet_unref(m.packet);
        continue;
      }
    }
    const int sent = avcodec_send_packet(m.video, m.packet);
    m.packetPending = sent == AVERROR(EAGAIN);
    if (m.packetPending) continue;
    av_packet_unref(m.packet);
    if (sent < 0) {
      if (++m.badPackets > kMaxBadPackets) return false;
    } else {
      m.badPackets = 0;
    }
  }
}

namespace {
std::atomic<bool> g_clicked{false};
int SDLCALL WatchClicks(void*, SDL_Event* e) {
  if (e->type == SDL_MOUSEBUTTONDOWN) g_clicked = true;
  return 1;
}
}  // namespace

bool TakeMouseButton() {
  if (!SDL_WasInit(SDL_INIT_EVENTS)) return false;
  static bool watching = [] {
    SDL_AddEventWatch(WatchClicks, nullptr);
    return true;
  }();
  (void)watching;
  SDL_PumpEvents();
  const bool held = SDL_GetMouseState(nullptr, nullptr) != 0;
  return g_clicked.exchange(false) || held;
}

// ---- Whole sound files from memory ---------------------------------------------------------

namespace {
struct MemoryFile {
  const unsigned char* data;
  std::size_t size;
  std::size_t at = 0;
};

int ReadMemory(void* opaque, std::uint8_t* buffer, int wanted) {
  auto* file = static_cast<MemoryFile*>(opaque);
  const std::size_t n = std::min(static_cast<std::size_t>(wanted), file->size - file->at);
  if (n == 0) return AVERROR_EOF;
  std::memcpy(buffer, file->data + file->at, n);
  file->at += n;
  return static_cast<int>(n);
}

std::int64_t SeekMemory(void* opaque, std::int64_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(opaque);
  const auto size = static_cast<std::int64_t>(file->size);
  if (whence & AVSEEK_SIZE) return size;
  const std::int64_t base = (whence & 3) == SEEK_CUR ? static_cast<std::int64_t>(file->at) : (whence & 3) == SEEK_END ? size : 0;
  if (offset < -base || offset > size - base) return -1;
  file->at = static_cast<std::size_t>(base + offset);
  return base + offset;
}

// Decodes the best sound stream of an open file until its end or maxSamples samples.
bool DecodeAllSound(AVFormatContext* format, std::size_t maxSamples, std::vector<std::int16_t>* out, int* channels,
                    int* rate) {
  if (avformat_find_stream_info(format, nullptr) < 0) return false;
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || !codec) return false;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SoundConverter converter;
  bool ok = ctx && packet && frame && avcodec_parameters_to_context(ctx, format->streams[stream]->codecpar) >= 0 &&
            avcodec_open2(ctx, codec, nullptr) >= 0;
  bool more = ok;
  while (more) {
    const bool end = av_read_frame(format, packet) < 0;
    if (end || packet->stream_index == stream) avcodec_send_packet(ctx, end ? nullptr : packet);  // damaged packets are skipped
    av_packet_unref(packet);
    while (ok && avcodec_receive_frame(ctx, frame) == 0) {
      ok = AppendConverted(converter, frame, 0, 0, out) && out->size() <= maxSamples;
    }
    more = ok && !end;
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&ctx);
  *channels = converter.channels;
  *rate = converter.rate;
  return ok;
}
}  // namespace

bool DecodeSoundFile(const unsigned char* bytes, std::size_t size, std::size_t maxSamples, std::vector<std::int16_t>* out,
                     int* channels, int* rate) {
  out->clear();
  *channels = *rate = 0;
  if (!bytes || size == 0) return false;
  MemoryFile file{bytes, size};
  constexpr int kReadBlock = 1 << 14;
  auto* block = static_cast<unsigned char*>(av_malloc(kReadBlock));
  AVIOContext* io = block ? avio_alloc_context(block, kReadBlock, 0, &file, ReadMemory, nullptr, SeekMemory) : nullptr;
  if (!io) {
    av_free(block);
    return false;
  }
  AVFormatContext* format = avformat_alloc_context();
  bool ok = false;
  if (format) {
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&format, nullptr, nullptr, nullptr) == 0) {  // frees format on failure
      ok = DecodeAllSound(format, maxSamples, out, channels, rate);
      avformat_close_input(&format);
    }
  }
  av_freep(&io->buffer);
  avio_context_free(&io);
  if (!ok) out->clear();
  return ok && !out->empty();
}

}  // namespace TAVELOR::platform
