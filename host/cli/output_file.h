// Output files that never destroy what was there before: every output is
// written to a temporary file in the target's folder, flushed to the disk and
// renamed over the target only when complete. Inputs are protected by
// identity (device and inode), not by name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

// Device and inode of an existing file.
struct FileIdentity {
  unsigned long long device = 0, inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Identity of `path` after following links; false when it does not exist.
bool IdentifyFile(const std::string& path, FileIdentity& identity);

// Writes `size` bytes to `path` through a temporary file in the same folder
// (created with the target's permissions, or 0666 less the umask), fsync,
// rename, and fsync of the folder. On failure the previous `path` is left as
// it was, the temporary is removed, and `error` says why.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error);

// Removes every temporary file still being written (for a program that is
// ending at once on a signal). Async-signal-safe.
void RemovePendingTemporaries();

}  // namespace cli
