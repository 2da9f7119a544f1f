// The media control layer: command sequences of scripts, what files it refuses, and one play at a
// time on its own output.
#include "tradutor/media_control.h"

#include <gtest/gtest.h>

#include "speech_fixtures.h"

namespace navelo::testing {
namespace {

class MediaControlTest : public ::testing::Test {
 protected:
  MediaControlTest()
      : host_(
            [this](std::string_view name, std::string& value) {
              if (name != "NAVELO_DRIVE_C") return false;
              value = dir_.path().string();
              return true;
            }),
        media_(console_, keys_, host_) {
    audio_.finish_at_once = false;  // blocks finish when the test says so
    media_.UseOutput(audio_, nullptr);
  }

  // A mono 8-bit sound of n bytes at 11025 Hz on drive C.
  void Sound(const std::string& name, size_t n, int rate = 11025, int bits = 8) {
    WriteFile(dir_.path() / name, WavBytes(std::string(n, '\x40'), rate, 1, bits));
  }
  std::string Answer(std::string_view command) { return media_.Send(command).answer; }
  int Error(std::string_view command) { return media_.Send(command).error; }

  TempDir dir_;
  HostEnvironment host_;
  CountingConsole console_;
  QueueKeyboard keys_;
  RecordingAudio audio_;
  MediaControl media_;
};

TEST_F(MediaControlTest, TheSequenceOfAWaitingPlayReportsPlayingUntilTheLastBlockEnds) {
  Sound("som.wav", 20000);
  EXPECT_EQ(Answer("open \"c:\\som.wav\" alias myfile"), "1");
  EXPECT_EQ(Answer("status myfile mode"), "stopped");
  EXPECT_EQ(Answer("status myfile length"), "1814");  // 20000 bytes at 11025 a second
  EXPECT_EQ(Error("play myfile"), kMciOk);
  ASSERT_EQ(audio_.blocks.size(), 3u);  // 8192 + 8192 + 3616
  EXPECT_EQ(audio_.blocks[2].bytes.size(), 3616u);
  EXPECT_EQ(audio_.blocks.back().format, (PcmFormat{11025, 8, 1}));
  EXPECT_EQ(Answer("status myfile mode"), "playing");
  audio_.Finish(2);
  EXPECT_EQ(Answer("status MYFILE mode"), "playing");  // names are case-insensitive
  EXPECT_EQ(Answer("status myfile position"), "1486");
  audio_.Finish(1);
  EXPECT_EQ(Answer("status myfile mode"), "stopped");
  EXPECT_EQ(Error("stop myfile"), kMciOk);
  EXPECT_EQ(Error("close myfile"), kMciOk);
  const MciReply gone = media_.Send("status myfile mode");
  EXPECT_EQ(gone.error, kMciUnknownDevice);
  EXPECT_EQ(gone.answer, "");
}

TEST_F(MediaControlTest, StopDropsWhatIsQueuedAndPlayAgainStartsWhereItStopped) {
  Sound("som.wav", 20000);
  media_.Send("open c:\\som.wav alias x");
  media_.Send("play x");
  audio_.Finish(1);
  EXPECT_EQ(Error("stop x"), kMciOk);
  EXPECT_EQ(audio_.resets, 1);
  EXPECT_EQ(audio_.Pending(), 0u);
  EXPECT_EQ(Answer("status x mode"), "stopped");
  EXPECT_EQ(Answer("status x position"), "743");  // 8192 bytes heard
  media_.Send("play x");
  ASSERT_EQ(audio_.blocks.size(), 5u);
  EXPECT_EQ(audio_.blocks[3].bytes.size(), 8192u);
  EXPECT_EQ(audio_.blocks[4].bytes.size(), 3616u);
  // At the end a new play starts from the beginning again.
  audio_.Finish(2);
  media_.Send("play x");
  EXPECT_EQ(audio_.blocks.size(), 8u);
  media_.Send("play x from 0 to 100");
  EXPECT_EQ(audio_.blocks.back().bytes.size(), 1102u);  // 100 ms at 11025 Hz
}

TEST_F(MediaControlTest, PauseAndResumeGoOnFromThePositionReached) {
  Sound("som.wav", 20000);
  media_.Send("open c:\\som.wav alias x");
  media_.Send("play x");
  audio_.Finish(1);
  media_.Send("pause x");
  EXPECT_EQ(Answer("status x mode"), "paused");
  media_.Send("resume x");
  EXPECT_EQ(Answer("status x mode"), "playing");
  ASSERT_EQ(audio_.blocks.size(), 5u);
  EXPECT_EQ(audio_.blocks[4].bytes.size(), 3616u);
  audio_.Finish(2);
  EXPECT_EQ(Answer("status x mode"), "stopped");
}

TEST_F(MediaControlTest, PlayByFileNameOpensTheFileAndClosesItWhenItEnds) {
  Sound("sons/gota.wav", 100);
  TempDir transcript_dir;
  const fs::path transcript_file = transcript_dir.path() / "t.txt";
  {
    Transcript transcript(transcript_file.string());
    media_.UseOutput(audio_, &transcript);
    EXPECT_EQ(Error("play c:\\SONS\\gota.wav"), kMciOk);
    EXPECT_EQ(Answer("status c:\\sons\\gota.wav mode"), "playing");
    audio_.Finish(1);
    EXPECT_EQ(Answer("status c:\\sons\\gota.wav mode"), "");
    media_.UseOutput(audio_, nullptr);
  }
  EXPECT_EQ(ReadWhole(transcript_file), "sound\tc:\\\\SONS\\\\gota.wav\n");
}

TEST_F(MediaControlTest, AFileNameWithBlanksIsFoundQuotedOrAsTheWholeRest) {
  Sound("meus sons/gota.wav", 100);
  EXPECT_EQ(Error("open \"c:\\meus sons\\gota.wav\" alias g"), kMciOk);
  EXPECT_EQ(Error("play c:\\meus sons\\gota.wav"), kMciOk);
  EXPECT_EQ(audio_.blocks.size(), 1u);
}

TEST_F(MediaControlTest, ADeviceTypeBeforeTheFileIsTakenOnlyWhenItIsWaveaudio) {
  Sound("som.wav", 10);
  Sound("oi!.wav", 10);
  EXPECT_EQ(Error("open waveaudio!c:\\som.wav alias w"), kMciOk);
  EXPECT_EQ(Error("open sequencer!c:\\som.wav alias s"), kMciUnsupportedFormat);
  EXPECT_EQ(Error("open c:\\oi!.wav alias o"), kMciOk);
  EXPECT_EQ(Answer("status o length"), "0");
}

TEST_F(MediaControlTest, FilesItCannotPlayAreRefusedWithAnEmptyAnswer) {
  WriteFile(dir_.path() / "musica.mp3", "ID3\x03\x00 not a wave");
  WriteFile(dir_.path() / "vazio.wav", "");
  WriteFile(dir_.path() / "fundo.wav", WavBytes(std::string(30, '\0'), 11025, 1, 24));
  Sound("longo.wav", 601 * 1000, 1000);  // 601 seconds at the lowest rate taken
  Sound("lento.wav", 100, 1);          // one sample a second: no device takes it
  // 5000 channels: a frame wider than a block, which would leave no whole frame to a block.
  WriteFile(dir_.path() / "largo.wav", WavBytes(std::string(20000, '\x40'), 11025, 5000, 16));
  const MciReply mp3 = media_.Send("open c:\\musica.mp3 alias m");
  EXPECT_EQ(mp3.error, kMciUnsupportedFormat);
  EXPECT_EQ(mp3.answer, "");
  EXPECT_EQ(Error("open c:\\vazio.wav alias v"), kMciUnsupportedFormat);
  EXPECT_EQ(Error("open c:\\fundo.wav alias f"), kMciUnsupportedFormat);
  EXPECT_EQ(Error("open c:\\longo.wav alias l"), kMciFileTooLong);
  EXPECT_EQ(Error("open c:\\lento.wav alias x"), kMciUnsupportedFormat);
  EXPECT_EQ(Error("open c:\\largo.wav alias y"), kMciUnsupportedFormat);
  EXPECT_EQ(Error("play c:\\largo.wav"), kMciUnsupportedFormat);
  EXPECT_EQ(Error("open c:\\nada.wav alias n"), kMciFileNotFound);
  EXPECT_EQ(Error("play c:\\nada.wav"), kMciFileNotFound);
  EXPECT_EQ(Error("open new type waveaudio alias gravar"), kMciUnsupportedFormat);
  Sound("som.wav", 10);
  EXPECT_EQ(Error("open c:\\som.wav type sequencer alias s"), kMciUnsupportedFormat);
  EXPECT_EQ(Answer("status m mode"), "");
  EXPECT_TRUE(audio_.blocks.empty());
}

TEST_F(MediaControlTest, ADataChunkLongerThanTheFilePlaysWhatIsThere) {
  std::string bytes = WavBytes(std::string(100, '\x40'));
  bytes[40] = '\xff';  // the data chunk claims far more than the file holds
  bytes[41] = '\xff';
  WriteFile(dir_.path() / "curto.wav", bytes);
  EXPECT_EQ(Error("play c:\\curto.wav"), kMciOk);
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 100u);
}

TEST_F(MediaControlTest, CommandErrorsLeaveOtherDevicesAlone) {
  Sound("a.wav", 20000);
  Sound("b.wav", 100);
  media_.Send("open c:\\a.wav alias a");
  media_.Send("open c:\\b.wav alias b");
  EXPECT_EQ(Error("open c:\\b.wav alias a"), kMciAliasInUse);
  EXPECT_EQ(Error("toque a"), kMciUnrecognizedCommand);
  EXPECT_EQ(Error(""), kMciUnrecognizedCommand);
  EXPECT_EQ(Error("play"), kMciMissingDevice);
  EXPECT_EQ(Error("play a depressa"), kMciBadArgument);
  EXPECT_EQ(Error("play a from dez"), kMciBadArgument);
  EXPECT_EQ(Error("status a cor"), kMciBadArgument);
  EXPECT_EQ(Error("set a time format frames"), kMciBadArgument);
  EXPECT_EQ(Error("set a time format milliseconds"), kMciOk);
  media_.Send("play a");
  EXPECT_EQ(Error("stop b"), kMciOk);
  EXPECT_EQ(Answer("status a mode"), "playing");
  // A second play takes the output from the first.
  media_.Send("play b");
  EXPECT_EQ(Answer("status a mode"), "stopped");
  EXPECT_EQ(Answer("status b mode"), "playing");
  EXPECT_EQ(Error("close all"), kMciOk);
  EXPECT_EQ(Error("status b mode"), kMciUnknownDevice);
}

TEST_F(MediaControlTest, PlayWaitReturnsAtTheEndOrWhenAKeyIsWaiting) {
  Sound("som.wav", 20000);
  media_.Send("open c:\\som.wav alias x");
  console_.on_delay = [this] { audio_.Finish(1); };
  EXPECT_EQ(Error("play x wait"), kMciOk);
  EXPECT_EQ(Answer("status x mode"), "stopped");
  EXPECT_EQ(console_.delayed, 30);

  console_.on_delay = [this] { keys_.Type("a"); };
  EXPECT_EQ(Error("play x from 0 wait"), kMciOk);
  EXPECT_EQ(Answer("status x mode"), "stopped");
  EXPECT_EQ(audio_.Pending(), 0u);
  EXPECT_EQ(keys_.queue.size(), 1u);  // the key stays for whoever reads keys next
}

}  // namespace
}  // namespace navelo::testing
