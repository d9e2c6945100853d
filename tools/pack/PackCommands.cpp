// The commands of tavelor-pack.
#include "PackCommands.h"

#include <tavelor/version.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "storage/ShoeBoxArchive.h"
#include "storage/ZyCompression.h"
#include "storage/ZyShoeBox.h"

using namespace TAVELOR;

namespace {

struct Failure {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message) { throw Failure{message}; }

std::vector<unsigned char> ReadWhole(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) Fail("cannot read \"" + path + "\": not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot open \"" + path + "\"");
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) Fail("cannot read \"" + path + "\"");
  return bytes;
}

std::string MemberName(const std::string& path) {
  std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

struct Totals {
  std::size_t members = 0;
  std::uint64_t in = 0;
  std::uint64_t out = 0;
};

std::vector<PackedMember> PackFiles(const std::vector<std::string>& files, Totals* totals) {
  std::vector<PackedMember> members;
  std::set<std::string> seen;
  for (const std::string& path : files) {
    std::string name = MemberName(path);
    if (name.empty() || name.size() > 255) Fail("member name of \"" + path + "\" must be 1 to 255 bytes long");
    std::string folded;
    for (char c : name) folded += static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    if (!seen.insert(folded).second) Fail("two files would both be named \"" + name + "\" in the archive");
    std::vector<unsigned char> data = ReadWhole(path);
    if (data.size() > ZyCompression::kMaxUnpacked) Fail("\"" + path + "\" is larger than a member may be");
    ZyCompression zc;
    if (zc.Pack(data.data(), static_cast<long>(data.size())) == 0) Fail("cannot compress \"" + path + "\"");
    PackedMember m;
    m.name = name;
    m.block.assign(zc.Data(), zc.Data() + zc.Length());
    std::printf("packed %s: %zu -> %d bytes\n", name.c_str(), data.size(), zc.Length());
    totals->members++;
    totals->in += data.size();
    totals->out += static_cast<std::uint64_t>(zc.Length());
    members.push_back(std::move(m));
  }
  return members;
}

void WriteAll(std::FILE* f, const std::vector<unsigned char>& bytes, const std::string& path) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) Fail("cannot write \"" + path + "\"");
  if (std::fflush(f) != 0) Fail("cannot write \"" + path + "\"");
}

// Writes a whole new file: the bytes go to a temporary file beside path, which replaces path
// only when complete, so a failure leaves what was there before.
void WriteNewFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  platform::FileReplacement out;
  if (!out.Begin(path)) Fail("cannot create \"" + path + "\": " + out.Error());
  if (!out.Write(bytes.data(), bytes.size()) || !out.Commit()) Fail("cannot write \"" + path + "\": " + out.Error());
}

// A member name as printed: as stored (a Windows-made archive keeps "media\ball.bmp" with its
// backslash), except that control characters become \xNN, so a name cannot act on the terminal.
std::string Printable(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void PrintSummary(const Totals& t, std::size_t archiveBytes) {
  std::printf("%zu members, %llu bytes in, %llu bytes out (archive %zu bytes)\n", t.members,
              static_cast<unsigned long long>(t.in), static_cast<unsigned long long>(t.out), archiveBytes);
}

// Appends bytes to path; when writing fails, undo() restores the file before the failure
// goes on.
template <class Undo>
void AppendOrUndo(const std::string& path, const std::vector<unsigned char>& bytes, Undo undo) {
  ZyFileSystem out(std::fopen(path.c_str(), "ab"));
  if (!out.hFile) Fail("cannot open \"" + path + "\" for appending");
  try {
    WriteAll(out.hFile, bytes, path);
    if (std::fclose(out.hFile) != 0) {
      out.hFile = nullptr;
      Fail("cannot write \"" + path + "\"");
    }
    out.hFile = nullptr;
  } catch (const Failure&) {
    out.Close();
    undo();
    throw;
  }
}

void Create(const std::string& archive, const std::vector<std::string>& files) {
  Totals totals;
  std::vector<PackedMember> members = PackFiles(files, &totals);
  std::string error;
  std::vector<unsigned char> bytes = BuildArchive(members, 0, &error);
  if (bytes.empty()) Fail(error);
  WriteNewFile(archive, bytes);
  PrintSummary(totals, bytes.size());
}

void Append(const std::string& target, const std::vector<std::string>& files) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(target, ec)) Fail("cannot append to \"" + target + "\": not an existing file");
  const std::uintmax_t base = std::filesystem::file_size(target, ec);
  if (ec) Fail("cannot read the size of \"" + target + "\"");
  Totals totals;
  std::vector<PackedMember> members = PackFiles(files, &totals);
  std::string error;
  // A file of size 0 would make the offsets count from the start; one byte of padding keeps
  // the appended form.
  std::vector<unsigned char> bytes = BuildArchive(members, base > 0 ? static_cast<std::int64_t>(base) : 1, &error);
  if (bytes.empty()) Fail(error);
  if (base == 0) bytes.insert(bytes.begin(), 0);
  // On a failed write the file is cut back to what it was.
  AppendOrUndo(target, bytes, [&] { std::filesystem::resize_file(target, base, ec); });
  PrintSummary(totals, bytes.size());
}

void List(const std::string& archive) {
  ZyFileSystem in(std::fopen(archive.c_str(), "rb"));
  if (!in.hFile) Fail("cannot open \"" + archive + "\"");
  FileByteSource src(in.hFile);
  std::vector<ArchiveMember> members;
  bool complete = ReadArchiveDirectory(src, &members);
  if (!complete && members.empty()) Fail("\"" + archive + "\" is not an archive (no readable directory)");
  std::uint64_t packed = 0, unpacked = 0;
  std::size_t outside = 0;
  for (const ArchiveMember& m : members) {
    unsigned char head[4] = {};
    long long n = -1;
    if (m.valid && src.ReadAt(m.position, head, 4)) n = head[0] | (head[1] << 8) | (head[2] << 16) | (static_cast<long long>(head[3]) << 24);
    if (n < 0) {
      std::printf("%-32s offset %d size %d (outside the file)\n", Printable(m.name).c_str(), m.offset, m.size);
      ++outside;
      continue;
    }
    std::printf("%-32s offset %d size %d unpacked %lld\n", Printable(m.name).c_str(), m.offset, m.size, n);
    packed += static_cast<std::uint64_t>(m.size);
    unpacked += static_cast<std::uint64_t>(n);
  }
  std::printf("%zu members, %llu bytes unpacked, %llu bytes packed\n", members.size(),
              static_cast<unsigned long long>(unpacked), static_cast<unsigned long long>(packed));
  if (outside) Fail(std::to_string(outside) + " entries of \"" + archive + "\" point outside the file");
  if (!complete) Fail("the directory of \"" + archive + "\" is damaged after " + std::to_string(members.size()) + " entries");
}

void Extract(const std::string& archive, const std::string& member, std::string output) {
  ZyFileSystem in(std::fopen(archive.c_str(), "rb"));
  if (!in.hFile) Fail("cannot open \"" + archive + "\"");
  FileByteSource src(in.hFile);
  ArchiveMember m;
  if (!FindArchiveMember(src, member.c_str(), &m)) Fail("no member \"" + Printable(member) + "\" in \"" + archive + "\"");
  const std::string shown = Printable(m.name);
  std::vector<unsigned char> block(static_cast<std::size_t>(m.size));
  if (!src.ReadAt(m.position, block.data(), block.size())) Fail("cannot read member \"" + shown + "\"");
  ZyCompression zc;
  zc.UnPack(block.data(), m.size);
  if (!zc.Ok()) Fail("member \"" + shown + "\" is damaged");
  if (output.empty()) output = MemberName(m.name);
  if (output.empty() || output == "." || output == "..") Fail("member \"" + shown + "\" has no usable file name; give an output name");
  WriteNewFile(output, std::vector<unsigned char>(zc.Data(), zc.Data() + zc.Length()));
  std::printf("extracted %s: %d -> %d bytes into %s\n", shown.c_str(), m.size, zc.Length(), Printable(output).c_str());
}

int Usage() {
  std::fprintf(stderr,
               "usage: tavelor-pack create ARCHIVE FILE...\n"
               "       tavelor-pack append TARGET FILE...\n"
               "       tavelor-pack list ARCHIVE\n"
               "       tavelor-pack extract ARCHIVE MEMBER [OUTPUT]\n"
               "       tavelor-pack --version\n");
  return 2;
}

}  // namespace

int RunPackCommand(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("tavelor-pack %s\n", TAVELOR_VERSION);
    return 0;
  }
  if (args.size() < 2) return Usage();
  const std::string& cmd = args[0];
  const std::string& first = args[1];
  std::vector<std::string> rest(args.begin() + 2, args.end());
  try {
    if (cmd == "create" && !rest.empty()) Create(first, rest);
    else if (cmd == "append" && !rest.empty()) Append(first, rest);
    else if (cmd == "list" && rest.empty()) List(first);
    else if (cmd == "extract" && (rest.size() == 1 || rest.size() == 2)) Extract(first, rest[0], rest.size() == 2 ? rest[1] : "");
    else return Usage();
  } catch (const Failure& f) {
    std::fprintf(stderr, "tavelor-pack: %s\n", f.message.c_str());
    return 1;
  }
  return 0;
}
