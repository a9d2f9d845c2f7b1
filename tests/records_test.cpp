// Byte layouts of the settings record and the results store, checked through
// real objects and raw bytes (the headers' static_asserts check offsetof;
// these check what the bytes hold and the indexing the readers rely on).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "interface/results.h"
#include "interface/settings.h"

namespace {

std::vector<uint8_t> At(const uint8_t* block, size_t offset, size_t count) {
  return std::vector<uint8_t>(block + offset, block + offset + count);
}

TEST(Records, TypeStringLettersAddUpToTheSettingsSize) {
  // Letter widths as the host reads the type string: 4 for f, i, l, h; 1 for
  // c; 8 for d; 256 for s.
  uint32_t total = 0;
  for (const char* p = "fficccllllllhhccffcdssll"; *p != '\0'; ++p) {
    total += *p == 'c' ? 1 : *p == 'd' ? 8 : *p == 's' ? 256 : 4;
  }
  EXPECT_EQ(total, 586u);
  EXPECT_EQ(sizeof(AnalysisSettings), total);
}

TEST(Records, ResultStoreIsIndexedChannelBandSlot) {
  // Readers index the store flat: element [c][b][k] at c*308 + b*11 + k, in
  // the values and in the validity flags alike.
  AcousticResults store{};
  const struct { size_t c, b, k; } cells[] = {{0, 10, 4}, {1, 0, 0}, {1, 27, 10}};
  for (const auto& cell : cells) {
    const size_t flat = cell.c * 308 + cell.b * 11 + cell.k;
    EXPECT_EQ(&store.values[cell.c][cell.b][cell.k], &store.values[0][0][0] + flat);
    EXPECT_EQ(&store.valid[cell.c][cell.b][cell.k], &store.valid[0][0][0] + flat);
  }
}

TEST(Records, SettingsFieldsLandAtTheHostsOffsets) {
  AnalysisSettings written{};
  std::memset(&written, 0xA5, sizeof written);
  written.rtuStartDb = -5.0f;
  written.rtuEndDb = -15.0f;
  written.arrivalThreshold = -2;
  written.noiseCorrection = 1;
  written.thirdOctave = 0;
  written.shownChannel = 1;
  written.resultValues = 0x11223344u;
  written.resultTauIACC = 0xDEADBEEFu;
  written.ownerWindow = 0x00010002u;
  written.moduleHandle = 0x10000000u;
  written.wThreshold = 10000.0f;
  written.yThreshold = 2500.0f;
  written.thresholdLock = 1;
  written.boostDb = 3.0;
  written.arrivalLeft = 1234;
  written.arrivalRight = -1;
  written.iaccStart = 70000u;
  written.iaccEnd = 0x01020304u;

  const auto* raw = reinterpret_cast<const uint8_t*>(&written);

  // The bytes at the host's offsets, written out by hand (IEEE-754, LE).
  const struct { size_t offset; std::vector<uint8_t> bytes; } expected[] = {
      {0, {0x00, 0x00, 0xA0, 0xC0}},                          // -5.0f
      {4, {0x00, 0x00, 0x70, 0xC1}},                          // -15.0f
      {8, {0xFE, 0xFF}},                                      // -2
      {10, {0x01, 0x00, 0x01}},                               // flags
      {13, {0x44, 0x33, 0x22, 0x11}},                         // resultValues
      {33, {0xEF, 0xBE, 0xAD, 0xDE}},                         // resultTauIACC
      {37, {0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x10}},  // owner, module
      {45, std::vector<uint8_t>(512, 0xA5)},                  // unused span
      {557, {0x00, 0x40, 0x1C, 0x46}},                        // 10000.0f
      {561, {0x00, 0x40, 0x1C, 0x45}},                        // 2500.0f
      {565, {0x01}},
      {566, {0, 0, 0, 0, 0, 0, 0x08, 0x40}},                  // 3.0
      {574, {0xD2, 0x04, 0xFF, 0xFF}},                        // 1234, -1
      {578, {0x70, 0x11, 0x01, 0x00, 0x04, 0x03, 0x02, 0x01}},
  };
  for (const auto& e : expected) EXPECT_EQ(At(raw, e.offset, e.bytes.size()), e.bytes) << "offset " << e.offset;
}

}  // namespace
