#include "tests/conformance/decay_sections.h"
namespace conformance {
std::vector<Section> DecaySections() { return {}; }
}  // namespace conformance
