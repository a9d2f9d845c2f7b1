// "Records" a sweep file in a room: convolves it (FFT, through the sweep
// library's FFTW plans) with an impulse response file, optionally passes it
// through a memoryless distortion y = x + a2 x^2 + a3 x^3 and adds white
// noise, and writes a float WAV at the sweep's rate with 0.1 s of lead-in.
//
//   roomstat_record_sweep SWEEP RESPONSE OUT.wav [NOISE_DB [A2 A3]]
//
// The recording's peak is 0.5; NOISE_DB is the noise power relative to the
// recording's mean power (default -60). The response must have the sweep's rate.
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "host/sweep/fft.h"
#include "host/sweep/sweep_file.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: roomstat_record_sweep SWEEP RESPONSE OUT.wav [NOISE_DB [A2 A3]]\n");
    return 1;
  }
  const double noiseDb = argc > 4 ? std::atof(argv[4]) : -60.0;
  const double a2 = argc > 6 ? std::atof(argv[5]) : 0.0, a3 = argc > 6 ? std::atof(argv[6]) : 0.0;
  sweep::Recording played, room;
  std::string error;
  if (!sweep::ReadRecording(argv[1], played, error) || !sweep::ReadRecording(argv[2], room, error)) {
    std::fprintf(stderr, "roomstat_record_sweep: %s\n", error.c_str());
    return 2;
  }
  if (played.rateHz != room.rateHz) {
    std::fprintf(stderr, "roomstat_record_sweep: the response's rate is not the sweep's\n");
    return 2;
  }
  const size_t lead = static_cast<size_t>(0.1 * played.rateHz), frames = lead + played.channels[0].size();
  std::vector<double> signal(lead, 0.0), response(room.channels[0].begin(), room.channels[0].end());
  signal.insert(signal.end(), played.channels[0].begin(), played.channels[0].end());
  const size_t length = sweep::FastFftLength(signal.size() + response.size());
  std::vector<std::complex<double>> spectrum = sweep::RealSpectrum(signal, length);
  const std::vector<std::complex<double>> roomSpectrum = sweep::RealSpectrum(response, length);
  for (size_t k = 0; k < spectrum.size(); ++k) spectrum[k] *= roomSpectrum[k];
  std::vector<double> recorded = sweep::RealSignal(spectrum, length);
  recorded.resize(frames);
  double peak = 0.0, power = 0.0;
  for (double value : recorded) peak = std::max(peak, std::fabs(value)), power += value * value;
  const double scale = 0.5 / peak;
  power *= scale * scale / static_cast<double>(frames);
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0.0, std::sqrt(power * std::pow(10.0, noiseDb / 10.0)));
  std::vector<float> out(frames);
  for (size_t n = 0; n < frames; ++n) {
    const double x = recorded[n] * scale;
    out[n] = static_cast<float>(x + a2 * x * x + a3 * x * x * x + noise(random));
  }
  std::vector<unsigned char> bytes;
  bool stored = false;
  if (!sweep::EncodeAudio(argv[3], played.rateHz, 1, out, "", bytes, stored, error)) {
    std::fprintf(stderr, "roomstat_record_sweep: %s\n", error.c_str());
    return 4;
  }
  std::ofstream(argv[3], std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return 0;
}
