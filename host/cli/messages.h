// Plain sentences for the plug-in's terse message boxes: what happened and
// what to try, printed on standard error after the message itself (json
// keeps the messages verbatim).
#pragma once

#include <string>

#include "host/cli/file_result.h"

namespace cli {

// The sentence for a message box of the plug-in ("" for one it does not know).
std::string PlainSentence(const PluginMessage& message);

// The warning printed when a file is analysed at a rate other than the one
// the band filters are designed for ("" when there is nothing to warn of).
std::string NativeRateWarning(const FileResult& result);

}  // namespace cli
