#include "host/cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace cli {

namespace {

// The temporary being written, for RemovePendingTemporaries: a fixed buffer
// that a signal handler may read, published by an atomic flag.
char g_pendingPath[PATH_MAX + 64];
std::atomic<bool> g_pendingSet{false};

std::string Reason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool WriteAll(int fd, const void* data, size_t size, std::string& error) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd, at, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = Reason("write failed");
      return false;
    }
    at += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Devices, FIFOs and the like hold no stored content to lose: written in place.
bool WriteInPlace(const std::string& path, const void* data, size_t size, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    error = Reason("cannot open");
    return false;
  }
  const bool ok = WriteAll(fd, data, size, error);
  if (close(fd) != 0 && ok) {
    error = Reason("close failed");
    return false;
  }
  return ok;
}

}  // namespace

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
  struct stat facts {};
  if (stat(path.c_str(), &facts) != 0) return false;
  identity.device = static_cast<unsigned long long>(facts.st_dev);
  identity.inode = static_cast<unsigned long long>(facts.st_ino);
  return true;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error) {
  // A link is followed, so that the link stays and its file is replaced.
  std::string target = path;
  mode_t mode = 0;
  struct stat facts {};
  if (stat(path.c_str(), &facts) == 0) {
    if (S_ISDIR(facts.st_mode)) {
      error = "is a directory";
      return false;
    }
    if (!S_ISREG(facts.st_mode)) return WriteInPlace(path, data, size, error);
    if (char* resolved = realpath(path.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
    mode = facts.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = folder + "/." + base + ".roomstat-XXXXXX";
  if (temporary.size() >= sizeof(g_pendingPath)) {
    error = "the path is too long";
    return false;
  }
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    error = Reason("cannot create a temporary file beside it");
    return false;
  }
  std::memcpy(g_pendingPath, temporary.c_str(), temporary.size() + 1);
  g_pendingSet.store(true);

  bool ok = WriteAll(fd, data, size, error);
  if (ok && fchmod(fd, mode) != 0) ok = (error = Reason("cannot set its permissions"), false);
  if (ok && fsync(fd) != 0) ok = (error = Reason("cannot flush it to the disk"), false);
  if (close(fd) != 0 && ok) ok = (error = Reason("close failed"), false);
  if (ok && rename(temporary.c_str(), target.c_str()) != 0) ok = (error = Reason("cannot replace it"), false);
  if (!ok) unlink(temporary.c_str());
  g_pendingSet.store(false);
  if (!ok) return false;
  // The rename itself is durable once the folder is flushed too.
  const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return true;
}

void RemovePendingTemporaries() {
  if (g_pendingSet.load()) unlink(g_pendingPath);
}

}  // namespace cli
