// The speech front end over a tiny synthetic host: start-up and its failure report, the cases of
// Speak (digits, words, www, hyphens, repeated signs, punctuation pauses), letter and named
// sounds, the tones, hours and dates. Events are read back from the transcript.
#include "tradutor/diphone_speech.h"

#include <gmock/gmock.h>

#include "platform/text_encoding.h"
#include "tests/tradutor/speech_fixtures.h"

namespace navelo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr const char* kIni =
    "[TRADUTOR]\r\nDIRDIFONES=c:\\difones\r\nDIRLETRAS=c:\\letras\r\n";

class SpeechTest : public ::testing::Test {
 protected:
  SpeechTest()
      : host_(DriveCAndHome(dir_.path()), dir_.path().string()),
        config_(host_) {}

  void WriteHost(const std::string& ini_extra = "", bool with_rules = true,
                 const std::string& tradutor_extra = "") {
    WriteFile(IniPath(), std::string(kIni) + tradutor_extra + ini_extra);
    const fs::path c = dir_.path() / "c";
    WriteCasaVoice(c / "difones", with_rules);
    // Letter and word sounds, each a run of its own byte value.
    const std::map<std::string, uint8_t> letters = {
        {"_unknown", 30}, {"_44", 31}, {"_46", 32}, {"_45", 33}, {"_61", 34}, {"_58", 35},
        {"_47", 36},      {"_119", 37}, {"_87", 38}, {"_49", 39}, {"_50", 40}, {"_51", 41},
        {"_52", 42},      {"_12", 43},  {"_55", 44}, {"_zero", 45}, {"_sete", 46},
        {"_MENOS", 47},   {"_cinco", 48}, {"_uma", 49}, {"_hora", 50}, {"_dez", 51},
        {"_horas", 52},   {"_EHORA", 53}, {"_dois", 54}, {"_mil", 55}, {"_e", 56},
        {"_vinte", 57},   {"_quatro", 58}, {"_um", 59}, {"_minutos", 60}};
    for (const auto& [name, value] : letters) {
      WriteFile(c / "letras" / (name + ".wav"), WavBytes(std::string(300, static_cast<char>(value))));
    }
    WriteFile(c / "sons" / "ola.wav", WavBytes(std::string(300, 'o')));
  }

  fs::path IniPath() const { return UserIniPath(dir_.path()); }

  void Start(int expected = 0) {
    transcript_ = std::make_unique<Transcript>((dir_.path() / "transcript").string());
    speech_ = std::make_unique<DiphoneSpeech>(console_, keys_, config_, host_, wave_, *transcript_,
                                              [this](int code) { end_code_ = code; });
    EXPECT_EQ(speech_->SpeechInit(0, "c:\\sons"), expected);
  }

  // The transcript events since the last call, as "kind payload".
  std::vector<std::string> Events() {
    const std::string text = ReadWhole(dir_.path() / "transcript");
    std::vector<std::string> events;
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find('\n', start);
      std::string line = text.substr(start, end - start);
      std::replace(line.begin(), line.end(), '\t', ' ');
      events.push_back(line);
      start = end + 1;
    }
    std::vector<std::string> fresh(events.begin() + static_cast<long>(seen_), events.end());
    seen_ = events.size();
    return fresh;
  }

  // The byte values heard, one per run of played sound (silence and padding left out).
  std::vector<int> Heard() {
    std::vector<int> heard;
    for (const WrittenBlock& block : audio_.blocks) {
      for (const auto& [value, count] : Runs(block.bytes)) {
        if (value != 128 && (heard.empty() || heard.back() != value)) heard.push_back(value);
      }
    }
    audio_.blocks.clear();
    return heard;
  }

  TempDir dir_;
  HostEnvironment host_;
  Config config_;
  RecordingAudio audio_;
  CountingConsole console_;
  QueueKeyboard keys_;
  WavePlayer wave_{audio_, console_, keys_, host_};
  std::unique_ptr<Transcript> transcript_;
  std::unique_ptr<DiphoneSpeech> speech_;
  int end_code_ = -1;
  size_t seen_ = 0;
};

TEST_F(SpeechTest, AMissingDatabaseIsReportedAndEndsTheProgram) {
  keys_.Type("\r");
  Start(1);
  EXPECT_EQ(console_.written,
            Utf8ToCp1252("Erro de inicialização: 1\r\nBanco de dados de voz: DIFONES2\r\n\r\n"));  // the Enter line
  EXPECT_EQ(end_code_, 1);
  EXPECT_FALSE(keys_.KeyPressed());
}

TEST_F(SpeechTest, MissingRulesAreErrorTwo) {
  WriteHost("", false);
  keys_.Type("\r");
  Start(2);
  EXPECT_EQ(end_code_, 1);
}

TEST_F(SpeechTest, StartReadsItsSettings) {
  WriteHost(
      "[SINTETIZADOR]\r\nCORTEFON4=300x\r\nSOBRAFON4=abc\r\nINTERPAL4=50\r\nPAUSAPONTO4=400\r\n"
      "PAUSAVIRG4=\r\nCORTAFALA4=S\r\nRAPIDINHO4=n\r\n"
      "[NAVELO]\r\nFALANDO=Nao\r\nBIPSCLECSCURTOS=sim\r\n",
      true, "VELOCIDADE=4\r\n");
  Start();
  EXPECT_EQ(speech_->synthesizer_params().cortefon, 300);
  EXPECT_EQ(speech_->synthesizer_params().sobrafon, 0);
  EXPECT_EQ(speech_->synthesizer_params().interpal, 50);
  EXPECT_EQ(speech_->pause_full_stop(), 400);
  EXPECT_EQ(speech_->pause_comma(), 150);
  EXPECT_EQ(speech_->pause_colon(), 200);
  EXPECT_TRUE(wave_.cut);
  EXPECT_FALSE(wave_.rate_times_15);
  EXPECT_FALSE(speech_->Echo());
  EXPECT_TRUE(speech_->SpeakAll());
  // Missing yes/no keys are written with their defaults.
  EXPECT_NE(ReadWhole(IniPath()).find("ECOAROPCAO=Sim"), std::string::npos);
  // Both tones are half as long.
  ASSERT_EQ(speech_->click().size(), 128u);
  EXPECT_EQ(speech_->click()[100], 128);
  wave_.cut = false;
  speech_->LongTone();
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 256u);
}

TEST_F(SpeechTest, DigitsAndNumbers) {
  WriteHost();
  Start();
  Events();
  speech_->Speak("007");
  EXPECT_THAT(Events(), ElementsAre("speak 007", "sound c:\\\\letras\\\\_zero.wav",
                                    "sound c:\\\\letras\\\\_zero.wav"));
  EXPECT_THAT(Heard(), ElementsAre(45, 46));  // zero, zero (one run), sete

  speech_->Speak("1234567");
  EXPECT_THAT(Events(), ElementsAre("speak 1234567", "spell 1234567", "char 49", "char 50",
                                    "char 51", "char 52", "char 53", "char 54", "char 55"));
  speech_->Speak("123456");
  EXPECT_THAT(Events(), ElementsAre("speak 123456"));
  speech_->Speak("12-34");
  EXPECT_THAT(Events(), ElementsAre("speak 12-34", "spell 12-34", "char 49", "char 50",
                                    "char 45", "char 51", "char 52"));
  Heard();
  speech_->Speak("-5");
  EXPECT_THAT(Events(), ElementsAre("speak -5", "sound c:\\\\letras\\\\_MENOS.wav"));
  EXPECT_THAT(Heard(), ElementsAre(47, 48));
}

TEST_F(SpeechTest, WordsSignsAndPauses) {
  WriteHost();
  Start();
  Events();
  speech_->Speak("casa");
  EXPECT_THAT(Events(), ElementsAre("speak casa"));
  // "$KASA" is missing: "$KAS" at 90 % and then "$A".
  EXPECT_THAT(Heard(), ElementsAre(1, 3));

  speech_->Speak("WwW");
  EXPECT_THAT(Events(), ElementsAre("speak WwW", "spell WwW", "char 87", "char 119", "char 87"));

  speech_->Speak("s://a");
  EXPECT_THAT(Events(), ElementsAre("speak s://a", "spell :", "char 58", "char 47", "char 47"));
  EXPECT_EQ(console_.delayed, 0);  // the colon before "//" has no pause

  speech_->Speak("ca, sa.");
  EXPECT_THAT(Events(), ElementsAre("speak ca, sa.", "char 44", "char 46"));
  EXPECT_EQ(console_.delayed, 150 + 250);

  console_.delayed = 0;
  speech_->Speak("ca - sa-ca (x)");
  EXPECT_THAT(Events(), ElementsAre("speak ca - sa-ca (x)", "char 45", "char 40", "char 41"));
  EXPECT_EQ(console_.delayed, 150 + 200 + 200);

  speech_->Speak("==========");
  std::vector<std::string> expected = {"speak =========="};
  for (int i = 0; i < 4; ++i) expected.push_back("char 61");
  for (int i = 0; i < 6; ++i) expected.push_back("tone short");
  EXPECT_THAT(Events(), ElementsAreArray(expected));

  speech_->Speak("a\tb");
  EXPECT_THAT(Events(), ElementsAre("speak a\\tb", "sound c:\\\\letras\\\\_FON9.wav"));
}

TEST_F(SpeechTest, LetterSoundsAndNamedSounds) {
  WriteHost();
  Start();
  Events();
  Heard();
  speech_->SpeakChar(10);
  speech_->SpeakChar(12);
  speech_->SpeakChar(200);
  EXPECT_THAT(Events(), ElementsAre("char 10", "char 12", "char 200"));
  EXPECT_THAT(Heard(), ElementsAre(43, 30));  // _12.wav, then _unknown.wav for 200

  speech_->PlayNamedSound("ola");
  speech_->PlayNamedSound("");
  EXPECT_THAT(Events(), ElementsAre("sound c:\\\\sons\\\\ola.wav"));
  EXPECT_THAT(Heard(), ElementsAre('o'));
  EXPECT_TRUE(speech_->SoundExists("ola"));
  EXPECT_TRUE(speech_->SoundExists("_zero"));
  EXPECT_FALSE(speech_->SoundExists("nada"));
  EXPECT_FALSE(speech_->SoundExists(""));
}

TEST_F(SpeechTest, KeysSilenceSpeechAndStayQueued) {
  WriteHost();
  Start();
  Events();
  keys_.Type("x");
  speech_->Speak("casa casa");
  EXPECT_THAT(Events(), ElementsAre("speak casa casa"));
  EXPECT_TRUE(Heard().empty());
  EXPECT_FALSE(speech_->SpeechBusy());
  EXPECT_TRUE(keys_.KeyPressed());

  speech_->SpellText("abc");
  EXPECT_THAT(Events(), ElementsAre("spell abc"));

  // The long tone takes the keys typed ahead.
  keys_.Type("yz");
  speech_->LongTone();
  EXPECT_FALSE(keys_.KeyPressed());
  EXPECT_THAT(Events(), ElementsAre("tone long"));
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 512u);
  EXPECT_EQ(audio_.blocks[0].bytes[4], 64);

  keys_.Type("q");
  EXPECT_EQ(speech_->ReadKeySpoken(), 'q');
  EXPECT_THAT(Events(), ElementsAre("char 113"));
}

TEST_F(SpeechTest, HoursAndDates) {
  WriteHost("[NAVELO]\r\nFALARTUDO=N\r\n");
  Start();
  Events();
  Heard();
  speech_->SpeakTime(1, 0);
  EXPECT_THAT(Events(), ElementsAre("sound c:\\\\letras\\\\_hora.wav"));
  EXPECT_THAT(Heard(), ElementsAre(49, 50));  // _uma, _hora
  speech_->SpeakTime(10, 5);
  EXPECT_THAT(Events(), ElementsAre("sound c:\\\\letras\\\\_EHORA.wav"));
  EXPECT_THAT(Heard(), ElementsAre(51, 53, 48));
  speech_->SpeakDate(1, 3, 2024);
  EXPECT_THAT(Events(),
              ElementsAre("sound c:\\\\letras\\\\_Sexta.wav", "sound c:\\\\letras\\\\_primeir.wav",
                          "sound c:\\\\letras\\\\_de.wav", "sound c:\\\\letras\\\\_Marco.wav",
                          "sound c:\\\\letras\\\\_de.wav"));
  // dois mil e vinte e quatro, from the word sounds
  EXPECT_THAT(Heard(), ElementsAre(54, 55, 56, 57, 56, 58));
}

TEST_F(SpeechTest, SpeakAllNamesTheMinutes) {
  WriteHost();
  Start();
  Events();
  speech_->SpeakTime(2, 10);
  EXPECT_THAT(Events(), ElementsAre("sound c:\\\\letras\\\\_horas.wav",
                                    "sound c:\\\\letras\\\\_minutos.wav"));
  EXPECT_THAT(Heard(), ElementsAre(52, 51, 60));  // _duas is missing: skipped
}

}  // namespace
}  // namespace navelo::testing

namespace navelo::testing {
namespace {

TEST_F(SpeechTest, AnyBytesAreSpokenWithoutHarm) {
  WriteHost();
  Start();
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  speech_->Speak(all);
  speech_->Speak(std::string(5000, 'a') + "0000000000" + std::string(3000, '9') + "-");
  speech_->SpellText(all);
  std::mt19937 random(3);
  for (int round = 0; round < 50; ++round) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += static_cast<char>(random() % 256);
    speech_->Speak(text);
  }
  EXPECT_FALSE(speech_->SpeechBusy());
}

}  // namespace
}  // namespace navelo::testing

namespace navelo::testing {
namespace {

TEST_F(SpeechTest, ACaptureHoldsEverythingSpokenInOrder) {
  WriteHost();
  const fs::path file = dir_.path() / "fala.wav";
  std::string error;
  auto capture = MakeWavCaptureAudio(file.string(), error);
  ASSERT_NE(capture, nullptr) << error;
  {
    WavePlayer player(*capture, console_, keys_, host_);
    Transcript none;
    DiphoneSpeech speech(console_, keys_, config_, host_, player, none, [](int) {});
    ASSERT_EQ(speech.SpeechInit(0, "c:\\sons"), 0);
    speech.Speak("casa");  // "$KAS" at 90 % (270 samples) and "$A" (200), stressed: uncut
    speech.SpeakChar('=');  // 300 samples
  }
  capture.reset();
  const std::string bytes = ReadWhole(file);
  ASSERT_GE(bytes.size(), 44u);
  // 770 samples at 11025 Hz, captured at 22050 Hz as 16-bit: 4 bytes each.
  EXPECT_EQ(bytes.size() - 44, (270u + 200u + 300u) * 4);
  // The first captured sample is the unit's value 1 as signed 16-bit: (1 - 128) / 128.
  const auto first = static_cast<int16_t>(static_cast<uint8_t>(bytes[44]) |
                                          static_cast<uint8_t>(bytes[45]) << 8);
  EXPECT_NEAR(first, (1 - 128) * 256, 300);
}

}  // namespace
}  // namespace navelo::testing
