// Fuzzes the reader of network datagrams: decoding in both directions, the name taken from a
// creation request, and re-encoding whatever was accepted.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "net/ZyHawkNetwork.h"

using TAVELOR::ZyHawkNetwork;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > static_cast<std::size_t>(ZyHawkNetwork::kMaxDatagram)) size = ZyHawkNetwork::kMaxDatagram;
  static ZyHawkNetwork::Message msg;
  for (bool viaServer : {false, true}) {
    if (!ZyHawkNetwork::Decode(data, static_cast<int>(size), viaServer, &msg)) continue;
    if (msg.length < 0 || msg.length > ZyHawkNetwork::kMaxData || msg.data[msg.length] != '\0') __builtin_trap();
    char name[ZyHawkNetwork::kNameSize];
    ZyHawkNetwork::NameFromRequest(msg, name);
    if (std::strlen(name) > ZyHawkNetwork::kNameSize - 1u) __builtin_trap();
    unsigned char out[ZyHawkNetwork::kMaxDatagram];
    const int n = ZyHawkNetwork::Encode(msg, out);
    if (n != ZyHawkNetwork::kHeaderSize + msg.length || std::memcmp(out, data, static_cast<std::size_t>(n)) != 0) {
      __builtin_trap();  // an accepted datagram must survive a round trip
    }
  }
  return 0;
}
