// Writes the audio files of the rate and refusal tests: a bundled response
// resampled with libsoxr to other rates, a sum of octave-band noises with a
// known decay time per band written directly at several rates, and files
// that hold no response to analyse.
//
//   roomstat_trust_fixtures EXAMPLES_DIR OUT_DIR
#include <sndfile.h>
#include <soxr.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Audio {
  int channels = 1;
  int rate = 44100;
  std::vector<float> samples;  // interleaved, full scale 1.0
};

bool Read(const std::string& path, Audio& audio) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return std::fprintf(stderr, "cannot open %s\n", path.c_str()), false;
  audio.channels = info.channels;
  audio.rate = info.samplerate;
  audio.samples.resize(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, audio.samples.data(), info.frames);
  sf_close(file);
  return true;
}

bool Write(const std::string& path, const Audio& audio, int subtype = SF_FORMAT_FLOAT) {
  SF_INFO info{};
  info.channels = audio.channels;
  info.samplerate = audio.rate;
  info.format = SF_FORMAT_WAV | subtype;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return std::fprintf(stderr, "cannot write %s\n", path.c_str()), false;
  const sf_count_t frames = static_cast<sf_count_t>(audio.samples.size()) / audio.channels;
  const bool written = sf_writef_float(file, audio.samples.data(), frames) == frames;
  sf_close(file);
  return written;
}

// A copy at `rate` by the same very-high-quality linear-phase resampling a
// measuring system would use.
Audio Resampled(const Audio& in, int rate) {
  Audio out{in.channels, rate, {}};
  const size_t frames = in.samples.size() / in.channels;
  const size_t outFrames = static_cast<size_t>(std::llround(static_cast<double>(frames) * rate / in.rate));
  out.samples.resize(outFrames * in.channels);
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
  size_t done = 0;
  soxr_oneshot(in.rate, rate, in.channels, in.samples.data(), frames, nullptr, out.samples.data(), outFrames,
               &done, &io, &quality, nullptr);
  out.samples.resize(done * in.channels);
  return out;
}

uint32_t g_state = 12345;
double Uniform() {  // 0..1, the same on every machine
  g_state = g_state * 1664525u + 1013904223u;
  return static_cast<double>(g_state >> 8) / 16777216.0;
}

// Octave-band noises, each a sum of 128 sines at random frequencies within
// the middle of its octave (a third of an octave either side of the centre)
// and random phases, decaying by 60 dB in its own time; 20 ms of silence
// first, 3 s in all, peak at -6 dBFS. The decay times rise with frequency:
// a band-pass filter lets the octave below through at about -18 dB, which
// must not decay more slowly than the band itself, or it would lengthen the
// band's late decay.
constexpr double BAND_CENTRES[] = {125, 250, 500, 1000, 2000, 4000};
constexpr double BAND_DECAYS[] = {0.6, 0.75, 0.9, 1.1, 1.3, 1.6};  // s

Audio BandNoises(int rate) {
  constexpr double PI = 3.14159265358979323846;
  Audio audio{1, rate, std::vector<float>(static_cast<size_t>(3.0 * rate), 0.0f)};
  const size_t lead = static_cast<size_t>(0.02 * rate);
  std::vector<double> sum(audio.samples.size(), 0.0);
  g_state = 12345;
  for (size_t b = 0; b < std::size(BAND_CENTRES); ++b) {
    const double perSecond = std::log(10.0) * 3.0 / BAND_DECAYS[b];  // amplitude
    for (int k = 0; k < 128; ++k) {
      const double f = BAND_CENTRES[b] * std::pow(2.0, (Uniform() * 2.0 - 1.0) / 3.0);
      // A decaying phasor, advanced by one complex factor per sample.
      std::complex<double> z = std::polar(1.0, 2.0 * PI * Uniform());
      const std::complex<double> step = std::polar(std::exp(-perSecond / rate), 2.0 * PI * f / rate);
      for (size_t n = lead; n < sum.size(); ++n, z *= step) sum[n] += z.imag();
    }
  }
  double peak = 0.0;
  for (double x : sum) peak = std::max(peak, std::fabs(x));
  for (size_t n = 0; n < sum.size(); ++n) audio.samples[n] = static_cast<float>(0.5 * sum[n] / peak);
  return audio;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s EXAMPLES_DIR OUT_DIR\n", argv[0]);
    return 1;
  }
  const std::string examples = argv[1], out = std::string(argv[2]) + "/";
  std::error_code ignored;
  std::filesystem::create_directories(argv[2], ignored);
  Audio clap, room;
  if (!Read(examples + "/binaural_clap.wav", clap) || !Read(examples + "/living_room.wav", room)) return 1;
  bool ok = true;
  for (int rate : {16000, 48000, 96000, 192000}) {
    ok &= Write(out + "clap_" + std::to_string(rate) + ".wav", Resampled(clap, rate));
    ok &= Write(out + "room_" + std::to_string(rate) + ".wav", Resampled(room, rate));
  }
  for (int rate : {44100, 48000, 96000, 192000})
    ok &= Write(out + "bands_" + std::to_string(rate) + ".wav", BandNoises(rate));

  // Files that hold no response: all zeros, 13 samples, steady noise.
  const Audio silent{1, 48000, std::vector<float>(48000, 0.0f)};
  Audio shortFile{1, 44100, std::vector<float>(13, 0.0f)};
  shortFile.samples[3] = 0.5f;
  Audio noise{1, 48000, std::vector<float>(48000, 0.0f)};
  for (float& x : noise.samples) x = static_cast<float>(0.3 * (Uniform() * 2.0 - 1.0));
  // The room response at -80 dBFS after 145 ms of silence, in float.
  Audio quiet{1, room.rate, std::vector<float>(static_cast<size_t>(0.145 * room.rate), 0.0f)};
  double peak = 0.0;
  for (float x : room.samples) peak = std::max(peak, static_cast<double>(std::fabs(x)));
  for (float x : room.samples) quiet.samples.push_back(static_cast<float>(x / peak * 1e-4));
  Audio loud = quiet;
  for (float& x : loud.samples) x *= 5000.0f;  // -6 dBFS
  ok &= Write(out + "silent.wav", silent, SF_FORMAT_PCM_16) &&
        Write(out + "thirteen.wav", shortFile, SF_FORMAT_PCM_16) &&
        Write(out + "noise.wav", noise, SF_FORMAT_PCM_16) && Write(out + "quiet_float.wav", quiet) &&
        Write(out + "loud_float.wav", loud);
  return ok ? 0 : 1;
}
