// Output files that never destroy what was there before. Inputs are
// protected by identity (device and inode), not by name, and no two outputs
// may be one file.
//
// How an output is written, by what its path names:
// - Nothing, or a regular file with one link that the user owns, in a folder
//   the user may write: a temporary file `.NAME.roomstat-PID-XXXXXX` beside
//   it (the target's permissions, or 0666 less the umask) is written, flushed
//   to the disk and renamed over the target only when complete, and the
//   folder flushed. On any failure the previous file is left as it was.
// - A symbolic link: followed, so that the link stays and its file is
//   written; a link to nothing creates the file it names.
// - A regular file with other names (hard links), or owned by another user
//   or group that the temporary cannot be given: written in place, so that
//   every name and the owner stay. The space is reserved before the first
//   byte changes, so a full disk or a file-size limit leaves it as it was;
//   only a kill during the write itself can leave it half written.
// - A file the user may write in a folder the user may not: written in
//   place alike.
// - A FIFO, a device or a socket holds no stored content: written in place.
//   A FIFO that no process reads is refused at once.
// A write blocked on a FIFO or a device ends when the program is
// interrupted (AbandonBlockedWrite). Temporaries left by a writer that was
// killed (its process is gone and the file untouched for a minute; one of an
// older version, untouched for an hour) are removed by the next write into
// the same folder.
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

// Where an output to `path` lands: links followed (a link to nothing to the
// name it holds), then the real path of the folder and the name.
std::string OutputPlace(const std::string& path);

// Whether two paths name one file: by identity when both exist, else by
// OutputPlace.
bool SameFile(const std::string& a, const std::string& b);

struct NamedOutput {
  std::string option;  // e.g. "-o"
  std::string path;
};

// No output may be an input, and no two outputs one file. False with a
// sentence naming both.
bool CheckOutputPaths(const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs,
                      std::string& error);

// Writes `size` bytes to `path` by the rules above. False with a reason in
// `error` ("interrupted" when AbandonBlockedWrite ended it).
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error);

// Ends a write that is blocked (on a FIFO or a device) with "interrupted";
// a write that is not blocked completes. For a signal handler installed
// without SA_RESTART. Async-signal-safe.
void AbandonBlockedWrite();

// Removes every temporary file still being written (for a program that is
// ending at once on a signal). Async-signal-safe.
void RemovePendingTemporaries();

// Removes the temporaries in `folder` whose writer was killed (see above);
// WriteFileAtomically does so before it writes there. The number removed.
int RemoveLeftoverTemporaries(const std::string& folder);

}  // namespace cli
