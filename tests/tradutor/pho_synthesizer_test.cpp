// The stand-in synthesizer: its unit set file, .pho lines, and the two promises of its output:
// every duration met (within 1 % over a sentence) and the pitch at each point within 5 % of its
// target, measured on the output by autocorrelation.
#include "tradutor/pho_synthesizer.h"

#include <gmock/gmock.h>

#include <cmath>
#include <numbers>
#include <random>

namespace navelo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

constexpr int kRate = 16000;

// A voiced unit: pulses 160 samples apart (100 Hz), each a decaying resonance at `formant` Hz
// starting at its pitch mark.
PhoUnit VoicedUnit(const std::string& name, double formant) {
  PhoUnit u;
  u.name = name;
  u.samples.assign(8000, 0);
  for (size_t mark = 80; mark + 160 < u.samples.size(); mark += 160) {
    u.marks.push_back(static_cast<uint32_t>(mark));
    for (int k = 0; k < 160; ++k) {
      const double v = 9000.0 * std::exp(-k / 25.0) *
                       std::sin(2 * std::numbers::pi * formant * k / kRate);
      u.samples[mark + k] = static_cast<int16_t>(u.samples[mark + k] + v);
    }
  }
  return u;
}

PhoUnit NoiseUnit(const std::string& name) {
  PhoUnit u;
  u.name = name;
  u.voiced = false;
  std::minstd_rand random(7);
  std::uniform_int_distribution<int> noise(-3000, 3000);
  for (int i = 0; i < 4000; ++i) u.samples.push_back(static_cast<int16_t>(noise(random)));
  for (uint32_t m = 40; m < 3960; m += 80) u.marks.push_back(m);
  return u;
}

// The pitch around sample `at`: the shortest lag whose normalised autocorrelation comes within
// 10 % of the best, refined between its neighbours.
double MeasurePitch(const std::vector<int16_t>& s, size_t at, size_t half_window = 240) {
  const size_t from = at > half_window ? at - half_window : 0;
  const size_t to = std::min(s.size(), at + half_window);
  const int min_lag = kRate / 500, max_lag = kRate / 60;
  std::vector<double> r(max_lag + 2, 0.0);
  for (int lag = min_lag - 1; lag <= max_lag + 1; ++lag) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = from; i + lag < to; ++i) {
      xy += double(s[i]) * s[i + lag];
      xx += double(s[i]) * s[i];
      yy += double(s[i + lag]) * s[i + lag];
    }
    r[lag] = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
  }
  double best = 0;
  for (int lag = min_lag; lag <= max_lag; ++lag) best = std::max(best, r[lag]);
  for (int lag = min_lag; lag <= max_lag; ++lag) {
    if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
      const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
      const double denominator = a - 2 * b + c;
      const double shift = denominator != 0 ? 0.5 * (a - c) / denominator : 0;
      return kRate / (lag + shift);
    }
  }
  return 0;
}

TEST(PhoSynthesizerTest, UnitSetsRoundTripAndDamagedOnesAreRefused) {
  const std::vector<PhoUnit> units = {VoicedUnit("a", 700), NoiseUnit("s")};
  const std::string bytes = WritePhoUnitSet(units);
  std::vector<PhoUnit> read;
  ASSERT_TRUE(ReadPhoUnitSet(bytes, read));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].name, "a");
  EXPECT_TRUE(read[0].voiced);
  EXPECT_FALSE(read[1].voiced);
  EXPECT_EQ(read[0].samples, units[0].samples);
  EXPECT_EQ(read[1].marks, units[1].marks);
  EXPECT_FALSE(ReadPhoUnitSet(bytes.substr(0, bytes.size() - 1), read));
  EXPECT_FALSE(ReadPhoUnitSet(bytes + "x", read));
  EXPECT_FALSE(ReadPhoUnitSet("NVPHOU1\n", read));
  std::string other_rate = bytes;
  other_rate[8] = 0x11;  // 16001 Hz
  EXPECT_FALSE(ReadPhoUnitSet(other_rate, read));
  // A mark beyond the samples.
  PhoUnit bad = VoicedUnit("a", 700);
  bad.marks.push_back(9000);
  EXPECT_FALSE(ReadPhoUnitSet(WritePhoUnitSet({bad}), read));
}

TEST(PhoSynthesizerTest, PhoLines) {
  PhoLine line;
  ASSERT_TRUE(ParsePhoLine("a 127 80 260\r", line));
  EXPECT_EQ(line.phoneme, "a");
  EXPECT_EQ(line.duration_ms, 127);
  EXPECT_THAT(line.points, ElementsAre(Pair(80, 260)));
  ASSERT_TRUE(ParsePhoLine("_ 50", line));
  EXPECT_TRUE(line.points.empty());
  ASSERT_TRUE(ParsePhoLine("e 100 0 120 50 130 100 140", line));
  EXPECT_EQ(line.points.size(), 3u);
  EXPECT_FALSE(ParsePhoLine(";555|casa", line));
  EXPECT_FALSE(ParsePhoLine("", line));
  EXPECT_FALSE(ParsePhoLine("a", line));
  EXPECT_FALSE(ParsePhoLine("a -5", line));
  ASSERT_TRUE(ParsePhoLine("a 999999999 50 100", line));
  EXPECT_EQ(line.duration_ms, 60000);
}

TEST(PhoSynthesizerTest, DurationsAreMetOverASentence) {
  const std::vector<PhoUnit> units = {VoicedUnit("a", 700), VoicedUnit("e", 450), NoiseUnit("s")};
  std::vector<PhoLine> lines;
  for (const char* text : {"_ 50", "a 127 50 210", "s 92", "e 116 80 260", "a 71", "_ 50",
                           "e 33 50 180", "s 45", "a 300 20 150 90 110", "_ 80"}) {
    PhoLine line;
    ASSERT_TRUE(ParsePhoLine(text, line));
    lines.push_back(line);
  }
  double ms = 0;
  for (const PhoLine& l : lines) ms += l.duration_ms;
  const std::vector<int16_t> out = RenderPho(lines, units);
  EXPECT_NEAR(static_cast<double>(out.size()), ms * kRate / 1000, ms * kRate / 1000 * 0.01);
  // The pauses are silent and the voiced phonemes are not.
  EXPECT_EQ(*std::max_element(out.begin(), out.begin() + 600), 0);
  EXPECT_GT(*std::max_element(out.begin() + 1000, out.begin() + 2500), 2000);
}

TEST(PhoSynthesizerTest, ThePitchAtEachPointIsWithinFivePercent) {
  const std::vector<PhoUnit> units = {VoicedUnit("a", 700), VoicedUnit("e", 450)};
  // A rising and falling sentence and a question that rises at its end.
  const std::vector<std::vector<const char*>> sentences = {
      {"_ 50", "a 200 20 120 80 180", "e 150 50 220", "a 250 30 200 90 110", "_ 50"},
      {"_ 50", "e 180 50 140", "a 160 50 130", "e 220 40 150 90 260", "_ 50"},
      // Each point is a bend of the contour, which a window of a few periods averages over: the
      // bends stay within what intonation asks (here 30 % over 160 ms).
      {"a 400 10 90 50 130 90 100"}};
  for (const auto& sentence : sentences) {
    std::vector<PhoLine> lines;
    for (const char* text : sentence) {
      PhoLine line;
      ASSERT_TRUE(ParsePhoLine(text, line));
      lines.push_back(line);
    }
    const std::vector<int16_t> out = RenderPho(lines, units);
    double start_ms = 0;
    for (const PhoLine& line : lines) {
      for (const auto& [position, hz] : line.points) {
        const double at_ms = start_ms + line.duration_ms * position / 100;
        const double measured = MeasurePitch(out, static_cast<size_t>(at_ms * kRate / 1000));
        EXPECT_NEAR(measured, hz, hz * 0.05) << sentence[0] << " at " << at_ms << " ms";
      }
      start_ms += line.duration_ms;
    }
  }
}

TEST(PhoSynthesizerTest, NeighbouringPhonemesGlideIntoEachOtherButPausesStaySilent) {
  // Two units of opposite sign: their mix is near zero.
  PhoUnit plus{"a", true, std::vector<int16_t>(3200, 1000), {}};
  PhoUnit minus{"e", true, std::vector<int16_t>(3200, -1000), {}};
  for (uint32_t m = 80; m < 3100; m += 160) {
    plus.marks.push_back(m);
    minus.marks.push_back(m);
  }
  std::vector<PhoLine> lines(4);
  ParsePhoLine("a 200 50 100", lines[0]);
  ParsePhoLine("e 200", lines[1]);
  ParsePhoLine("_ 100", lines[2]);
  ParsePhoLine("a 100", lines[3]);
  const std::vector<int16_t> out = RenderPho(lines, {plus, minus});
  auto mean = [&](size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += out[i];
    return sum / static_cast<double>(to - from);
  };
  EXPECT_GT(mean(320, 1600), 400);           // a alone
  // Just before and just after the boundary each sound already holds much of the other.
  EXPECT_LT(mean(2950, 3190), 400);
  EXPECT_GT(mean(3210, 3450), -400);
  EXPECT_LT(mean(4800, 6000), -400);         // e alone
  EXPECT_EQ(mean(6600, 7800), 0);            // the pause
}

TEST(PhoSynthesizerTest, TheBackEndRendersWhatWasWrittenAndReadsItOut) {
  std::string reason;
  std::unique_ptr<MbrolaBackend> stand_in = MakePhoSynthesizer(reason);
  ASSERT_NE(stand_in, nullptr);
  EXPECT_LT(stand_in->Init("/nonexistent/units.uni"), 0);
  EXPECT_THAT(stand_in->LastError(), ::testing::HasSubstr("missing or damaged"));
  EXPECT_STREQ(stand_in->Kind(), "stand-in");
}

}  // namespace
}  // namespace navelo::testing
