// The MBROLA-based engine: the choice between the library (a fake one loaded at run time), the
// mbrola program (a fake script that records its input) and the stand-in; the data files'
// messages; writing, reading and playing in pieces of at most 64000 bytes; the restart after a
// failed write.
#include "tradutor/mbrola_engine.h"

#include <gmock/gmock.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <numeric>

#include "platform/text_encoding.h"
#include "tests/tradutor/pho_fixture.h"
#include "tests/tradutor/speech_fixtures.h"
#include "tradutor/pho_synthesizer.h"

namespace navelo::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class PieceAudio final : public EngineAudio {
 public:
  bool Play(const int16_t* samples, size_t count, int rate) override {
    pieces.emplace_back(samples, samples + count);
    rates.push_back(rate);
    return go_on;
  }
  size_t total() const {
    size_t n = 0;
    for (const auto& p : pieces) n += p.size();
    return n;
  }
  std::vector<std::vector<int16_t>> pieces;
  std::vector<int> rates;
  bool go_on = true;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class MbrolaEngineTest : public ::testing::Test {
 protected:
  MbrolaEngineTest()
      : host_(DriveCAndHome(dir_.path()), (dir_.path() / "program").string()),
        config_(host_) {
    fs::create_directories(dir_.path() / "program");
    log_ = dir_.path() / "calls.log";
    setenv("FAKE_MBROLA_LOG", log_.c_str(), 1);
    unsetenv("FAKE_MBROLA_INIT_FAILS");
    unsetenv("FAKE_MBROLA_FAIL");
    WriteFile(UserIniPath(dir_.path()),
              "[SORANATTS]\r\nDIR=c:\\voz\r\nBASE=portug\r\n");
    WriteDataFiles();
  }
  ~MbrolaEngineTest() override {
    if (engine_) engine_->Close();
    unsetenv("FAKE_MBROLA_LOG");
    unsetenv("FAKE_MBROLA_INIT_FAILS");
    unsetenv("FAKE_MBROLA_FAIL");
  }

  void WriteDataFiles() {
    const fs::path voz = dir_.path() / "c/voz";
    WriteFile(voz / "portug.nrl", Utf8ToCp1252(kPhoRules));
    WriteFile(voz / "portug.exc", Utf8ToCp1252(kPhoExceptions));
    WriteFile(voz / "portug.abr", Utf8ToCp1252(kPhoAbbreviations));
    WriteFile(voz / "portug.pro", Utf8ToCp1252(kPhoProsody));
    WriteFile(voz / "portug.dfn", kPhoDiphones);
  }
  void InstallLibrary(const char* file) {
    fs::copy_file(file, dir_.path() / "program/libmbrola.so");
  }
  void InstallDatabase() { WriteFile(dir_.path() / "c/ubrimo/soranatts/br4", "voice"); }
  void InstallUnits() {
    PhoUnit a{"a", true, std::vector<int16_t>(1600, 100), {100, 200, 300, 400}};
    WriteFile(dir_.path() / "c/voz/portug.uni", WritePhoUnitSet({a}));
  }
  // A fake mbrola program: it writes its arguments and its input beside itself and answers
  // with answer.wav.
  std::string InstallProgram(const std::string& answer) {
    const fs::path program = dir_.path() / "bin/mbrola";
    WriteFile(program,
              "#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" > \"$d/args\"\n"
              "cat > \"$d/input\"\ncat \"$d/answer.wav\"\n");
    fs::permissions(program, fs::perms::owner_all);
    WriteFile(dir_.path() / "bin/answer.wav", answer);
    return program.string();
  }
  bool Start(std::string program = "/nonexistent/mbrola", int speed = 0, int pitch = 0) {
    engine_ = std::make_unique<MbrolaEngine>(MbrolaEngineWiring{
        config_, host_, audio_, [this](const std::string& m) { shown_.push_back(Cp1252ToUtf8(m)); },
        program});
    reason_.clear();
    return engine_->Start(0, speed, pitch, reason_);
  }

  TempDir dir_;
  HostEnvironment host_;
  Config config_;
  PieceAudio audio_;
  fs::path log_;
  std::vector<std::string> shown_;
  std::string reason_;
  std::unique_ptr<MbrolaEngine> engine_;
};

TEST_F(MbrolaEngineTest, TheLibraryIsChosenFirstAndDrivenLineByLine) {
  InstallLibrary(NAVELO_FAKE_MBROLA);
  InstallDatabase();
  InstallUnits();
  ASSERT_TRUE(Start()) << reason_;
  EXPECT_EQ(engine_->backend_kind(), "library");
  EXPECT_EQ(engine_->database(), (dir_.path() / "c/ubrimo/soranatts/br4").string());
  EXPECT_THAT(ReadLines(log_), ElementsAre("init " + engine_->database(), "noerror 0"));
  fs::remove(log_);

  const std::vector<std::string> pho = engine_->front_end().TextToPho("casa");
  engine_->Speak("casa");
  const std::vector<std::string> calls = ReadLines(log_);
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0], "reset");
  EXPECT_EQ(calls[1], "noerror -63");
  // Every non-empty line and the last one is written with CR LF; the empty lines between words
  // are left out.
  std::vector<std::string> written;
  for (const std::string& pho_line : pho) {
    if (!pho_line.empty()) written.push_back("write " + pho_line + " CRLF");
  }
  EXPECT_EQ(std::vector<std::string>(calls.begin() + 2, calls.begin() + 2 + written.size()), written);
  EXPECT_EQ(calls[2 + written.size()], "flush");
  EXPECT_EQ(calls[3 + written.size()], "read 64000 " + std::to_string(audio_.total()));
  // The samples of every duration, in one piece at 16 kHz.
  int ms = 0;
  for (const std::string& line : pho) {
    PhoLine parsed;
    if (ParsePhoLine(line, parsed)) ms += static_cast<int>(parsed.duration_ms);
  }
  EXPECT_EQ(audio_.total(), static_cast<size_t>(ms) * 16);
  EXPECT_THAT(audio_.rates, Contains(16000));
  EXPECT_EQ(audio_.pieces.size(), 1u);
}

TEST_F(MbrolaEngineTest, SoundIsPlayedInPiecesBelow64000BytesAndTheLastIsPaddedTo256) {
  InstallLibrary(NAVELO_FAKE_MBROLA);
  InstallDatabase();
  ASSERT_TRUE(Start()) << reason_;
  // 3000 ms: 48000 samples, 96000 bytes.
  EXPECT_TRUE(engine_->SpeakPho({"a 3000", "__"}));
  ASSERT_EQ(audio_.pieces.size(), 2u);
  EXPECT_EQ(audio_.pieces[0].size(), 31999u);
  EXPECT_EQ(audio_.pieces[1].size(), 48000u - 31999u);
  audio_.pieces.clear();
  // 5 ms: 80 samples, padded with silence to 128.
  EXPECT_TRUE(engine_->SpeakPho({"a 5"}));
  ASSERT_EQ(audio_.pieces.size(), 1u);
  EXPECT_EQ(audio_.pieces[0].size(), 128u);
  EXPECT_EQ(audio_.pieces[0][79], 1000);
  EXPECT_EQ(audio_.pieces[0][80], 0);
  // Nothing at all still plays 256 bytes of silence.
  audio_.pieces.clear();
  EXPECT_TRUE(engine_->SpeakPho({"_ 0"}));
  ASSERT_EQ(audio_.pieces.size(), 1u);
  EXPECT_EQ(audio_.pieces[0], std::vector<int16_t>(128, 0));
  // A waiting key ends the text at the piece it stops.
  audio_.pieces.clear();
  audio_.go_on = false;
  EXPECT_TRUE(engine_->SpeakPho({"a 3000"}));
  EXPECT_EQ(audio_.pieces.size(), 1u);
}

TEST_F(MbrolaEngineTest, AFailedWriteRestartsTheLibraryAndTheNextTextSpeaks) {
  InstallLibrary(NAVELO_FAKE_MBROLA);
  InstallDatabase();
  ASSERT_TRUE(Start()) << reason_;
  const fs::path fail = dir_.path() / "fail";
  WriteFile(fail, "");
  setenv("FAKE_MBROLA_FAIL", fail.c_str(), 1);
  fs::remove(log_);
  EXPECT_FALSE(engine_->SpeakPho({"a 100", "__"}));
  EXPECT_TRUE(audio_.pieces.empty());
  EXPECT_EQ(engine_->last_error(), "fake failure");
  EXPECT_THAT(ReadLines(log_), ElementsAre("reset", "noerror -63", "write failed", "close",
                                           "init " + engine_->database(), "noerror 0"));
  EXPECT_TRUE(engine_->SpeakPho({"a 100"}));
  ASSERT_EQ(audio_.pieces.size(), 1u);
  EXPECT_EQ(audio_.pieces[0].size(), 1600u);
}

TEST_F(MbrolaEngineTest, ALibraryWithoutEveryEntryPointIsRefused) {
  InstallLibrary(NAVELO_FAKE_MBROLA_INCOMPLETE);
  EXPECT_FALSE(Start());
  EXPECT_THAT(reason_, HasSubstr("appendf0_Phone"));
  EXPECT_THAT(reason_, HasSubstr("no MBROLA voice database"));
  EXPECT_THAT(reason_, HasSubstr("no unit set"));
  // The next way is taken.
  InstallUnits();
  ASSERT_TRUE(Start()) << reason_;
  EXPECT_EQ(engine_->backend_kind(), "stand-in");
}

TEST_F(MbrolaEngineTest, ALibraryThatCannotOpenTheVoiceFailsTheStart) {
  InstallLibrary(NAVELO_FAKE_MBROLA);
  setenv("FAKE_MBROLA_INIT_FAILS", "1", 1);
  EXPECT_FALSE(Start());
  EXPECT_THAT(reason_, HasSubstr("did not start"));
  EXPECT_THAT(ReadLines(log_), ElementsAre("init " + (dir_.path() / "c/ubrimo/soranatts/br4").string()));
}

TEST_F(MbrolaEngineTest, TheProgramGetsThePhoLinesOnItsInputAndItsWaveIsPlayed) {
  InstallDatabase();
  InstallUnits();
  std::string samples;
  for (int i = 0; i < 500; ++i) samples += std::string("\x10\x27", 2);  // 10000
  const std::string program = InstallProgram(WavBytes(samples, 16000, 1, 16));
  ASSERT_TRUE(Start(program)) << reason_;
  EXPECT_EQ(engine_->backend_kind(), "program");
  engine_->Speak("casa");
  EXPECT_THAT(ReadLines(dir_.path() / "bin/args"),
              ElementsAre("-e", engine_->database(), "-", "-.wav"));
  std::string expected;
  const std::vector<std::string> pho = engine_->front_end().TextToPho("casa");
  for (size_t i = 0; i < pho.size(); ++i) {
    if (!pho[i].empty() || i + 1 == pho.size()) expected += pho[i] + "\r\n";
  }
  EXPECT_EQ(ReadText(dir_.path() / "bin/input"), expected);
  ASSERT_EQ(audio_.pieces.size(), 1u);
  EXPECT_EQ(audio_.pieces[0], std::vector<int16_t>(500, 10000));
}

TEST_F(MbrolaEngineTest, AProgramThatGivesNoSoundFailsTheTextAndIsStartedAgain) {
  InstallDatabase();
  const std::string program = InstallProgram("");
  ASSERT_TRUE(Start(program)) << reason_;
  EXPECT_FALSE(engine_->SpeakPho({"a 100"}));
  EXPECT_EQ(engine_->last_error(), "the mbrola program gave no sound");
  EXPECT_TRUE(audio_.pieces.empty());
  // Started again: the next text reaches the program.
  WriteFile(dir_.path() / "bin/answer.wav", WavBytes(std::string(400, '\x01'), 16000, 1, 16));
  EXPECT_TRUE(engine_->SpeakPho({"a 100"}));
  EXPECT_EQ(ReadText(dir_.path() / "bin/input"), "a 100\r\n");
  ASSERT_EQ(audio_.pieces.size(), 1u);
  EXPECT_EQ(audio_.pieces[0].size(), 200u);
}

TEST_F(MbrolaEngineTest, WithoutLibraryOrProgramTheStandInSpeaksAndWithNoneTheStartFails) {
  InstallDatabase();  // a voice, but no program to read it
  EXPECT_FALSE(Start());
  EXPECT_THAT(reason_, HasSubstr("no MBROLA library"));
  EXPECT_THAT(reason_, HasSubstr("mbrola program is not installed"));
  EXPECT_THAT(reason_, HasSubstr("no unit set for the stand-in voice"));
  InstallUnits();
  ASSERT_TRUE(Start()) << reason_;
  EXPECT_EQ(engine_->backend_kind(), "stand-in");
  engine_->Speak("casa");
  EXPECT_FALSE(audio_.pieces.empty());
}

TEST_F(MbrolaEngineTest, MissingDataFilesFailTheStartWithTheirErrorAndTheProsodyIsShown) {
  InstallUnits();
  fs::remove(dir_.path() / "c/voz/portug.pro");
  EXPECT_FALSE(Start());
  EXPECT_EQ(Cp1252ToUtf8(reason_), "Erro no arquivo de prosódia");
  EXPECT_THAT(shown_, ElementsAre("Configuração da prosódia não foi achada"));
  fs::remove(dir_.path() / "c/voz/portug.abr");
  EXPECT_FALSE(Start());
  EXPECT_EQ(Cp1252ToUtf8(reason_), "Erro no arquivo de abreviaturas");
  fs::remove(dir_.path() / "c/voz/portug.nrl");
  EXPECT_FALSE(Start());
  EXPECT_EQ(Cp1252ToUtf8(reason_), "Erro na base de dados de português");
}

TEST_F(MbrolaEngineTest, SettingsComeFromTheSoranattsSection) {
  WriteFile(UserIniPath(dir_.path()),
            "[SORANATTS]\r\nDIR=c:\\outra\r\nBASE=vozes\r\nMBROLA_DB=br3\r\n");
  InstallUnits();
  const fs::path outra = dir_.path() / "c/outra";
  for (const char* ext : {".nrl", ".exc", ".abr", ".pro", ".dfn", ".uni"}) {
    fs::create_directories(outra);
    fs::copy_file(dir_.path() / "c/voz" / (std::string("portug") + ext),
                  outra / (std::string("vozes") + ext), fs::copy_options::skip_existing);
  }
  InstallLibrary(NAVELO_FAKE_MBROLA);
  ASSERT_TRUE(Start("", 3, -2)) << reason_;
  EXPECT_EQ(engine_->database(), (dir_.path() / "c/ubrimo/soranatts/br3").string());
  EXPECT_DOUBLE_EQ(engine_->front_end().duration_factor(), 0.8 - 3 / 15.0);
  EXPECT_DOUBLE_EQ(engine_->front_end().pitch_factor(), 9 / 11.0);
}

}  // namespace
}  // namespace navelo::testing
