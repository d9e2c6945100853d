// The compression container: round trips, containers made by an independent LZO
// implementation, and damaged input.
#include <cstdint>
#include <random>

#include "StorageTestUtil.h"
#include "storage/ZyCompression.h"

using namespace storage_test;
using TAVELOR::ZyCompression;

namespace {

std::string Mixed(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(n);
  while (s.size() < n) {
    if (rng() % 2) {
      s += "the witch flies over the house and the trees; ";
    } else {
      for (int i = 0; i < 40; ++i) s += static_cast<char>(rng());
    }
  }
  s.resize(n);
  return s;
}

const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::string Packed(const std::string& data) {
  ZyCompression zc;
  int n = zc.Pack(U(data), static_cast<long>(data.size()));
  return std::string(reinterpret_cast<const char*>(zc.Data()), static_cast<std::size_t>(n));
}

}  // namespace

TEST(Compression, RoundTripReproducesEveryByte) {
  for (std::size_t n : {0u, 1u, 3u, 100u, 65536u, 300001u}) {
    std::string data = Mixed(n, static_cast<unsigned>(n));
    std::string packed = Packed(data);
    ASSERT_GE(packed.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(packed[0]), n & 0xFF);
    ZyCompression zc;
    ASSERT_EQ(zc.UnPack(U(packed), static_cast<int>(packed.size())), static_cast<int>(n));
    EXPECT_TRUE(zc.Ok());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(zc.Data()), n), data) << n;
  }
  // Reusing one object frees the previous result.
  ZyCompression zc;
  std::string a = Packed("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"), b = Packed("bc");
  EXPECT_EQ(zc.UnPack(U(a), static_cast<int>(a.size())), 36);
  EXPECT_EQ(zc.UnPack(U(b), static_cast<int>(b.size())), 2);
  zc.Clear();
  EXPECT_EQ(zc.Length(), 0);
  EXPECT_EQ(zc.Data(), nullptr);
}

TEST(Compression, DamagedTruncatedOrOversizedContainersGiveZero) {
  std::string data = Mixed(20000, 7);
  std::string packed = Packed(data);
  ZyCompression zc;

  // Cut short at many places: never a crash, always 0.
  for (std::size_t cut = 0; cut < packed.size(); cut += 97) {
    EXPECT_EQ(zc.UnPack(U(packed), static_cast<int>(cut)), 0) << cut;
    EXPECT_FALSE(zc.Ok());
  }
  EXPECT_EQ(zc.UnPack(nullptr, 100), 0);

  // Declared length smaller or larger than the stream's.
  std::string shorter = packed;
  shorter[0] = static_cast<char>(shorter[0] - 1);
  EXPECT_EQ(zc.UnPack(U(shorter), static_cast<int>(shorter.size())), 0);
  std::string longer = packed;
  longer[1] = static_cast<char>(longer[1] + 1);
  EXPECT_EQ(zc.UnPack(U(longer), static_cast<int>(longer.size())), 0);

  // A huge declared length is refused before anything is allocated.
  std::string huge = packed;
  huge[0] = huge[1] = huge[2] = static_cast<char>(0xFF);
  huge[3] = static_cast<char>(0x7F);
  EXPECT_EQ(zc.UnPack(U(huge), static_cast<int>(huge.size())), 0);
  std::string tiny("\xFF\xFF\x0F\x00\x11\x00\x00", 7);  // 1 MiB from a 3-byte stream
  EXPECT_EQ(zc.UnPack(U(tiny), 7), 0);

  // Flipped bytes in the stream: the result is 0 or the full length, never anything else.
  std::mt19937 rng(3);
  for (int k = 0; k < 200; ++k) {
    std::string bad = packed;
    bad[4 + rng() % (bad.size() - 4)] ^= static_cast<char>(1 + rng() % 255);
    int r = zc.UnPack(U(bad), static_cast<int>(bad.size()));
    EXPECT_TRUE(r == 0 || r == static_cast<int>(data.size()));
  }
}

TEST(Compression, UnpacksContainersOfAnIndependentCompressor) {
  if (Shell("/usr/bin/python3 -c 'import lzo' 2>/dev/null") != 0) GTEST_SKIP() << "python3-lzo is not installed";
  fs::path dir = fs::path(TAVELOR::platform::TempDir()) / ("lzo-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string data = Mixed(200000, 11);
  WriteBytes(dir / "data.bin", data);
  // Level 1 is LZO1X-1 and level 9 LZO1X-999, a different compressor of the same stream format.
  std::string script =
      "import lzo, struct, sys\n"
      "d = open(sys.argv[1] + '/data.bin', 'rb').read()\n"
      "for level in (1, 9):\n"
      "    open(sys.argv[1] + '/c%d.lzo' % level, 'wb').write(struct.pack('<I', len(d)) + lzo.compress(d, level, False))\n"
      "open(sys.argv[1] + '/empty.lzo', 'wb').write(struct.pack('<I', 0) + lzo.compress(b'', 1, False))\n";
  WriteBytes(dir / "make.py", script);
  ASSERT_EQ(Shell("/usr/bin/python3 " + (dir / "make.py").string() + " " + dir.string()), 0);
  for (const char* name : {"c1.lzo", "c9.lzo"}) {
    std::string packed = ReadBytes(dir / name);
    ZyCompression zc;
    ASSERT_EQ(zc.UnPack(U(packed), static_cast<int>(packed.size())), static_cast<int>(data.size())) << name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(zc.Data()), data.size()), data) << name;
  }
  std::string empty = ReadBytes(dir / "empty.lzo");
  ZyCompression zc;
  EXPECT_EQ(zc.UnPack(U(empty), static_cast<int>(empty.size())), 0);
  EXPECT_TRUE(zc.Ok());
  // And the other way: the independent decompressor reads our stream.
  std::string ours = Packed(data);
  WriteBytes(dir / "ours.lzo", ours.substr(4));
  std::string check =
      "import lzo, sys\n"
      "d = lzo.decompress(open(sys.argv[1] + '/ours.lzo', 'rb').read(), False, 200000)\n"
      "sys.exit(0 if d == open(sys.argv[1] + '/data.bin', 'rb').read() else 1)\n";
  WriteBytes(dir / "check.py", check);
  EXPECT_EQ(Shell("/usr/bin/python3 " + (dir / "check.py").string() + " " + dir.string()), 0);
  fs::remove_all(dir);
}
