// Fuzz target: session recordings (TAVELOR_REPLAY). A file the reader accepts decodes to the
// end, and its records written again read back the same.
#include <cstdint>
#include <string>

#include "platform/replay_file.h"

using namespace TAVELOR::platform::replay;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  Recording rec;
  std::string error;
  if (!ParseRecording(data, size, &rec, &error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  RecordDecoder decoder = rec.Decoder();
  std::vector<Record> records;
  Record r;
  while (decoder.Next(&r)) records.push_back(r);
  if (!decoder.Error().empty()) __builtin_trap();
  const std::vector<unsigned char> again = EncodeRecording(rec.header, records, 3);
  Recording back;
  if (!ParseRecording(again.data(), again.size(), &back, &error) || back.frames != rec.frames || back.ended != rec.ended)
    __builtin_trap();
  return 0;
}
