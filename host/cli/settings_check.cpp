#include "host/cli/settings_check.h"

#include <cmath>
#include <cstdio>

#include "host/cli/options.h"
#include "interface/settings_ranges.h"

namespace cli {

namespace {

std::string Refusal(const char* field, double value, const char* rule) {
  char text[160];
  std::snprintf(text, sizeof(text), "field %s holds %.9g; %s", field, value, rule);
  return text;
}

bool IsThresholdValue(float value) {
  return std::isfinite(value) && value >= static_cast<float>(THRESHOLD_LOWEST) &&
         value <= static_cast<float>(THRESHOLD_HIGHEST) && value == std::floor(value);
}

}  // namespace

bool CheckSettingsBlock(const AnalysisSettings& settings, std::string& error) {
  const float start = settings.rtuStartDb, end = settings.rtuEndDb;
  if (!std::isfinite(start) || start > RTU_HIGHEST_DB || start < RTU_LOWEST_DB) {
    error = Refusal("rtuStartDb", start, "the RTU start lies from -100 to 0 dB");
  } else if (!std::isfinite(end) || end > start - RTU_MIN_SPAN_DB ||
             (end < RTU_LOWEST_DB && end != start - RTU_MIN_SPAN_DB)) {
    error = Refusal("rtuEndDb", end, "the RTU end lies at least 1 dB below the start, and not below -100 dB");
  } else if (!IsThresholdValue(settings.wThreshold)) {
    error = Refusal("wThreshold", settings.wThreshold, "a threshold is a whole number from 0 to 32767");
  } else if (!IsThresholdValue(settings.yThreshold)) {
    error = Refusal("yThreshold", settings.yThreshold, "a threshold is a whole number from 0 to 32767");
  } else if (settings.thresholdLock == 1 && settings.yThreshold != settings.wThreshold) {
    error = Refusal("yThreshold", settings.yThreshold, "with Lock ticked it equals the W threshold");
  } else if (settings.arrivalThreshold != static_cast<int16_t>(settings.wThreshold)) {
    error = Refusal("arrivalThreshold", settings.arrivalThreshold, "it is the W threshold as a whole number");
  } else if (!std::isfinite(settings.boostDb) || std::fabs(settings.boostDb) > BOOST_LIMIT_DB) {
    error = Refusal("boostDb", settings.boostDb, "the boost lies from -100 to 100 dB");
  } else if (settings.noiseCorrection > 1) {
    error = Refusal("noiseCorrection", settings.noiseCorrection, "a switch is 0 or 1");
  } else if (settings.thirdOctave > 1) {
    error = Refusal("thirdOctave", settings.thirdOctave, "a switch is 0 or 1");
  } else if (settings.thresholdLock > 1) {
    error = Refusal("thresholdLock", settings.thresholdLock, "a switch is 0 or 1");
  } else {
    return true;
  }
  return false;
}

std::vector<SettingAdjustment> FindAdjustments(const GivenSettings& given, const AnalysisSettings& stored) {
  std::vector<SettingAdjustment> found;
  auto compareFloat = [&](bool has, const char* field, double value, float held) {
    if (has && static_cast<float>(value) != held) found.push_back({field, value, static_cast<double>(held)});
  };
  compareFloat(given.hasRtuStart, "rtuStartDb", given.rtuStartDb, stored.rtuStartDb);
  compareFloat(given.hasRtuEnd, "rtuEndDb", given.rtuEndDb, stored.rtuEndDb);
  compareFloat(given.hasW, "wThreshold", given.wThreshold, stored.wThreshold);
  compareFloat(given.hasY, "yThreshold", given.yThreshold, stored.yThreshold);
  if (given.hasBoost && given.boostDb != stored.boostDb)
    found.push_back({"boostDb", given.boostDb, stored.boostDb});
  return found;
}

}  // namespace cli
