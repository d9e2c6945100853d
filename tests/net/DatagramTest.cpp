// The datagram format, and a live server fed with datagrams built here: malformed ones must
// have no effect, well-formed ones from a peer that speaks only the wire format must work.
#include <gtest/gtest.h>
#include <tavelor/net.h>

#include <cstring>

#include "NetTestSupport.h"

using namespace TAVELOR;
using Msg = ZyHawkNetwork::Message;
using Bytes = std::vector<unsigned char>;
using nettest::WaitFor;

namespace {

Bytes Datagram(unsigned char kind, int length, int recipient, int sender, const std::string& data, const char* magic = "TVLN") {
  Bytes d(magic, magic + 4);
  d.push_back(kind);
  for (unsigned v : {unsigned(length), unsigned(recipient), unsigned(sender)}) {
    for (int i = 0; i < 4; ++i) d.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
  d.insert(d.end(), data.begin(), data.end());
  return d;
}

std::string Int(int v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

bool Decode(const Bytes& d, bool viaServer, Msg* m) { return ZyHawkNetwork::Decode(d.data(), static_cast<int>(d.size()), viaServer, m); }

}  // namespace

TEST(NetDatagram, WireLayoutAndAPeerThatSpeaksOnlyIt) {
  // Encoding what was decoded gives the same bytes; the magic is always written again, and
  // lengths beyond the limit are clamped, never read past the data.
  Msg m;
  ASSERT_TRUE(Decode(Datagram(3, 3, -1, 0x01020304, "abc"), false, &m));
  std::memcpy(m.magic, "XXXX", 4);
  unsigned char out[ZyHawkNetwork::kMaxDatagram];
  ASSERT_EQ(ZyHawkNetwork::Encode(m, out), 20);
  EXPECT_EQ(Bytes(out, out + 20), Datagram(3, 3, -1, 0x01020304, "abc"));
  m.length = 5000;
  EXPECT_EQ(ZyHawkNetwork::Encode(m, out), 17 + 2048);
  // Extra bytes after the data are ignored; the data is terminated after its length.
  ASSERT_TRUE(Decode(Datagram(3, 1, 101, 102, "xyz"), false, &m));
  EXPECT_EQ(std::string(m.magic, 4) + char(m.kind) + Int(m.recipient) + Int(m.sender) + Int(m.length) + m.data,
            std::string("TVLN\3") + Int(101) + Int(102) + Int(1) + "x");
  ASSERT_TRUE(Decode(Datagram(3, 2048, 1, 1, std::string(2048, 'q')), false, &m));
  EXPECT_EQ(m.data[2048], '\0');
  // Requests the server reads need their fixed data; so do the answers a client reads.
  const std::string image(152, 'A');  // a name without terminator
  Bytes cut = Datagram(3, 0, 1, 1, "");
  cut.pop_back();
  const struct {
    Bytes datagram;
    bool viaServer, ok;
  } cases[] = {
      {Datagram(3, -5, 101, 7, "boom"), true, false},
      {Datagram(3, 2049, 101, 7, std::string(2049, 'a')), true, false},
      {Datagram(3, 100, 101, 7, "only ten b"), true, false},
      {cut, true, false},
      {Datagram(1, 151, 0, 0, image.substr(0, 151)), true, false},  // creation request cut short
      {Datagram(102, 3, 0, 101, "abc"), true, false},               // player-id query with part of an index
      {Datagram(103, 0, 0, 101, ""), true, false},                  // name query without id
      {Datagram(4, 0, 0, 101, "", "tvln"), true, false},            // a logoff with a wrong magic
      {Datagram(1, 152, 0, 0, image), true, true},
      {Datagram(102, 4, 0, 101, "abcd"), true, true},
      {Datagram(101, 0, 0, 101, ""), true, true},
      {Datagram(101, 0, 101, 0, ""), false, false},
      {Datagram(102, 3, 101, 0, "abc"), false, false},
      {Datagram(104, 2, 101, 0, "ab"), false, false},
      {Datagram(103, 0, 101, 0, ""), false, true},
  };
  for (const auto& c : cases) EXPECT_EQ(Decode(c.datagram, c.viaServer, &m), c.ok) << &c - cases;

  // The player image, and the name a creation request gives: up to its length and its first
  // zero byte, and at most 126 characters.
  ZyHawkNetwork::Player p;
  p.id = -1;
  std::strcpy(p.name, "Witch");
  unsigned char image9[ZyHawkNetwork::kPlayerImageSize];
  ZyHawkNetwork::PlayerImage(p, image9);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image9), 14), Int(-1) + Int(-1) + '\0' + "Witch");  // socket, id, flag, name
  for (const auto& [length, name] : {std::pair<int, std::string>{152, std::string(126, 'B')}, {9 + 127, std::string(126, 'B')},
                                     {9 + 126, std::string(126, 'B')}, {9 + 5, "BBBBB"}, {8, ""}}) {
    ASSERT_TRUE(Decode(Datagram(1, 152, 0, 0, std::string(152, 'B')), true, &m));
    m.length = length;
    char got[ZyHawkNetwork::kNameSize + 1];
    std::memset(got, 'X', sizeof got);
    ZyHawkNetwork::NameFromRequest(m, got);
    EXPECT_EQ(std::string(got, strnlen(got, sizeof got)), name) << length;
  }

  // A live server, and a peer of plain sockets after the socket layer's handshake.
  pZyNet = new ZyHawkNetwork;
  const int port = nettest::FreePort();
  ASSERT_EQ(NETHOSTGAME(0, "", "", std::to_string(port).c_str()), 1);
  ASSERT_EQ(std::string(NETCREATEPLAYER_Str("hostp").c_str()), "101");
  nlInit();
  nlSelectNetwork(NL_IP);
  NLsocket raw = nlOpen(0, NL_UNRELIABLE);
  NLaddress server = nettest::Loopback(port);
  ASSERT_TRUE(nlConnect(raw, &server));
  ASSERT_TRUE(nettest::Connected(raw)) << "handshake";
  auto put = [&](const Bytes& d) { ASSERT_EQ(nlWrite(raw, d.data(), static_cast<NLint>(d.size())), static_cast<NLint>(d.size())); };
  // The next datagram for the peer, decoded as a client would.
  auto get = [&] {
    unsigned char buf[ZyHawkNetwork::kMaxDatagram];
    return WaitFor([&] {
      const NLint n = nlRead(raw, buf, sizeof(buf));
      return n > 0 && ZyHawkNetwork::Decode(buf, n, false, &m);
    }, 3000);
  };
  for (const auto& c : cases) {
    if (c.viaServer && !c.ok) put(c.datagram);
  }
  // Then a well-formed creation request, whose unterminated name is cut at 126 characters.
  put(Datagram(1, 152, 0, 0, image));
  ASSERT_TRUE(get());
  EXPECT_EQ(std::string(1, char(m.kind)) + Int(m.recipient) + Int(m.sender), char(ZyHawkNetwork::NLM_PLAYER_CREATED) + Int(102) + Int(0));
  EXPECT_EQ(std::string(NETPLAYERNAME_Str("102").c_str()), std::string(126, 'A'));
  // None of the broken messages reached the host's player; a good one does.
  put(Datagram(3, 2, 101, 102, "ok"));
  DGStr got;
  EXPECT_TRUE(WaitFor([&] { return (got = NETGETMSG_Str("101")).Len() > 0; }, 3000));
  EXPECT_STREQ(got.c_str(), "ok");
  // Each query is answered to the asker from the server's table.
  const struct {
    unsigned char kind;
    std::string data, answer;
  } queries[] = {{101, "", Int(2)},      {102, Int(0), Int(101)},  {102, Int(1), Int(102)}, {102, Int(2), Int(0)},
                 {102, Int(-1), Int(0)}, {103, Int(101), "hostp"}, {103, Int(7), ""},       {104, "", Int(1)}};
  for (const auto& q : queries) {
    put(Datagram(q.kind, static_cast<int>(q.data.size()), 0, 102, q.data));
    ASSERT_TRUE(get()) << &q - queries;
    EXPECT_EQ(char(m.kind) + Int(m.recipient) + std::string(m.data, m.length), char(q.kind) + Int(102) + q.answer) << &q - queries;
  }
  // The host's player writes to the peer; a query from an unknown sender gets no answer.
  EXPECT_EQ(NETSENDMSG("101", "102", "to peer"), 1);
  ASSERT_TRUE(get());
  EXPECT_EQ(char(m.kind) + Int(m.sender) + std::string(m.data, m.length), "\3" + Int(101) + "to peer");
  put(Datagram(104, 0, 0, 555, ""));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(nlRead(raw, &m, 1), 0);
  // Logging off removes the peer's player from the table.
  put(Datagram(4, 0, 0, 102, ""));
  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 1; }, 3000));
  nlClose(raw);
  nlShutdown();
  nettest::EndSession();
}
