#include "analysis/lateral_band_signals.h"

#include <cstring>

#include "dsp/filters.h"

namespace {

// The resonator filter needs at least two samples; a shorter selection has
// no lateral value in any band anyway (its 80 ms window cannot fit).
// Both channels are filtered in one sweep.
void FilterLateralBand(BandPair pair, uint32_t length, float centreHz, float rateHz) {
  if (length >= 2) ResonatorOctaveFilterPair(pair.left, pair.right, length, centreHz, rateHz);
}

void ConvertPair(const void* raw, const SelectionFormat& format, BandPair pair) {
  ConvertChannel(raw, format, 0, pair.left);
  ConvertChannel(raw, format, 1, pair.right);
}

// The armed band, filtered into the pair not in use from the copy of the
// frames (taken from the fetch buffer the first time, while no fetch can
// write it).
void FilterArmedBand(LateralBandSignals* s) {
  if (s->armedBand < 0) return;
  if (!s->copied) {
    std::memcpy(s->framesCopy, s->raw, s->frameBytes);
    s->copied = true;
  }
  const BandPair pair = s->pairs[1 - s->inUse];
  ConvertPair(s->framesCopy, *s->format, pair);
  FilterLateralBand(pair, s->format->frameCount, s->armedHz, s->rateHz);
  s->readyBand = s->armedBand;
  s->armedBand = -1;
}

// The lent runner's two workers take the sweep's parts in turn; worker 1
// first filters the armed band. The parts write only their own outputs and
// the filtering only the pair not in use.
struct SweepWithFiltering {
  LateralBandSignals* signals;
  PartQueue sweep;
};

void SweepWorker(void* context, int worker) {
  SweepWithFiltering& s = *static_cast<SweepWithFiltering*>(context);
  if (worker == 1) FilterArmedBand(s.signals);
  s.sweep.TakeAll();
}

void RunSweepWithFiltering(void* context, int parts, void (*job)(void* jobContext, int part),
                           void* jobContext) {
  LateralBandSignals* signals = static_cast<LateralBandSignals*>(context);
  SweepWithFiltering shared{signals, {{0}, parts, job, jobContext}};
  signals->lent->run(signals->lent->context, 2, &SweepWorker, &shared);
}

size_t BytesPerSample(uint16_t bits) { return bits == 8 ? 1 : bits == 16 ? 2 : bits == 32 ? 4 : 0; }

}  // namespace

void StartBandSignals(LateralBandSignals* s, const SelectionFormat& format, const void* raw, float rateHz,
                      float* left, float* right, size_t capacityBytes, const PartRunner* lent) {
  const size_t frames = format.frameCount;
  s->format = &format;
  s->raw = raw;
  s->rateHz = rateHz;
  s->pairs[0] = BandPair{left, right};
  s->pairs[1] = BandPair{left + frames, right + frames};
  s->inUse = 0;
  s->frameBytes = frames * format.channelCount * BytesPerSample(format.bitsPerSample);
  // Each buffer: a pair's channel, the other pair's channel; the left one
  // then the copy of the frames.
  const size_t needed = 2 * frames * sizeof(float) + s->frameBytes;
  const bool room = s->frameBytes > 0 && capacityBytes >= needed;
  s->lent = room ? lent : nullptr;
  s->sweepRunner = PartRunner{s, &RunSweepWithFiltering};
  s->framesCopy = reinterpret_cast<unsigned char*>(left + 2 * frames);
  s->copied = false;
  s->armedBand = -1;
  s->armedHz = 0.0f;
  s->readyBand = -1;
}

BandPair BandSignalsOf(LateralBandSignals* s, int band, float centreHz) {
  const bool ready = s->readyBand == band;
  s->readyBand = -1;
  if (ready && std::memcmp(s->raw, s->framesCopy, s->frameBytes) == 0) {
    s->inUse = 1 - s->inUse;
    return s->pairs[s->inUse];
  }
  // Other frames than the copy's: the next look-ahead copies them anew.
  if (ready) s->copied = false;
  const BandPair pair = s->pairs[s->inUse];
  ConvertPair(s->raw, *s->format, pair);
  if (centreHz > 0.0f) FilterLateralBand(pair, s->format->frameCount, centreHz, s->rateHz);
  return pair;
}

void ArmNextBand(LateralBandSignals* s, int band, float centreHz) {
  s->armedBand = s->lent != nullptr ? band : -1;
  s->armedHz = centreHz;
}

const PartRunner* SweepRunner(LateralBandSignals* s) {
  return s->lent != nullptr ? &s->sweepRunner : nullptr;
}
