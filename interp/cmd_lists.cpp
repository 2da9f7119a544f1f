// List and menu commands: LISTA keeps named lists of texts, MENU builds and runs the spoken
// selection menu and hands the script the item, the key and the item's text.
#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"

namespace navelo {
namespace {

// Takes a sub-command word from the front of args when its folded first characters are that word
// (no blank needed after it), and trims what follows.
bool TakeWord(std::string& args, std::string_view word) {
  if (!StartsWithFolded(args, word)) return false;
  args.erase(0, word.size());
  TrimInPlace(args);
  return true;
}

// Upper case in cp1252 for comparisons that ignore letter case: besides a-z and the accented
// letters, the pairs š/Š, œ/Œ, ž/Ž and ÿ/Ÿ; ÷ and × are signs, not a pair.
unsigned char FoldCaseCp1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCaseCp1252(static_cast<unsigned char>(a[i])) !=
        FoldCaseCp1252(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

ScriptList* FindList(Interpreter& in, const std::string& name) {
  for (auto& list : in.lists) {
    if (list.in_use && list.name == name) return &list;
  }
  return nullptr;
}

bool ListCreate(Interpreter& in, const std::string& name, const std::string& args) {
  if (!args.empty()) return false;
  if (FindList(in, name) != nullptr) {
    SayLine(in, "A lista especificada já existe");
    return false;
  }
  for (auto& list : in.lists) {
    if (!list.in_use) {
      list.in_use = true;
      list.name = name;
      list.items.clear();
      return true;
    }
  }
  SayLine(in, "Muitas listas no programa (máximo 20)");
  return false;
}

bool Lista(Interpreter& in, std::string& args) {
  std::string name;
  if (!TakeBracketed(args, name)) return false;
  TrimInPlace(args);
  if (TakeWord(args, "CRIA")) return ListCreate(in, name, args);
  if (TakeWord(args, "APAGA")) {
    ScriptList* list = FindList(in, name);
    if (!args.empty() || list == nullptr) return false;
    *list = ScriptList{};
    return true;
  }
  if (TakeWord(args, "TAMANHO")) {
    ScriptList* list = FindList(in, name);
    int slot = 0;
    if (list == nullptr || !TakeVariable(in, args, slot)) return false;
    in.vars.Slot(slot) = DecimalText(static_cast<int64_t>(list->items.size()));
    return true;
  }
  if (TakeWord(args, "ITEM")) {
    ScriptList* list = FindList(in, name);
    std::string value;
    if (list == nullptr || !TakeValue(in, args, value)) return false;
    const std::optional<int32_t> position = ParseInteger(value);
    int slot = 0;
    if (!position || !TakeVariable(in, args, slot)) return false;
    if (*position < 0 || static_cast<size_t>(*position) >= list->items.size()) return false;
    in.vars.Slot(slot) = list->items[static_cast<size_t>(*position)];
    return true;
  }
  if (TakeWord(args, "ADICIONA")) {
    ScriptList* list = FindList(in, name);
    std::string value;
    if (list == nullptr || !TakeValue(in, args, value)) return false;
    list->items.push_back(std::move(value));
    return true;
  }
  if (TakeWord(args, "DELETA")) {
    ScriptList* list = FindList(in, name);
    std::string value;
    if (list == nullptr || !TakeValue(in, args, value)) return false;
    for (auto it = list->items.begin(); it != list->items.end(); ++it) {
      if (EqualIgnoringCase(*it, value)) {
        list->items.erase(it);
        return true;
      }
    }
    return false;
  }
  return false;
}

// The text a script receives for the key that ended a menu run.
std::string MenuKeyText(const MenuChoice& choice) {
  if (choice.key >= 32) return std::string(1, static_cast<char>(choice.key));
  if (choice.key != 0) return "#" + DecimalText(choice.key);
  return "#0#" + DecimalText(choice.code);
}

bool MenuExecuta(Interpreter& in, std::string& args) {
  int item_slot = 0, key_slot = 0, text_slot = 0;
  if (!in.menu.Exists() || !TakeVariable(in, args, item_slot) ||
      !TakeVariable(in, args, key_slot) || !TakeVariable(in, args, text_slot)) {
    return false;
  }
  MenuChoice choice;
  // An extended key other than F1-F12 (a side arrow, Delete, a Ctrl key) only restarts the menu
  // at the start item, which is spoken again.
  do {
    if (const auto start = ParseInteger(Trim(in.vars.Slot(item_slot)))) in.menu_start_item = *start;
    if (in.menu_start_item < 1) in.menu_start_item = 1;
    choice = in.menu.MenuRun(in.menu_start_item);
  } while (choice.key == 0 && !(choice.code >= 59 && choice.code <= 70));
  in.vars.Slot(item_slot) = DecimalText(choice.item);
  in.vars.Slot(key_slot) = MenuKeyText(choice);
  in.vars.Slot(text_slot) = in.menu.MenuGetItem(choice.item);
  return args.empty();
}

bool Menu(Interpreter& in, std::string& args) {
  SelectionMenu& menu = in.menu;
  if (TakeWord(args, "CRIA")) {
    int corners[4] = {};
    for (int& corner : corners) {
      std::string value;
      if (!TakeValue(in, args, value)) return false;
      const std::optional<int32_t> number = ParseInteger(value);
      if (!number) return false;
      corner = *number;
    }
    menu.MenuCreate(corners[0], corners[1], corners[2], corners[3]);
    in.menu_start_item = 1;
    return args.empty();
  }
  if (TakeWord(args, "ADICIONA")) {
    std::string value;
    if (!menu.Exists() || !TakeValue(in, args, value)) return false;
    menu.MenuAdd(value);
    return args.empty();
  }
  if (TakeWord(args, "TERMINA")) {
    menu.MenuErase();
    menu.MenuFree();
    return args.empty();
  }
  if (TakeWord(args, "EXECUTA")) return MenuExecuta(in, args);
  return false;
}

constexpr CommandEntry kEntries[] = {
    {"LISTA", Lista},
    {"MENU", Menu},
};

}  // namespace

std::span<const CommandEntry> ListCommands() { return kEntries; }

}  // namespace navelo
