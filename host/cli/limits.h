// Bounds of what one analysis may ask for, checked before anything is
// allocated for it, so that the memory a run takes follows from the work
// asked for and never from a header's word alone.
#pragma once

#include <cstdint>

namespace cli {

// Frames of one analysed selection (as offered to the plug-in, after any
// resampling): the plug-in's working buffers take 8 bytes per frame and
// channel within a 32-bit address space. 268435455 frames, about 101 minutes
// at 44100 Hz.
constexpr uint64_t MAX_ANALYSED_FRAMES = 0x7FFFFFFFull / 8;

// The lowest file rate that is resampled to the analysis rate. No format in
// use records room responses below it (telephony's 8 kHz is the lowest in
// common use); it bounds the resampling ratio to 44.1, so that a resampled
// selection takes at most 44.1 times the memory of the file's own; and at
// 1000 Hz the octaves up to 250 Hz still lie below the Nyquist frequency.
// A lower rate is refused (with --native-rate the file's rate is offered as
// it is: nothing grows).
constexpr int MIN_RESAMPLED_RATE_HZ = 1000;

}  // namespace cli
