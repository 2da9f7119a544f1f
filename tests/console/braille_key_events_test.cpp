// The vendor braille display's key events, from the window message's type and data to the bytes
// the key queue receives.
#include "platform/braille_key_events.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "console/braille_output.h"

namespace navelo {
namespace {

// The key-queue bytes of a sequence of (type, data) events; empty when none completed a key.
std::string Bytes(BrailleKeyEvents& events, std::initializer_list<std::pair<int, int>> sequence) {
  std::string bytes;
  for (const auto& [type, data] : sequence) {
    BrailleKey key;
    if (events.Translate(type, data, key)) bytes += BrailleOutput::KeyBytes(key);
  }
  return bytes;
}

// A chord: each key's bits pressed (in the data's second byte), then the release.
std::string Chord(BrailleKeyEvents& events, std::initializer_list<int> bits) {
  std::string bytes;
  for (const int b : bits) bytes += Bytes(events, {{1, b * 256}});
  EXPECT_EQ(bytes, "") << "a key pressed must not complete a chord";
  return Bytes(events, {{1, 3}});
}

TEST(BrailleKeyEvents, LineKeysAndRoutingBarsMoveUpAndDown) {
  BrailleKeyEvents events;
  const std::string up("\0\x48", 2);
  const std::string down("\0\x50", 2);
  EXPECT_EQ(Bytes(events, {{1, 261}}), up);
  EXPECT_EQ(Bytes(events, {{1, 6405}}), up);
  EXPECT_EQ(Bytes(events, {{1, 2309}}), down);
  EXPECT_EQ(Bytes(events, {{1, 4357}}), down);
  EXPECT_EQ(Bytes(events, {{3, 16}}), up);
  EXPECT_EQ(Bytes(events, {{3, 64}}), up);
  EXPECT_EQ(Bytes(events, {{3, 32}}), down);
  EXPECT_EQ(Bytes(events, {{3, 128}}), down);
  EXPECT_EQ(Bytes(events, {{3, 1}}), "");
  // Movement keys leave no chord behind.
  EXPECT_EQ(events.pressed(), 0u);
}

TEST(BrailleKeyEvents, AnUnknownEventTypeTypesAQuestionMark) {
  BrailleKeyEvents events;
  EXPECT_EQ(Bytes(events, {{2, 0}}), "?");
  EXPECT_EQ(Bytes(events, {{7, 12345}}), "?");
}

TEST(BrailleKeyEvents, ChordsOfTheFunctionKeys) {
  BrailleKeyEvents events;
  EXPECT_EQ(Chord(events, {64}), "\b");
  EXPECT_EQ(Chord(events, {128}), "\r");
  EXPECT_EQ(Chord(events, {64, 128}), "\x1b");
  EXPECT_EQ(Chord(events, {32768}), " ");
  EXPECT_EQ(Chord(events, {256}), std::string("\0\x47", 2));
  EXPECT_EQ(Chord(events, {1, 256}), std::string("\0\x47", 2));
  EXPECT_EQ(Chord(events, {512, 2}), std::string("\0\x4f", 2));
  // Home wins over End when both are held.
  EXPECT_EQ(Chord(events, {512, 256}), std::string("\0\x47", 2));
}

TEST(BrailleKeyEvents, DotChordsTypeCharactersAndWithTheSpaceBarControlCharacters) {
  BrailleKeyEvents events;
  EXPECT_EQ(Chord(events, {1}), "a");
  EXPECT_EQ(Chord(events, {1, 2, 8}), "f");
  EXPECT_EQ(Chord(events, {4}), ".");
  EXPECT_EQ(Chord(events, {1, 16, 32}), "@");
  // The space bar with dots 1-3-4-5 (n) is Ctrl+N, with dots 1-2-3 (l) Ctrl+L.
  EXPECT_EQ(Chord(events, {32768, 1, 4, 8, 16}), "\x0e");
  EXPECT_EQ(Chord(events, {1, 2, 4, 32768}), "\x0c");
  // Dot 7 together with dots is not Backspace: the six dots decide.
  EXPECT_EQ(Chord(events, {1, 64}), "a");
}

TEST(BrailleKeyEvents, AReleaseWithoutKeysIsNothingAndEveryChordStartsAfresh) {
  BrailleKeyEvents events;
  EXPECT_EQ(Bytes(events, {{1, 3}}), "");
  EXPECT_EQ(Chord(events, {1}), "a");
  EXPECT_EQ(events.pressed(), 0u);
  // Dot 2 alone, not dots 1-2 (b): the first chord's dot is gone.
  EXPECT_EQ(Chord(events, {2}), ",");
  // A key pressed twice counts once.
  EXPECT_EQ(Chord(events, {1, 1}), "a");
}

}  // namespace
}  // namespace navelo
