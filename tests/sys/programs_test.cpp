// Programs with real children: starting, failing to start, the process lookup by name, batch
// files run by cmd.exe, the piped child's texts, and no child left as a zombie.
#include "sys/programs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <thread>
#include <utility>

#include "config/config.h"
#include "config/host_env.h"
#include "console/console.h"
#include "tests/fixtures/stub_console.h"
#include "platform/host_system.h"

namespace navelo {
namespace {

// Why a test cannot hold on Windows.
constexpr const char* kPosixChildren =
    "its child programs are POSIX shell scripts and tools (sh, cat, sleep), which Windows lacks";

namespace fs = std::filesystem;

// A piped child that runs until its input closes: cat on Linux, the command interpreter reading
// its commands from the pipe on Windows.
std::string RunsUntilInputCloses() { return HostPathsAreNative() ? "cmd" : "cat"; }
// A program that starts and ends at once, with its parameters.
std::pair<std::string, std::string> EndsAtOnce() {
  if (HostPathsAreNative()) return {"cmd", "/c exit"};
  return {"true", ""};
}
using std::chrono::milliseconds;

class ProgramsTest : public ::testing::Test {
 protected:
  ProgramsTest()
      : dir_(fs::temp_directory_path() / ("navelo_programs_" + std::to_string(std::random_device()()))),
        host_(
            [this](std::string_view name, std::string& value) {
              if (name != "NAVELO_DRIVE_C") return false;
              value = dir_.string();
              return true;
            },
            dir_.string()) {
    fs::create_directories(dir_);
    programs_.SetBatchRunner(NAVELO_CMD_EXE);
  }
  ~ProgramsTest() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  void WriteFile(const std::string& name, std::string_view text, bool executable = false) {
    {
      std::ofstream out(dir_ / name, std::ios::binary);
      out << text;
    }
    if (executable) fs::permissions(dir_ / name, fs::perms::owner_all, fs::perm_options::add);
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // Waits (at most 10 s) until the child has ended; true when it has.
  static bool WaitEnded(int pid) {
    for (int i = 0; i < 1000; ++i) {
      if (ChildEnded(pid)) return true;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
  }
  static bool ProcessExists(int pid) { return fs::exists("/proc/" + std::to_string(pid)); }

  fs::path dir_;
  HostEnvironment host_;
  Programs programs_;
};

TEST(ProcessNameTest, MatchesWithAndWithoutExeAndDirectory) {
  const ProcessEntry cmd{"cmd.exe", "/opt/navelo/cmd.exe", "cmd.exe"};
  EXPECT_TRUE(ProcessNameMatches("cmd.exe", cmd));
  EXPECT_TRUE(ProcessNameMatches("CMD.EXE", cmd));
  EXPECT_TRUE(ProcessNameMatches("Cmd.Exe", cmd));
  EXPECT_TRUE(ProcessNameMatches("/opt/navelo/cmd.exe", cmd));
  EXPECT_FALSE(ProcessNameMatches("cmd", cmd));
  const ProcessEntry pelaso{"pelaso", "/usr/bin/pelaso", "pelaso"};
  EXPECT_TRUE(ProcessNameMatches("pelaso.exe", pelaso));
  EXPECT_TRUE(ProcessNameMatches("PELASO", pelaso));
  EXPECT_FALSE(ProcessNameMatches("pelas", pelaso));
  // Only a-z fold: an accented capital is another letter.
  const ProcessEntry accented{"a\xE7\xE3o", "", ""};
  EXPECT_FALSE(ProcessNameMatches("A\xC7\xC3O", accented));
}

TEST(CommandLineTest, SplitsLikeTheHost) {
  EXPECT_EQ(SplitCommandLine("a  \"b c\" d\"e f\"g"),
            (std::vector<std::string>{"a", "b c", "de fg"}));
  EXPECT_EQ(SplitCommandLine("\"\""), (std::vector<std::string>{""}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST_F(ProgramsTest, StartsAProgramWithParametersAndReapsIt) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  WriteFile("prog.sh", "#!/bin/sh\necho \"$1|$2\" > \"$(dirname \"$0\")/saida.txt\"\n", true);
  EXPECT_GE(programs_.RunProgram(host_, "c:\\PROG.SH", {}, "um \"dois tres\"", ShowMode::kNormal),
            32);
  const int pid = programs_.LastStarted();
  ASSERT_GT(pid, 0);
  // Nothing here asks about the child: it must not stay behind as a zombie all the same.
  for (int i = 0; i < 500 && Read("saida.txt").empty(); ++i) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(Read("saida.txt"), "um|dois tres\n");
  for (int i = 0; i < 500 && ProcessExists(pid); ++i) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_FALSE(ProcessExists(pid)) << "the ended child is left as a zombie";
}

TEST_F(ProgramsTest, FailedStartsGiveShellResultsBelow32) {
  EXPECT_EQ(programs_.RunProgram(host_, "c:\\falta.exe", {}, "", ShowMode::kNormal),
            kShellFileNotFound);
  EXPECT_EQ(programs_.RunProgram(host_, "  ", {}, "", ShowMode::kNormal), kShellFileNotFound);
  WriteFile("ruim.sh", "#!/nao/existe/interpretador\n", true);
  EXPECT_LT(programs_.RunProgram(host_, "c:\\ruim.sh", {}, "", ShowMode::kHidden), 32);
  EXPECT_FALSE(programs_.PipeStart(host_, "programa-que-nao-existe-navelo"));
  EXPECT_FALSE(programs_.PipeStart(host_, ""));
}

TEST_F(ProgramsTest, AFailedStartLeavesNoChildToWaitFor) {
  // A piped child that runs until its input closes, then starts that fail before any child
  // exists: the wait after them must not be for the piped child.
  ASSERT_TRUE(programs_.PipeStart(host_, RunsUntilInputCloses()));
  const int piped = programs_.LastStarted();
  ASSERT_GT(piped, 0);
  EXPECT_EQ(programs_.RunProgram(host_, "programa-que-nao-existe-navelo", {}, "", ShowMode::kNormal),
            kShellFileNotFound);
  EXPECT_EQ(programs_.LastStarted(), 0);
  const auto [program, parameters] = EndsAtOnce();
  ASSERT_GE(programs_.RunProgram(host_, program, {}, parameters, ShowMode::kNormal), 32);
  EXPECT_GT(programs_.LastStarted(), 0);
  EXPECT_EQ(programs_.RunProgram(host_, "", {}, "", ShowMode::kNormal), kShellFileNotFound);
  EXPECT_EQ(programs_.LastStarted(), 0);
  ASSERT_TRUE(programs_.PipeStart(host_, RunsUntilInputCloses()));
  EXPECT_FALSE(programs_.PipeStart(host_, "programa-que-nao-existe-navelo"));
  EXPECT_EQ(programs_.LastStarted(), 0);
}

TEST_F(ProgramsTest, ExeSuffixAndSearchPath) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  WriteFile("ferramenta", "#!/bin/sh\ntouch \"$(dirname \"$0\")/feito\"\n", true);
  EXPECT_GE(programs_.RunProgram(host_, "c:\\ferramenta.exe", {}, "", ShowMode::kNormal), 32);
  ASSERT_TRUE(WaitEnded(programs_.LastStarted()));
  EXPECT_TRUE(fs::exists(dir_ / "feito"));
  EXPECT_GE(programs_.RunProgram(host_, "true.exe", {}, "", ShowMode::kHidden), 32);
  EXPECT_TRUE(WaitEnded(programs_.LastStarted()));
}

TEST_F(ProgramsTest, BatchFileRunsAsCmdExe) {
  const char* old = std::getenv("USERPROFILE");
  const std::string saved = old != nullptr ? old : "";
  WriteEnvironment("USERPROFILE", (dir_ / "perfil").string().c_str());
  // A pause of two seconds: Wine has no timeout command, so there ping waits on the loopback.
  const std::string pause = HostPathsAreNative() ? "ping -n 3 127.0.0.1 >nul" : "timeout /t 2 /nobreak >nul";
  WriteFile("inicio.bat",
            "@echo off\r\nchcp 1252\r\necho %userprofile%>result.log 2>&1\r\n" + pause +
                "\r\nexit\r\n");
  // The batch file runs in the directory given, where its relative names land.
  EXPECT_GE(programs_.RunProgram(host_, "C:\\INICIO.BAT", "c:\\", "", ShowMode::kHidden), 32);
  const int pid = programs_.LastStarted();
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_TRUE(programs_.ProcessRunning("cmd.exe"));
  EXPECT_TRUE(programs_.ProcessRunning("CMD.exe"));
  EXPECT_FALSE(programs_.ProcessRunning("cmd"));
  ASSERT_TRUE(WaitEnded(pid));
  EXPECT_EQ(Read("result.log"), (dir_ / "perfil").string() + " \r\n");
  if (old != nullptr) {
    WriteEnvironment("USERPROFILE", saved.c_str());
  } else {
    WriteEnvironment("USERPROFILE", nullptr);
  }
}

TEST_F(ProgramsTest, PipeReadTexts) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  auto run = [&](const std::string& command) {
    EXPECT_TRUE(programs_.PipeStart(host_, command));
    EXPECT_TRUE(WaitEnded(programs_.LastStarted()));
    return programs_.PipeRead();
  };
  EXPECT_EQ(run("sh -c \"printf a; printf b >&2\""), "a\r\nb\r\n");
  EXPECT_EQ(run("sh -c \"printf a\""), "a\r\n\r\n");
  EXPECT_EQ(run("sh -c \"printf b >&2\""), "b\r\n");
  EXPECT_EQ(run("true"), "");
  // The text ends at the first NUL byte.
  EXPECT_EQ(run("sh -c \"printf 'x\\0y'\""), "x\r\n\r\n");
  // Nothing is read twice, and reading never waits.
  EXPECT_EQ(programs_.PipeRead(), "");
}

TEST_F(ProgramsTest, PipeWriteLineReachesTheChildAndNeverBlocks) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  ASSERT_TRUE(programs_.PipeStart(host_, "cat"));
  programs_.PipeWriteLine("ola");
  std::string got;
  for (int i = 0; i < 200 && got.empty(); ++i) {
    got = programs_.PipeRead();
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(got, "ola\r\n\r\n\r\n");
  // A child that reads nothing: lines beyond what its pipe holds are dropped, never waited on.
  ASSERT_TRUE(programs_.PipeStart(host_, "sleep 5"));
  const std::string big(70000, 'x');
  const auto start = std::chrono::steady_clock::now();
  programs_.PipeWriteLine(big);
  programs_.PipeWriteLine(big);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  // A child that has gone: writing must not end this program.
  ASSERT_TRUE(programs_.PipeStart(host_, "true"));
  ASSERT_TRUE(WaitEnded(programs_.LastStarted()));
  programs_.PipeWriteLine("ninguem ouve");
}

TEST_F(ProgramsTest, WindowsOwnCmdAnswersThroughThePipesAndIsInTheProcessList) {
  if (!HostPathsAreNative()) GTEST_SKIP() << "Windows's own cmd.exe; on Linux the batch runner";
  ASSERT_TRUE(programs_.PipeStart(host_, "cmd.exe /c echo ola& ping -n 3 127.0.0.1 >nul"));
  const int pid = programs_.LastStarted();
  EXPECT_GT(pid, 0);
  EXPECT_TRUE(programs_.ProcessRunning("cmd.exe"));
  EXPECT_FALSE(programs_.ProcessRunning("cmd"));
  ASSERT_TRUE(WaitEnded(pid));
  EXPECT_EQ(programs_.PipeRead().substr(0, 5), "ola\r\n");
}

// Sets a variable of the process environment for one test, and puts back what it was.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    had_ = ReadEnvironment(name, old_);
    WriteEnvironment(name, value.c_str());
  }
  ~ScopedVariable() { WriteEnvironment(name_, had_ ? old_.c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST_F(ProgramsTest, ABatchSeesTheUserFoldersThisProgramSees) {
  if (!HostPathsAreNative()) {
    GTEST_SKIP() << "on Linux the batch runner expands %USERPROFILE% itself, from the host paths";
  }
  // The folders a test names for the profile and AppData, which this program takes for the
  // platform's, are those a batch file it starts finds in its environment.
  const std::string profile = dir_.string();
  const std::string app_data = (dir_ / "Dados").string();
  ScopedVariable named_profile("NAVELO_TEST_USERPROFILE", profile);
  ScopedVariable named_app_data("NAVELO_TEST_APPDATA", app_data);
  ASSERT_TRUE(programs_.PipeStart(host_, "cmd.exe /c echo [%USERPROFILE%] [%APPDATA%]"));
  ASSERT_TRUE(WaitEnded(programs_.LastStarted()));
  const std::string said = programs_.PipeRead();
  EXPECT_EQ(said.substr(0, said.find('\r')), "[" + profile + "] [" + app_data + "]");
}

TEST_F(ProgramsTest, PipeWithoutChildReadsAndWritesNothing) {
  EXPECT_EQ(programs_.PipeRead(), "");
  programs_.PipeWriteLine("x");
}

}  // namespace
}  // namespace navelo

namespace navelo {
namespace {

// A console that records its pauses.
class DelayConsole final : public StubConsole {
 public:
  void Delay(int ms) override { delays.push_back(ms); }
  std::vector<int> delays;
};

class WaitForReturnTest : public ::testing::Test {
 protected:
  WaitForReturnTest()
      : dir_(fs::temp_directory_path() / ("navelo_wait_" + std::to_string(std::random_device()()))),
        host_(
            [this](std::string_view name, std::string& value) {
              if (name != "APPDATA") return false;
              value = dir_.string();
              return true;
            },
            dir_.string()),
        config_(host_) {
    fs::create_directories(dir_ / "Navelo");
  }
  ~WaitForReturnTest() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }
  // The pause after the return for a TEMPOESPERAPROGVOLTAR value (nullptr: no key).
  int PauseFor(const char* value) {
    std::ofstream ini(dir_ / "Navelo" / "navelo.ini", std::ios::binary);
    ini << "[NAVELO]\r\n";
    if (value != nullptr) ini << "TEMPOESPERAPROGVOLTAR=" << value << "\r\n";
    ini.close();
    DelayConsole console;
    programs_.WaitForReturn(console, config_);
    return console.delays.empty() ? -1 : console.delays.back();
  }

  fs::path dir_;
  HostEnvironment host_;
  Config config_;
  Programs programs_;
};

TEST_F(WaitForReturnTest, ConfiguredPauseIsBoundedTo1000) {
  EXPECT_EQ(PauseFor("250"), 250);
  EXPECT_EQ(PauseFor("0"), 0);
  EXPECT_EQ(PauseFor("5000"), 1000);
  EXPECT_EQ(PauseFor("-1"), 1000);
  EXPECT_EQ(PauseFor("abc"), 1000);
  EXPECT_EQ(PauseFor(nullptr), 1000);
}

TEST_F(WaitForReturnTest, WithAWindowWaitsForItToLoseAndRegainTheForeground) {
  PauseFor("300");
  // In front twice, then away three polls, then back.
  std::vector<bool> front = {true, true, false, false, false, true};
  size_t i = 0;
  DelayConsole console;
  programs_.WaitForReturn(console, config_, [&] { return i < front.size() ? front[i++] : true; });
  EXPECT_EQ(console.delays, (std::vector<int>{100, 100, 100, 100, 300}));
  // A program that never takes the foreground: 50 pauses, then the configured one.
  DelayConsole never;
  programs_.WaitForReturn(never, config_, [] { return true; });
  EXPECT_EQ(never.delays.size(), 51u);
  EXPECT_EQ(never.delays.back(), 300);
}

// A console whose pauses call a hook, which may end what is being waited for.
class HookedConsole final : public StubConsole {
 public:
  void Delay(int ms) override {
    delays.push_back(ms);
    if (on_delay) on_delay();
  }
  std::vector<int> delays;
  std::function<void()> on_delay;
};

TEST_F(WaitForReturnTest, AfterAFailedStartOnlyThePauseFollows) {
  std::ofstream(dir_ / "Navelo" / "navelo.ini") << "[NAVELO]\nTEMPOESPERAPROGVOLTAR=7\n";
  // The piped child runs until its input closes; the start after it fails.
  ASSERT_TRUE(programs_.PipeStart(host_, RunsUntilInputCloses()));
  const int piped = programs_.LastStarted();
  ASSERT_LT(programs_.RunProgram(host_, "programa-que-nao-existe-navelo", {}, "", ShowMode::kNormal),
            32);
  HookedConsole console;
  // Should the wait be for the piped child, closing its input after 20 pauses lets the test end.
  console.on_delay = [&] {
    if (console.delays.size() == 20) programs_.PipeStart(host_, "");
    if (console.delays.size() > 20) std::this_thread::sleep_for(milliseconds(10));
  };
  programs_.WaitForReturn(console, config_);
  EXPECT_EQ(console.delays, (std::vector<int>{7})) << "the wait was for the piped child";
  programs_.PipeStart(host_, "");
  for (int i = 0; i < 500 && !ChildEnded(piped); ++i) std::this_thread::sleep_for(milliseconds(10));
}

TEST_F(WaitForReturnTest, WithoutAWindowWaitsForTheProgramToEnd) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixChildren;
  ASSERT_GE(programs_.RunProgram(host_, "sleep", {}, "0.3", ShowMode::kNormal), 32);
  const int pid = programs_.LastStarted();
  std::ofstream(dir_ / "Navelo" / "navelo.ini") << "[NAVELO]\nTEMPOESPERAPROGVOLTAR=0\n";
  DelayConsole console;
  programs_.WaitForReturn(console, config_);
  EXPECT_TRUE(ChildEnded(pid));
  EXPECT_GE(console.delays.size(), 2u);
}

}  // namespace
}  // namespace navelo

namespace navelo {
namespace {

// A bare name that is not in the current folder is found beside the running program, with or
// without ".exe": that is how the tracker starts its monitor.
TEST(ProgramLookupTest, BareNamesAreFoundBesideTheRunningProgram) {
  const fs::path dir =
      fs::temp_directory_path() / ("navelo_lookup_" + std::to_string(std::random_device()()));
  fs::create_directories(dir / "bin");
  {
    std::ofstream out(dir / "bin" / "monitor_de_teste");
    out << "#!/bin/sh\n";
  }
  fs::permissions(dir / "bin" / "monitor_de_teste", fs::perms::owner_all,
                  fs::perm_options::add);
  const HostEnvironment host([](std::string_view, std::string&) { return false; },
                             (dir / "bin").string());
  Programs programs;
  const std::string expected = (dir / "bin" / "monitor_de_teste").string();
  EXPECT_EQ(programs.Locate(host, "monitor_de_teste"), expected);
  EXPECT_EQ(programs.Locate(host, "monitor_de_teste.exe"), expected);
  EXPECT_EQ(programs.Locate(host, "nenhum_programa_assim"), "");
  std::error_code error;
  fs::remove_all(dir, error);
}

// A name without an extension finds the program file with ".exe" (Windows names its programs
// so), in the current folder and beside the running program; a name with another extension or
// a folder called so does not.
TEST(ProgramLookupTest, ANameWithoutExtensionFindsItsExeFile) {
  const fs::path dir =
      fs::temp_directory_path() / ("navelo_lookup_" + std::to_string(std::random_device()()));
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "work" / "pasta.exe");
  std::ofstream(dir / "bin" / "monitor_win.exe") << "MZ";
  std::ofstream(dir / "work" / "local.com") << "MZ";
  const HostEnvironment host([](std::string_view, std::string&) { return false; },
                             (dir / "bin").string());
  Programs programs;
  const fs::path saved = fs::current_path();
  fs::current_path(dir / "work");
  EXPECT_EQ(programs.Locate(host, "monitor_win"), (dir / "bin" / "monitor_win.exe").string());
  EXPECT_EQ(fs::path(programs.Locate(host, "local")), fs::path("local.com"));
  EXPECT_EQ(programs.Locate(host, "monitor_win.txt"), "");
  EXPECT_EQ(programs.Locate(host, "pasta"), "");
  fs::current_path(saved);
  std::error_code error;
  fs::remove_all(dir, error);
}

}  // namespace
}  // namespace navelo
