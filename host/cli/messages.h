// Plain sentences for the plug-in's terse message boxes: what happened and
// what to try, printed on standard error after the message itself (json
// keeps the messages verbatim).
#pragma once

#include <string>

#include "acoustics/iacc.h"
#include "acoustics/lateral.h"
#include "host/cli/file_result.h"

namespace cli {

// The plain sentence for each status that ends a lateral band with a message
// box ("" for a status that shows none).
const char* LateralExplanation(LateralStatus status);
const char* IaccExplanation(IaccStatus status);

// The sentence for a message box of the plug-in, found by the status that
// raised it ("" for a message no status explains).
std::string PlainSentence(const PluginMessage& message);

// The warning printed when a file is analysed at a rate other than the one
// the band filters are designed for ("" when there is nothing to warn of).
std::string NativeRateWarning(const FileResult& result);

}  // namespace cli
