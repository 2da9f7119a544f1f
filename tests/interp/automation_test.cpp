// Tests of the desktop automation commands against fake desktop backends: the keys each form
// sends, clicks and their origin, windows found by title, the clipboard, pictures, the
// accessibility sub-commands, the switch port, and the forms that fail.
#include <fstream>

#include "fake_services.h"
#include "tests/fixtures/fake_desktop.h"
#include "tests/fixtures/jpeg_samples.h"

namespace navelo::testing {
namespace {

using Events = std::vector<std::string>;

class AutomationTest : public InterpreterTest {
 protected:
  AutomationTest() {
    input.UseSimpleLayout();
    in.keys.UseInput(input);
    in.keys.SetPause([this](int ms) { paused += ms; });
    in.windows = &windows;
    in.accessibility.UseBackend(accessibility);
    in.sensor.UsePort(port);
    in.sensor.SetPause([](int) {});
  }
  void Expect(std::string_view script, int result, const Events& events) {
    input.events.clear();
    EXPECT_EQ(Run(script).result, result) << script;
    EXPECT_EQ(input.events, events) << script;
  }
  void WriteFile(const std::string& name, std::string_view bytes) {
    std::ofstream(dir_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  FakeInput input;
  FakeWindows windows;
  FakeAccessibility accessibility;
  FakePort port;
  int paused = 0;
};

TEST_F(AutomationTest, AcionaTakesModifiersInTheirOrderOnly) {
  Expect("aciona \"ctrl+shift+esc\"", 0,
         {"down:16", "down:17", "down:27", "up:27", "up:16", "up:17"});
  Expect("aciona \"shift+ctrl+esc\"", 1, {});
  Expect("aciona \"CTRL+c\"", 0, {"down:17", "down:67", "up:67", "up:17"});
  Expect("aciona \"alt+F4\"", 0, {"down:18", "down:115", "up:115", "up:18"});
  Expect("aciona \"#93\"", 0, {"down:93", "up:93"});
  Expect("aciona \"#x\"", 1, {});
  Expect("aciona \"a\"", 0, {"down:65", "up:65"});  // the A key, unshifted
  Expect("aciona \"ab\"", 1, {});
  Expect("aciona \"ctrl+\"", 1, {});
  Expect("aciona \"ctrl+naoexiste\"", 1, {});
  Expect("aciona \"\"", 1, {});
  Expect("aciona \"home\" x", 1, {});
  Expect("aciona \"shift+pagedn\"", 0, {"down:16", "down:34+x", "up:34+x", "up:16"});
}

TEST_F(AutomationTest, DigitaTypesTheTextAndEnterUnlessAmpersand) {
  Expect("digita \"Ab\" &", 0, {"down:16", "down:65", "up:65", "up:16", "down:66", "up:66"});
  EXPECT_EQ(paused, 200);
  Expect("digita \"a\"", 0, {"down:65", "up:65", "down:13", "up:13"});
  Expect("digita", 1, {});
  Expect("digita \"a\" \"b\"", 1, {});
}

TEST_F(AutomationTest, WithoutADesktopTheInputCommandsSayWhyAndFail) {
  input.not_ready = "n\xC3\xA3o h\xC3\xA1 display gr\xC3\xA1" "fico";
  Expect("digita \"a\"", 1, {});
  EXPECT_EQ(console.written, "DIGITA n\xE3o dispon\xEDvel: n\xE3o h\xE1 display gr\xE1" "fico.\r\n");
  console.written.clear();
  Expect("clica tela 1, 2", 1, {});
  EXPECT_EQ(console.written, "CLICA n\xE3o dispon\xEDvel: n\xE3o h\xE1 display gr\xE1" "fico.\r\n");
  windows.not_ready = "sem janelas";
  console.written.clear();
  EXPECT_EQ(Run("janela fecha \"x\"").result, 1);
  EXPECT_EQ(console.written, "JANELA n\xE3o dispon\xEDvel: sem janelas.\r\n");
}

TEST_F(AutomationTest, ClicaAtScreenOrWindowPositions) {
  Expect("clica duplo tela 100,200", 0,
         {"move:100,200", "button:down", "button:up", "button:down", "button:up"});
  Expect("clica nulo tela 3 , 4", 0, {"move:3,4"});
  // Relative to the foreground window: its left edge plus the frame, its top plus 4.
  windows.windows = {{7, "Editor"}};
  Expect("clica 10 20", 0, {"move:114,74", "button:down", "button:up"});
  Expect("clica tela 5,6 x", 1, {"move:5,6", "button:down", "button:up"});
  Expect("clica tela 5,x", 1, {});
  // Off the screen: refused, nothing clicked at the edge.
  Expect("clica tela 1024,10", 1, {});
  Expect("clica tela -1,10", 1, {});
  Expect("clica 1000 10", 1, {});
}

TEST_F(AutomationTest, JanelaFindsWindowsByTitleWithStars) {
  windows.windows = {{1, "Documento - Bloco de notas"}, {2, "Bloco de notas"},
                     {3, "Calculadora"}};
  EXPECT_EQ(Run("janela fecha \"nada disso\"").result, 0);
  EXPECT_EQ(in.io_status, 1);
  EXPECT_TRUE(windows.acts.empty());
  EXPECT_EQ(Run("janela minimiza \"*bloco\"").result, 0);
  EXPECT_EQ(in.io_status, 0);
  EXPECT_EQ(windows.acts, Events{"minimise:2"});
  EXPECT_EQ(Run("janela maximiza \"notas*\"").result, 0);   // ends with
  EXPECT_EQ(Run("janela normal \"*calculadora*\"").result, 0);  // equals
  EXPECT_EQ(Run("janela FECHA \"de not\"").result, 0);        // contains
  EXPECT_EQ(windows.acts, (Events{"minimise:2", "maximise:1", "normal:3", "close:1"}));
  EXPECT_EQ(Run("janela pisca \"calc\"").result, 1);
  EXPECT_EQ(Run("janela pisca \"nenhuma\"").result, 0);
  EXPECT_EQ(Run("janela").result, 1);
}

TEST_F(AutomationTest, CapturaReadsTheForegroundTitleAndTheField) {
  windows.windows = {{9, "Caixa de entrada \x96 Correio"}};
  console.window_handle = 5;
  EXPECT_EQ(Run("captura t\xEDtulo a\ncaptura ativa $b\ncaptura foco c").result, 0);
  EXPECT_EQ(Var('a'), "Caixa de entrada \x96 Correio");
  EXPECT_EQ(Var("B"), Var('a'));
  EXPECT_EQ(Var('c'), "");  // the focus is in another program
  console.window_handle = 9;
  EXPECT_EQ(Run("captura foco c").result, 0);
  EXPECT_EQ(Var('c'), Var('a'));
  console.clipboard = std::string(300, 'z');
  input.events.clear();
  EXPECT_EQ(Run("captura campo d").result, 0);
  EXPECT_EQ(Var('d'), std::string(254, 'z'));
  EXPECT_EQ(input.events, (Events{"down:36+x", "up:36+x", "down:16", "down:35+x", "up:35+x",
                                  "up:16", "down:17", "down:45+x", "up:45+x", "up:17"}));
  EXPECT_EQ(Run("captura").result, 1);
  EXPECT_EQ(Run("captura titulo").result, 1);
}

TEST_F(AutomationTest, TransfereMovesTextThroughTheClipboard) {
  EXPECT_EQ(Run("seja a \"ol\xE1\"\ntransfere de a\ntransfere para $b").result, 0);
  EXPECT_EQ(console.clipboard, "ol\xE1");
  EXPECT_EQ(Var("B"), "ol\xE1");
  EXPECT_EQ(Run("transfere").result, 1);
  EXPECT_EQ(Run("transfere dea").result, 1);
  EXPECT_EQ(Run("transfere de a b").result, 1);
}

TEST_F(AutomationTest, EsperaSeesTheForegroundTitle) {
  windows.windows = {{4, "Instalador - Passo 2"}};
  EXPECT_EQ(Run("espera 3 \"passo 2\"").result, 0);
  EXPECT_EQ(in.io_status, 0);
  EXPECT_LT(console.delayed, 500);  // found at the first look
  console.delayed = 0;
  EXPECT_EQ(Run("espera 2 \"passo 3\"").result, 0);
  EXPECT_EQ(in.io_status, 1);
  EXPECT_GE(console.delayed, 2000);  // four looks, 500 ms apart
  EXPECT_LT(console.delayed, 2500);
}

TEST_F(AutomationTest, ImagemShowsBmpAndConvertedJpeg) {
  WriteFile("foto.jpeg", kColourJpeg);
  WriteFile("cinza.JPG", kGreyJpeg);
  EXPECT_EQ(Run("imagem \"c:\\foto.jpeg\" 10 20").result, 0);
  EXPECT_EQ(Run("imagem \"c:\\cinza.JPG\"").result, 0);
  EXPECT_EQ(console.pictures, (Events{"16x8 at 10,20", "5x3 at 0,0"}));
  // The grey level survives the conversion (through an 8-bit grey bitmap).
  EXPECT_NEAR(static_cast<int>(console.loaded_picture.pixels[0] & 0xFF), 200, 2);
  EXPECT_FALSE(fs::exists(dir_ / "$$$.bmp"));
  EXPECT_EQ(Run("imagem").result, 0);
  EXPECT_EQ(Run("imagem \"c:\\falta.bmp\" &").result, 0);
  EXPECT_EQ(Run("imagem \"c:\\falta.bmp\"").result, 1);
  EXPECT_EQ(Run("imagem \"c:\\foto.jpeg\" 10").result, 1);
  EXPECT_EQ(console.pictures.size(), 2u);
}

TEST_F(AutomationTest, DamagedOrHugeJpegFailsCleanly) {
  std::string huge(kColourJpeg);
  const size_t sof = huge.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  huge.replace(sof + 5, 4, "\x75\x30\x75\x30");  // 30000 x 30000
  WriteFile("huge.jpg", huge);
  WriteFile("cut.jpg", kColourJpeg.substr(0, 200));
  WriteFile("noise.jpg", "\xFF\xD8\xFF\xDB garbage that is not a picture");
  for (const char* name : {"huge.jpg", "cut.jpg", "noise.jpg"}) {
    EXPECT_EQ(Run(std::string("imagem \"c:\\") + name + "\"").result, 1) << name;
    EXPECT_EQ(Run(std::string("imagem \"c:\\") + name + "\" &").result, 0) << name;
  }
  EXPECT_TRUE(console.pictures.empty());
}

TEST_F(AutomationTest, MsaaSubCommands) {
  AccessibleInfo info;
  info.role_code = 44;
  info.role_text = "caixa de sele\xE7\xE3o";
  info.name = "Aceito os termos";
  info.checked = true;
  info.has_location = true;
  info.left = 1, info.top = 2, info.width = 3, info.height = 4;
  info.value = "sim";
  EXPECT_EQ(Run("msaa monitora\nmsaa checa a").result, 0);
  EXPECT_EQ(Var('a'), "0");
  accessibility.Push(32773, info);
  EXPECT_EQ(Run("msaa checa a\nmsaa nome b\nmsaa tipo c\nmsaa estado d\nmsaa valor e\n"
                "msaa codigo f\nmsaa area g h i j")
                .result,
            0);
  EXPECT_EQ(Var('a'), "1");
  EXPECT_EQ(Var('b'), "Aceito os termos");
  EXPECT_EQ(Var('c'), "caixa de sele\xE7\xE3o");
  EXPECT_EQ(Var('d'), "marcado");
  EXPECT_EQ(Var('e'), "sim");
  EXPECT_EQ(Var('f'), "44");
  EXPECT_EQ(Var('g') + Var('h') + Var('i') + Var('j'), "1234");
  info.name = "Enviar";
  info.unavailable = true;
  accessibility.at_point = std::make_shared<FakeTarget>(info);
  EXPECT_EQ(Run("msaa captura 40, 50\nmsaa nome b\nmsaa estado d\nmsaa fim").result, 0);
  EXPECT_EQ(accessibility.asked_at, Events{"40,50"});
  EXPECT_EQ(Var('b'), "Enviar");
  EXPECT_EQ(Var('d'), "indispon\xEDvel");
  EXPECT_EQ(accessibility.stops, 1);
  EXPECT_EQ(Run("msaa captura 1 x").result, 1);
  EXPECT_EQ(Run("msaa nome").result, 1);
  EXPECT_EQ(Run("msaa outra a").result, 1);
  EXPECT_EQ(Run("msaa area g h 1").result, 1);
}

TEST_F(AutomationTest, MsaaWithoutAnAccessibilityServiceIsEmptyAtOnce) {
  accessibility.available = false;
  EXPECT_EQ(Run("msaa monitora\nmsaa checa a\nmsaa nome b\nmsaa codigo c").result, 0);
  EXPECT_EQ(Var('a'), "0");
  EXPECT_EQ(Var('b'), "");
  EXPECT_EQ(Var('c'), "0");
}

TEST_F(AutomationTest, SensorReadsTheFirstClosedSwitchOrSaysThePortIsMissing) {
  port.status[2] = 0x78 ^ 0x10;  // row 2, bit 4: switch 12
  EXPECT_EQ(Run("sensor a").result, 0);
  EXPECT_EQ(Var('a'), "12");
  port.status[2] = 0x78;
  EXPECT_EQ(Run("sensor a").result, 0);
  EXPECT_EQ(Var('a'), "0");
  EXPECT_EQ(Run("sensor").result, 1);
}

TEST_F(AutomationTest, SensorWithoutThePortSaysSoAndStoresZero) {
  port.missing = "inpout32.dll n\xC3\xA3o dispon\xC3\xADvel.";
  Var('a') = "7";
  EXPECT_EQ(Run("sensor a\nsensor a").result, 0);
  EXPECT_EQ(Var('a'), "0");
  EXPECT_EQ(console.written, "inpout32.dll n\xE3o dispon\xEDvel.\r\ninpout32.dll n\xE3o dispon\xEDvel.\r\n");
}

}  // namespace
}  // namespace navelo::testing
