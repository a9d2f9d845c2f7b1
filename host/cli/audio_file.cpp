#include "host/cli/audio_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/cli/interrupts.h"
#include "host/cli/limits.h"

namespace cli {

namespace {

// Name of a major format or a subtype, as libsndfile tells it.
std::string FormatName(int format) {
  SF_FORMAT_INFO info{};
  info.format = format;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name) return info.name;
  char text[32];
  std::snprintf(text, sizeof(text), "0x%04X", format);
  return text;
}

// Sample width that a host editor offers for a file of this subtype.
uint16_t OfferedBits(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    default:
      return 32;
  }
}

bool IsFloatSubtype(int subtype) { return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE; }

sf_count_t MemoryLength(void* user) { return static_cast<AudioReader::Memory*>(user)->bytes.size(); }

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
  auto* memory = static_cast<AudioReader::Memory*>(user);
  const sf_count_t size = static_cast<sf_count_t>(memory->bytes.size());
  const sf_count_t base = whence == SEEK_CUR ? memory->position : whence == SEEK_END ? size : 0;
  if (offset < -base || offset > size - base) return -1;
  memory->position = base + offset;
  return memory->position;
}

sf_count_t MemoryRead(void* destination, sf_count_t count, void* user) {
  auto* memory = static_cast<AudioReader::Memory*>(user);
  const sf_count_t left = static_cast<sf_count_t>(memory->bytes.size()) - memory->position;
  const sf_count_t copied = std::max<sf_count_t>(0, std::min(count, left));
  if (copied > 0)
    std::memcpy(destination, memory->bytes.data() + memory->position, static_cast<size_t>(copied));
  memory->position += copied;
  return copied;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t MemoryTell(void* user) { return static_cast<AudioReader::Memory*>(user)->position; }

// Reads standard input to its end.
bool ReadStandardInput(std::vector<unsigned char>& bytes, std::string& error) {
  unsigned char chunk[65536];
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      error = std::string("cannot read standard input: ") + std::strerror(errno);
      return false;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
}

const char* KindOfFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

}  // namespace

AudioReader::~AudioReader() {
  if (file_) sf_close(file_);
}

bool AudioReader::Open(const std::string& path, const std::vector<int>& channels, AudioData& audio,
                       std::string& error) {
  SF_INFO info{};
  if (path == "-") {
    if (!ReadStandardInput(memory_.bytes, error)) return false;
    static SF_VIRTUAL_IO memoryIo = {MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
    file_ = sf_open_virtual(&memoryIo, SFM_READ, &info, &memory_);
  } else {
    // Opened without waiting (a FIFO with no writer would block) and checked
    // on the open descriptor itself.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
    struct stat facts {};
    if (fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
      const bool regular = S_ISREG(facts.st_mode);
      error = std::string("cannot read: ") + (regular ? std::strerror(errno) : KindOfFile(facts.st_mode));
      if (!regular) error += ", not an audio file (give - to read standard input)";
      close(fd);
      return false;
    }
    file_ = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  }
  if (!file_) {
    error = std::string("cannot read: ") + sf_strerror(nullptr);
    return false;
  }
  audio.majorFormat = FormatName(info.format & SF_FORMAT_TYPEMASK);
  audio.subFormat = FormatName(info.format & SF_FORMAT_SUBMASK);
  audio.fileChannels = info.channels;
  audio.sampleRate = info.samplerate;
  audio.fileFrames = info.frames < 0 ? 0 : static_cast<uint64_t>(info.frames);
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  audio.bitsOffered = OfferedBits(subtype);
  audio.floatSource = IsFloatSubtype(subtype);

  if (channels.empty()) {
    if (info.channels > 2) {
      error = "has " + std::to_string(info.channels) +
              " channels; the analysis takes one or two: pick them with --channels A,B";
      return false;
    }
    audio.usedChannels.clear();
    for (int c = 1; c <= info.channels; ++c) audio.usedChannels.push_back(c);
  } else {
    for (int c : channels) {
      if (c > info.channels) {
        error = "has no channel " + std::to_string(c) + " (it has " + std::to_string(info.channels) + ")";
        return false;
      }
    }
    audio.usedChannels = channels;
  }
  if (info.samplerate <= 0) {
    error = "has no valid sampling rate";
    return false;
  }
  if (audio.fileFrames == 0) {
    error = "holds no sample frames";
    return false;
  }
  return true;
}

namespace {

constexpr sf_count_t CHUNK_FRAMES = 8192;

// The used channels of `frames` integer frames (ints left-aligned in 32
// bits, or 16-bit samples as they are), shifted down to the offered width,
// into `out`.
template <typename Sample>
void ConvertIntegerChunk(const Sample* chunk, size_t frames, size_t fileChannels,
                         const std::vector<int>& used, int shift, float* out) {
  const size_t count = used.size();
  for (size_t u = 0; u < count; ++u) {
    const Sample* from = chunk + (used[u] - 1);
    for (size_t f = 0; f < frames; ++f)
      out[f * count + u] = static_cast<float>(from[f * fileChannels] >> shift);
  }
}

// The same for float frames (full scale 1.0 becomes 32768, the 16-bit
// integer scale); false with a sentence for a sample that is not finite or
// leaves the float range.
bool ConvertFloatChunk(const double* chunk, size_t frames, size_t fileChannels, const std::vector<int>& used,
                       uint64_t firstFrame, float* out, std::string& error) {
  const size_t count = used.size();
  for (size_t f = 0; f < frames; ++f) {
    for (size_t u = 0; u < count; ++u) {
      const double value = chunk[f * fileChannels + static_cast<size_t>(used[u] - 1)];
      const float sample = static_cast<float>(value * 32768.0);
      if (!std::isfinite(value) || !std::isfinite(sample)) {
        error = "frame ";
        error += std::to_string(firstFrame + f);
        error += " of channel ";
        error += std::to_string(used[u]);
        error += std::isfinite(value)
                     ? " lies beyond the range of single-precision samples"
                     : " is not a finite number (NaN or infinite samples cannot be analysed)";
        return false;
      }
      out[f * count + u] = sample;
    }
  }
  return true;
}

}  // namespace

bool AudioReader::SkipTo(uint64_t first, size_t fileChannels, std::string& error) {
  // Seek to the selection; a stream that cannot seek is read up to it.
  if (first == 0 || sf_seek(file_, static_cast<sf_count_t>(first), SEEK_SET) >= 0) return true;
  std::vector<double> skippedFrames(static_cast<size_t>(CHUNK_FRAMES) * fileChannels);
  for (uint64_t skipped = 0; skipped < first;) {
    if (Stopped(error)) return false;
    const sf_count_t want = static_cast<sf_count_t>(std::min<uint64_t>(CHUNK_FRAMES, first - skipped));
    const sf_count_t got = sf_readf_double(file_, skippedFrames.data(), want);
    if (got <= 0) {
      error = std::string("holds no readable sample frames at the selection: ") + sf_strerror(file_);
      return false;
    }
    skipped += static_cast<uint64_t>(got);
  }
  return true;
}

// Checked between chunks, so that decoding a long file can be stopped.
bool AudioReader::Stopped(std::string& error) {
  interrupted_ = g_stopRequested.load();
  if (interrupted_) error = "interrupted";
  return interrupted_;
}

bool AudioReader::ReadSelection(uint64_t first, uint64_t& last, AudioData& audio, std::string& error) {
  interrupted_ = false;
  const uint64_t selectionFrames = last - first + 1;
  if (selectionFrames > MAX_ANALYSED_FRAMES) {
    error = "the selection is too long for one analysis (" + std::to_string(selectionFrames) +
            " frames; at most " + std::to_string(MAX_ANALYSED_FRAMES) + ")";
    return false;
  }
  const size_t used = audio.usedChannels.size();
  const size_t fileChannels = static_cast<size_t>(audio.fileChannels);
  // Each chunk is converted where it was decoded and appended: every sample
  // of the selection is written once.
  audio.samples.clear();
  audio.samples.reserve(static_cast<size_t>(selectionFrames) * used);
  const bool integerPath = audio.bitsOffered != 32;
  // Only 16-bit integer files are offered at 16 bits (OfferedBits): their
  // samples are read as they are (libsndfile reads them three times faster
  // than as ints, which are the same samples shifted up by 16).
  const bool shortPath = audio.bitsOffered == 16;
  std::vector<short> shortChunk(shortPath ? CHUNK_FRAMES * fileChannels : 0);
  std::vector<int> intChunk(integerPath && !shortPath ? CHUNK_FRAMES * fileChannels : 0);
  std::vector<double> floatChunk(integerPath ? 0 : CHUNK_FRAMES * fileChannels);
  std::vector<float> converted(CHUNK_FRAMES * used);
  // Integer reads come left-aligned in 32 bits: shift down to the offered width.
  const int shift = audio.bitsOffered == 8 ? 24 : 16;
  if (!SkipTo(first, fileChannels, error)) return false;
  uint64_t frame = 0;  // within the selection
  while (frame < selectionFrames) {
    if (Stopped(error)) return false;
    const sf_count_t want =
        static_cast<sf_count_t>(std::min<uint64_t>(CHUNK_FRAMES, selectionFrames - frame));
    const sf_count_t got = shortPath     ? sf_readf_short(file_, shortChunk.data(), want)
                           : integerPath ? sf_readf_int(file_, intChunk.data(), want)
                                         : sf_readf_double(file_, floatChunk.data(), want);
    if (got <= 0) break;
    const size_t frames = static_cast<size_t>(got);
    if (shortPath) {
      ConvertIntegerChunk(shortChunk.data(), frames, fileChannels, audio.usedChannels, 0, converted.data());
    } else if (integerPath) {
      ConvertIntegerChunk(intChunk.data(), frames, fileChannels, audio.usedChannels, shift, converted.data());
    } else if (!ConvertFloatChunk(floatChunk.data(), frames, fileChannels, audio.usedChannels, first + frame,
                                  converted.data(), error)) {
      return false;
    }
    audio.samples.insert(audio.samples.end(), converted.begin(), converted.begin() + frames * used);
    frame += frames;
  }
  if (frame < selectionFrames) {
    // A truncated file: keep what could be read, as an editor would.
    if (frame == 0) {
      error = std::string("holds no readable sample frames: ") + sf_strerror(file_);
      return false;
    }
    audio.fileFrames = first + frame;
    last = first + frame - 1;
    audio.samples.shrink_to_fit();
  }
  return true;
}

}  // namespace cli
