// Program and waiting commands with real children: EXECUTA in its four modes, EXISTEPROG,
// ESPERA, CMD, ENVIACMD and ALARME.
#include <chrono>
#include <fstream>
#include <thread>

#include "fake_services.h"
#include "platform/host_system.h"

namespace navelo::testing {
namespace {

// Why a test cannot hold on Windows.
constexpr const char* kPosixChildren =
    "its child programs are POSIX shell scripts and tools (sh, cat, sleep), which Windows lacks";

using std::chrono::milliseconds;

class ProgramsCommandTest : public InterpreterTest {
 protected:
  ProgramsCommandTest() { in.programs.SetBatchRunner(NAVELO_CMD_EXE); }

  void WriteScript(const std::string& name, const std::string& body) {
    {
      std::ofstream out(dir_ / name, std::ios::binary);
      out << "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n" << body;
    }
    fs::permissions(dir_ / name, fs::perms::owner_all, fs::perm_options::add);
  }
  bool WaitFor(const std::string& name) {
    for (int i = 0; i < 500; ++i) {
      if (fs::exists(dir_ / name)) return true;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
  }
};

TEST_F(ProgramsCommandTest, ExecutaShownAndHiddenGoOnAtOnce) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  WriteScript("grava.sh", "echo \"$1 $2\" > saida_$1.txt\n");
  ASSERT_EQ(Run("executa \"c:\\grava.sh um 10\" &\n"
                "executa \"c:\\grava.sh dois 20\" &&\n"
                "executa \"c:\\grava.sh tres 30\" &&&&\n")
                .result,
            0);
  for (const char* name : {"saida_um.txt", "saida_dois.txt", "saida_tres.txt"}) {
    EXPECT_TRUE(WaitFor(name)) << name;
  }
}

TEST_F(ProgramsCommandTest, ExecutaWithoutAmpersandWaitsForTheProgram) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  WriteScript("demora.sh", "sleep 0.3\ntouch feito\n");
  ASSERT_EQ(Run("executa \"c:\\demora.sh\"").result, 0);
  // In the headless console the user is back when the program has ended.
  EXPECT_TRUE(fs::exists(dir_ / "feito"));
}

TEST_F(ProgramsCommandTest, ExecutaQuotedProgramWithBlanks) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  WriteScript("com espaco.sh", "echo \"$1\" > \"$2\"\n");
  // A program in double quotes may hold blanks; the parameters follow the closing quote.
  ASSERT_EQ(Run("executa \"\"\"c:\\com espaco.sh\"\" ola  saida.txt\" &\n").result, 0);
  EXPECT_TRUE(WaitFor("saida.txt"));
  // Without quotes the first blank ends the program name.
  EXPECT_EQ(Run("executa \"c:\\com espaco.sh\" &").result, 1);
  EXPECT_EQ(Run("executa \"naoexiste-navelo parametro\" &").result, 1);
  EXPECT_EQ(Run("executa \"c:\\falta.exe\" &&").result, 1);
  EXPECT_EQ(Run("executa \"naoexiste-navelo\" &&&").result, 1);
  EXPECT_EQ(Run("executa \"c:\\falta.exe\"").result, 1);
  EXPECT_EQ(Run("executa").result, 1);
  EXPECT_EQ(Run("executa \"c:\\grava.sh\" x &").result, 1);
}

TEST_F(ProgramsCommandTest, PipedChildThroughEnviacmd) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  ASSERT_EQ(Run("executa \"cat\" &&&\nenviacmd \"ola\"").result, 0);
  // LE CONSOLE takes what the child wrote; it never waits for it.
  for (int i = 0; i < 200 && Var('V').empty(); ++i) {
    ASSERT_EQ(Run("le console v").result, 0);
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(Var('V'), "ola\r\n\r\n\r\n");
  ASSERT_EQ(Run("le console v").result, 0);
  EXPECT_EQ(Var('V'), "");
  EXPECT_EQ(Run("le console").result, 1);
  EXPECT_EQ(Run("enviacmd").result, 1);
}

TEST_F(ProgramsCommandTest, ExisteProgFindsRunningPrograms) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  ASSERT_EQ(Run("existeprog \"interp_tests\" a\n"
                "existeprog \"  INTERP_TESTS.EXE \" b\n"
                "existeprog \"interp\" c\n"
                "existeprog \"nao-existe-navelo.exe\" d\n")
                .result,
            0);
  EXPECT_EQ(Var('A'), "1");
  EXPECT_EQ(Var('B'), "1");
  EXPECT_EQ(Var('C'), "0");
  EXPECT_EQ(Var('D'), "0");
  EXPECT_EQ(Run("existeprog \"cmd.exe\"").result, 1);
}

TEST_F(ProgramsCommandTest, HiddenBatchFileIsSeenAsCmdExeWhileItRuns) {
  {
    std::ofstream out(dir_ / "lento.bat", std::ios::binary);
    // A pause of a second: Wine has no timeout command, so there ping waits on the loopback.
    // The platform's cmd.exe knows nothing of the test's drive C, so there the file goes beside
    // the batch file, in that folder.
    const bool native = HostPathsAreNative();
    out << "@echo off\r\n"
        << (native ? "ping -n 2 127.0.0.1 >nul" : "timeout /t 1 /nobreak >nul") << "\r\necho pronto>"
        << (native ? "\"%~dp0fim.log\"" : "c:\\fim.log") << "\r\nexit\r\n";
  }
  WriteEnvironment("NAVELO_DRIVE_C", dir_.string().c_str());
  ASSERT_EQ(Run("executa \"c:\\lento.bat\" &&\nexisteprog \"cmd.exe\" x").result, 0);
  EXPECT_EQ(Var('X'), "1");
  EXPECT_TRUE(WaitFor("fim.log"));
  WriteEnvironment("NAVELO_DRIVE_C", nullptr);
}

TEST_F(ProgramsCommandTest, EsperaForms) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run("espera ms 10\nespera MS 0\nespera 0").result, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  in.io_status = 5;
  EXPECT_EQ(Run("espera 0").result, 0);
  EXPECT_EQ(in.io_status, 0);
  // No window title can appear in the headless console: the wait ends with the status 1.
  EXPECT_EQ(Run("espera 2 \"Bloco de notas\"\nchecha c").result, 1);
  EXPECT_EQ(in.io_status, 1);
  EXPECT_EQ(Run("espera 0 \"x\"\ncheca c").result, 0);
  EXPECT_EQ(Var('C'), "1");
  EXPECT_EQ(Run("espera x").result, 1);
  EXPECT_EQ(Run("espera ms").result, 1);
}

TEST_F(ProgramsCommandTest, CmdRunsOneEmbeddedLine) {
  ASSERT_EQ(Run("seja $l \"escreve \"\nconcatena $l 42\ncmd $l").result, 0);
  EXPECT_EQ(console.written, "42\r\n");
  EXPECT_EQ(Run("cmd \"fim se\"").result, 1);
  EXPECT_EQ(Run("cmd \"escreve 1\" x").result, 1);
}

TEST_F(ProgramsCommandTest, AlarmeSoundsATone) {
  // Without a speaker tone of the platform, the tone goes through the wave output.
  in.speaker_tone = [](int, int) { return std::unique_ptr<SpeakerTone>(); };
  ASSERT_EQ(Run("alarme 440 20 resto ignorado").result, 0);
  EXPECT_EQ(keys.tones, (std::vector<std::string>{"start:440", "stop"}));
  EXPECT_EQ(Run("alarme 440 30000").result, 1);
  EXPECT_EQ(Run("alarme -1 10").result, 1);
  EXPECT_EQ(Run("alarme 440").result, 1);
  EXPECT_EQ(Run("alarme").result, 1);
  EXPECT_EQ(Run("alarme a 10").result, 1);
  EXPECT_EQ(keys.tones.size(), 2u);
}

// A speaker tone whose call returns after a number of polls (or never).
class FakeTone final : public SpeakerTone {
 public:
  explicit FakeTone(int polls) : polls_(polls) {}
  bool Finished() override { return polls_ >= 0 && --polls_ < 0; }

 private:
  int polls_;
};

TEST_F(ProgramsCommandTest, AlarmeWaitsForThePlatformsSpeakerTone) {
  std::vector<std::pair<int, int>> started;
  int polls = 3;
  in.speaker_tone = [&](int hertz, int ms) {
    started.emplace_back(hertz, ms);
    return std::make_unique<FakeTone>(polls);
  };
  console.delayed = 0;
  ASSERT_EQ(Run("alarme 880 250").result, 0);
  EXPECT_EQ(started, (std::vector<std::pair<int, int>>{{880, 250}}));
  // The whole duration, then the polls until the call returned.
  EXPECT_EQ(console.delayed, 250 + 3 * 10);
  // Noted as a tone, but the wave output stays silent.
  EXPECT_EQ(keys.tones, std::vector<std::string>{"noted:880"});

  // A call that never returns is waited for one second more, not for ever.
  console.delayed = 0;
  polls = -1;
  ASSERT_EQ(Run("alarme 440 100").result, 0);
  EXPECT_EQ(console.delayed, 100 + 1000);
  EXPECT_EQ(Run("alarme 440 20001").result, 1);
  EXPECT_EQ(started.size(), 2u);
}

// The platform's own tone call returns, whether or not it can sound (Wine's Beep may do nothing).
TEST(SpeakerToneTest, ThePlatformsCallReturns) {
  auto tone = StartSpeakerTone(440, 100);
  if (!HostPathsAreNative()) {
    EXPECT_EQ(tone, nullptr) << "Linux has no speaker tone of its own";
    return;
  }
  ASSERT_NE(tone, nullptr);
  const auto start = std::chrono::steady_clock::now();
  while (!tone->Finished() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_TRUE(tone->Finished());
  // A frequency Beep refuses ends too.
  auto low = StartSpeakerTone(10, 50);
  ASSERT_NE(low, nullptr);
  const auto start_low = std::chrono::steady_clock::now();
  while (!low->Finished() && std::chrono::steady_clock::now() - start_low < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_TRUE(low->Finished());
}

}  // namespace
}  // namespace navelo::testing
