// The console window: an SDL2 window drawing the cells with an SDL2_ttf font found by name through
// fontconfig. Cells are drawn onto a canvas texture that persists, so a write redraws only the
// cells it changed and an exposed window is just presented again.
#include <SDL.h>
#include <SDL_syswm.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "platform/display.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

// The Unicode code point of a cp1252 byte.
uint32_t CodePoint(unsigned char byte) {
  const std::string utf8 = Cp1252ToUtf8(std::string(1, static_cast<char>(byte)));
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  if (utf8.size() == 1) return s[0];
  if (utf8.size() == 2) return (s[0] & 0x1Fu) << 6 | (s[1] & 0x3Fu);
  if (utf8.size() == 3) return (s[0] & 0x0Fu) << 12 | (s[1] & 0x3Fu) << 6 | (s[2] & 0x3Fu);
  return ' ';
}

// The file of the font named face with the given weight, or empty when fontconfig has no font of
// that family.
std::string FindFontFile(const std::string& face, int weight) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  std::string file;
  if (match != nullptr) {
    FcChar8* family = nullptr;
    FcChar8* path = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
        FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch &&
        SDL_strcasecmp(reinterpret_cast<const char*>(family), face.c_str()) == 0) {
      file = reinterpret_cast<const char*>(path);
    }
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return file;
}

// A font whose height (ascent plus descent) is as near pixel_height as the sizes allow.
TTF_Font* OpenFontWithHeight(const std::string& file, int pixel_height) {
  TTF_Font* probe = TTF_OpenFont(file.c_str(), pixel_height);
  if (probe == nullptr) return nullptr;
  const int height = std::max(TTF_FontHeight(probe), 1);
  TTF_CloseFont(probe);
  return TTF_OpenFont(file.c_str(), std::max(pixel_height * pixel_height / height, 1));
}

int VirtualKeyOf(const SDL_Keysym& sym) {
  const SDL_Keycode k = sym.sym;
  if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
  if (k >= SDLK_0 && k <= SDLK_9) return k;
  if (k >= SDLK_F1 && k <= SDLK_F12) return kVkF1 + (k - SDLK_F1);
  const bool num_lock = (sym.mod & KMOD_NUM) != 0;
  switch (k) {
    case SDLK_SPACE: return kVkSpace;
    case SDLK_INSERT: return kVkInsert;
    case SDLK_DELETE: return kVkDelete;
    case SDLK_HOME: return kVkHome;
    case SDLK_END: return kVkEnd;
    case SDLK_PAGEUP: return kVkPageUp;
    case SDLK_PAGEDOWN: return kVkPageDown;
    case SDLK_UP: return kVkUp;
    case SDLK_DOWN: return kVkDown;
    case SDLK_LEFT: return kVkLeft;
    case SDLK_RIGHT: return kVkRight;
    case SDLK_CANCEL: return kVkCancel;
    case SDLK_PAUSE: return (sym.mod & KMOD_CTRL) ? kVkCancel : kVkOther;
    default: break;
  }
  if (!num_lock) {
    switch (k) {
      case SDLK_KP_0: return kVkInsert;
      case SDLK_KP_PERIOD: return kVkDelete;
      case SDLK_KP_7: return kVkHome;
      case SDLK_KP_1: return kVkEnd;
      case SDLK_KP_9: return kVkPageUp;
      case SDLK_KP_3: return kVkPageDown;
      case SDLK_KP_8: return kVkUp;
      case SDLK_KP_2: return kVkDown;
      case SDLK_KP_4: return kVkLeft;
      case SDLK_KP_6: return kVkRight;
      default: break;
    }
  }
  return kVkOther;
}

// The control byte of a punctuation key typed with Ctrl (Ctrl+[ 27, Ctrl+\ 28, Ctrl+] 29, Ctrl+^
// 30, Ctrl+_ 31; ^ and _ are Shift+6 and Shift+- where they share a key), or -1. Text input
// reports nothing while Ctrl is held, so these bytes come from the key itself.
int CtrlPunctuation(const SDL_Keysym& sym) {
  const bool shift = (sym.mod & KMOD_SHIFT) != 0;
  switch (sym.sym) {
    case SDLK_LEFTBRACKET: return 27;
    case SDLK_BACKSLASH: return 28;
    case SDLK_RIGHTBRACKET: return 29;
    case SDLK_CARET: return 30;
    case SDLK_UNDERSCORE: return 31;
    case SDLK_6: return shift ? 30 : -1;
    case SDLK_MINUS: return shift ? 31 : -1;
    default: return -1;
  }
}

// Shift, Ctrl and the left Alt; the right Alt is AltGr on the layouts our users type on, which
// types characters rather than commands.
InputModifiers ModifiersOf(Uint16 mod) {
  InputModifiers mods;
  mods.shift = (mod & KMOD_SHIFT) != 0;
  mods.ctrl = (mod & KMOD_CTRL) != 0;
  mods.alt = (mod & KMOD_LALT) != 0;
  return mods;
}

class SdlDisplay final : public Display {
 public:
  ~SdlDisplay() override { Close(); }

  bool Open(const ScreenCells& cells, const DisplaySetup& setup) override {
    cells_ = &cells;
    if (TTF_Init() != 0) return false;
    ttf_ready_ = true;
    font_file_ = FindFontFile(setup.font_face, setup.weight);
    if (font_file_.empty()) font_file_ = FindFontFile("DejaVu Sans Mono", setup.weight);
    if (font_file_.empty()) font_file_ = FindFontFile("monospace", setup.weight);
    char_height_ = setup.char_height;
    font_ = font_file_.empty() ? nullptr : OpenFontWithHeight(font_file_, char_height_);
    cell_width_ = std::max(setup.char_width, 1);
    cell_height_ = font_ != nullptr ? std::max(TTF_FontLineSkip(font_), 1) : char_height_;
    ascent_ = font_ != nullptr ? TTF_FontAscent(font_) : char_height_ - 2;
    const int width = ScreenCells::kColumns * cell_width_;
    const int height = ScreenCells::kRows * cell_height_;
    const int position = setup.maximised ? 0 : SDL_WINDOWPOS_UNDEFINED;
    window_ = SDL_CreateWindow(title_.c_str(), position, position, width, height,
                               SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (window_ == nullptr) return false;
    // The window can shrink to 16 columns by 4 rows and grow no larger than the grid (or the
    // screen).
    SDL_Rect bounds{0, 0, width, height};
    SDL_GetDisplayBounds(0, &bounds);
    SDL_SetWindowMinimumSize(window_, 16 * cell_width_, 4 * cell_height_);
    SDL_SetWindowMaximumSize(window_, std::min(width, bounds.w), std::min(height, bounds.h));
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_TARGETTEXTURE);
    if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (renderer_ == nullptr) return false;
    canvas_ = MakeCanvas();
    scratch_ = MakeCanvas();
    if (canvas_ == nullptr) return false;
    maximised_ = setup.maximised;
    // A window that opens minimised stays unmapped: mapping it would put it in front, and
    // without a window manager also give it the keyboard, which nobody would then take back.
    if (!setup.start_minimised) Show();
    SDL_StartTextInput();
    RedrawAll();
    Present();
    return true;
  }

  void Close() override {
    DropGlyphs(glyphs_);
    DropGlyphs(big_glyphs_);
    if (picture_texture_ != nullptr) SDL_DestroyTexture(picture_texture_);
    picture_texture_ = nullptr;
    if (canvas_ != nullptr) SDL_DestroyTexture(canvas_);
    if (scratch_ != nullptr) SDL_DestroyTexture(scratch_);
    canvas_ = scratch_ = nullptr;
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    renderer_ = nullptr;
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    window_ = nullptr;
    shown_ = false;
    if (big_font_ != nullptr) TTF_CloseFont(big_font_);
    big_font_ = nullptr;
    if (font_ != nullptr) TTF_CloseFont(font_);
    font_ = nullptr;
    if (ttf_ready_) {
      TTF_Quit();
      // The font was found through fontconfig, whose configuration stays loaded until released.
      FcFini();
    }
    ttf_ready_ = false;
    cells_ = nullptr;
  }

  void WorkArea(int& width, int& height) override {
    SDL_Rect area;
    if (SDL_GetDisplayUsableBounds(0, &area) == 0 && area.w > 0 && area.h > 0) {
      width = area.w;
      height = area.h;
    }
  }

  void DrawRow(int row, int left, int right) override {
    if (canvas_ == nullptr || right <= left) return;
    SDL_SetRenderTarget(renderer_, canvas_);
    DrawCells(row, left, right);
    SDL_SetRenderTarget(renderer_, nullptr);
    dirty_ = true;
  }

  void Scrolled(bool slow) override {
    if (canvas_ == nullptr) return;
    if (!slow || !MayMovePixels() || scratch_ == nullptr) {
      RedrawAll();
      return;
    }
    // Moves the pixels of rows 2..25 up one row and fills the last with the background colour.
    SDL_SetRenderTarget(renderer_, scratch_);
    const int width = ScreenCells::kColumns * cell_width_;
    const SDL_Rect from{0, cell_height_, width, (ScreenCells::kRows - 1) * cell_height_};
    const SDL_Rect to{0, 0, width, (ScreenCells::kRows - 1) * cell_height_};
    SDL_RenderCopy(renderer_, canvas_, &from, &to);
    const Rgb bg = cells_->colours[cells_->Attr(ScreenCells::kRows - 1, 0) >> 4];
    SDL_SetRenderDrawColor(renderer_, bg.r, bg.g, bg.b, 255);
    const SDL_Rect last{0, (ScreenCells::kRows - 1) * cell_height_, width, cell_height_};
    SDL_RenderFillRect(renderer_, &last);
    SDL_SetRenderTarget(renderer_, nullptr);
    std::swap(canvas_, scratch_);
    dirty_ = true;
  }

  void RedrawAll() override {
    if (canvas_ == nullptr) return;
    SDL_SetRenderTarget(renderer_, canvas_);
    for (int row = 0; row < ScreenCells::kRows; ++row) DrawCells(row, 0, ScreenCells::kColumns);
    if (picture_texture_ != nullptr) {
      const SDL_Rect at{picture_x_, picture_y_, picture_width_, picture_height_};
      SDL_RenderCopy(renderer_, picture_texture_, nullptr, &at);
    }
    SDL_SetRenderTarget(renderer_, nullptr);
    dirty_ = true;
  }

  void SetTitle(std::string_view utf8) override {
    title_ = std::string(utf8);
    if (window_ != nullptr) SDL_SetWindowTitle(window_, title_.c_str());
  }

  void ShowNormal() override {
    if (window_ == nullptr) return;
    if (!shown_) Show();
    SDL_RestoreWindow(window_);
    SDL_RaiseWindow(window_);
  }

  // A window that was never shown is out of sight already.
  void Minimize() override {
    if (window_ != nullptr && shown_) SDL_MinimizeWindow(window_);
  }

  // The desktop offers no bell through SDL; the beep is left silent.
  void Beep() override {}

  void SetCaret(bool shown, int column, int row) override {
    caret_shown_ = shown;
    caret_column_ = column;
    caret_row_ = row;
    dirty_ = true;
    Present();
  }

  void Flush() override { Present(); }

  bool NextEvent(int timeout_ms, DisplayEvent& event) override {
    if (!pending_.empty()) return TakePending(event);
    // A quick look for events between writes shows the drawing at most every 20 ms; a wait
    // shows it at once.
    if (timeout_ms != 0 || SDL_GetTicks() - last_present_ >= 20) Present();
    SDL_Event e;
    const Uint32 start = SDL_GetTicks();
    for (;;) {
      int got = 0;
      if (timeout_ms < 0) {
        got = SDL_WaitEvent(&e);
      } else {
        const int left = timeout_ms - static_cast<int>(SDL_GetTicks() - start);
        got = left > 0 ? SDL_WaitEventTimeout(&e, left) : SDL_PollEvent(&e);
      }
      if (got == 0) return false;
      Translate(e);
      if (!pending_.empty()) return TakePending(event);
      if (timeout_ms != 0) Present();
    }
  }

  bool SeesFocus() override { return window_ != nullptr; }

  unsigned long NativeWindowId() override {
    if (window_ == nullptr) return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window_, &info) != SDL_TRUE) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
    if (info.subsystem == SDL_SYSWM_X11) return static_cast<unsigned long>(info.info.x11.window);
#endif
    return 0;
  }

  bool Focused() override {
    return window_ != nullptr && (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0;
  }

  bool PointerPosition(int& x, int& y) override {
    if (window_ == nullptr) return false;
    SDL_GetGlobalMouseState(&x, &y);
    return true;
  }

  bool WindowOrigin(int& left, int& top) override {
    if (window_ == nullptr) return false;
    SDL_GetWindowPosition(window_, &left, &top);
    return true;
  }

  void ShowPicture(const PictureImage& picture, int x, int y) override {
    if (picture_texture_ != nullptr) SDL_DestroyTexture(picture_texture_);
    picture_texture_ = nullptr;
    if (renderer_ == nullptr) return;
    if (picture.pixels.empty()) {
      RedrawAll();
      return;
    }
    picture_texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888,
                                         SDL_TEXTUREACCESS_STATIC, picture.width, picture.height);
    if (picture_texture_ == nullptr) return;
    SDL_UpdateTexture(picture_texture_, nullptr, picture.pixels.data(), picture.width * 4);
    picture_x_ = x;
    picture_y_ = y;
    picture_width_ = picture.width;
    picture_height_ = picture.height;
    SDL_SetRenderTarget(renderer_, canvas_);
    const SDL_Rect at{x, y, picture.width, picture.height};
    SDL_RenderCopy(renderer_, picture_texture_, nullptr, &at);
    SDL_SetRenderTarget(renderer_, nullptr);
    dirty_ = true;
    Present();
  }

  void DrawMagnifiedLine(int row, int factor, std::span<const MagnifiedRun> runs) override {
    if (canvas_ == nullptr || factor <= 0 || font_file_.empty()) return;
    if (big_font_ == nullptr || big_factor_ != factor) {
      DropGlyphs(big_glyphs_);
      if (big_font_ != nullptr) TTF_CloseFont(big_font_);
      big_font_ = OpenFontWithHeight(font_file_, char_height_ * factor);
      big_factor_ = factor;
      if (big_font_ == nullptr) return;
    }
    SDL_SetRenderTarget(renderer_, canvas_);
    const int advance = cell_width_ * factor;
    const int height = TTF_FontHeight(big_font_);
    const int limit = ScreenCells::kColumns * cell_width_;
    int x = 0;
    const int y = row * cell_height_;
    for (const MagnifiedRun& run : runs) {
      for (const char c : run.text) {
        if (x >= limit) break;
        const SDL_Rect cell{x, y, advance, height};
        SDL_SetRenderDrawColor(renderer_, run.background.r, run.background.g, run.background.b, 255);
        SDL_RenderFillRect(renderer_, &cell);
        DrawGlyph(big_font_, big_glyphs_, static_cast<unsigned char>(c), cell, run.foreground);
        x += advance;
      }
    }
    SDL_SetRenderTarget(renderer_, nullptr);
    dirty_ = true;
    Present();
  }

  bool ClipboardPut(std::string_view utf8) override {
    return SDL_SetClipboardText(std::string(utf8).c_str()) == 0;
  }

  bool ClipboardGet(std::string& utf8) override {
    if (SDL_HasClipboardText() != SDL_TRUE) {
      utf8.clear();
      return true;
    }
    char* text = SDL_GetClipboardText();
    if (text == nullptr) return false;
    utf8 = text;
    SDL_free(text);
    return true;
  }

 private:
  using GlyphCache = std::array<SDL_Texture*, 256>;

  void Show() {
    SDL_ShowWindow(window_);
    if (maximised_) SDL_MaximizeWindow(window_);
    shown_ = true;
  }

  SDL_Texture* MakeCanvas() {
    SDL_Texture* texture =
        SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                          ScreenCells::kColumns * cell_width_, ScreenCells::kRows * cell_height_);
    return texture;
  }

  static void DropGlyphs(GlyphCache& cache) {
    for (SDL_Texture*& t : cache) {
      if (t != nullptr) SDL_DestroyTexture(t);
      t = nullptr;
    }
  }

  // Draws one glyph, rendered once in white and tinted, stretched to the cell.
  void DrawGlyph(TTF_Font* font, GlyphCache& cache, unsigned char byte, const SDL_Rect& cell,
                 const Rgb& colour) {
    if (font == nullptr || byte == ' ') return;
    SDL_Texture*& glyph = cache[byte];
    if (glyph == nullptr) {
      SDL_Surface* surface = TTF_RenderGlyph32_Blended(font, CodePoint(byte), {255, 255, 255, 255});
      if (surface == nullptr) return;
      glyph = SDL_CreateTextureFromSurface(renderer_, surface);
      SDL_FreeSurface(surface);
      if (glyph == nullptr) return;
    }
    SDL_SetTextureColorMod(glyph, colour.r, colour.g, colour.b);
    int w = 0;
    int h = 0;
    SDL_QueryTexture(glyph, nullptr, nullptr, &w, &h);
    const SDL_Rect to{cell.x, cell.y, cell.w, std::min(h, cell.h)};
    const SDL_Rect from{0, 0, w, std::min(h, cell.h)};
    SDL_RenderCopy(renderer_, glyph, &from, &to);
  }

  void DrawCells(int row, int left, int right) {
    for (int column = left; column < right; ++column) {
      const unsigned char attr = cells_->Attr(row, column);
      const Rgb& bg = cells_->colours[attr >> 4];
      const SDL_Rect cell{column * cell_width_, row * cell_height_, cell_width_, cell_height_};
      SDL_SetRenderDrawColor(renderer_, bg.r, bg.g, bg.b, 255);
      SDL_RenderFillRect(renderer_, &cell);
      DrawGlyph(font_, glyphs_, cells_->Char(row, column), cell, cells_->colours[attr & 15]);
    }
  }

  // Moving pixels is done only while the window has the focus and lies wholly above the bottom
  // of the screen.
  bool MayMovePixels() {
    if (!Focused()) return false;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window_, &x, &y);
    SDL_GetWindowSize(window_, &w, &h);
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) != 0) return false;
    return y + h < bounds.h - 32;
  }

  void Present() {
    if (!dirty_ || renderer_ == nullptr || canvas_ == nullptr) return;
    dirty_ = false;
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, canvas_, nullptr, nullptr);
    if (caret_shown_ && cells_ != nullptr) {
      const Rgb& fg = cells_->colours[cells_->Attr(caret_row_, caret_column_) & 15];
      SDL_SetRenderDrawColor(renderer_, fg.r, fg.g, fg.b, 255);
      const SDL_Rect caret{caret_column_ * cell_width_, caret_row_ * cell_height_ + ascent_,
                           cell_width_, 2};
      SDL_RenderFillRect(renderer_, &caret);
    }
    SDL_RenderPresent(renderer_);
    last_present_ = SDL_GetTicks();
  }

  bool TakePending(DisplayEvent& event) {
    event = pending_[pending_head_++];
    if (pending_head_ == pending_.size()) {
      pending_.clear();
      pending_head_ = 0;
    }
    return true;
  }

  void Push(const DisplayEvent& event) { pending_.push_back(event); }
  void PushChar(unsigned char byte, InputModifiers mods) {
    DisplayEvent c;
    c.type = DisplayEvent::Type::kChar;
    c.byte = byte;
    c.mods = mods;
    Push(c);
  }

  void Translate(const SDL_Event& e) {
    DisplayEvent out;
    switch (e.type) {
      case SDL_QUIT:
        out.type = DisplayEvent::Type::kClose;
        Push(out);
        break;
      case SDL_WINDOWEVENT:
        switch (e.window.event) {
          case SDL_WINDOWEVENT_CLOSE:
            out.type = DisplayEvent::Type::kClose;
            Push(out);
            break;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            out.type = DisplayEvent::Type::kFocusGained;
            out.buttons_down = SDL_GetMouseState(nullptr, nullptr) != 0;
            Push(out);
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            out.type = DisplayEvent::Type::kFocusLost;
            Push(out);
            break;
          default:
            dirty_ = true;
        }
        break;
      case SDL_KEYDOWN: {
        const InputModifiers mods = ModifiersOf(e.key.keysym.mod);
        out.key = VirtualKeyOf(e.key.keysym);
        out.mods = mods;
        const bool system = !mods.ctrl && (mods.alt || out.key == kVkF1 + 9);
        out.type = system ? DisplayEvent::Type::kSystemKeyDown : DisplayEvent::Type::kKeyDown;
        Push(out);
        // The keys that type control characters, which text input does not report.
        if (mods.alt) break;
        int control = -1;
        bool letter = false;
        switch (e.key.keysym.sym) {
          case SDLK_RETURN: case SDLK_KP_ENTER: control = 13; break;
          case SDLK_BACKSPACE: control = 8; break;
          case SDLK_TAB: control = 9; break;
          case SDLK_ESCAPE: control = 27; break;
          default:
            if (mods.ctrl && out.key >= 'A' && out.key <= 'Z') {
              control = out.key - 'A' + 1;
              letter = true;
            } else if (mods.ctrl) {
              control = CtrlPunctuation(e.key.keysym);
            }
        }
        if (control >= 0) {
          InputModifiers typed = mods;
          typed.letter = letter;
          PushChar(static_cast<unsigned char>(control), typed);
        }
        break;
      }
      case SDL_KEYUP:
        out.type = DisplayEvent::Type::kKeyUp;
        out.key = VirtualKeyOf(e.key.keysym);
        out.mods = ModifiersOf(e.key.keysym.mod);
        Push(out);
        break;
      case SDL_TEXTINPUT: {
        const InputModifiers mods = ModifiersOf(SDL_GetModState());
        if (mods.alt && !mods.ctrl) break;  // Alt with a character is a window command
        for (const char b : Utf8ToCp1252(e.text.text)) PushChar(static_cast<unsigned char>(b), mods);
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
        out.type = DisplayEvent::Type::kMouseDown;
        out.button = e.button.button == SDL_BUTTON_LEFT     ? 1
                     : e.button.button == SDL_BUTTON_MIDDLE ? 2
                     : e.button.button == SDL_BUTTON_RIGHT  ? 3
                                                            : 0;
        if (out.button != 0) Push(out);
        break;
      case SDL_MOUSEWHEEL: {
        int y = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
        out.type = DisplayEvent::Type::kWheel;
        out.wheel = y;
        Push(out);
        break;
      }
      default:
        break;
    }
  }

  const ScreenCells* cells_ = nullptr;
  bool ttf_ready_ = false;
  std::string font_file_;
  TTF_Font* font_ = nullptr;
  TTF_Font* big_font_ = nullptr;
  int big_factor_ = 0;
  int char_height_ = 28;
  int cell_width_ = 13;
  int cell_height_ = 28;
  int ascent_ = 22;
  SDL_Window* window_ = nullptr;
  bool shown_ = false;
  bool maximised_ = false;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* canvas_ = nullptr;
  SDL_Texture* scratch_ = nullptr;
  GlyphCache glyphs_{};
  GlyphCache big_glyphs_{};
  SDL_Texture* picture_texture_ = nullptr;
  int picture_x_ = 0, picture_y_ = 0, picture_width_ = 0, picture_height_ = 0;
  std::string title_ = "navelo";
  bool dirty_ = false;
  Uint32 last_present_ = 0;
  bool caret_shown_ = false;
  int caret_column_ = 0;
  int caret_row_ = 0;
  std::vector<DisplayEvent> pending_;
  size_t pending_head_ = 0;
};

}  // namespace

std::unique_ptr<Display> MakeWindowDisplay() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
  return std::make_unique<SdlDisplay>();
}

}  // namespace navelo
