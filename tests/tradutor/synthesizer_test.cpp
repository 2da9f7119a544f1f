// The diphone synthesizer over a tiny database whose units are runs of one byte value: chunk
// splitting, the unit cut arithmetic, the fallbacks, silences and the buffer flush.
#include "tradutor/synthesizer.h"

#include "tests/tradutor/speech_fixtures.h"
#include "tradutor/text_to_phonemes.h"
#include "tradutor/wave_player.h"

namespace navelo::testing {
namespace {

constexpr uint8_t kSilence = 128;

class RecordingSink final : public SynthesizerSink {
 public:
  void PlayBuffer(const uint8_t* image, size_t size) override {
    WaveLayout layout;
    ASSERT_TRUE(ReadWaveLayout(image, size, layout));
    EXPECT_EQ(layout.format, (PcmFormat{11025, 8, 1}));
    EXPECT_EQ(layout.data_length + 44, size);
    sizes.push_back(size);
    samples.insert(samples.end(), image + 44, image + size);
  }
  bool AppendLetterUnit(std::string_view key, std::vector<uint8_t>& out) override {
    letters.emplace_back(key);
    const auto it = letter_units.find(std::string(key));
    if (it == letter_units.end()) return false;
    out.insert(out.end(), it->second.begin(), it->second.end());
    return true;
  }
  std::vector<uint8_t> samples;
  std::vector<size_t> sizes;
  std::vector<std::string> letters;
  std::map<std::string, std::vector<uint8_t>> letter_units;
};

class SynthesizerTest : public ::testing::Test {
 protected:
  SynthesizerTest() : synth_(database_, sink_) {
    WriteDatabase(dir_.path(),
                  {{"$KA", 1, 1200},  {"$KE", 2, 3000},  {"$KI", 3, 800},   {"$KO", 4, 3000},
                   {"$K", 5, 500},    {"$ST", 6, 700},   {"$P", 7, 1000},   {"$A", 8, 600},
                   {"$S", 9, 400},    {"$RR", 10, 300},  {"$MA", 11, 900},  {"$AY", 12, 500},
                   {"$MECIRC", 13, 0}, {"$ECIRC", 14, 700}, {"$NN", 15, 200}, {"$LOO", 16, 40000},
                   {"$TA", 17, 1000}, {"$AW", 18, 500}});
    EXPECT_TRUE(database_.Load(dir_.path() / "DIFONES2.IND", dir_.path() / "DIFONES2.DIF"));
    synth_.params = {400, 1000, 0};
  }

  std::vector<std::pair<int, int>> Speak(std::string_view phonemes, bool pauses_off = false) {
    sink_.samples.clear();
    sink_.letters.clear();
    synth_.SpeakPhonemes(phonemes, pauses_off);
    return Runs(sink_.samples);
  }

  using R = std::vector<std::pair<int, int>>;
  TempDir dir_;
  DiphoneDatabase database_;
  RecordingSink sink_;
  DiphoneSynthesizer synth_;
};

TEST_F(SynthesizerTest, UnstressedUnitsAreCutButKeepTheLeast) {
  // CORTEFON 400, SOBRAFON 1000: 1200 gives 1000, 3000 gives 2600, 800 stays 800.
  EXPECT_EQ(Speak("[ka]"), (R{{1, 1000}}));
  EXPECT_EQ(Speak("[ke]"), (R{{2, 2600}}));
  EXPECT_EQ(Speak("[ki]"), (R{{3, 800}}));
  // A stressed unit keeps its whole length, and the next unit is cut again.
  EXPECT_EQ(Speak("[kO ka]"), (R{{4, 3000}, {1, 1000}}));
  // Short chunks run on across "/": "kOka" is not in the index, so it falls back piece by piece.
  EXPECT_EQ(Speak("[kO/ka]"), (R{{8, 600}}));
  // Units of two characters or fewer are never cut.
  EXPECT_EQ(Speak("[p]"), (R{{7, 1000}}));
}

TEST_F(SynthesizerTest, ChunksOfConsonantsSplitOffTheFirst) {
  // p, s, t: the unit p at full factor, then "st" as one unit (cut, but SOBRAFON keeps 700).
  EXPECT_EQ(Speak("[pst]"), (R{{7, 1000}, {6, 700}}));
  // "ks" is never split off: k, s, t is "ks" (k at 70 % and s) and then t, which is noise.
  Speak("[kst]");
  EXPECT_EQ(Runs(std::vector<uint8_t>(sink_.samples.begin(), sink_.samples.begin() + 750)),
            (R{{5, 350}, {9, 400}}));
  EXPECT_EQ(sink_.samples.size(), 750u + 300);
  // A chunk ending in rr speaks the rest and then rr.
  EXPECT_EQ(Speak("[karr]"), (R{{1, 1000}, {10, 300}}));
}

TEST_F(SynthesizerTest, MissingKeysFallBackToSmallerUnits) {
  // "$PA" is missing: "$P" at 90 % and then "$A".
  EXPECT_EQ(Speak("[pa]"), (R{{7, 900}, {8, 600}}));
  // A missing one-letter key is the 300-sample noise burst.
  const auto noise = Speak("[b]");
  EXPECT_EQ(sink_.samples.size(), 300u);
  for (const uint8_t sample : sink_.samples) {
    EXPECT_GE(sample, 88);
    EXPECT_LT(sample, 168);
  }
  // b and d split off as noise; the missing "$gk" ends in neither a vowel nor a mark: silent.
  Speak("[bdgk]");
  EXPECT_EQ(sink_.samples.size(), 600u);
}

TEST_F(SynthesizerTest, NasalAndClosedVowels) {
  // "~" ends the key with TIL: missing, so "$MECIRC" (empty) is tried as a closed vowel, which is
  // found; then the nasal "$nn" at 90 %.
  EXPECT_EQ(Speak("[me~]"), (R{{15, 180}}));
  // A glide after a vowel: the chunk before at 60 % and the vowel-glide unit.
  EXPECT_EQ(Speak("[may]"), (R{{11, 540}, {12, 500}}));
}

TEST_F(SynthesizerTest, PunctuationPausesAndWordSilences) {
  EXPECT_EQ(Speak("[_,]"), (R{{kSilence, 4000}}));
  EXPECT_TRUE(sink_.letters.empty());
  EXPECT_EQ(Speak("[_.][_;][_:]"), (R{{kSilence, 8000 + 6000 + 8000}}));
  // With pauses off the comma is its letter unit.
  sink_.letter_units["_44"] = std::vector<uint8_t>(50, 20);
  EXPECT_EQ(Speak("[_,]", true), (R{{20, 50}}));
  // INTERPAL samples after each word, in whole hundreds.
  synth_.params.interpal = 250;
  EXPECT_EQ(Speak("[ka][ka]"), (R{{1, 1000}, {kSilence, 200}, {1, 1000}}));
}

TEST_F(SynthesizerTest, LongChunksEndAtASlash) {
  Speak("[_a_b_c_d_e/_f]");
  EXPECT_EQ(sink_.letters, (std::vector<std::string>{"_97", "_102"}));
  Speak("[_a_b/_c]");
  EXPECT_EQ(sink_.letters, (std::vector<std::string>{"_97"}));
  // A lone "_" at the end of the string names nothing.
  EXPECT_TRUE(Speak("[ka_").empty());
}

TEST_F(SynthesizerTest, TheBufferIsPlayedWhenItFills) {
  synth_.params = {0, 0, 0};
  Speak("[lOo lOo]");
  ASSERT_EQ(sink_.sizes.size(), 2u);
  EXPECT_EQ(sink_.sizes[0], 44u + 40000);
  EXPECT_EQ(sink_.sizes[1], 44u + 40000);
  // Nothing to say plays nothing.
  sink_.sizes.clear();
  Speak("[]");
  EXPECT_TRUE(sink_.sizes.empty());
}

TEST(DiphoneDatabaseTest, SearchAndMissingFiles) {
  TempDir dir;
  WriteDatabase(dir.path(), {{"$A", 1, 10}, {"$AB", 2, 20}, {"$B", 3, 30}, {"$\xC9", 4, 5}});
  DiphoneDatabase database;
  EXPECT_FALSE(database.Load(dir.path() / "none.IND", dir.path() / "DIFONES2.DIF"));
  EXPECT_FALSE(database.Load(dir.path() / "DIFONES2.IND", dir.path() / "none.DIF"));
  ASSERT_TRUE(database.Load(dir.path() / "DIFONES2.IND", dir.path() / "DIFONES2.DIF"));
  EXPECT_EQ(database.unit_count(), 4u);
  for (const auto& [name, length] :
       std::vector<std::pair<std::string, int>>{{"$A", 10}, {"$AB", 20}, {"$B", 30}, {"$\xC9", 5}}) {
    const auto unit = database.Find(name);
    ASSERT_TRUE(unit.has_value()) << name;
    EXPECT_EQ(unit->length, length);
  }
  EXPECT_FALSE(database.Find("$C").has_value());
  EXPECT_FALSE(database.Find("$ABCDEFGH").has_value());
  std::vector<uint8_t> out;
  const auto unit = database.Find("$\xC9");  // the last unit of the data file
  EXPECT_EQ(database.ReadData(unit->offset, 100, out), 5u);  // only what the file holds
}

}  // namespace
}  // namespace navelo::testing

namespace navelo::testing {
namespace {

TEST_F(SynthesizerTest, AnyPhonemeStringIsSafe) {
  std::mt19937 random(5);
  const std::string alphabet = "[]/_ |^~aeiouAEIOUwykstprrlmn,.;:";
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const size_t length = random() % 80;
    for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    Speak(text);
  }
  PhonemeRules rules;
  rules.SetRulesText("(A)=a\n#(S)#=z\n(C)+=s\n](B)=b\n_(D)=d\n|(F)=f\n(G)&=g\n(J)*=j\n(K)[=k\n(M)\\=m\n");
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (int i = 0; i < 30; ++i) text += static_cast<char>(random() % 256);
    Speak(rules.TextToPhonemes(text));
  }
}

}  // namespace
}  // namespace navelo::testing
