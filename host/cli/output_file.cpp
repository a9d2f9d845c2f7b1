#include "host/cli/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace cli {

namespace {

// The temporary being written, for RemovePendingTemporaries: a fixed buffer
// that a signal handler may read, published by an atomic flag.
char g_pendingPath[PATH_MAX + 64];
std::atomic<bool> g_pendingSet{false};
// A write in progress, and a request from a signal handler to end it.
std::atomic<bool> g_writing{false};
std::atomic<bool> g_abandon{false};

constexpr char TEMPORARY_TAG[] = ".roomstat-";
// Seconds a leftover temporary must lie untouched before it is removed: a
// writer lives for seconds, and one on another machine or in another process
// namespace (whose process this one cannot see) is still protected.
constexpr time_t LEFTOVER_SECONDS = 60;
constexpr time_t OLD_LEFTOVER_SECONDS = 3600;  // names without the writer's process id

enum class Replacement { Done, Failed, InPlace };

std::string Reason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

void Split(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name a chain of symbolic links ends at (the path itself when it is no
// link); a link to nothing ends at the name it holds.
std::string FollowLinks(const std::string& path) {
  std::string at = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat facts {};
    if (lstat(at.c_str(), &facts) != 0 || !S_ISLNK(facts.st_mode)) break;
    char buffer[PATH_MAX];
    const ssize_t length = readlink(at.c_str(), buffer, sizeof(buffer) - 1);
    if (length <= 0) break;
    std::string next(buffer, static_cast<size_t>(length));
    if (next[0] != '/') {
      std::string folder, name;
      Split(at, folder, name);
      next = folder + "/" + next;
    }
    at = next;
  }
  return at;
}

// Writes everything, ending early with "interrupted" when a signal handler
// asked for it while a write was blocked.
bool WriteAll(int fd, const void* data, size_t size, std::string& error) {
  const char* at = static_cast<const char*>(data);
  g_abandon.store(false);
  g_writing.store(true);
  bool ok = true;
  while (size > 0 && ok) {
    if (g_abandon.load()) {
      error = "interrupted";
      ok = false;
      break;
    }
    const ssize_t written = write(fd, at, size);
    if (written < 0 && errno != EINTR) {
      error = Reason("write failed");
      ok = false;
    } else if (written > 0) {
      at += written;
      size -= static_cast<size_t>(written);
    }
  }
  g_writing.store(false);
  return ok;
}

bool CloseChecked(int fd, bool ok, std::string& error) {
  if (close(fd) != 0 && ok) {
    error = Reason("close failed");
    return false;
  }
  return ok;
}

// FIFOs, devices and sockets hold no stored content to lose: written in
// place. Opened without waiting, so that a FIFO nobody reads is refused.
bool WriteToDevice(const std::string& path, const void* data, size_t size, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error =
        errno == ENXIO ? "it is a FIFO that no process reads: start the reader first" : Reason("cannot open");
    return false;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error = Reason("cannot open");
    close(fd);
    return false;
  }
  return CloseChecked(fd, WriteAll(fd, data, size, error), error);
}

// A regular file that must keep its identity: the space is reserved first,
// then the content written over the old and the rest cut off.
bool RewriteInPlace(const std::string& target, const void* data, size_t size, std::string& error) {
  const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    error = Reason("cannot open it to write in place");
    return false;
  }
  const int reserved = size > 0 ? posix_fallocate(fd, 0, static_cast<off_t>(size)) : 0;
  if (reserved == ENOSPC || reserved == EFBIG || reserved == EDQUOT) {
    error = std::string("there is no room for it: ") + std::strerror(reserved);
    close(fd);
    return false;
  }
  bool ok = WriteAll(fd, data, size, error);
  if (ok && ftruncate(fd, static_cast<off_t>(size)) != 0)
    ok = (error = Reason("cannot set its length"), false);
  if (ok && fsync(fd) != 0) ok = (error = Reason("cannot flush it to the disk"), false);
  return CloseChecked(fd, ok, error);
}

// Gives the temporary the owner and group of the file it replaces; false
// when that is not allowed.
bool TakeOwner(int fd, const struct stat& target) {
  struct stat own {};
  if (fstat(fd, &own) != 0) return false;
  if (own.st_uid == target.st_uid && own.st_gid == target.st_gid) return true;
  return fchown(fd, target.st_uid, target.st_gid) == 0;
}

// The temporary's steps after it was created: owner, content, mode, disk,
// rename.
Replacement FillAndRename(int fd, const std::string& temporary, const std::string& target,
                          const struct stat* existing, mode_t mode, const void* data, size_t size,
                          std::string& error) {
  if (existing && !TakeOwner(fd, *existing)) {
    close(fd);
    unlink(temporary.c_str());
    return Replacement::InPlace;
  }
  bool ok = WriteAll(fd, data, size, error);
  if (ok && fchmod(fd, mode) != 0) ok = (error = Reason("cannot set its permissions"), false);
  if (ok && fsync(fd) != 0) ok = (error = Reason("cannot flush it to the disk"), false);
  ok = CloseChecked(fd, ok, error);
  if (ok && rename(temporary.c_str(), target.c_str()) != 0) ok = (error = Reason("cannot replace it"), false);
  if (!ok) unlink(temporary.c_str());
  return ok ? Replacement::Done : Replacement::Failed;
}

Replacement ReplaceThroughTemporary(const std::string& target, const struct stat* existing, const void* data,
                                    size_t size, std::string& error) {
  std::string folder, name;
  Split(target, folder, name);
  RemoveLeftoverTemporaries(folder);
  mode_t mode = 0;
  if (existing) {
    mode = existing->st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  std::string temporary =
      folder + "/." + name + TEMPORARY_TAG + std::to_string(static_cast<long long>(getpid())) + "-XXXXXX";
  if (temporary.size() >= sizeof(g_pendingPath)) {
    error = "the path is too long";
    return Replacement::Failed;
  }
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    // A file the user may write in a folder the user may not.
    if (existing && (errno == EACCES || errno == EPERM)) return Replacement::InPlace;
    error = Reason("cannot create a temporary file beside it");
    return Replacement::Failed;
  }
  std::memcpy(g_pendingPath, temporary.c_str(), temporary.size() + 1);
  g_pendingSet.store(true);
  const Replacement outcome = FillAndRename(fd, temporary, target, existing, mode, data, size, error);
  g_pendingSet.store(false);
  if (outcome != Replacement::Done) return outcome;
  // The rename itself is durable once the folder is flushed too.
  const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return Replacement::Done;
}

// How long a temporary of this name must lie untouched before it is removed;
// 0 when it is none of ours or its writer is alive.
time_t LeftoverSeconds(const std::string& name) {
  const size_t tag = name.rfind(TEMPORARY_TAG);
  if (name.size() < 2 || name[0] != '.' || tag == std::string::npos || tag < 2) return 0;
  const std::string rest = name.substr(tag + sizeof(TEMPORARY_TAG) - 1);
  if (rest.size() == 6 && rest.find('-') == std::string::npos) return OLD_LEFTOVER_SECONDS;
  const size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string::npos || dash > 10 || rest.size() != dash + 7) return 0;
  for (size_t i = 0; i < dash; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return 0;
  }
  const long long pid = std::atoll(rest.substr(0, dash).c_str());
  if (pid <= 0 || pid > INT_MAX || pid == getpid()) return 0;
  if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) return 0;
  return LEFTOVER_SECONDS;
}

}  // namespace

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
  struct stat facts {};
  if (stat(path.c_str(), &facts) != 0) return false;
  identity.device = static_cast<unsigned long long>(facts.st_dev);
  identity.inode = static_cast<unsigned long long>(facts.st_ino);
  return true;
}

std::string OutputPlace(const std::string& path) {
  std::string folder, name;
  Split(FollowLinks(path), folder, name);
  if (char* resolved = realpath(folder.c_str(), nullptr)) {
    folder = resolved;
    std::free(resolved);
  }
  return folder == "/" ? "/" + name : folder + "/" + name;
}

bool SameFile(const std::string& a, const std::string& b) {
  FileIdentity first, second;
  const bool firstExists = IdentifyFile(a, first), secondExists = IdentifyFile(b, second);
  if (firstExists || secondExists) return firstExists && secondExists && first == second;
  return OutputPlace(a) == OutputPlace(b);
}

bool CheckOutputPaths(const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs,
                      std::string& error) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    const NamedOutput& output = outputs[i];
    for (const std::string& input : inputs) {
      if (!SameFile(output.path, input)) continue;
      error = output.option + " " + output.path + " is the same file as " + input +
              ", which it would replace: choose another output file";
      return false;
    }
    for (size_t j = 0; j < i; ++j) {
      if (!SameFile(output.path, outputs[j].path)) continue;
      error = output.option + " " + output.path + " and " + outputs[j].option + " " + outputs[j].path +
              " are the same file, which one would replace with the other: choose different output files";
      return false;
    }
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error) {
  struct stat facts {};
  if (stat(path.c_str(), &facts) != 0) {
    // Nothing there, or a link to nothing: the file it names is created.
    return ReplaceThroughTemporary(FollowLinks(path), nullptr, data, size, error) == Replacement::Done;
  }
  if (S_ISDIR(facts.st_mode)) {
    error = "is a directory";
    return false;
  }
  if (!S_ISREG(facts.st_mode)) return WriteToDevice(path, data, size, error);
  // A link is followed, so that the link stays and its file is replaced.
  std::string target = path;
  if (char* resolved = realpath(path.c_str(), nullptr)) {
    target = resolved;
    std::free(resolved);
  }
  // Other names of the file see the new content.
  if (facts.st_nlink > 1) return RewriteInPlace(target, data, size, error);
  const Replacement outcome = ReplaceThroughTemporary(target, &facts, data, size, error);
  if (outcome == Replacement::InPlace) return RewriteInPlace(target, data, size, error);
  return outcome == Replacement::Done;
}

void AbandonBlockedWrite() {
  if (g_writing.load()) g_abandon.store(true);
}

void RemovePendingTemporaries() {
  if (g_pendingSet.load()) unlink(g_pendingPath);
}

int RemoveLeftoverTemporaries(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  const time_t now = std::time(nullptr);
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const time_t untouched = LeftoverSeconds(entry->d_name);
    if (untouched == 0) continue;
    struct stat facts {};
    if (fstatat(dirfd(dir), entry->d_name, &facts, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(facts.st_mode) ||
        facts.st_uid != geteuid() || now - facts.st_mtime < untouched) {
      continue;
    }
    if (unlinkat(dirfd(dir), entry->d_name, 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

}  // namespace cli
