// The diphone database as the unit inventory tool sees it: every lookup is written down, and is
// answered from a set of known names or, while the inventory is being taken, found whenever the
// name could be stored.
//
// The tool links this file in place of tradutor/diphone_database.cpp, so the synthesizer it runs
// is the runtime's own, unchanged, and asks for exactly the units that the runtime will ask for.
#include "tools/hostkit/recording_database.h"

#include "tradutor/diphone_database.h"

namespace navelo {
namespace {

LookupLog* g_log = nullptr;  // the tool's single log; set once by the tool before any lookup

}  // namespace

void SetLookupLog(LookupLog* log) { g_log = log; }

bool DiphoneDatabase::Load(const std::filesystem::path&, const std::filesystem::path&) {
  return true;
}

void DiphoneDatabase::SetIndex(std::string_view index_bytes) { index_ = index_bytes; }

void DiphoneDatabase::Free() { index_.clear(); }

std::string_view DiphoneDatabase::NameAt(size_t) const { return {}; }

std::optional<DiphoneUnit> DiphoneDatabase::Find(std::string_view name) const {
  LookupLog& log = *g_log;
  log.asked.emplace_back(name);
  if (name.size() > 8) {
    ++log.overlong;
    return std::nullopt;
  }
  if (log.known != nullptr && log.known->count(std::string(name)) == 0) {
    ++log.missing;
    log.missing_names.emplace_back(name);
    return std::nullopt;
  }
  return DiphoneUnit{1000, 0};
}

size_t DiphoneDatabase::ReadData(uint32_t, size_t length, std::vector<uint8_t>& out) {
  // Silence: the inventory needs the lookups, not the sound.
  out.insert(out.end(), length, 128);
  return length;
}

}  // namespace navelo
