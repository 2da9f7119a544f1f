// The window's translation of key presses into key events, on SDL's dummy video driver (no
// display server needed): the keys that type control characters, which text input never reports.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/display.h"

namespace navelo {
namespace {

class SdlDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    display_ = MakeWindowDisplay();
    ASSERT_NE(display_, nullptr) << SDL_GetError();
    DisplaySetup setup;
    setup.maximised = false;
    ASSERT_TRUE(display_->Open(cells_, setup)) << SDL_GetError();
    DisplayEvent event;
    while (display_->NextEvent(0, event)) {
    }
  }
  void TearDown() override {
    if (display_) display_->Close();
    display_.reset();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  // Presses a key and describes the characters it typed as "<byte><c if Ctrl><l if a letter>".
  std::string Press(SDL_Keycode key, Uint16 mod) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
    std::string typed;
    DisplayEvent event;
    while (display_->NextEvent(0, event)) {
      if (event.type != DisplayEvent::Type::kChar) continue;
      typed += std::to_string(event.byte) + (event.mods.ctrl ? "c" : "") +
               (event.mods.letter ? "l" : "") + " ";
    }
    return typed;
  }

  ScreenCells cells_;
  std::unique_ptr<Display> display_;
};

TEST_F(SdlDisplayTest, CtrlWithPunctuationTypesTheControlBytes) {
  EXPECT_EQ(Press(SDLK_LEFTBRACKET, KMOD_LCTRL), "27c ");
  EXPECT_EQ(Press(SDLK_BACKSLASH, KMOD_LCTRL), "28c ");
  EXPECT_EQ(Press(SDLK_RIGHTBRACKET, KMOD_RCTRL), "29c ");
  EXPECT_EQ(Press(SDLK_6, KMOD_LCTRL | KMOD_LSHIFT), "30c ");
  EXPECT_EQ(Press(SDLK_MINUS, KMOD_LCTRL | KMOD_LSHIFT), "31c ");
  EXPECT_EQ(Press(SDLK_CARET, KMOD_LCTRL), "30c ");
  EXPECT_EQ(Press(SDLK_UNDERSCORE, KMOD_LCTRL), "31c ");
  // Without Shift, Ctrl+6 and Ctrl+- type nothing, as on the platform's own keyboard tables.
  EXPECT_EQ(Press(SDLK_6, KMOD_LCTRL), "");
  EXPECT_EQ(Press(SDLK_MINUS, KMOD_LCTRL), "");
}

TEST_F(SdlDisplayTest, OnlyALetterWithCtrlIsMarkedAsALetter) {
  EXPECT_EQ(Press(SDLK_j, KMOD_LCTRL), "10cl ");
  EXPECT_EQ(Press(SDLK_RETURN, KMOD_LCTRL), "13c ");
  EXPECT_EQ(Press(SDLK_TAB, KMOD_LCTRL), "9c ");
  EXPECT_EQ(Press(SDLK_RETURN, KMOD_NONE), "13 ");
}

}  // namespace
}  // namespace navelo
