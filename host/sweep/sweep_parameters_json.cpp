#include "host/sweep/sweep_parameters_json.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace sweep {
namespace {

constexpr const char* kKind = "exponential-sine-sweep";
constexpr int kVersion = 1;

}  // namespace

std::string SweepParametersToJson(const SweepParameters& p) {
  nlohmann::ordered_json object;
  object["kind"] = kKind;
  object["version"] = kVersion;
  object["startHz"] = p.startHz;
  object["endHz"] = p.endHz;
  object["sweepSeconds"] = p.sweepSeconds;
  object["rateHz"] = p.rateHz;
  object["levelDbfs"] = p.levelDbfs;
  object["fadeInSeconds"] = p.fadeInSeconds;
  object["fadeOutSeconds"] = p.fadeOutSeconds;
  object["silenceSeconds"] = p.silenceSeconds;
  object["repetitions"] = p.repetitions;
  return object.dump();
}

bool SweepParametersFromJson(const std::string& text, SweepParameters& parameters, std::string& error) {
  const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
  if (object.is_discarded() || !object.is_object()) {
    error = "the sweep parameters are not a JSON object";
    return false;
  }
  if (object.value("kind", std::string()) != kKind || object.value("version", 0) != kVersion) {
    error = "the JSON object does not describe an exponential sine sweep of version 1";
    return false;
  }
  SweepParameters p;
  try {
    object.at("startHz").get_to(p.startHz);
    object.at("endHz").get_to(p.endHz);
    object.at("sweepSeconds").get_to(p.sweepSeconds);
    object.at("rateHz").get_to(p.rateHz);
    object.at("levelDbfs").get_to(p.levelDbfs);
    object.at("fadeInSeconds").get_to(p.fadeInSeconds);
    object.at("fadeOutSeconds").get_to(p.fadeOutSeconds);
    object.at("silenceSeconds").get_to(p.silenceSeconds);
    object.at("repetitions").get_to(p.repetitions);
  } catch (const nlohmann::json::exception& e) {
    error = std::string("the sweep parameters are incomplete: ") + e.what();
    return false;
  }
  const SweepStatus status = CheckSweepParameters(p);
  if (status != SweepStatus::Ok) {
    error = "the stored sweep parameters are not valid: " + SweepStatusSentence(status);
    return false;
  }
  parameters = p;
  return true;
}

std::string DeconvolutionFactsToJson(const DeconvolutionFacts& facts) {
  nlohmann::ordered_json object;
  object["kind"] = "sweep-deconvolution";
  object["startHz"] = facts.startHz;
  object["endHz"] = facts.endHz;
  object["rateHz"] = facts.rateHz;
  object["sweepsAveraged"] = facts.sweepsAveraged;
  object["directSoundSeconds"] = facts.directSoundSeconds;
  object["leadSeconds"] = facts.leadSeconds;
  object["peakToNoiseDb"] = facts.peakToNoiseDb;
  object["harmonicCutDb"] = facts.harmonicCutDb;
  object["keptSeconds"] = facts.keptSeconds;
  object["decayEndSeconds"] = std::isfinite(facts.decayEndSeconds)
                                  ? nlohmann::ordered_json(facts.decayEndSeconds)
                                  : nlohmann::ordered_json(nullptr);
  return object.dump();
}

}  // namespace sweep
