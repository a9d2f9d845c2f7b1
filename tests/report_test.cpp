// The clipboard report compared whole against texts written out by hand from
// small stores: mono and stereo octave runs, a third-octave run, and a
// third-octave run whose exponent-notation cells overflow 4000 bytes per
// channel.
#include "ui/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/ui_results_fixture.h"

namespace {

std::string Build(const XfmContext& context, bool thirdOctave) {
  const uint32_t length = thirdOctave ? ThirdOctaveReportLength(&context) : OctaveReportLength(&context);
  std::vector<char> block(ReportBlockSize(context.channelCount, length), 'x');
  ReportText text;
  ResetReportText(&text, block.data(), static_cast<uint32_t>(block.size()));
  if (thirdOctave) {
    BuildThirdOctaveReport(&text, &context);
  } else {
    BuildOctaveReport(&text, &context);
  }
  EXPECT_EQ(text.length, length);
  EXPECT_EQ(std::string(block.data()).size(), length);
  return block.data();
}

// Lin fully computed, with a degenerate RT20 fit (decay time 0, status 21);
// 63 Hz without C50..D50 (too short after its arrival) and with values in
// exponent notation; 8 kHz with one value; every other band not computed.
void FillChannelZero(PublishedResults& r) {
  const float lin[PARAMS_PER_BAND] = {1.5f,  3.25f, 58.5f,   72.25f, 1.125f, 0.0f,
                                      21.0f, 1.25f, 0.9987f, 1.0f,   0.5f};
  for (int k = 0; k < PARAMS_PER_BAND; ++k) r.Set(0, 0, k, lin[k]);
  const float band63[PARAMS_PER_BAND] = {0, 0, 0, 120.5f, 2.0f, 2.5f, 0.95f, 2.75f, 0.96f, 12345.0f, 0.05f};
  for (int k = SLOT_TS; k < PARAMS_PER_BAND; ++k) r.Set(0, 2, k, band63[k]);
  r.Set(0, 9, SLOT_C50, -5.0f);
}

const char* const OCTAVE_HEADER = "Band\tLin\t31.5\t63\t125\t250\t500\t1K\t2K\t4K\t8K\t16K\r\n";

std::string ChannelZeroOctaveTable() {
  return std::string(OCTAVE_HEADER) + "Parameters\r\n" + "C50[dB]\t1.5" + MissingCells(8) + "\t-5.\t--\r\n" +
         "C80[dB]\t3.25" + MissingCells(10) + "\r\n" + "D50 [%]\t58.5" + MissingCells(10) + "\r\n" +
         "TS [ms]\t72.25\t--\t120.5" + MissingCells(8) + "\r\n" + "EDT [s]\t1.125\t--\t2." + MissingCells(8) +
         "\r\n" + "RT20[s]\t0.\t--\t2.5" + MissingCells(8) + "\r\n" + "r RT20\t21.\t--\t0.95" +
         MissingCells(8) + "\r\n" + "RT30[s]\t1.25\t--\t2.75" + MissingCells(8) + "\r\n" +
         "r RT30\t0.9987\t--\t0.96" + MissingCells(8) + "\r\n" + "RTU [s]\t1.\t--\t1.235e+004" +
         MissingCells(8) + "\r\n" + "r RTU\t0.5\t--\t5.e-002" + MissingCells(8) + "\r\n";
}

TEST(Report, MonoOctaveRunWithNoiseCorrectionOff) {
  PublishedResults r(1);
  FillChannelZero(r);
  r.SetNoiseCorrection(0);
  const std::string expected =
      std::string("OCTAVE BAND ACOUSTICAL PARAMETERS\r\n\r\n") + ChannelZeroOctaveTable() + "LF\t" +
      MissingCells(11, true) + "\r\n" + "IACC\t" + MissingCells(11, true) + "\r\n" + "Wiacc\t" +
      MissingCells(11, true) + "\r\n" + "Tau_iacc\t" + MissingCells(11, true) + "\r\n" + "NC:\t" +
      MissingCells(11, true) + "\r\n" + "\r\nRTU = RT User (-5. dB, -15. dB)\r\n\r\n";
  EXPECT_EQ(Build(r.context, false), expected);
}

TEST(Report, StereoOctaveRunHasTwoSectionsWithSharedPairAndNoiseRows) {
  PublishedResults r(2);
  FillChannelZero(r);
  r.Set(1, 0, SLOT_C50, -2.5f);
  r.Set(1, 1, SLOT_EDT, 3.0f);
  r.store.noiseCorrected[0] = 'y';
  r.store.noiseCorrected[2] = 'y';
  r.store.lf[0] = 0.25;
  r.store.lf[10] = 0.125;  // 16 kHz lies within the band limit of the lateral pass
  r.store.iacc[0] = 0.5;
  r.store.wIacc[0] = 1.5;
  r.store.tauIacc[0] = -0.25;
  r.store.iacc[10] = std::numeric_limits<double>::quiet_NaN();  // not finite: missing
  r.SetRtuRange(-10.0f, -40.0f);

  const std::string pairAndNoise = std::string("LF\t0.25\t") + MissingCells(9, true) + "0.125\t\r\n" +
                                   "IACC\t0.5\t" + MissingCells(10, true) + "\r\n" + "Wiacc\t1.5\t" +
                                   MissingCells(10, true) + "\r\n" + "Tau_iacc\t-0.25\t" +
                                   MissingCells(10, true) + "\r\n" +
                                   "NC:\tyes\tno\tyes\tno\tno\tno\tno\tno\tno\tno\tno\t\r\n" +
                                   "\r\nRTU = RT User (-10. dB, -40. dB)\r\n\r\n";
  const std::string rightTable =
      std::string(OCTAVE_HEADER) + "Parameters\r\n" + "C50[dB]\t-2.5" + MissingCells(10) + "\r\n" +
      "C80[dB]" + MissingCells(11) + "\r\n" + "D50 [%]" + MissingCells(11) + "\r\n" + "TS [ms]" +
      MissingCells(11) + "\r\n" + "EDT [s]\t--\t3." + MissingCells(9) + "\r\n" + "RT20[s]" +
      MissingCells(11) + "\r\n" + "r RT20" + MissingCells(11) + "\r\n" + "RT30[s]" + MissingCells(11) +
      "\r\n" + "r RT30" + MissingCells(11) + "\r\n" + "RTU [s]" + MissingCells(11) + "\r\n" + "r RTU" +
      MissingCells(11) + "\r\n";
  const std::string expected = std::string("OCTAVE BAND ACOUSTICAL PARAMETERS\r\n\r\n") + "Left Channel\r\n" +
                               ChannelZeroOctaveTable() + pairAndNoise + "Right Channel\r\n" + rightTable +
                               pairAndNoise;
  EXPECT_EQ(Build(r.context, false), expected);
}

TEST(Report, MonoThirdOctaveRunPutsTabsAfterCells) {
  PublishedResults r(1);
  for (int k = 0; k < PARAMS_PER_BAND; ++k) r.Set(0, 0, k, static_cast<float>(k + 1));
  // The report, unlike the dialog, shows tiny valid third-octave values.
  r.Set(0, 1, SLOT_C50, 0.00005f);
  r.Set(0, 27, SLOT_R_RTU, 0.875f);
  r.store.noiseCorrected[0] = 'y';
  r.store.iacc[0] = 0.75;  // only the pair rows' own data decide their cells
  r.store.lf[0] = 0.5;     // no LF row in this form

  std::string table = "Band\tLin\t";
  for (const char* octave : {"31.5", "63", "125", "250", "500", "1K", "2K", "4K", "8K"}) {
    for (const char* third : {"(1)", "(2)", "(3)"}) table += std::string(octave) + third + "\t";
  }
  table += "\r\nParameters\r\n";
  const char* labels[PARAMS_PER_BAND] = {"C50[dB]", "C80[dB]", "D50 [%]", "TS [ms]", "EDT [s]", "RT20[s]",
                                         "r RT20",  "RT30[s]", "r RT30",  "RTU [s]", "r RTU"};
  const char* linCells[PARAMS_PER_BAND] = {"1.", "2.", "3.", "4.",  "5.", "6.",
                                           "7.", "8.", "9.", "10.", "11."};
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    std::string row = std::string(labels[k]) + "\t" + linCells[k] + "\t";
    if (k == SLOT_C50) {
      row += "5.e-005\t" + MissingCells(26, true);
    } else if (k == SLOT_R_RTU) {
      row += MissingCells(26, true) + "0.875\t";
    } else {
      row += MissingCells(27, true);
    }
    table += row + "\r\n";
  }
  const std::string expected = std::string("OCTAVE BAND ACOUSTICAL PARAMETERS\r\n\r\n") + table +
                               "IACC\t0.75\t" + MissingCells(27, true) + "\r\n" + "Wiacc\t" +
                               MissingCells(28, true) + "\r\n" + "Tau_iacc\t" + MissingCells(28, true) +
                               "\r\n" + "\r\nNC:\tyes\t" +
                               [] {
                                 std::string no;
                                 for (int i = 0; i < 27; ++i) no += "no\t";
                                 return no;
                               }() +
                               "\r\n" + "\r\nRTU = RT User (-5. dB, -15. dB)\r\n\r\n";
  EXPECT_EQ(Build(r.context, true), expected);
}

TEST(Report, ExponentNotationThirdOctaveReportOutgrowsFourThousandBytesPerChannel) {
  PublishedResults r(2);
  for (int c = 0; c < 2; ++c) {
    for (int b = 0; b < MAX_BANDS; ++b) {
      for (int k = 0; k < PARAMS_PER_BAND; ++k) r.Set(c, b, k, -1.234e-10f);
    }
  }
  for (int b = 0; b < MAX_BANDS; ++b) {
    r.store.iacc[b] = -1.234e-10;
    r.store.wIacc[b] = -1.234e-10;
    r.store.tauIacc[b] = -1.234e-10;
  }
  const uint32_t length = ThirdOctaveReportLength(&r.context);
  EXPECT_GT(length + 1, 2u * 4000u);
  EXPECT_EQ(ReportBlockSize(2, length), length + 1);
  const std::string report = Build(r.context, true);
  EXPECT_EQ(report.size(), length);
  EXPECT_EQ(report.substr(report.size() - 4), "\r\n\r\n");
  // Every parameter cell is the same eleven-character text.
  size_t cells = 0;
  for (size_t at = report.find("-1.234e-010"); at != std::string::npos;
       at = report.find("-1.234e-010", at + 1)) {
    ++cells;
  }
  EXPECT_EQ(cells, 2u * (MAX_BANDS * PARAMS_PER_BAND + 3 * MAX_BANDS));

  // A smaller octave report keeps the 4000-byte-per-channel block, and a
  // destination that is too small holds a terminated prefix, never more.
  EXPECT_EQ(ReportBlockSize(1, 100), 4000u);
  char small[16];
  ReportText text;
  ResetReportText(&text, small, sizeof small);
  BuildThirdOctaveReport(&text, &r.context);
  EXPECT_EQ(text.length, length);
  EXPECT_STREQ(small, "OCTAVE BAND ACO");
}

TEST(Report, NoSettingsBlockLeavesTheTextEmptyAndNoChannelsOnlyTheTitle) {
  PublishedResults r(0);
  EXPECT_EQ(Build(r.context, false), "OCTAVE BAND ACOUSTICAL PARAMETERS\r\n\r\n");
  XfmContext unlockable = r.context;
  unlockable.settingsHandle = 0;
  char text[64] = "old";
  ReportText report;
  ResetReportText(&report, text, sizeof text);
  BuildOctaveReport(&report, &unlockable);
  EXPECT_EQ(report.length, 0u);
  EXPECT_STREQ(text, "");
}

}  // namespace
