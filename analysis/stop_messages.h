// The message boxes that stop a run or a band, by the status that causes
// them: hosts that explain them look the status up here instead of keeping
// copies of the texts.
#pragma once

#include "acoustics/iacc.h"
#include "acoustics/lateral.h"

// Captions of the lateral pass's message boxes.
constexpr const char* LF_CAPTION = "LF";
constexpr const char* IACC_CAPTION = "IACC";

// What the user is told when a status ends a band; null: nothing (Lin has
// already said why, or there is nothing to say).
const char* LateralMessage(LateralStatus status);
const char* IaccMessage(IaccStatus status);

// No sample of a channel reaches the first-arrival threshold: the run stops.
constexpr const char* NO_FIRST_ARRIVAL_CAPTION = "Acoustical Parameters";
constexpr const char* NO_FIRST_ARRIVAL_MESSAGE =
    "Can not calculate First Arrival Time.\nThreshold is too high.\n\n"
    "Try again with a lower Threshold.";

// The working buffers of a run cannot be allocated: the lateral pair, then
// the channel and raw buffers (captioned with the host's caption).
constexpr const char* PAIR_BUFFERS_MESSAGE = "Can't allocate: not enough memory";
constexpr const char* CHANNEL_BUFFERS_MESSAGE =
    "The system cannot allocate enough memory\nto calculate acoustical parameters.\n\n"
    "Retry after closing some windows or\nwith a shorter impulse response.";
