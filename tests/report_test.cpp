// The clipboard report compared whole against texts written out by hand from
// small stores: a mono octave run, a mono third-octave run, and a stereo
// third-octave run whose exponent-notation cells overflow 4000 bytes per
// channel.
#include "ui/report.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/ui_results_fixture.h"

namespace {

const std::string TITLE = "OCTAVE BAND ACOUSTICAL PARAMETERS\r\n\r\n";
const char* const LABELS[PARAMS_PER_BAND] = {"C50[dB]", "C80[dB]", "D50 [%]", "TS [ms]", "EDT [s]", "RT20[s]",
                                             "r RT20",  "RT30[s]", "r RT30",  "RTU [s]", "r RTU"};

// The report of the results that r's settings block publishes, measured and
// then written into a block of the clipboard's size.
std::string Build(HandFilledResults& r, bool thirdOctave, char* small = nullptr, uint32_t smallSize = 0) {
  const ReportForm form = thirdOctave ? REPORT_THIRD_OCTAVE : REPORT_OCTAVE;
  const AnalysisSettings* settings = r.Lock();
  const ResultsView results = PublishedResults(*settings);
  const uint16_t channels = r.context.channelCount;
  const uint32_t length = ReportLength(form, channels, *settings, results);
  std::vector<char> block(ReportBlockSize(channels, length), 'x');
  ReportText text;
  ResetReportText(&text, small ? small : block.data(),
                  small ? smallSize : static_cast<uint32_t>(block.size()));
  BuildReport(&text, form, channels, *settings, results);
  r.Unlock();
  EXPECT_EQ(text.length, length);
  if (small) return small;
  EXPECT_EQ(std::string(block.data()).size(), length);
  return block.data();
}

// Lin fully computed, with a degenerate RT20 fit (decay time 0, status 21);
// 63 Hz without C50..D50 (too short after its arrival) and with values in
// exponent notation; 8 kHz with one value; every other band not computed.
// The pair rows print whatever the store holds, also for one channel; the
// two-channel layout is covered by the golden whole-run reports.
TEST(Report, MonoOctaveRunWithNoiseCorrectionOff) {
  HandFilledResults r(1);
  const float lin[PARAMS_PER_BAND] = {1.5f,  3.25f, 58.5f,   72.25f, 1.125f, 0.0f,
                                      21.0f, 1.25f, 0.9987f, 1.0f,   0.5f};
  const float band63[PARAMS_PER_BAND] = {0, 0, 0, 120.5f, 2.0f, 2.5f, 0.95f, 2.75f, 0.96f, 12345.0f, 0.05f};
  for (int k = 0; k < PARAMS_PER_BAND; ++k) r.Set(0, 0, k, lin[k]);
  for (int k = SLOT_TS; k < PARAMS_PER_BAND; ++k) r.Set(0, 2, k, band63[k]);
  r.Set(0, 9, SLOT_C50, -5.0f);
  r.SetNoiseCorrection(0);
  r.store.noiseCorrected[0] = 'y';  // not shown while noise correction is off
  r.store.lf[0] = 0.25;
  r.store.lf[10] = 0.125;  // 16 kHz lies within the band limit of the lateral pass
  r.store.iacc[0] = 0.5;
  r.store.wIacc[0] = 1.5;
  r.store.tauIacc[0] = -0.25;
  r.store.iacc[10] = std::numeric_limits<double>::quiet_NaN();  // not finite: missing
  r.SetRtuRange(-10.0f, -40.0f);

  const std::string m8 = MissingCells(8), m10 = MissingCells(10),
                    cells[PARAMS_PER_BAND] = {
                        "\t1.5" + m8 + "\t-5.\t--",  "\t3.25" + m10,           "\t58.5" + m10,
                        "\t72.25\t--\t120.5" + m8,   "\t1.125\t--\t2." + m8,   "\t0.\t--\t2.5" + m8,
                        "\t21.\t--\t0.95" + m8,      "\t1.25\t--\t2.75" + m8,  "\t0.9987\t--\t0.96" + m8,
                        "\t1.\t--\t1.235e+004" + m8, "\t0.5\t--\t5.e-002" + m8};
  std::string expected = TITLE + "Band\tLin\t31.5\t63\t125\t250\t500\t1K\t2K\t4K\t8K\t16K\r\nParameters\r\n";
  for (int k = 0; k < PARAMS_PER_BAND; ++k) expected += LABELS[k] + cells[k] + "\r\n";
  const std::string m10after = MissingCells(10, true);
  expected += "LF\t0.25\t" + MissingCells(9, true) + "0.125\t\r\nIACC\t0.5\t" + m10after +
              "\r\nWiacc\t1.5\t" + m10after + "\r\nTau_iacc\t-0.25\t" + m10after + "\r\nNC:\t" +
              MissingCells(11, true) + "\r\n\r\nRTU = RT User (-10. dB, -40. dB)\r\n\r\n";
  EXPECT_EQ(Build(r, false), expected);
}

TEST(Report, MonoThirdOctaveRunPutsTabsAfterCells) {
  HandFilledResults r(1);
  for (int k = 0; k < PARAMS_PER_BAND; ++k) r.Set(0, 0, k, static_cast<float>(k + 1));
  // The report, unlike the dialog, shows tiny valid third-octave values.
  r.Set(0, 1, SLOT_C50, 0.00005f);
  r.Set(0, 27, SLOT_R_RTU, 0.875f);
  r.store.noiseCorrected[0] = 'y';
  r.store.iacc[0] = 0.75;  // only the pair rows' own data decide their cells
  r.store.lf[0] = 0.5;     // no LF row in this form

  std::string expected = TITLE + "Band\tLin\t";
  for (const char* octave : {"31.5", "63", "125", "250", "500", "1K", "2K", "4K", "8K"}) {
    for (const char* third : {"(1)", "(2)", "(3)"}) expected += std::string(octave) + third + "\t";
  }
  expected += "\r\nParameters\r\n";
  const char* linCells[PARAMS_PER_BAND] = {"1.", "2.", "3.", "4.",  "5.", "6.",
                                           "7.", "8.", "9.", "10.", "11."};
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    expected += std::string(LABELS[k]) + "\t" + linCells[k] + "\t" +
                (k == SLOT_C50     ? "5.e-005\t" + MissingCells(26, true)
                 : k == SLOT_R_RTU ? MissingCells(26, true) + "0.875\t"
                                   : MissingCells(27, true)) +
                "\r\n";
  }
  expected += "IACC\t0.75\t" + MissingCells(27, true) + "\r\nWiacc\t" + MissingCells(28, true) +
              "\r\nTau_iacc\t" + MissingCells(28, true) + "\r\n\r\nNC:\tyes\t";
  for (int i = 0; i < 27; ++i) expected += "no\t";
  EXPECT_EQ(Build(r, true), expected + "\r\n\r\nRTU = RT User (-5. dB, -15. dB)\r\n\r\n");
}

TEST(Report, ExponentNotationThirdOctaveReportOutgrowsFourThousandBytesPerChannel) {
  HandFilledResults r(2);
  for (int b = 0; b < MAX_BANDS; ++b) {
    for (int k = 0; k < PARAMS_PER_BAND * 2; ++k) r.Set(k % 2, b, k / 2, -1.234e-10f);
    r.store.iacc[b] = r.store.wIacc[b] = r.store.tauIacc[b] = -1.234e-10;
  }
  const std::string report = Build(r, true);
  const uint32_t length = static_cast<uint32_t>(report.size());
  EXPECT_GT(length + 1, 2u * 4000u);
  EXPECT_EQ(ReportBlockSize(2, length), length + 1);
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
  EXPECT_EQ(Build(r, true, small, sizeof small), "OCTAVE BAND ACO");
}

// No channel gives the title alone; a channel count a host should never give
// (4) reads the store as mono instead of past its two channels.
TEST(Report, ChannelCountsOutsideOneAndTwo) {
  HandFilledResults none(0);
  EXPECT_EQ(Build(none, false), TITLE);
  HandFilledResults four(4), one(1);
  EXPECT_EQ(Build(four, false), Build(one, false));
}

}  // namespace
