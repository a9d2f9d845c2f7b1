// Sweep and response files through libsndfile. The sweep's parameters travel
// with the sweep file: as its comment string (JSON, see
// sweep_parameters_json.h) in formats that hold strings (WAV, FLAC, AIFF,
// ...), else in a sidecar file FILE.sweep.json. Files are encoded into
// memory here; the caller writes the bytes (atomically).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/sweep/sweep_signal.h"

namespace sweep {

// The sidecar that holds a sweep file's parameters when the format has no
// strings.
std::string SidecarPath(const std::string& audioPath);

// libsndfile's format for a file name's extension (.wav .flac .aif(f) .caf
// .w64 .rf64 .au); float samples where the format has them, else
// 24-bit. 0 for an unknown extension.
int FormatForPath(const std::string& path);

// `frames` interleaved frames of `channels` channels, encoded for `path`'s
// format, with `comment` as the file's comment string (empty: none).
// `commentStored` says whether the format took it.
bool EncodeAudio(const std::string& path, int32_t rateHz, int channels, const std::vector<float>& frames,
                 const std::string& comment, std::vector<unsigned char>& bytes, bool& commentStored,
                 std::string& error);

// A recording: one vector per channel, full scale 1.0.
struct Recording {
  int32_t rateHz = 0;
  std::vector<std::vector<float>> channels;
};

bool ReadRecording(const std::string& path, Recording& recording, std::string& error);

// The parameters of the sweep file `path`: its comment string, else its
// sidecar. Checks that the file's rate is the stored one.
bool ReadSweepParameters(const std::string& path, SweepParameters& parameters, std::string& error);

}  // namespace sweep
