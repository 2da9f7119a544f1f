// The command words whose handlers are not built yet. They are in the table from the start, so a
// script that uses one fails on that line with a message naming the word, not as an unknown word.
#include "interp/interpreter.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

bool Pending(Interpreter& in, std::string&) { return NotYetAvailable(in, in.command_word); }

constexpr CommandEntry kEntries[] = {
    // Desktop automation.
    {"DIGITA", Pending}, {"ACIONA", Pending}, {"CLICA", Pending},
    {"CAPTURA", Pending}, {"TRANSFERE", Pending}, {"JANELA", Pending}, {"MSAA", Pending},
    {"IMAGEM", Pending}, {"SENSOR", Pending},
};

}  // namespace

std::span<const CommandEntry> PendingCommands() { return kEntries; }

bool NotYetAvailable(Interpreter& in, std::string_view what) {
  in.svc.speech.SpeakWriteLine(Utf8ToCp1252("Comando ainda não disponível: ") + std::string(what));
  return false;
}

}  // namespace navelo
