// The batch runner: the start-up file of the tracker, echo forms, variables, redirections, exit
// and the line for commands it does not know.
#include "sys/batch_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

namespace navelo {
namespace {

namespace fs = std::filesystem;

class BatchRunnerTest : public ::testing::Test {
 protected:
  BatchRunnerTest()
      : dir_(fs::temp_directory_path() / ("navelo_batch_" + std::to_string(std::random_device()()))),
        host_(
            [this](std::string_view name, std::string& value) {
              const auto it = env_.find(std::string(name));
              if (it == env_.end()) return false;
              value = it->second;
              return true;
            },
            "/nonexistent") {
    fs::create_directories(dir_);
    env_["NAVELO_DRIVE_C"] = dir_.string();
    env_["USERPROFILE"] = (dir_ / "Perfil Ana").string();
    env_["COMPUTERNAME"] = "CAIXA";
    host_ = HostEnvironment(
        [this](std::string_view name, std::string& value) {
          const auto it = env_.find(std::string(name));
          if (it == env_.end()) return false;
          value = it->second;
          return true;
        },
        "/nonexistent");
  }
  ~BatchRunnerTest() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  int Run(std::string_view text, std::vector<std::string> params = {"x.bat"}) {
    BatchRunner runner(
        host_,
        [this](std::string_view name, std::string& value) {
          const auto it = env_.find(std::string(name));
          if (it == env_.end()) return false;
          value = it->second;
          return true;
        },
        std::move(params), [this](std::string_view b) { out += b; },
        [this](std::string_view b) { err += b; }, [this](int s) { slept += s; });
    return runner.Run(text);
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  fs::path dir_;
  std::map<std::string, std::string> env_;
  HostEnvironment host_;
  std::string out, err;
  int slept = 0;
};

TEST_F(BatchRunnerTest, TrackerStartUpFileWritesTheProfileFolder) {
  const int code = Run(
      "@echo off\r\nchcp 1252\r\necho %userprofile%>c:\\result.log 2>&1\r\nexit\r\necho depois\r\n");
  EXPECT_EQ(code, 0);
  // As on the host, the blank before "2>&1" stays with the echoed text.
  EXPECT_EQ(Read("result.log"), (dir_ / "Perfil Ana").string() + " \r\n");
  EXPECT_EQ(out, "P\xE1gina de c\xF3""digo ativa: 1252\r\n");
  EXPECT_EQ(err, "");
}

TEST_F(BatchRunnerTest, EchoFormsAndPrompt) {
  Run("echo ola mundo\r\n@echo.\r\n@echo off\r\necho\r\necho %COMPUTERNAME% e %%literal%% %1\r\n"
      "echo %NAOEXISTE%fim\r\n",
      {"x.bat", "primeiro"});
  const std::string prompt = "\r\n" + fs::current_path().string() + ">";
  EXPECT_EQ(out, prompt + "echo ola mundo\r\nola mundo\r\n\r\nECHO est\xE1 desativado.\r\n"
                          "CAIXA e %literal% primeiro\r\nfim\r\n");
}

TEST_F(BatchRunnerTest, SetRedirectionsAndExitCode) {
  const int code = Run(
      "@echo off\n"
      "set NOME=Ana Maria\n"
      "echo %nome%> c:\\a.txt\n"
      "echo segunda>>C:\\A.TXT\n"
      "echo some >nul\n"
      "comando_estranho 2>c:\\erro.txt\n"
      "timeout /t 2 /nobreak >nul\n"
      "exit /b 7\n");
  EXPECT_EQ(code, 7);
  EXPECT_EQ(Read("a.txt"), "Ana Maria\r\nsegunda\r\n");
  EXPECT_EQ(Read("erro.txt"),
            "'comando_estranho' n\xE3o \xE9 reconhecido como um comando interno ou externo, um "
            "programa oper\xE1vel ou um arquivo em lotes.\r\n");
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  EXPECT_EQ(slept, 2);
}

TEST_F(BatchRunnerTest, UnknownCommandsAreSkippedWithALineOnTheErrorOutput) {
  Run("@echo off\nfor %%f in (*) do echo x\necho depois\nset /a x=1\n");
  EXPECT_EQ(out, "depois\r\n");
  EXPECT_NE(err.find("'for' n\xE3o \xE9 reconhecido"), std::string::npos);
  EXPECT_NE(err.find("A sintaxe do comando est\xE1 incorreta."), std::string::npos);
}

}  // namespace
}  // namespace navelo
