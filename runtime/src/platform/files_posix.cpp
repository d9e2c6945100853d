// File, directory and process services on POSIX.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace TAVELOR::platform {

bool IsReadableFile(const char* path) {
  if (!path || !*path) return false;
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return ok;
}

bool IsDirectory(const char* path) {
  struct stat st {};
  return path && *path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool ListDirectory(const char* path, std::vector<DirEntry>* out) {
  out->clear();
  DIR* dir = opendir(path && *path ? path : ".");
  if (!dir) return false;
  int dfd = dirfd(dir);
  while (dirent* e = readdir(dir)) {
    DirEntry entry;
    entry.name = e->d_name;
    if (e->d_type == DT_DIR) {
      entry.directory = true;
    } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      // A link to a directory lists as a directory, as the file system would open it.
      struct stat st {};
      entry.directory = fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    out->push_back(std::move(entry));
  }
  closedir(dir);
  return true;
}

bool WriteAll(int fd, const void* bytes, std::size_t length) {
  const char* p = static_cast<const char*>(bytes);
  while (length > 0) {
    ssize_t n = write(fd, p, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

bool CreateFileExclusive(const char* path, const void* bytes, std::size_t length, int* errnoOut) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errnoOut) *errnoOut = errno;
    return false;
  }
  bool ok = WriteAll(fd, bytes, length);
  if (close(fd) != 0) ok = false;
  if (!ok) {
    unlink(path);
    if (errnoOut) *errnoOut = EIO;
  }
  return ok;
}

bool IsOwnRegularFile(const char* path) {
  struct stat st {};
  return lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

std::FILE* OpenRegularFile(const char* path) {
  if (!path || !*path) return nullptr;
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = fdopen(fd, "rb");
  if (!f) close(fd);
  return f;
}

bool FileReplacement::Begin(const std::string& path) {
  Abort();
  error_ = 0;
  target_ = path;
  struct stat st {};
  bool exists = false;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      // Replace the file the link names, so the link itself stays.
      char resolved[PATH_MAX];
      if (!realpath(path.c_str(), resolved)) {
        error_ = errno;
        return false;
      }
      target_ = resolved;
      if (stat(resolved, &st) != 0) {
        error_ = errno;
        return false;
      }
    }
    if (!S_ISREG(st.st_mode)) {
      error_ = S_ISDIR(st.st_mode) ? EISDIR : kNotRegular;
      return false;
    }
    exists = true;
  } else if (errno != ENOENT) {
    error_ = errno;
    return false;
  }
  const std::size_t cut = target_.find_last_of('/');
  const std::string dir = cut == std::string::npos ? std::string() : target_.substr(0, cut + 1);
  const std::string base = cut == std::string::npos ? target_ : target_.substr(cut + 1);
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = dir + "." + base.substr(0, 200) + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    // A new file gets the permissions a plain create would give it.
    fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    if (errno != EEXIST) {
      error_ = errno;
      temp_.clear();
      return false;
    }
  }
  if (fd_ < 0) {
    error_ = EEXIST;
    temp_.clear();
    return false;
  }
  if (exists) {
    fchmod(fd_, st.st_mode & 07777);
    if (st.st_uid != geteuid() || st.st_gid != getegid()) (void)!fchown(fd_, st.st_uid, st.st_gid);
  }
  return true;
}

bool FileReplacement::Flush() {
  if (fd_ < 0) return false;
  if (!buffer_.empty() && !WriteAll(fd_, buffer_.data(), buffer_.size())) {
    error_ = errno;
    buffer_.clear();
    return false;
  }
  buffer_.clear();
  return true;
}

bool FileReplacement::Write(const void* bytes, std::size_t length) {
  if (fd_ < 0 || error_ != 0) return false;
  constexpr std::size_t kBuffer = 1 << 16;
  if (buffer_.size() + length > kBuffer && !Flush()) return false;
  if (length >= kBuffer) {
    if (!WriteAll(fd_, bytes, length)) {
      error_ = errno;
      return false;
    }
    return true;
  }
  buffer_.append(static_cast<const char*>(bytes), length);
  return true;
}

bool FileReplacement::Commit() {
  if (fd_ < 0 || error_ != 0 || !Flush()) {
    Abort();
    return false;
  }
  if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) error_ = errno;
  if (close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  if (error_ == 0 && rename(temp_.c_str(), target_.c_str()) != 0) error_ = errno;
  if (error_ != 0) {
    unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  return true;
}

void FileReplacement::Abort() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  buffer_.clear();
}

std::string FileReplacement::Error() const {
  if (error_ == kNotRegular) return "not a regular file";
  return std::strerror(error_ != 0 ? error_ : EIO);
}

namespace {

// Children started without waiting; reaped whenever another program is started, so they
// never pile up as zombies.
std::vector<pid_t> g_unreaped;

void ReapFinished() {
  for (std::size_t i = 0; i < g_unreaped.size();) {
    int status = 0;
    pid_t r = waitpid(g_unreaped[i], &status, WNOHANG);
    if (r == g_unreaped[i] || (r < 0 && errno == ECHILD)) {
      g_unreaped.erase(g_unreaped.begin() + static_cast<long>(i));
    } else {
      ++i;
    }
  }
}

int WaitExitCode(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 0;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 0;
}

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

bool SpawnProcess(const std::vector<std::string>& args, bool wait, int* exitCode) {
  if (exitCode) *exitCode = 0;
  ReapFinished();
  if (args.empty() || args[0].empty()) return false;
  std::vector<char*> argv = Argv(args);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  if (wait) {
    int code = WaitExitCode(pid);
    if (exitCode) *exitCode = code;
  } else {
    g_unreaped.push_back(pid);
  }
  return true;
}

bool RunAndCapture(const std::vector<std::string>& args, std::string* output, int* exitCode) {
  output->clear();
  if (exitCode) *exitCode = 0;
  if (args.empty() || args[0].empty()) return false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::vector<char*> argv = Argv(args);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return false;
  }
  // Keep at most 64 KB of the output; the rest is read and dropped so the child never blocks.
  constexpr std::size_t kMaxOutput = 64 * 1024;
  char buf[4096];
  for (;;) {
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::size_t room = kMaxOutput - output->size();
    output->append(buf, std::min(room, static_cast<std::size_t>(n)));
  }
  close(fds[0]);
  int code = WaitExitCode(pid);
  if (exitCode) *exitCode = code;
  return true;
}

bool ProgramAvailable(const char* name) {
  if (!name || !*name) return false;
  if (std::strchr(name, '/')) return access(name, X_OK) == 0;
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string dirs = path;
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string full = dir + "/" + name;
    struct stat st {};
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace TAVELOR::platform
