// The command words whose handlers are not built yet. They are in the table from the start, so a
// script that uses one fails on that line with a message naming the word, not as an unknown word.
#include "interp/interpreter.h"
#include "platform/text_encoding.h"

namespace navelo {

// Every command word has its handler now; the list stays for words still to come.
std::span<const CommandEntry> PendingCommands() { return {}; }

bool NotYetAvailable(Interpreter& in, std::string_view what) {
  in.svc.speech.SpeakWriteLine(Utf8ToCp1252("Comando ainda não disponível: ") + std::string(what));
  return false;
}

}  // namespace navelo
