// The datagram format, and a live server fed with datagrams built here: malformed ones must
// have no effect, well-formed ones from a peer that speaks only the wire format must work.
#include <gtest/gtest.h>
#include <tavelor/net.h>

#include <cstring>
#include <string>
#include <vector>

#include "NetTestSupport.h"
#include "frame/Runtime.h"

using namespace TAVELOR;
using Msg = ZyHawkNetwork::Message;
using nettest::WaitFor;

namespace {

std::vector<unsigned char> Datagram(unsigned char kind, int length, int recipient, int sender,
                                    const std::string& data, const char* magic = "TVLN") {
  std::vector<unsigned char> d(17);
  std::memcpy(d.data(), magic, 4);
  d[4] = kind;
  for (int i = 0; i < 4; ++i) {
    d[5 + i] = static_cast<unsigned char>(static_cast<unsigned>(length) >> (8 * i));
    d[9 + i] = static_cast<unsigned char>(static_cast<unsigned>(recipient) >> (8 * i));
    d[13 + i] = static_cast<unsigned char>(static_cast<unsigned>(sender) >> (8 * i));
  }
  d.insert(d.end(), data.begin(), data.end());
  return d;
}

int IntAt(const char* p) {
  int v;
  std::memcpy(&v, p, 4);
  return v;
}

bool Decode(const std::vector<unsigned char>& d, bool viaServer, Msg* m) {
  return ZyHawkNetwork::Decode(d.data(), static_cast<int>(d.size()), viaServer, m);
}

}  // namespace

TEST(NetDatagram, EncodeWritesTheWireLayout) {
  Msg m;
  std::memcpy(m.magic, "XXXX", 4);  // the magic is always written again
  m.kind = ZyHawkNetwork::NLM_MESSAGE;
  m.length = 3;
  m.recipient = -1;
  m.sender = 0x01020304;
  std::memcpy(m.data, "abc", 3);
  unsigned char out[ZyHawkNetwork::kMaxDatagram];
  ASSERT_EQ(ZyHawkNetwork::Encode(m, out), 20);
  EXPECT_EQ(std::vector<unsigned char>(out, out + 20), Datagram(3, 3, -1, 0x01020304, "abc"));
  EXPECT_EQ(std::memcmp(m.magic, "TVLN", 4), 0);
  // Lengths beyond the limit are clamped, never read past the data.
  m.length = 5000;
  EXPECT_EQ(ZyHawkNetwork::Encode(m, out), 17 + 2048);
}

TEST(NetDatagram, DecodeAcceptsOnlyConsistentDatagrams) {
  Msg m;
  ASSERT_TRUE(Decode(Datagram(3, 2, 101, 102, "hi"), false, &m));
  EXPECT_EQ(m.kind, 3);
  EXPECT_EQ(m.recipient, 101);
  EXPECT_EQ(m.sender, 102);
  EXPECT_STREQ(m.data, "hi");
  // Extra bytes after the data are ignored; the data is terminated after its length.
  ASSERT_TRUE(Decode(Datagram(3, 1, 101, 102, "xyz"), false, &m));
  EXPECT_EQ(m.length, 1);
  EXPECT_STREQ(m.data, "x");
  ASSERT_TRUE(Decode(Datagram(3, 2048, 1, 1, std::string(2048, 'q')), false, &m));
  EXPECT_EQ(m.data[2048], '\0');

  EXPECT_FALSE(Decode(Datagram(3, -1, 101, 102, "hi"), false, &m));
  EXPECT_FALSE(Decode(Datagram(3, 2049, 101, 102, std::string(2049, 'a')), false, &m));
  EXPECT_FALSE(Decode(Datagram(3, 10, 101, 102, "short"), false, &m));
  EXPECT_FALSE(Decode(Datagram(3, 0, 101, 102, "", "TVLX"), false, &m));
  std::vector<unsigned char> cut = Datagram(3, 0, 1, 1, "");
  cut.resize(16);
  EXPECT_FALSE(Decode(cut, false, &m));

  // Requests the server reads need their fixed data; so do the answers a client reads.
  EXPECT_FALSE(Decode(Datagram(1, 151, 0, 0, std::string(151, 'n')), true, &m));
  EXPECT_TRUE(Decode(Datagram(1, 152, 0, 0, std::string(152, 'n')), true, &m));
  EXPECT_FALSE(Decode(Datagram(102, 3, 0, 101, "abc"), true, &m));
  EXPECT_FALSE(Decode(Datagram(103, 0, 0, 101, ""), true, &m));
  EXPECT_TRUE(Decode(Datagram(101, 0, 0, 101, ""), true, &m));
  EXPECT_FALSE(Decode(Datagram(101, 0, 101, 0, ""), false, &m));
  EXPECT_FALSE(Decode(Datagram(104, 2, 101, 0, "ab"), false, &m));
  EXPECT_TRUE(Decode(Datagram(103, 0, 101, 0, ""), false, &m));
}

TEST(NetDatagram, PlayerImageLayout) {
  ZyHawkNetwork::Player p;
  p.id = -1;
  std::strcpy(p.name, "Witch");
  unsigned char image[ZyHawkNetwork::kPlayerImageSize];
  ZyHawkNetwork::PlayerImage(p, image);
  EXPECT_EQ(IntAt(reinterpret_cast<char*>(image)), -1);      // socket
  EXPECT_EQ(IntAt(reinterpret_cast<char*>(image) + 4), -1);  // id
  EXPECT_STREQ(reinterpret_cast<char*>(image) + 9, "Witch");
}

// A peer built from the wire format alone: the handshake of the socket layer, then datagrams.
class RawPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    pZyNet = new ZyHawkNetwork;
    port_ = nettest::FreePort();
    ASSERT_EQ(NETHOSTGAME(0, "", "", std::to_string(port_).c_str()), 1);
    ASSERT_EQ(std::string(NETCREATEPLAYER_Str("hostp").c_str()), "101");
    nlInit();
    nlSelectNetwork(NL_IP);
    raw_ = nlOpen(0, NL_UNRELIABLE);
    NLaddress server = nettest::Loopback(port_);
    ASSERT_TRUE(nlConnect(raw_, &server));
    ASSERT_TRUE(nettest::Connected(raw_)) << "handshake";
  }
  void TearDown() override {
    nlClose(raw_);
    nlShutdown();
    nettest::EndSession();
  }
  void Put(const std::vector<unsigned char>& d) {
    ASSERT_EQ(nlWrite(raw_, d.data(), static_cast<NLint>(d.size())), static_cast<NLint>(d.size()));
  }
  // The next datagram for the peer, decoded as a client would.
  bool Get(Msg* m) {
    unsigned char buf[ZyHawkNetwork::kMaxDatagram];
    return WaitFor(
        [&] {
          const NLint n = nlRead(raw_, buf, sizeof(buf));
          return n > 0 && ZyHawkNetwork::Decode(buf, n, false, m);
        },
        3000);
  }
  int port_ = 0;
  NLsocket raw_ = NL_INVALID;
};

TEST_F(RawPeer, MalformedDatagramsHaveNoEffect) {
  const std::string image(152, 'A');  // a name without terminator
  Put(Datagram(3, -5, 101, 7, "boom"));
  Put(Datagram(3, 5000, 101, 7, "boom"));
  Put(Datagram(3, 100, 101, 7, "only ten b"));
  Put(Datagram(3, 4, 101, 7, "evil", "TVLX"));
  Put(std::vector<unsigned char>{'T', 'V', 'L', 'N', 3, 4, 0});
  Put(Datagram(1, 20, 0, 0, image.substr(0, 20)));   // creation request cut short
  Put(Datagram(1, 152, 0, 0, image.substr(0, 60)));  // length beyond the body
  Put(Datagram(102, 0, 0, 101, ""));                 // player-id query without index
  Put(Datagram(103, 2, 0, 101, "ab"));               // name query with half an id
  Put(Datagram(4, 0, 0, 101, "", "tvln"));           // a logoff with a wrong magic

  // Then a well-formed creation request, whose unterminated name is cut at 126 characters.
  Put(Datagram(1, 152, 0, 0, image));
  Msg m;
  ASSERT_TRUE(Get(&m));
  EXPECT_EQ(m.kind, ZyHawkNetwork::NLM_PLAYER_CREATED);
  EXPECT_EQ(m.recipient, 102);
  EXPECT_EQ(m.sender, 0);

  EXPECT_EQ(NETNUMPLAYERS(), 2);
  EXPECT_EQ(std::string(NETPLAYERNAME_Str("102").c_str()), std::string(126, 'A'));
  EXPECT_EQ(std::string(NETPLAYERNAME_Str("101").c_str()), "hostp");
  // None of the broken messages reached the host's player; a good one does.
  Put(Datagram(3, 2, 101, 102, "ok"));
  DGStr got;
  EXPECT_TRUE(WaitFor([&] { return (got = NETGETMSG_Str("101")).Len() > 0; }, 3000));
  EXPECT_STREQ(got.c_str(), "ok");
  EXPECT_STREQ(NETGETMSG_Str("101").c_str(), "");
}

TEST_F(RawPeer, QueriesAreAnsweredOnTheWire) {
  Put(Datagram(1, 152, 0, 0, std::string(9, '\0') + "peer" + std::string(139, '\0')));
  Msg m;
  ASSERT_TRUE(Get(&m));
  ASSERT_EQ(m.recipient, 102);

  Put(Datagram(101, 0, 0, 102, ""));
  ASSERT_TRUE(Get(&m));
  EXPECT_EQ(m.kind, 101);
  EXPECT_EQ(m.recipient, 102);
  EXPECT_EQ(m.length, 4);
  EXPECT_EQ(IntAt(m.data), 2);

  Put(Datagram(102, 4, 0, 102, std::string("\x01\0\0\0", 4)));
  ASSERT_TRUE(Get(&m));
  EXPECT_EQ(IntAt(m.data), 102);

  Put(Datagram(103, 4, 0, 102, std::string("\x65\0\0\0", 4)));  // 101
  ASSERT_TRUE(Get(&m));
  EXPECT_EQ(m.kind, 103);
  EXPECT_EQ(std::string(m.data, m.length), "hostp");

  Put(Datagram(104, 0, 0, 102, ""));
  ASSERT_TRUE(Get(&m));
  EXPECT_EQ(IntAt(m.data), 1);

  // The host's player writes to the peer; a query from an unknown sender gets no answer.
  EXPECT_EQ(NETSENDMSG("101", "102", "to peer"), 1);
  ASSERT_TRUE(Get(&m));
  EXPECT_EQ(m.kind, 3);
  EXPECT_EQ(m.sender, 101);
  EXPECT_EQ(std::string(m.data, m.length), "to peer");
  Put(Datagram(104, 0, 0, 555, ""));
  unsigned char buf[64];
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(nlRead(raw_, buf, sizeof(buf)), 0);

  // Logging off removes the peer's player from the table.
  Put(Datagram(4, 0, 0, 102, ""));
  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 1; }, 3000));
}
