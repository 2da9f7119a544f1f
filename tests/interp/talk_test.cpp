// Tests of the speech, sound and screen commands: what each says, plays or changes, which argument
// forms fail the command, and the waiting loop of TOCA.
#include <fstream>

#include "fake_services.h"
#include "tradutor/wave_player.h"

namespace navelo::testing {
namespace {

// An audio output whose queued blocks end one per poll, so a waiting play takes a few turns.
class SlowAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat&) override { return 0; }
  void Close() override {}
  bool Write(const uint8_t*, size_t, int slot) override {
    queued.push_back(slot);
    ++writes;
    return true;
  }
  void Reset() override {
    ++resets;
    dropped.insert(dropped.end(), queued.begin(), queued.end());
    queued.clear();
  }
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), dropped.begin(), dropped.end());
    dropped.clear();
    if (!queued.empty()) {
      slots.push_back(queued.front());
      queued.erase(queued.begin());
    }
  }
  std::vector<int> queued, dropped;
  int writes = 0, resets = 0;
};

class TalkTest : public InterpreterTest {
 protected:
  TalkTest() { in.media.UseOutput(audio, nullptr); }
  // The interpreter outlives this fixture's output: nothing may still be playing on it.
  ~TalkTest() override { in.media.Send("close all"); }

  // An 8-bit mono WAV file of n samples at 11025 Hz on drive C.
  void Sound(const std::string& name, size_t n) {
    std::string bytes(kWaveHeaderSize + n, '\x40');
    MakeWaveHeader(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(n), 11025, 1,
                   8);
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  void Ini(const std::string& text) {
    fs::create_directories(dir_ / "AppData/Roaming/Navelo");
    std::ofstream(dir_ / "AppData/Roaming/Navelo/navelo.ini", std::ios::binary) << text;
  }
  bool Fails(const std::string& line) { return Run(line).result == 1; }

  SlowAudio audio;
};

TEST_F(TalkTest, FalaSpeaksJoinedValuesWithoutWritingAndAloneSilences) {
  Var("CODIGO") = "AB1";
  EXPECT_EQ(Run("fala \"Objeto \" $codigo \".\"").result, 0);
  ASSERT_EQ(speech.spoken.size(), 1u);
  EXPECT_EQ(speech.spoken[0], "Objeto AB1.");
  EXPECT_EQ(console.written, "");
  EXPECT_EQ(Run("fala").result, 0);
  EXPECT_EQ(Run("fala &").result, 0);
  EXPECT_EQ(speech.stops, 2);
  EXPECT_EQ(speech.spoken.size(), 1u);
  // Text that is not a value fails the command after what was read has been spoken.
  EXPECT_TRUE(Fails("fala \"Oi\" ) &"));
  EXPECT_EQ(speech.spoken.back(), "Oi");
}

TEST_F(TalkTest, SoletraSpellsThenWritesWithoutALineEnd) {
  Var('S') = "abc";
  EXPECT_EQ(Run("soletra s").result, 0);
  EXPECT_EQ(speech.sounds, (std::vector<std::string>{"spell:abc"}));
  EXPECT_EQ(console.written, "abc");
  EXPECT_TRUE(Fails("soletra"));
  // A value that cannot be read is spelled as the empty text.
  EXPECT_EQ(Run("soletra )").result, 0);
  EXPECT_EQ(speech.sounds.back(), "spell:");
}

TEST_F(TalkTest, FalaHoraTakesOnlyTwoDigitsColonTwoDigits) {
  EXPECT_EQ(Run("falahora \"09:30\"").result, 0);
  Var("H") = "23:05";
  EXPECT_EQ(Run("falahora $h").result, 0);
  EXPECT_EQ(speech.sounds, (std::vector<std::string>{"time:9:30", "time:23:5"}));
  for (const char* line : {"falahora", "falahora \"9:30\"", "falahora \"09.30\"",
                           "falahora \"09:300\"", "falahora \"ab:cd\"", "falahora \" 9:30\"",
                           "falahora \"09:-3\"", "falahora )"}) {
    EXPECT_TRUE(Fails(line)) << line;
  }
  EXPECT_EQ(speech.sounds.size(), 2u);
}

TEST_F(TalkTest, TelaClearsHidesShowsAndMovesTheCursor) {
  EXPECT_EQ(Run("tela limpa\ntela minimizada").result, 0);
  EXPECT_EQ(console.clears, 1);
  EXPECT_EQ(console.window, "minimized");
  EXPECT_EQ(Run("TELA Normal").result, 0);
  EXPECT_EQ(console.window, "normal");
  EXPECT_EQ(Run("tela @10,5").result, 0);
  EXPECT_EQ(console.cursor, (std::pair<int, int>{10, 5}));
  EXPECT_EQ(Run("tela @ 3 , 24").result, 0);
  EXPECT_EQ(console.cursor, (std::pair<int, int>{3, 24}));
  // A single letter names the variable holding the word, which is taken as stored.
  Var('P') = "@7,2";
  EXPECT_EQ(Run("tela p").result, 0);
  EXPECT_EQ(console.cursor, (std::pair<int, int>{7, 2}));
  Var('P') = "limpa";
  EXPECT_TRUE(Fails("tela p"));
  for (const char* line : {"tela", "tela @10", "tela @a,5", "tela @10,", "tela apaga",
                           "tela @10,5,2"}) {
    EXPECT_TRUE(Fails(line)) << line;
  }
  EXPECT_EQ(console.cursor, (std::pair<int, int>{7, 2}));
}

TEST_F(TalkTest, CorAndFundoTakeAnIntegerValueAndIgnoreWhatFollows) {
  EXPECT_EQ(Run("cor 14\nfundo 1").result, 0);
  EXPECT_EQ(console.text_color, 14);
  EXPECT_EQ(console.background, 1);
  Var('C') = "$0A";
  EXPECT_EQ(Run("cor c resto").result, 0);
  EXPECT_EQ(console.text_color, 10);
  for (const char* line : {"cor", "fundo", "cor \"azul\"", "fundo )", "cor \"\""}) {
    EXPECT_TRUE(Fails(line)) << line;
  }
  EXPECT_EQ(console.text_color, 10);
  EXPECT_EQ(console.background, 1);
}

TEST_F(TalkTest, TituloSetsTheWindowTitleCutTo300Bytes) {
  EXPECT_EQ(Run("titulo \"Bexilo\"").result, 0);
  EXPECT_EQ(console.title, "Bexilo");
  EXPECT_EQ(Run("T\xCDTULO \"Rastreio\"").result, 0);
  EXPECT_EQ(console.title, "Rastreio");
  Var('T') = std::string(400, 'x');
  EXPECT_EQ(Run("titulo t").result, 0);
  EXPECT_EQ(console.title, std::string(300, 'x'));
  EXPECT_EQ(Run("titulo )").result, 0);
  EXPECT_EQ(console.title, "");
  EXPECT_TRUE(Fails("titulo"));
}

TEST_F(TalkTest, MensagemPlaysTheFoldedNameWithWavAppendedWhenMissing) {
  Var("ARQ") = "sons\\bx_fui.wav";
  EXPECT_EQ(Run("mensagem \"sons\\bx_ini\"\nmensagem \"sons\\bx_ini.wav\"\nmensagem $arq").result,
            0);
  EXPECT_EQ(speech.sounds, (std::vector<std::string>{"sound:SONS\\BX_INI.WAV",
                                                       "sound:SONS\\BX_INI.WAV",
                                                       "sound:SONS\\BX_FUI.WAV"}));
  EXPECT_TRUE(Fails("mensagem"));
  EXPECT_TRUE(Fails("mensagem )"));
  EXPECT_EQ(speech.sounds.size(), 3u);
}

TEST_F(TalkTest, SintconfigPassesSixIntegersAndTakesConfiguredValuesForMinusOne) {
  Ini("[TRADUTOR]\nSAPI=sim\nVELOCIDADE=4x\n[SERVFALA]\nTIPOSAPI=5\nVOZ=2\nVELOCIDADE=\nTOM=7\n");
  EXPECT_EQ(Run("sintconfig 1 3 5 2 10 50").result, 0);
  EXPECT_EQ(Run("sintconfig 0 -1 -1 -1 -1 -1 resto").result, 0);
  EXPECT_EQ(Run("sintconfig 2 1 1 1 1 1").result, 0);
  EXPECT_EQ(speech.reconfigured,
            (std::vector<std::string>{"3 1 5 2 10 50", "4 0 5 2 0 7", "1 1 1 1 1 1"}));
  for (const char* line : {"sintconfig 1 3 5 2 10", "sintconfig 3 1 1 1 1 1",
                           "sintconfig -1 1 1 1 1 1", "sintconfig 1 \"r\" 1 1 1 1",
                           "sintconfig x 1 1 1 1 1", "sintconfig"}) {
    EXPECT_TRUE(Fails(line)) << line;
  }
  EXPECT_EQ(speech.reconfigured.size(), 3u);
}

TEST_F(TalkTest, TocaWaitsWhilePlayingAndClosesItsDevice) {
  Sound("gota.wav", 20000);  // three blocks: three polls
  EXPECT_EQ(Run("toca \"c:\\gota.wav\"").result, 0);
  EXPECT_EQ(audio.writes, 3);
  EXPECT_GE(console.delayed, 200);
  EXPECT_EQ(in.media.Send("status myfile mode").error, kMciUnknownDevice);
  // A missing or unplayable file returns at once, silently.
  console.delayed = 0;
  EXPECT_EQ(Run("toca \"c:\\nada.wav\"").result, 0);
  EXPECT_EQ(console.delayed, 100);
  EXPECT_EQ(audio.writes, 3);
}

TEST_F(TalkTest, AKeyEndsTocaEarlyAndIsTaken) {
  Sound("gota.wav", 200000);
  bool typed = false;
  console.on_delay = [this, &typed] {
    if (!typed) keys.Type("x");
    typed = true;
  };
  EXPECT_EQ(Run("toca \"c:\\gota.wav\"").result, 0);
  EXPECT_EQ(audio.resets, 1);
  EXPECT_TRUE(audio.queued.empty());
  EXPECT_TRUE(keys.queue.empty());
}

TEST_F(TalkTest, TocaWithAmpersandReturnsWhileTheSoundPlaysOnAndBadArgumentsFail) {
  Sound("gota.wav", 20000);
  EXPECT_EQ(Run("toca \"c:\\gota.wav\" &").result, 0);
  EXPECT_LT(console.delayed, 100);  // no poll of the waiting loop
  EXPECT_EQ(in.media.Send("status c:\\gota.wav mode").answer, "playing");
  EXPECT_TRUE(Fails("toca \"c:\\gota.wav\" resto"));
  EXPECT_TRUE(Fails("toca"));
  EXPECT_TRUE(Fails("mci r"));
  EXPECT_TRUE(Fails("mci \"play som\""));
  EXPECT_TRUE(Fails("mci r \"stop som\" resto"));
}

}  // namespace
}  // namespace navelo::testing
