// The compression container: round trips, containers of an independent LZO implementation
// (python3-lzo) both ways, and damaged input.
#include <random>

#include "StorageTestUtil.h"

using namespace storage_test;
using TAVELOR::ZyCompression;

namespace {

// Runs of text between runs of random bytes.
std::string Mixed(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    if (rng() % 2) s += "the witch flies over the house and the trees; ";
    else for (int i = 0; i < 40; ++i) s += static_cast<char>(rng());
  }
  s.resize(n);
  return s;
}

// What UnPack gives back from the first size bytes (all by default), or "<fail>".
std::string Unpacked(const std::string& packed, int size = -1) {
  ZyCompression zc;
  const int n = zc.UnPack(U(packed), size < 0 ? static_cast<int>(packed.size()) : size);
  EXPECT_EQ(n, zc.Ok() ? zc.Length() : 0);
  return zc.Ok() ? std::string(reinterpret_cast<const char*>(zc.Data()), static_cast<std::size_t>(n)) : "<fail>";
}

}  // namespace

using Compression = StorageTest;  // python3-lzo works in the test's own directory

TEST_F(Compression, RoundTripsAndTheIndependentCompressorAgree) {
  for (std::size_t n : {0u, 1u, 3u, 100u, 65536u, 300001u}) {
    const std::string data = Mixed(n, static_cast<unsigned>(n)), packed = Packed(data);
    EXPECT_TRUE(Unpacked(packed) == data) << n;
  }

  if (Shell("/usr/bin/python3 -c 'import lzo' 2>/dev/null") != 0) GTEST_SKIP() << "python3-lzo is not installed";
  const std::string data = Mixed(200000, 11);
  WriteBytes("data.bin", data);
  WriteBytes("ours.lzo", Packed(data).substr(4));
  // Level 1 is LZO1X-1 and level 9 LZO1X-999, a different compressor of the same stream
  // format; the script exits 0 only when it decompresses our stream to the same data.
  WriteBytes("check.py",
             "import lzo, struct, sys\n"
             "d = open('data.bin', 'rb').read()\n"
             "for name, data, level in (('c1', d, 1), ('c9', d, 9), ('empty', b'', 1)):\n"
             "    open(name, 'wb').write(struct.pack('<I', len(data)) + lzo.compress(data, level, False))\n"
             "sys.exit(0 if lzo.decompress(open('ours.lzo', 'rb').read(), False, len(d)) == d else 1)\n");
  EXPECT_EQ(Shell("/usr/bin/python3 check.py"), 0);
  for (const auto& [name, expected] : {std::pair{"c1", data}, {"c9", data}, {"empty", std::string()}})
    EXPECT_TRUE(Unpacked(ReadBytes(name)) == expected) << name;
}

TEST_F(Compression, DamagedTruncatedOrOversizedContainersFail) {
  const std::string data = Mixed(20000, 7), packed = Packed(data);
  for (std::size_t cut = 0; cut < packed.size(); cut += 97)
    EXPECT_EQ(Unpacked(packed, static_cast<int>(cut)), "<fail>") << cut;
  EXPECT_EQ(ZyCompression().UnPack(nullptr, 100), 0);

  auto with = [&](std::initializer_list<std::pair<int, int>> bytes) {
    std::string s = packed;
    for (auto [at, value] : bytes) s[at] = static_cast<char>(value);
    return s;
  };
  // Declared length (20000 = 0x4E20) one short, 256 longer, huge (refused before any
  // allocation), 1 MiB from a 3-byte stream.
  for (const std::string& bad : {with({{0, 0x1F}}), with({{1, 0x4F}}),
                                 with({{0, 0xFF}, {1, 0xFF}, {2, 0xFF}, {3, 0x7F}}),
                                 std::string("\xFF\xFF\x0F\x00\x11\x00\x00", 7)})
    EXPECT_EQ(Unpacked(bad), "<fail>");
}
