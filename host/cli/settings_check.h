// Saved settings blocks: what a block must hold to be used, and what the
// settings dialog changed of the values it was given.
#pragma once

#include <string>
#include <vector>

#include "interface/settings.h"

namespace cli {

// False, naming the field and its value in `error`, when a user field of the
// block is not finite or lies outside what the settings dialog can store:
// RTU start -100..0 dB, RTU end at least 1 dB below it and not below -100
// (unless the start is -100), whole thresholds 0..32767, boost -100..100 dB,
// switches 0 or 1. The working values and result pointers are not looked at.
bool CheckSettingsBlock(const AnalysisSettings& settings, std::string& error);

// A value that the settings dialog stored differently from how it was given.
struct SettingAdjustment {
  std::string field;  // the settings record's field name, e.g. "rtuEndDb"
  double given = 0.0;
  double stored = 0.0;
};

// The values given for the dialog's fields (unset: not given).
struct GivenSettings {
  bool hasRtuStart = false, hasRtuEnd = false, hasW = false, hasY = false, hasBoost = false;
  double rtuStartDb = 0, rtuEndDb = 0, wThreshold = 0, yThreshold = 0, boostDb = 0;
};

// The given values that the confirmed block holds differently, in field
// order. A float field counts as unchanged when it holds the given value
// rounded to single precision.
std::vector<SettingAdjustment> FindAdjustments(const GivenSettings& given, const AnalysisSettings& stored);

}  // namespace cli
