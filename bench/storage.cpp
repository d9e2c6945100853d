// Resolving a 16 MiB archive member (find it, read its packed block, unpack it, write it to a
// temporary file) against the raw work it consists of: reading the same packed bytes,
// lzo1x_decompress_safe into memory taken the same way (malloc), checking its result, and
// writing the bytes to a file. Both files are checked against the original data. Prints
// both throughputs and the ratio.
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "Compare.h"
#include "platform/platform.h"
#include "storage/ResolveArchivePath.h"
#include "storage/ShoeBoxArchive.h"
#include "storage/ZyCompression.h"
#include "storage/ZyShoeBox.h"

using namespace TAVELOR;

namespace {

constexpr std::size_t kSize = 16u << 20;

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    unsigned char chunk[1 << 16];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 31;
  // Half text, half random bytes, in alternating 4 KiB blocks.
  std::vector<unsigned char> data;
  data.reserve(kSize);
  std::mt19937 rng(1);
  const std::string text = "The witch steers over the moonlit house while five ghosts follow her. ";
  for (std::size_t block = 0; data.size() < kSize; ++block) {
    for (std::size_t i = 0; i < 4096 && data.size() < kSize; ++i) {
      data.push_back(block % 2 ? static_cast<unsigned char>(rng()) : static_cast<unsigned char>(text[(i + block) % text.size()]));
    }
  }
  ZyCompression zc;
  const int packed = zc.Pack(data.data(), static_cast<long>(data.size()));
  PackedMember m;
  m.name = "level.dat";
  m.block.assign(zc.Data(), zc.Data() + packed);
  std::string error;
  const std::vector<unsigned char> bytes = BuildArchive({m}, 0, &error);
  const std::string archive = platform::TempDir() + "bench-storage.box";
  if (std::FILE* f = std::fopen(archive.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  ArchiveMember member;
  MemoryByteSource source(bytes.data(), bytes.size());
  bench::Require(FindArchiveMember(source, "level.dat", &member), "the member is not in the archive");

  ZyShoeBox box;
  box.SetName(archive.c_str());
  const std::string out = platform::TempDir() + "bench-storage.out";
  std::string ours;
  lzo_init();
  bench::Comparison c = bench::Interleave(
      rounds,
      [&] {
        ours = ResolveArchivePath("media/level.dat", &box);
        return -1.0;
      },
      [&] {
        std::remove(out.c_str());  // as ours replaces its previous file
        std::FILE* in = std::fopen(archive.c_str(), "rb");
        std::vector<unsigned char> block(static_cast<std::size_t>(member.size));
        std::fseek(in, static_cast<long>(member.position), SEEK_SET);
        const bool read = std::fread(block.data(), 1, block.size(), in) == block.size();
        std::fclose(in);
        unsigned char* result = static_cast<unsigned char*>(std::malloc(kSize));
        lzo_uint produced = kSize;
        const int r = lzo1x_decompress_safe(block.data() + 4, block.size() - 4, result, &produced, nullptr);
        bench::Require(read && r == LZO_E_OK && produced == kSize, "the reference could not unpack the member");
        std::FILE* f = std::fopen(out.c_str(), "wb");
        const bool written = std::fwrite(result, 1, produced, f) == produced;
        std::fclose(f);
        std::free(result);
        bench::Require(written, "the reference could not write its file");
        return -1.0;
      });
  bench::Require(!ours.empty() && ReadFile(ours) == data, "the resolved member differs from the original");
  bench::Require(ReadFile(out) == data, "the reference's file differs from the original");
  box.Clear();
  std::remove(out.c_str());
  std::remove(archive.c_str());

  auto rate = [](const bench::Spread& s) {
    const double mib = static_cast<double>(kSize) / (1 << 20);
    return bench::Spread{mib / s.median, mib / s.high, mib / s.low};
  };
  const bench::Spread t = c.TimeRatio();
  const bench::Spread speed{1 / t.median, 1 / t.high, 1 / t.low};
  std::printf("resolve archive member: %s MiB/s; reference (read + lzo1x_decompress_safe + write): %s MiB/s; "
              "speed ratio %s (%d interleaved rounds)\n",
              bench::Format(rate(c.Ours()), 1, "%.0f").c_str(), bench::Format(rate(c.Reference()), 1, "%.0f").c_str(),
              bench::Format(speed, 1, "%.2f").c_str(), rounds);
  bench::Row("`bench_storage`: resolve a 16 MiB archive member", bench::Format(rate(c.Ours()), 1, "%.0f") + " MiB/s",
             "read + `lzo1x_decompress_safe` + write " + bench::Format(rate(c.Reference()), 1, "%.0f") + " MiB/s",
             bench::Format(speed, 1, "%.2f") + " (speed)");
  return 0;
}
