// File, directory and process services of the operating system used by the storage commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace TAVELOR::platform {

// True when path names a regular file that this process can open for reading. Directories,
// devices and pipes give false; opening never blocks.
bool IsReadableFile(const char* path);
// True when path names a directory.
bool IsDirectory(const char* path);

struct DirEntry {
  std::string name;
  bool directory = false;
};
// The entries of a directory, "." and ".." included, in the order the system returns them.
// False when the directory cannot be read.
bool ListDirectory(const char* path, std::vector<DirEntry>* out);

// Writes all bytes to an open descriptor, retrying after interruptions. False on an error.
bool WriteAll(int fd, const void* bytes, std::size_t length);
// Creates path exclusively (it must not exist; a symbolic link there is never followed) with
// mode 0600 and writes the bytes. On a write failure the file is removed again. errnoOut, if
// given, receives the error of a failed create.
bool CreateFileExclusive(const char* path, const void* bytes, std::size_t length, int* errnoOut = nullptr);
// True when path is a regular file (not a symbolic link) owned by this process's user.
bool IsOwnRegularFile(const char* path);
// Opens path for reading when it is a regular file; null otherwise. Opening never blocks, so
// a FIFO or a device at that name cannot hang the caller.
std::FILE* OpenRegularFile(const char* path);

// Replaces a file only once its new contents are complete: the bytes go to a new temporary
// file beside the target, which is flushed to disk and renamed over the target at Commit.
// On any failure the target keeps its old contents and the temporary file is removed. A
// target that exists but is not a regular file (a FIFO, a device, a directory) is refused; a
// symbolic link is followed, and the file it names is replaced with its permissions kept.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement() { Abort(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Starts replacing path. False when that cannot begin; Error() says why.
  bool Begin(const std::string& path);
  // Buffered; false once any write has failed.
  bool Write(const void* bytes, std::size_t length);
  bool Write(const std::string& text) { return Write(text.data(), text.size()); }
  // Writes out, flushes to disk and renames into place. False on failure (target unchanged).
  bool Commit();
  // Gives up: the temporary file is removed and the target left alone.
  void Abort();
  // The reason of the last failure, as the system words it.
  std::string Error() const;

 private:
  static constexpr int kNotRegular = -1;  // an error of our own: a FIFO, a device, ...
  bool Flush();
  int fd_ = -1;
  int error_ = 0;
  std::string target_;
  std::string temp_;
  std::string buffer_;
};

// Starts a program, looked up in PATH when the first argument holds no '/'. False when it
// cannot be started. With wait, blocks until it ends and stores its exit code (128 + the
// signal number when a signal ended it); without wait the child is reaped later.
bool SpawnProcess(const std::vector<std::string>& args, bool wait, int* exitCode);
// Runs a program to its end with standard output captured. False when it cannot be started.
bool RunAndCapture(const std::vector<std::string>& args, std::string* output, int* exitCode);
// True when a program of that name can be found in PATH (or, holding a '/', is executable).
bool ProgramAvailable(const char* name);

}  // namespace TAVELOR::platform
