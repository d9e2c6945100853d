// The session recording file: a header, then blocks of LZO-compressed records.
//
//   header   "TVRECORD"  magic, 8 bytes
//            u16         format version (kFormatVersion)
//            u16         flags: 1 a scripted recording (below), other bits 0
//            i32, i32    screen width and height
//            u32         frames between stored frame checksums
//            u8 + bytes  runtime version
//            u8 + bytes  OpenGL renderer that drew the recorded frames
//   blocks   until the end of the file, each
//            u32         length of the container that follows
//            u32         low half of the FNV-1a hash of the uncompressed block
//            container   u32 uncompressed length, then an LZO1X stream (ZyCompression)
//   a block, uncompressed:
//            u32         number of records n
//            n bytes     the records' kinds
//            the records' contents, one after the other
//
// All numbers little-endian. The records of all blocks form one stream (blocks end between
// records). Varints are LEB128, signed ones zigzag-coded. Values that change little are stored
// as differences from the previous record of the same kind. Kinds and contents are kept apart
// because the kinds repeat frame after frame and compress well, the clock's noise does not.
//
// A scripted recording is written by a program rather than recorded: each frame (start-up
// counts as frame 0) is a clock record (nanoseconds), a keyboard record, a mouse record (its
// motion is handed to the first reading of the frame that takes motion) and any window
// messages, then the frame's end. Every reading of a frame gets that frame's state; the
// program reads no joysticks, and it has a pointer, a keyboard and the mouse it asks for.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/platform.h"

namespace TAVELOR::platform::replay {

constexpr char kMagic[8] = {'T', 'V', 'R', 'E', 'C', 'O', 'R', 'D'};
constexpr std::uint16_t kFormatVersion = 1;
// A block holds at most this many bytes of records; the writer ends blocks well before.
constexpr std::uint32_t kMaxBlockBytes = 1u << 20;
// Joystick names longer than this are cut.
constexpr std::size_t kMaxName = 256;

constexpr std::uint16_t kScripted = 1;

struct Header {
  std::uint16_t version = kFormatVersion;
  std::uint16_t flags = 0;
  std::int32_t width = 0, height = 0;
  std::uint32_t checkEvery = 0;
  std::string runtimeVersion;
  std::string renderer;
};

enum class Kind : std::uint8_t {
  kKeyboard = 1,  // count, then (key code, state byte) for each key that changed
  kMouse,         // flags (1 motion taken, 2/4/8 buttons, 16 no numbers: all zero); dx, dy,
                  // wheel, x and y differences
  kJoystick,      // index, read ok; if ok: six axes, hat + 1, button bits
  kClock,         // performance counter difference
  kFrequency,     // performance counter frequency
  kTicks,         // millisecond tick count difference
  kMessage,       // window message, wParam, lParam
  kValue,         // what (Value), the value
  kName,          // joystick index, length, bytes
  kFrameEnd,      // 1 and a u64 checksum of the shown frame, or 0
  kEnd,           // the program ended: 1 and a u64 checksum of its last picture, or 0
};

// The single values a recording holds besides the devices' samples.
enum class Value : std::uint8_t {
  kHasPointer = 1,
  kKeyboardAvailable,
  kJoystickInit,
  kRelativeMouse,
  kJoystickCount,
  kKeyChar,
};

// One record as the reader hands it over. Only the fields of its kind are meaningful.
struct Record {
  Kind kind{};
  Value what{};
  bool flag = false;              // mouse: motion taken; joystick: read ok; frame/end: checksum held
  std::uint64_t number = 0;       // clock counter, ticks, frequency, checksum
  std::int64_t value = 0;         // value; joystick and name index
  unsigned int message = 0, wParam = 0;
  long lParam = 0;
  MouseSample mouse;
  JoystickSample joystick;
  std::string name;
  std::array<unsigned char, 256> keys{};  // the whole keyboard state after this record
};

// Encodes records, keeping the previous values the differences refer to.
class RecordEncoder {
 public:
  void Keyboard(const unsigned char state[256]);
  void Mouse(bool motionTaken, const MouseSample& s);
  void Joystick(int index, bool ok, const JoystickSample& s);
  void Clock(std::uint64_t counter);
  void Frequency(std::uint64_t frequency);
  void Ticks(std::uint32_t ticks);
  void Msg(const Message& m);
  void Val(Value what, std::int64_t value);
  void Name(int index, const std::string& name);
  void FrameEnd(bool hasChecksum, std::uint64_t checksum);
  void End(bool hasChecksum, std::uint64_t checksum);
  // Any decoded record again (the keyboard as its whole state).
  void Put(const Record& r);

  // The records so far as an uncompressed block; Clear starts the next block (the
  // differences go on from the last record).
  std::vector<unsigned char> Block() const;
  std::size_t Size() const { return tags_.size() + out_.size(); }
  void Clear();

 private:
  void U(std::uint64_t v);
  void S(std::int64_t v);
  void Tag(Kind k) { tags_.push_back(static_cast<unsigned char>(k)); }

  std::vector<unsigned char> tags_;
  std::vector<unsigned char> out_;
  std::array<unsigned char, 256> keys_{};
  std::uint64_t clock_ = 0;
  std::uint32_t ticks_ = 0;
  int mouseX_ = 0, mouseY_ = 0;
};

// Decodes a record stream: the kinds and the contents. Next fails (with Error() saying why)
// on a damaged record.
class RecordDecoder {
 public:
  RecordDecoder(const unsigned char* tags, std::size_t count, const unsigned char* data, std::size_t size)
      : tag_(tags), tagEnd_(tags + count), p_(data), end_(data + size) {}
  // False at the end of the stream (Error() empty) or on damage (Error() set).
  bool Next(Record* out);
  const std::string& Error() const { return error_; }
  // Contents not yet read.
  std::size_t Left() const { return static_cast<std::size_t>(end_ - p_); }

 private:
  bool U(std::uint64_t* v);
  bool S(std::int64_t* v);
  bool Byte(unsigned char* b);
  bool Fail(const char* why);

  const unsigned char* tag_;
  const unsigned char* tagEnd_;
  const unsigned char* p_;
  const unsigned char* end_;
  std::string error_;
  std::array<unsigned char, 256> keys_{};
  std::uint64_t clock_ = 0;
  std::uint32_t ticks_ = 0;
  int mouseX_ = 0, mouseY_ = 0;
};

// The header's bytes.
std::vector<unsigned char> EncodeHeader(const Header& h);
// One block: an uncompressed block (RecordEncoder::Block) packed into a container behind its
// length and hash. Empty on failure.
std::vector<unsigned char> EncodeBlock(const std::vector<unsigned char>& block);
// A whole file: the header, then the records in blocks of at most perBlock records.
std::vector<unsigned char> EncodeRecording(const Header& h, const std::vector<Record>& records,
                                           std::size_t perBlock = 4096);

// A whole recording read into memory.
struct Recording {
  Header header;
  std::vector<unsigned char> tags;     // the kinds of all records, in order
  std::vector<unsigned char> data;     // their contents
  RecordDecoder Decoder() const { return RecordDecoder(tags.data(), tags.size(), data.data(), data.size()); }
  std::uint32_t frames = 0;            // frame ends in the stream
  bool ended = false;                  // the stream ends with the program's end
};

// Reads a recording from its bytes and checks every block and record. On failure returns
// false and puts a sentence saying what is wrong into *error.
bool ParseRecording(const unsigned char* data, std::size_t size, Recording* out, std::string* error);

// FNV-1a, 64 bits.
std::uint64_t Fnv1a(const unsigned char* data, std::size_t size, std::uint64_t seed = 0xcbf29ce484222325ull);

}  // namespace TAVELOR::platform::replay
