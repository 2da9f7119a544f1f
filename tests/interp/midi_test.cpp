// Tests of the MIDI command against a recording MIDI output: the messages each form sends, the
// open and closed states, and the argument forms that fail the command.
#include "fake_services.h"
#include "platform/midi_output.h"

namespace navelo::testing {
namespace {

class RecordingMidi final : public MidiOutput {
 public:
  int Open(std::string& reason) override {
    ++opens;
    if (open_error != 0) reason = "sem sintetizador";
    return open_error;
  }
  int ShortMessage(uint32_t message) override {
    sent.push_back(message);
    const bool program = (message & 0xF0) == 0xC0;
    return program ? program_error : 0;
  }
  void Close() override { ++closes; }

  std::vector<uint32_t> sent;
  int opens = 0, closes = 0;
  int open_error = 0;
  int program_error = 0;
};

class MidiTest : public InterpreterTest {
 protected:
  MidiTest() { in.midi.UseOutput(midi); }
  // Runs the lines after "midi inicia" and returns what they sent.
  std::vector<uint32_t> AfterOpen(std::string_view lines, int expected_result = 0) {
    const RunResult result = Run("midi inicia\n" + std::string(lines));
    EXPECT_EQ(result.result, expected_result) << lines;
    return {midi.sent.begin() + 2, midi.sent.end()};
  }
  RecordingMidi midi;
};

using Messages = std::vector<uint32_t>;

TEST_F(MidiTest, OpeningSendsTheSystemResetAndThenTheByte63) {
  EXPECT_EQ(Run("MIDI INICIA").result, 0);
  EXPECT_EQ(midi.opens, 1);
  EXPECT_EQ(midi.sent, (Messages{255, 63}));
  EXPECT_TRUE(in.midi.IsOpen());
}

TEST_F(MidiTest, NotesAndProgramsCarryTheChannelMinusOneInTheStatusByte) {
  EXPECT_EQ(AfterOpen("midi nl 1 60 100\n"
                      "midi tt 10 0\n"
                      "midi nl 16 127 1\n"
                      "midi nd 3 64\n"
                      "midi tt 1 127\n"
                      "midi NL 2 0 0"),
            (Messages{144 | 60 << 8 | 100 << 16, 201, 159 | 127 << 8 | 1 << 16, 146 | 64 << 8,
                      192 | 127 << 8, 145}));
}

TEST_F(MidiTest, ValuesComeFromVariablesExpressionsAndQuotedTexts) {
  EXPECT_EQ(AfterOpen("seja n 62\n"
                      "midi nl 2 n (n+2)\n"
                      "midi ND \"16\" \"60\"\n"
                      "midi tt1 5"),
            (Messages{145 | 62 << 8 | 64 << 16, 159 | 60 << 8, 192 | 5 << 8}));
}

TEST_F(MidiTest, PaneSwitchesOffEveryNoteOfEveryChannelChannelByChannel) {
  const Messages sent = AfterOpen("midi pane");
  ASSERT_EQ(sent.size(), 2048u);
  for (size_t i = 0; i < sent.size(); ++i) {
    const uint32_t channel = static_cast<uint32_t>(i / 128), note = static_cast<uint32_t>(i % 128);
    ASSERT_EQ(sent[i], (144 + channel) | note << 8) << i;
  }
}

TEST_F(MidiTest, ValuesOutOfRangeOrMalformedFailWithoutSending) {
  ASSERT_EQ(Run("midi inicia").result, 0);
  for (const char* line : {"midi nl 17 60 100", "midi nl 0 60 100", "midi nl 1 128 100",
                           "midi nl 1 60 128", "midi nl 1 -1 100", "midi nd 1 128",
                           "midi tt 1 128", "midi tt 17 0", "midi nl 1 60", "midi nd 1",
                           "midi tt 1", "midi nl 1 60 100 5", "midi nd 1 60 0", "midi tt 1 0 0",
                           "midi nl 1 do 100", "midi nl 1 60.5 100", "midi nl", "midi xx 1 2",
                           "midi nota 1 2", "midi termina agora", "midi"}) {
    EXPECT_EQ(Run(line).result, 1) << line;
  }
  EXPECT_TRUE(in.midi.IsOpen());
  EXPECT_EQ(midi.sent, (Messages{255, 63}));
}

TEST_F(MidiTest, EveryFormButIniciaFailsWhileClosed) {
  for (const char* line : {"midi nl 1 60 100", "midi nd 1 60", "midi tt 1 0", "midi pane",
                           "midi termina"}) {
    EXPECT_EQ(Run(line).result, 1) << line;
  }
  EXPECT_TRUE(midi.sent.empty());
  EXPECT_EQ(midi.closes, 0);
}

TEST_F(MidiTest, OpeningTwiceFailsAndClosingReturnsToTheClosedState) {
  EXPECT_EQ(Run("midi inicia\nmidi inicia").result, 1);
  EXPECT_EQ(midi.opens, 1);
  EXPECT_EQ(Run("midi termina\nmidi nl 1 60 100").result, 1);
  EXPECT_EQ(midi.closes, 1);
  EXPECT_EQ(midi.sent, (Messages{255, 63}));
  EXPECT_EQ(Run("midi termina").result, 1);
  EXPECT_EQ(midi.closes, 1);
  EXPECT_EQ(Run("midi inicia\nmidi nl 1 60 100\nmidi termina").result, 0);
  EXPECT_EQ(midi.opens, 2);
  EXPECT_EQ(midi.closes, 2);
}

TEST_F(MidiTest, ARefusedProgramChangeIsWrittenUnspokenAndTheScriptGoesOn) {
  midi.program_error = 11;
  EXPECT_EQ(AfterOpen("midi tt 1 5\nmidi nl 1 60 100"), (Messages{192 | 5 << 8, 144 | 60 << 8 | 100 << 16}));
  EXPECT_NE(console.written.find("erro em ProgramChange\r\n"), std::string::npos);
  for (const std::string& said : speech.spoken) EXPECT_EQ(said.find("ProgramChange"), std::string::npos);
  EXPECT_EQ(in.midi.LastResult(), 0);
}

TEST_F(MidiTest, AnOutputThatCannotOpenIsSaidAndStaysClosed) {
  midi.open_error = 2;
  EXPECT_EQ(Run("midi inicia").result, 1);
  ASSERT_FALSE(speech.spoken.empty());
  EXPECT_NE(speech.spoken.back().find("sem sintetizador"), std::string::npos);
  EXPECT_FALSE(in.midi.IsOpen());
  EXPECT_EQ(in.midi.LastResult(), 2);
  EXPECT_TRUE(midi.sent.empty());
}

}  // namespace
}  // namespace navelo::testing
