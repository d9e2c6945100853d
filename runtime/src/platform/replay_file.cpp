// Encoding and reading of session recordings (layout in replay_file.h).
#include "platform/replay_file.h"

#include <algorithm>
#include <cstring>

#include "storage/ZyCompression.h"

namespace TAVELOR::platform::replay {

namespace {

constexpr std::size_t kHeaderFixed = 8 + 2 + 2 + 4 + 4 + 4;
constexpr unsigned kJoyAxes = 6;

std::uint64_t Zig(std::int64_t v) { return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63); }
std::int64_t Unzig(std::uint64_t v) { return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1); }

void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutString(std::vector<unsigned char>& out, const std::string& s) {
  const std::size_t n = std::min<std::size_t>(s.size(), 255);
  out.push_back(static_cast<unsigned char>(n));
  out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

int Clamp32(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

std::uint64_t Fnv1a(const unsigned char* data, std::size_t size, std::uint64_t seed) {
  std::uint64_t h = seed;
  for (std::size_t i = 0; i < size; ++i) {
    h ^= data[i];
    h *= 0x100000001b3ull;
  }
  return h;
}

// ---- Encoder ----------------------------------------------------------------------------

void RecordEncoder::U(std::uint64_t v) {
  while (v >= 0x80) {
    out_.push_back(static_cast<unsigned char>(v | 0x80));
    v >>= 7;
  }
  out_.push_back(static_cast<unsigned char>(v));
}

void RecordEncoder::S(std::int64_t v) { U(Zig(v)); }

void RecordEncoder::Keyboard(const unsigned char state[256]) {
  Tag(Kind::kKeyboard);
  unsigned changed = 0;
  for (int k = 0; k < 256; ++k) changed += state[k] != keys_[k];
  U(changed);
  for (int k = 0; k < 256; ++k) {
    if (state[k] == keys_[k]) continue;
    out_.push_back(static_cast<unsigned char>(k));
    out_.push_back(state[k]);
    keys_[k] = state[k];
  }
}

void RecordEncoder::Mouse(bool motionTaken, const MouseSample& s) {
  Tag(Kind::kMouse);
  out_.push_back(static_cast<unsigned char>((motionTaken ? 1 : 0) | (s.buttons[0] ? 2 : 0) | (s.buttons[1] ? 4 : 0) |
                                            (s.buttons[2] ? 8 : 0)));
  // Most readings move nothing: flag 16 stands for five zeros.
  if (s.dx == 0 && s.dy == 0 && s.wheel == 0 && s.x == mouseX_ && s.y == mouseY_) {
    out_.back() |= 16;
    return;
  }
  S(s.dx);
  S(s.dy);
  S(s.wheel);
  S(static_cast<std::int64_t>(s.x) - mouseX_);
  S(static_cast<std::int64_t>(s.y) - mouseY_);
  mouseX_ = s.x;
  mouseY_ = s.y;
}

void RecordEncoder::Joystick(int index, bool ok, const JoystickSample& s) {
  Tag(Kind::kJoystick);
  S(index);
  out_.push_back(ok ? 1 : 0);
  if (!ok) return;
  for (unsigned a = 0; a < kJoyAxes; ++a) S(s.axes[a]);
  U(static_cast<std::uint32_t>(s.pov + 1u));  // centred (all ones) stores as 0
  std::uint32_t bits = 0;
  for (int b = 0; b < 32; ++b) bits |= s.buttons[b] ? (1u << b) : 0u;
  U(bits);
}

void RecordEncoder::Clock(std::uint64_t counter) {
  Tag(Kind::kClock);
  S(static_cast<std::int64_t>(counter - clock_));
  clock_ = counter;
}

void RecordEncoder::Frequency(std::uint64_t frequency) {
  Tag(Kind::kFrequency);
  U(frequency);
}

void RecordEncoder::Ticks(std::uint32_t ticks) {
  Tag(Kind::kTicks);
  S(static_cast<std::int32_t>(ticks - ticks_));
  ticks_ = ticks;
}

void RecordEncoder::Msg(const Message& m) {
  Tag(Kind::kMessage);
  U(m.message);
  U(m.wParam);
  S(m.lParam);
}

void RecordEncoder::Val(Value what, std::int64_t value) {
  Tag(Kind::kValue);
  out_.push_back(static_cast<unsigned char>(what));
  S(value);
}

void RecordEncoder::Name(int index, const std::string& name) {
  Tag(Kind::kName);
  S(index);
  const std::size_t n = std::min(name.size(), kMaxName);
  U(n);
  out_.insert(out_.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
}

void RecordEncoder::FrameEnd(bool hasChecksum, std::uint64_t checksum) {
  Tag(Kind::kFrameEnd);
  out_.push_back(hasChecksum ? 1 : 0);
  if (hasChecksum)
    for (int i = 0; i < 8; ++i) out_.push_back(static_cast<unsigned char>(checksum >> (8 * i)));
}

void RecordEncoder::End(bool hasChecksum, std::uint64_t checksum) {
  FrameEnd(hasChecksum, checksum);
  tags_.back() = static_cast<unsigned char>(Kind::kEnd);
}

std::vector<unsigned char> RecordEncoder::Block() const {
  std::vector<unsigned char> block;
  block.reserve(4 + Size());
  Put32(block, static_cast<std::uint32_t>(tags_.size()));
  block.insert(block.end(), tags_.begin(), tags_.end());
  block.insert(block.end(), out_.begin(), out_.end());
  return block;
}

void RecordEncoder::Clear() {
  tags_.clear();
  out_.clear();
}

void RecordEncoder::Put(const Record& r) {
  switch (r.kind) {
    case Kind::kKeyboard: Keyboard(r.keys.data()); break;
    case Kind::kMouse: Mouse(r.flag, r.mouse); break;
    case Kind::kJoystick: Joystick(static_cast<int>(r.value), r.flag, r.joystick); break;
    case Kind::kClock: Clock(r.number); break;
    case Kind::kFrequency: Frequency(r.number); break;
    case Kind::kTicks: Ticks(static_cast<std::uint32_t>(r.number)); break;
    case Kind::kMessage: Msg(Message{r.message, r.wParam, r.lParam}); break;
    case Kind::kValue: Val(r.what, r.value); break;
    case Kind::kName: Name(static_cast<int>(r.value), r.name); break;
    case Kind::kFrameEnd: FrameEnd(r.flag, r.number); break;
    case Kind::kEnd: End(r.flag, r.number); break;
  }
}

// ---- Decoder ----------------------------------------------------------------------------

bool RecordDecoder::Fail(const char* why) {
  error_ = why;
  p_ = end_;
  tag_ = tagEnd_;
  return false;
}

bool RecordDecoder::Byte(unsigned char* b) {
  if (p_ == end_) return Fail("a record is cut short");
  *b = *p_++;
  return true;
}

bool RecordDecoder::U(std::uint64_t* v) {
  *v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    unsigned char b = 0;
    if (!Byte(&b)) return false;
    *v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return true;
  }
  return Fail("a number in a record is too long");
}

bool RecordDecoder::S(std::int64_t* v) {
  std::uint64_t u = 0;
  if (!U(&u)) return false;
  *v = Unzig(u);
  return true;
}

bool RecordDecoder::Next(Record* r) {
  if (tag_ == tagEnd_) return p_ == end_ ? false : Fail("contents follow the last record");
  const unsigned char tag = *tag_++;
  unsigned char b = 0;
  r->kind = static_cast<Kind>(tag);
  std::uint64_t u = 0;
  std::int64_t s = 0;
  switch (r->kind) {
    case Kind::kKeyboard: {
      if (!U(&u)) return false;
      if (u > 256) return Fail("a keyboard record changes more than 256 keys");
      for (std::uint64_t i = 0; i < u; ++i) {
        unsigned char code = 0, state = 0;
        if (!Byte(&code) || !Byte(&state)) return false;
        keys_[code] = state;
      }
      r->keys = keys_;
      return true;
    }
    case Kind::kMouse: {
      if (!Byte(&b)) return false;
      if (b & ~0x1Fu) return Fail("a mouse record has unknown flags");
      r->flag = b & 1;
      for (int i = 0; i < 3; ++i) r->mouse.buttons[i] = (b >> (i + 1)) & 1;
      std::int64_t v[5] = {};
      for (std::int64_t& x : v)
        if (!(b & 16) && !S(&x)) return false;
      r->mouse.dx = Clamp32(v[0]);
      r->mouse.dy = Clamp32(v[1]);
      r->mouse.wheel = Clamp32(v[2]);
      // A difference spans up to 33 bits; anything beyond is damage and is clamped.
      constexpr std::int64_t kMaxStep = std::int64_t{1} << 33;
      mouseX_ = Clamp32(mouseX_ + std::clamp(v[3], -kMaxStep, kMaxStep));
      mouseY_ = Clamp32(mouseY_ + std::clamp(v[4], -kMaxStep, kMaxStep));
      r->mouse.x = mouseX_;
      r->mouse.y = mouseY_;
      return true;
    }
    case Kind::kJoystick: {
      if (!S(&s) || !Byte(&b)) return false;
      if (b > 1) return Fail("a joystick record has an unknown flag");
      r->value = s;
      r->flag = b == 1;
      r->joystick = JoystickSample{};
      if (!r->flag) return true;
      for (unsigned a = 0; a < kJoyAxes; ++a) {
        if (!S(&s)) return false;
        r->joystick.axes[a] = static_cast<int>(std::clamp<std::int64_t>(s, -32768, 32767));
      }
      if (!U(&u)) return false;
      r->joystick.pov = static_cast<std::uint32_t>(u) - 1u;
      if (!U(&u)) return false;
      for (int i = 0; i < 32; ++i) r->joystick.buttons[i] = (u >> i) & 1;
      return true;
    }
    case Kind::kClock:
      if (!S(&s)) return false;
      clock_ += static_cast<std::uint64_t>(s);
      r->number = clock_;
      return true;
    case Kind::kFrequency:
      if (!U(&u)) return false;
      r->number = u;
      return true;
    case Kind::kTicks:
      if (!S(&s)) return false;
      ticks_ += static_cast<std::uint32_t>(s);
      r->number = ticks_;
      return true;
    case Kind::kMessage: {
      std::uint64_t m = 0, w = 0;
      if (!U(&m) || !U(&w) || !S(&s)) return false;
      r->message = static_cast<unsigned int>(m);
      r->wParam = static_cast<unsigned int>(w);
      r->lParam = static_cast<long>(s);
      return true;
    }
    case Kind::kValue:
      if (!Byte(&b) || !S(&s)) return false;
      if (b < static_cast<unsigned char>(Value::kHasPointer) || b > static_cast<unsigned char>(Value::kKeyChar))
        return Fail("a value record names an unknown value");
      r->what = static_cast<Value>(b);
      r->value = s;
      return true;
    case Kind::kName:
      if (!S(&s) || !U(&u)) return false;
      if (u > kMaxName) return Fail("a joystick name is too long");
      if (static_cast<std::uint64_t>(end_ - p_) < u) return Fail("a record is cut short");
      r->value = s;
      r->name.assign(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(u));
      p_ += u;
      return true;
    case Kind::kFrameEnd:
    case Kind::kEnd:
      if (!Byte(&b)) return false;
      if (b > 1) return Fail("a frame record has an unknown flag");
      r->flag = b == 1;
      r->number = 0;
      for (int i = 0; i < 8 && r->flag; ++i) {
        if (!Byte(&b)) return false;
        r->number |= static_cast<std::uint64_t>(b) << (8 * i);
      }
      return true;
  }
  return Fail("a record of unknown kind");
}

// ---- File -------------------------------------------------------------------------------

std::vector<unsigned char> EncodeHeader(const Header& h) {
  std::vector<unsigned char> out(kMagic, kMagic + 8);
  out.push_back(static_cast<unsigned char>(h.version));
  out.push_back(static_cast<unsigned char>(h.version >> 8));
  out.push_back(static_cast<unsigned char>(h.flags));
  out.push_back(static_cast<unsigned char>(h.flags >> 8));
  Put32(out, static_cast<std::uint32_t>(h.width));
  Put32(out, static_cast<std::uint32_t>(h.height));
  Put32(out, h.checkEvery);
  PutString(out, h.runtimeVersion);
  PutString(out, h.renderer);
  return out;
}

std::vector<unsigned char> EncodeBlock(const std::vector<unsigned char>& records) {
  std::vector<unsigned char> out;
  if (records.size() > kMaxBlockBytes) return out;
  ZyCompression packer;
  const int n = packer.Pack(records.data(), static_cast<long>(records.size()));
  if (n <= 0) return out;
  Put32(out, static_cast<std::uint32_t>(n));
  Put32(out, static_cast<std::uint32_t>(Fnv1a(records.data(), records.size())));
  out.insert(out.end(), packer.Data(), packer.Data() + n);
  return out;
}

std::vector<unsigned char> EncodeRecording(const Header& h, const std::vector<Record>& records,
                                           std::size_t perBlock) {
  std::vector<unsigned char> out = EncodeHeader(h);
  RecordEncoder e;
  for (std::size_t i = 0; i < records.size(); ++i) {
    e.Put(records[i]);
    if ((i + 1) % std::max<std::size_t>(perBlock, 1) != 0 && i + 1 != records.size()) continue;
    const std::vector<unsigned char> block = EncodeBlock(e.Block());
    if (block.empty()) return {};
    out.insert(out.end(), block.begin(), block.end());
    e.Clear();
  }
  return out;
}

bool ParseRecording(const unsigned char* data, std::size_t size, Recording* out, std::string* error) {
  *out = Recording{};
  auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  if (size < 8 || std::memcmp(data, kMagic, 8) != 0) return fail("not a session recording");
  if (size < kHeaderFixed + 2) return fail("the recording is truncated in its header");
  Header& h = out->header;
  h.version = static_cast<std::uint16_t>(data[8] | (data[9] << 8));
  if (h.version != kFormatVersion)
    return fail("recording format version " + std::to_string(h.version) + ", this runtime reads version " +
                std::to_string(kFormatVersion));
  h.flags = static_cast<std::uint16_t>(data[10] | (data[11] << 8));
  if (h.flags & ~kScripted) return fail("the recording's header is damaged (unknown flags)");
  h.width = static_cast<std::int32_t>(Get32(data + 12));
  h.height = static_cast<std::int32_t>(Get32(data + 16));
  h.checkEvery = Get32(data + 20);
  std::size_t pos = kHeaderFixed;
  for (std::string* s : {&h.runtimeVersion, &h.renderer}) {
    if (pos >= size) return fail("the recording is truncated in its header");
    const std::size_t n = data[pos++];
    if (size - pos < n) return fail("the recording is truncated in its header");
    s->assign(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
  }
  if (h.width <= 0 || h.height <= 0 || h.width > 16384 || h.height > 16384)
    return fail("the recording's header is damaged (screen size)");

  int block = 0;
  struct BlockEnd {
    std::size_t tags, data;
  };
  std::vector<BlockEnd> ends;
  while (pos < size) {
    ++block;
    const std::string where = "block " + std::to_string(block) + ": ";
    if (size - pos < 8) return fail(where + "the recording is truncated");
    const std::uint32_t length = Get32(data + pos);
    const std::uint32_t hash = Get32(data + pos + 4);
    pos += 8;
    if (length < 4 || length > kMaxBlockBytes + kMaxBlockBytes / 8 + 1024) return fail(where + "damaged block length");
    if (size - pos < length) return fail(where + "the recording is truncated");
    if (Get32(data + pos) > kMaxBlockBytes) return fail(where + "damaged block length");
    ZyCompression unpacker;
    unpacker.UnPack(data + pos, static_cast<int>(length));
    if (!unpacker.Ok()) return fail(where + "the compressed records are damaged");
    const unsigned char* raw = unpacker.Data();
    const std::size_t rawSize = static_cast<std::size_t>(unpacker.Length());
    if (static_cast<std::uint32_t>(Fnv1a(raw, rawSize)) != hash) return fail(where + "the records do not match their checksum");
    if (rawSize < 4 || Get32(raw) > rawSize - 4) return fail(where + "damaged record count");
    const std::size_t count = Get32(raw);
    if (out->tags.size() + out->data.size() + rawSize > ZyCompression::kMaxUnpacked)
      return fail("the recording is too large");
    out->tags.insert(out->tags.end(), raw + 4, raw + 4 + count);
    out->data.insert(out->data.end(), raw + 4 + count, raw + rawSize);
    ends.push_back({out->tags.size(), out->data.size()});
    pos += length;
  }

  // Every record must decode, each block must end between records, and the program's end may
  // only come last.
  RecordDecoder decoder = out->Decoder();
  Record r;
  std::size_t read = 0, next = 0;
  while (decoder.Next(&r)) {
    if (out->ended) return fail("records follow the program's end");
    if (r.kind == Kind::kFrameEnd) ++out->frames;
    if (r.kind == Kind::kEnd) out->ended = true;
    ++read;
    while (next < ends.size() && ends[next].tags == read) {
      if (out->data.size() - decoder.Left() != ends[next].data)
        return fail("block " + std::to_string(next + 1) + ": its records do not fill it exactly");
      ++next;
    }
  }
  if (!decoder.Error().empty()) return fail(decoder.Error());
  return true;
}

}  // namespace TAVELOR::platform::replay
