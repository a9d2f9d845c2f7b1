// libFuzzer target: the roomstat options and saved settings blocks. The input
// is a list of arguments separated by NUL bytes; when it ends with a whole
// settings block, that block is checked as --settings would. Any input must
// give either a usage error or options within the documented ranges, and a
// block that passes the check must hold only values that the settings
// dialog itself stores.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/cli/options.h"
#include "host/cli/settings_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AnalysisSettings block;
  const bool hasBlock = size >= SETTINGS_SIZE;
  if (hasBlock) {
    std::memcpy(&block, data + size - SETTINGS_SIZE, SETTINGS_SIZE);
    std::string error;
    if (cli::CheckSettingsBlock(block, error)) {
      // Nothing that passes may be out of the dialog's ranges.
      if (!(block.rtuStartDb <= RTU_HIGHEST_DB && block.rtuStartDb >= RTU_LOWEST_DB &&
            block.rtuEndDb <= block.rtuStartDb - RTU_MIN_SPAN_DB && std::isfinite(block.rtuEndDb) &&
            std::fabs(block.boostDb) <= BOOST_LIMIT_DB)) {
        std::abort();
      }
    } else if (error.empty()) {
      std::abort();
    }
  }

  std::vector<std::string> arguments{"roomstat"};
  std::string current;
  for (size_t i = 0; i < (hasBlock ? size - SETTINGS_SIZE : size); ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  arguments.push_back(current);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  cli::Options options;
  std::string error;
  if (!cli::ParseOptions(static_cast<int>(arguments.size()), argv.data(), options, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  // Accepted values are what the dialog can hold and show.
  for (const auto* text : {&options.rtuStartText, &options.rtuEndText, &options.boostText}) {
    if (*text && (!cli::IsNumberText(**text) || (*text)->size() > cli::MAX_FIELD_TEXT)) std::abort();
  }
  if (options.boostText && std::fabs(std::strtod(options.boostText->c_str(), nullptr)) > BOOST_LIMIT_DB) {
    std::abort();
  }
  if (options.thresholdMode == cli::ThresholdMode::Given && !cli::IsThresholdText(options.thresholdText)) {
    std::abort();
  }
  if (options.yThresholdText && !cli::IsThresholdText(*options.yThresholdText)) std::abort();
  return 0;
}
