// Writes the seed corpora of the fuzz targets, one folder per target below the folder given
// on the command line, so that each target starts with inputs that get past its headers.
// Archives are made afterwards by tavelor-pack from the member files written to "files".
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <tavelor/scene3d.h>

#include "display/Bitmap.h"
#include "net/ZyHawkNetwork.h"
#include "platform/replay_file.h"
#include "storage/ZyCompression.h"

namespace fs = std::filesystem;
using namespace TAVELOR;
using Bytes = std::vector<unsigned char>;

namespace {

fs::path g_root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(g_root / target);
  std::ofstream(g_root / target / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Write(const std::string& target, const std::string& name, const std::string& text) {
  Write(target, name, Bytes(text.begin(), text.end()));
}

void Put(Bytes& b, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// A small picture in one of the accepted BMP forms: 8 bits with a palette (optionally
// run-length encoded), 24 or 32 bits; rows stored from the bottom or, with topDown, the top.
Bytes Bmp(int bits, bool rle, bool topDown) {
  const int w = 5, h = 4;
  Bytes pixels;
  if (rle) {
    for (int y = 0; y < h; ++y) {
      pixels.insert(pixels.end(), {2, static_cast<unsigned char>(y)});        // a run of 2
      pixels.insert(pixels.end(), {0, 3, 7, 8, 9, 0});                         // 3 literal, padded
      pixels.insert(pixels.end(), {0, 0});                                     // end of line
    }
    pixels.insert(pixels.end(), {0, 1});  // end of picture
  } else {
    const int stride = (w * bits / 8 + 3) / 4 * 4;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < stride; ++x) pixels.push_back(static_cast<unsigned char>(x * 40 + y * 13));
    }
  }
  const int paletteBytes = bits == 8 ? 256 * 4 : 0;
  const std::uint32_t offset = 14 + 40 + paletteBytes;
  Bytes b{'B', 'M'};
  Put(b, offset + static_cast<std::uint32_t>(pixels.size()), 4);
  Put(b, 0, 4);
  Put(b, offset, 4);
  Put(b, 40, 4);
  Put(b, w, 4);
  Put(b, static_cast<std::uint32_t>(topDown ? -h : h), 4);
  Put(b, 1, 2);
  Put(b, static_cast<std::uint32_t>(bits), 2);
  Put(b, rle ? 1 : 0, 4);
  Put(b, static_cast<std::uint32_t>(pixels.size()), 4);
  Put(b, 2835, 4);
  Put(b, 2835, 4);
  Put(b, bits == 8 ? 256 : 0, 4);
  Put(b, 0, 4);
  for (int i = 0; i < paletteBytes / 4; ++i) Put(b, static_cast<std::uint32_t>(i * 0x010203), 4);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// A mesh built with the object builder and saved as a .ddd file.
Bytes Mesh(int object, int strips) {
  X_OBJSTART(object);
  for (int s = 0; s < strips; ++s) {
    if (s) X_OBJNEWGROUP();
    for (int i = 0; i < 6; ++i) X_OBJADDVERTEX(i % 2 + s, i / 2, s * 0.5, i % 2, i / 3.0, 0x00FF8040 + i * 8);
  }
  X_OBJEND();
  const fs::path path = g_root / "files" / ("mesh" + std::to_string(object) + ".ddd");
  fs::create_directories(path.parent_path());
  X_SAVEOBJ(path.c_str(), object);
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes Datagram(unsigned char kind, int recipient, int sender, const Bytes& body) {
  ZyHawkNetwork::Message msg;
  msg.kind = kind;
  msg.recipient = recipient;
  msg.sender = sender;
  msg.length = static_cast<int>(body.size());
  std::copy(body.begin(), body.end(), msg.data);
  Bytes out(ZyHawkNetwork::kMaxDatagram);
  out.resize(static_cast<std::size_t>(ZyHawkNetwork::Encode(msg, out.data())));
  return out;
}

Bytes Int(int v) {
  Bytes b;
  Put(b, static_cast<std::uint32_t>(v), 4);
  return b;
}

Bytes CreateRequest(const char* name) {
  ZyHawkNetwork::Player p;
  std::snprintf(p.name, sizeof p.name, "%s", name);
  Bytes image(ZyHawkNetwork::kPlayerImageSize);
  ZyHawkNetwork::PlayerImage(p, image.data());
  return Datagram(ZyHawkNetwork::NLM_CREATE_PLAYER, 0, 0, image);
}

// One record of the session target: direction (0 to the server, 1 to the worker's own
// connection), 16-bit length, datagram.
void Record(Bytes& out, int direction, const Bytes& datagram) {
  out.push_back(static_cast<unsigned char>(direction));
  Put(out, static_cast<std::uint32_t>(datagram.size()), 2);
  out.insert(out.end(), datagram.begin(), datagram.end());
}

Bytes Packed(const std::string& text) {
  ZyCompression zc;
  zc.Pack(reinterpret_cast<const unsigned char*>(text.data()), static_cast<long>(text.size()));
  return Bytes(zc.Data(), zc.Data() + zc.Length());
}

}  // namespace

// A short recording: start-up readings, three frames (the second with a checksum), the end.
Bytes Recording() {
  using namespace TAVELOR::platform;
  replay::RecordEncoder e;
  e.Val(replay::Value::kJoystickInit, 1);
  e.Frequency(1000000000);
  e.Clock(123456789);
  for (int f = 0; f < 3; ++f) {
    unsigned char keys[256] = {};
    keys[57] = f == 1 ? 0x80 : 0;
    e.Keyboard(keys);
    MouseSample m;
    m.dx = f * 7 - 3;
    m.buttons[0] = f == 2;
    e.Mouse(true, m);
    e.Clock(123456789 + 16666667ull * (f + 1));
    e.Msg(Message{6, static_cast<unsigned>(f), 0});
    e.FrameEnd(f == 1, 0xFEEDFACE);
  }
  e.End(true, 77);
  replay::Header h;
  h.width = 640, h.height = 480, h.checkEvery = 2, h.runtimeVersion = "0.1.0", h.renderer = "llvmpipe";
  Bytes file = replay::EncodeHeader(h);
  const Bytes block = replay::EncodeBlock(e.Block());
  file.insert(file.end(), block.begin(), block.end());
  return file;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  g_root = argv[1];

  const struct {
    const char* name;
    Bytes bytes;
  } bitmaps[] = {{"p8.bmp", Bmp(8, false, false)},   {"rle8.bmp", Bmp(8, true, false)},
                 {"t24.bmp", Bmp(24, false, false)}, {"t32.bmp", Bmp(32, false, false)},
                 {"top24.bmp", Bmp(24, false, true)}, {"top8.bmp", Bmp(8, false, true)}};
  for (const auto& b : bitmaps) {
    Write("bmp", b.name, b.bytes);
    Write("bmp_size", b.name, b.bytes);
  }
  Write("files", "moon.bmp", bitmaps[1].bytes);

  Write("mesh_ddd", "one.ddd", Mesh(1, 1));
  Write("mesh_ddd", "three.ddd", Mesh(2, 3));
  fs::copy_file(g_root / "files" / "mesh1.ddd", g_root / "files" / "hag.ddd", fs::copy_options::overwrite_existing);

  const std::string lines[] = {"one\r\ntwo\r\nthree\r\n", "a\nb\n\nd", std::string(1500, 'x') + "\r\nshort\r\n",
                               std::string("nul\0inside\r\n", 12)};
  for (std::size_t i = 0; i < std::size(lines); ++i) Write("storage_linefile", "lines" + std::to_string(i), lines[i]);
  Write("files", "a", lines[0]);

  for (const std::string& text : {std::string(), std::string("hello hello hello hello"), std::string(5000, 'z')}) {
    Write("storage_compression", "c" + std::to_string(text.size()), Packed(text));
  }

  using Z = ZyHawkNetwork;
  const Bytes datagrams[] = {CreateRequest("anna"),
                             Datagram(Z::NLM_PLAYER_CREATED, 101, 0, {}),
                             Datagram(Z::NLM_MESSAGE, 101, 102, {'h', 'i'}),
                             Datagram(Z::NLM_MESSAGE, -1, 101, {'a', 'l', 'l'}),
                             Datagram(Z::NLM_LOGOFF, 0, 101, {}),
                             Datagram(Z::NLM_QUERY_NUMPLAYERS, 0, 101, {}),
                             Datagram(Z::NLM_QUERY_PLAYERID, 0, 101, Int(0)),
                             Datagram(Z::NLM_QUERY_PLAYERNAME, 0, 101, Int(101)),
                             Datagram(Z::NLM_QUERY_IS_SERVER_ALIVE, 0, 101, {}),
                             Datagram(Z::NLM_QUERY_NUMPLAYERS, 101, 0, Int(2)),
                             Datagram(Z::NLM_QUERY_PLAYERNAME, 101, 0, {'a', 'n', 'n', 'a'})};
  for (std::size_t i = 0; i < std::size(datagrams); ++i) Write("net_datagram", "d" + std::to_string(i), datagrams[i]);

  Bytes server, client, mixed;
  for (std::size_t i = 0; i < std::size(datagrams); ++i) {
    const bool toClient = i == 1 || i >= 9;
    Record(toClient ? client : server, toClient ? 1 : 0, datagrams[i]);
    Record(mixed, toClient ? 1 : 0, datagrams[i]);
  }
  Record(client, 1, Datagram(Z::NLM_MESSAGE, 101, 0, {'y', 'o'}));
  Write("net_session", "server", server);
  Write("net_session", "client", client);
  Write("net_session", "mixed", mixed);

  Bytes request{'H', 'a', 'w', 'k', 'N', 'L', ' ', 'r', 'e', 'q', 'u', 'e', 's', 't', ' ', 'c', 'o', 'n', 'n', 'e', 'c', 't', 'i', 'o', 'n', '.', 0};
  Bytes reply{0x69, 0x85};
  for (char c : std::string("HawkNL connection OK.")) reply.push_back(static_cast<unsigned char>(c));
  reply.push_back(0);
  Write("nl_handshake", "request", request);
  Write("nl_handshake", "reply", reply);
  Write("replay_file", "session.rec", Recording());

  for (const char* line : {"prog a b", "\"C:\\Program Files\\x.exe\" \"a b\" c\\\\\\\"d", "x \"\" \\\\\"q\\\" \t y"}) {
    Write("shell_cmdline", "line" + std::to_string(std::string(line).size()), std::string(line));
  }

  std::string strfuncs(24, '\0');
  strfuncs[7] = 0x40;  // 2.0 as the first number
  strfuncs += ",;";
  strfuncs.push_back('\0');
  strfuncs += "alpha,beta;;gamma";
  Write("strfuncs", "split", strfuncs);
  return 0;
}
