// The braille display through BrlAPI (the brltty daemon, local or at BRLAPI_HOST). A missing
// daemon, or one that goes away mid-run, only makes the binding inactive: no message, no wait.
#include "platform/braille_display.h"

#if defined(NAVELO_HAVE_BRLAPI)
#define BRLAPI_NO_DEPRECATED
#define BRLAPI_NO_SINGLE_SESSION
#include <brlapi.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/text_encoding.h"

namespace navelo {

namespace {

// The library's own handler prints the error and ends the process; a braille display that
// misbehaves must never end the program, so errors reported this way are dropped and the calls
// that met them fail as usual.
void IgnoreException(brlapi_handle_t*, int, brlapi_packetType_t, const void*, size_t) {}

class BrlapiDisplay final : public BrailleDisplay {
 public:
  BrlapiDisplay() : handle_storage_(brlapi_getHandleSize()) {}
  ~BrlapiDisplay() override { Drop(); }

  bool Open(std::string& reason) override {
    if (connected_) return true;
    // Writing to a daemon that has gone away must fail the write, not kill the process.
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      signal(SIGPIPE, SIG_IGN);
    }
    brlapi__setExceptionHandler(Handle(), IgnoreException);
    brlapi_connectionSettings_t settings = BRLAPI_SETTINGS_INITIALIZER;
    if (brlapi__openConnection(Handle(), &settings, nullptr) < 0) {
      reason = "sem ligação ao brltty";
      return false;
    }
    connected_ = true;
    unsigned int x = 0;
    unsigned int y = 0;
    if (brlapi__getDisplaySize(Handle(), &x, &y) < 0 || x == 0 || y == 0) {
      reason = "o brltty não tem linha braille";
      Drop();
      return false;
    }
    // The console is not a terminal of the system: take the display wherever brltty is, and
    // fall back to the root of the tty tree when there is no controlling terminal (ssh, X, none).
    if (brlapi__enterTtyMode(Handle(), BRLAPI_TTY_DEFAULT, "") < 0 &&
        brlapi__enterTtyModeWithPath(Handle(), nullptr, 0, "") < 0) {
      reason = "o brltty recusou a linha braille";
      Drop();
      return false;
    }
    // Every key of the display comes to the console, none stays with brltty.
    brlapi__acceptAllKeys(Handle());
    cells_ = static_cast<int>(x * y);
    cells_buffer_.assign(cells_, 0);
    return true;
  }

  int CellCount() const override { return connected_ ? cells_ : 0; }

  void Write(std::span<const uint8_t> cells) override {
    if (!connected_) return;
    const size_t n = std::min(cells.size(), cells_buffer_.size());
    std::copy_n(cells.begin(), n, cells_buffer_.begin());
    std::fill(cells_buffer_.begin() + static_cast<std::ptrdiff_t>(n), cells_buffer_.end(), 0);
    if (brlapi__writeDots(Handle(), cells_buffer_.data()) < 0) Drop();
  }

  bool NextKey(BrailleKey& key) override {
    while (connected_) {
      brlapi_keyCode_t code = 0;
      const int got = brlapi__readKey(Handle(), 0, &code);
      if (got < 0) {
        Drop();
        return false;
      }
      if (got == 0) return false;
      if (Translate(code, key)) return true;
    }
    return false;
  }

 private:
  brlapi_handle_t* Handle() { return reinterpret_cast<brlapi_handle_t*>(handle_storage_.data()); }

  void Drop() {
    if (!connected_) return;
    connected_ = false;
    cells_ = 0;
    brlapi__closeConnection(Handle());
  }

  static bool Translate(brlapi_keyCode_t code, BrailleKey& key) {
    using Kind = BrailleKey::Kind;
    key = BrailleKey{};
    if ((code & BRLAPI_KEY_TYPE_MASK) == BRLAPI_KEY_TYPE_CMD) {
      const brlapi_keyCode_t block = code & BRLAPI_KEY_CMD_BLK_MASK;
      const unsigned arg = static_cast<unsigned>(code & BRLAPI_KEY_CMD_ARG_MASK);
      if (block == BRLAPI_KEY_CMD_PASSDOTS) {
        key.dots = static_cast<int>(arg & 0xFF);
        key.with_space = (arg & BRLAPI_DOTC) != 0;
        key.kind = key.dots == 0 ? Kind::kBlank : Kind::kDots;
        return true;
      }
      switch (code & BRLAPI_KEY_CODE_MASK) {
        case BRLAPI_KEY_CMD_LNUP: key.kind = Kind::kLineUp; return true;
        case BRLAPI_KEY_CMD_LNDN: key.kind = Kind::kLineDown; return true;
        default: return false;
      }
    }
    const brlapi_keyCode_t sym = code & BRLAPI_KEY_CODE_MASK;
    switch (sym) {
      case BRLAPI_KEY_SYM_BACKSPACE: key.kind = Kind::kBackspace; return true;
      case BRLAPI_KEY_SYM_LINEFEED: key.kind = Kind::kEnter; return true;
      case BRLAPI_KEY_SYM_ESCAPE: key.kind = Kind::kEscape; return true;
      case BRLAPI_KEY_SYM_HOME: key.kind = Kind::kHome; return true;
      case BRLAPI_KEY_SYM_END: key.kind = Kind::kEnd; return true;
      case BRLAPI_KEY_SYM_UP: key.kind = Kind::kLineUp; return true;
      case BRLAPI_KEY_SYM_DOWN: key.kind = Kind::kLineDown; return true;
      default: break;
    }
    // Characters: Latin-1 key symbols, or Unicode ones flagged as such.
    char32_t ch = 0;
    if (sym < 0x100) {
      ch = static_cast<char32_t>(sym);
    } else if ((sym & 0xFF000000u) == BRLAPI_KEY_SYM_UNICODE) {
      ch = static_cast<char32_t>(sym & (BRLAPI_KEY_SYM_UNICODE - 1));
    } else {
      return false;
    }
    if (ch == ' ') {
      key.kind = Kind::kBlank;
      return true;
    }
    const int byte = CodePointToCp1252(ch);
    if (byte < 0) return false;
    key.kind = Kind::kCharacter;
    key.character = static_cast<unsigned char>(byte);
    return true;
  }

  std::vector<unsigned char> handle_storage_;
  std::vector<unsigned char> cells_buffer_;
  bool connected_ = false;
  int cells_ = 0;
};

}  // namespace

std::unique_ptr<BrailleDisplay> MakeBrailleDisplay() { return std::make_unique<BrlapiDisplay>(); }

}  // namespace navelo

#else

namespace navelo {

std::unique_ptr<BrailleDisplay> MakeBrailleDisplay() {
  return MakeNoBrailleDisplay("braille indisponível: compilado sem BrlAPI");
}

}  // namespace navelo

#endif
