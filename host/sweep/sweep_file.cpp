#include "host/sweep/sweep_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/sweep/sweep_parameters_json.h"

namespace sweep {
namespace {

// A growing byte buffer as libsndfile's virtual file.
struct MemoryFile {
  std::vector<unsigned char>* bytes = nullptr;
  sf_count_t position = 0;
};

sf_count_t MemoryLength(void* user) {
  return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes->size());
}

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
  MemoryFile& file = *static_cast<MemoryFile*>(user);
  const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file.position : MemoryLength(user);
  file.position = std::max<sf_count_t>(0, base + offset);
  return file.position;
}

sf_count_t MemoryRead(void* data, sf_count_t count, void* user) {
  MemoryFile& file = *static_cast<MemoryFile*>(user);
  const sf_count_t available = std::max<sf_count_t>(0, MemoryLength(user) - file.position);
  const sf_count_t read = std::min(count, available);
  if (read > 0) std::memcpy(data, file.bytes->data() + file.position, static_cast<size_t>(read));
  file.position += read;
  return read;
}

sf_count_t MemoryWrite(const void* data, sf_count_t count, void* user) {
  MemoryFile& file = *static_cast<MemoryFile*>(user);
  const size_t end = static_cast<size_t>(file.position + count);
  if (file.bytes->size() < end) file.bytes->resize(end);
  std::memcpy(file.bytes->data() + file.position, data, static_cast<size_t>(count));
  file.position += count;
  return count;
}

sf_count_t MemoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

std::string Extension(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

bool ReadText(const std::string& path, std::string& text) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return false;
  std::ostringstream buffer;
  buffer << stream.rdbuf();
  text = buffer.str();
  return static_cast<bool>(stream) || stream.eof();
}

}  // namespace

std::string SidecarPath(const std::string& audioPath) { return audioPath + ".sweep.json"; }

int FormatForPath(const std::string& path) {
  const std::string extension = Extension(path);
  if (extension == "wav") return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  if (extension == "flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  if (extension == "aif" || extension == "aiff") return SF_FORMAT_AIFF | SF_FORMAT_FLOAT;
  if (extension == "caf") return SF_FORMAT_CAF | SF_FORMAT_FLOAT;
  if (extension == "w64") return SF_FORMAT_W64 | SF_FORMAT_FLOAT;
  if (extension == "rf64") return SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
  if (extension == "au") return SF_FORMAT_AU | SF_FORMAT_FLOAT;
  return 0;
}

bool EncodeAudio(const std::string& path, int32_t rateHz, int channels, const std::vector<float>& frames,
                 const std::string& comment, std::vector<unsigned char>& bytes, bool& commentStored,
                 std::string& error) {
  SF_INFO info{};
  info.samplerate = rateHz;
  info.channels = channels;
  info.format = FormatForPath(path);
  if (info.format == 0) {
    error = "unknown audio file extension (use .wav, .flac, .aiff, .caf, .w64, .rf64 or .au)";
    return false;
  }
  bytes.clear();
  MemoryFile memory{&bytes, 0};
  SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
  SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
  if (file == nullptr) {
    error = std::string("cannot encode the audio: ") + sf_strerror(nullptr);
    return false;
  }
  // Strings go in before the samples (FLAC and Ogg write them first).
  commentStored = !comment.empty() && sf_set_string(file, SF_STR_COMMENT, comment.c_str()) == 0;
  const sf_count_t frameCount = static_cast<sf_count_t>(frames.size() / static_cast<size_t>(channels));
  const bool written = sf_writef_float(file, frames.data(), frameCount) == frameCount;
  if (!written) error = std::string("cannot encode the audio: ") + sf_strerror(file);
  sf_close(file);
  return written;
}

bool ReadRecording(const std::string& path, Recording& recording, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    error = std::string("cannot read it: ") + sf_strerror(nullptr);
    return false;
  }
  const size_t channels = static_cast<size_t>(info.channels);
  std::vector<float> interleaved(static_cast<size_t>(info.frames) * channels);
  const sf_count_t read = sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  if (read != info.frames) {
    error = "cannot read all of its frames";
    return false;
  }
  recording.rateHz = info.samplerate;
  recording.channels.assign(channels, std::vector<float>(static_cast<size_t>(info.frames)));
  for (size_t n = 0; n < static_cast<size_t>(info.frames); ++n)
    for (size_t c = 0; c < channels; ++c) recording.channels[c][n] = interleaved[n * channels + c];
  return true;
}

bool ReadSweepParameters(const std::string& path, SweepParameters& parameters, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    error = std::string("cannot read the sweep file: ") + sf_strerror(nullptr);
    return false;
  }
  const char* comment = sf_get_string(file, SF_STR_COMMENT);
  std::string text = comment != nullptr ? comment : "";
  sf_close(file);
  std::string jsonError;
  if (text.empty() || !SweepParametersFromJson(text, parameters, jsonError)) {
    if (!ReadText(SidecarPath(path), text)) {
      error = "the sweep file holds no sweep parameters" + (jsonError.empty() ? "" : " (" + jsonError + ")") +
              " and there is no " + SidecarPath(path);
      return false;
    }
    if (!SweepParametersFromJson(text, parameters, error)) {
      error = SidecarPath(path) + ": " + error;
      return false;
    }
  }
  if (parameters.rateHz != info.samplerate) {
    error = "the sweep file's rate (" + std::to_string(info.samplerate) +
            " Hz) is not that of its parameters (" + std::to_string(parameters.rateHz) + " Hz)";
    return false;
  }
  return true;
}

}  // namespace sweep
