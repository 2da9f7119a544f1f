// The log of database lookups that the unit inventory tool's stand-in database keeps.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace navelo {

struct LookupLog {
  const std::set<std::string>* known = nullptr;  // null: every storable name is found
  std::vector<std::string> asked;                // every name looked up, in order
  std::vector<std::string> missing_names;        // names not among the known ones
  int overlong = 0;                              // names longer than an index record holds
  int missing = 0;
  void Clear() {
    asked.clear();
    missing_names.clear();
    overlong = missing = 0;
  }
};

// Where the stand-in database writes down its lookups.
void SetLookupLog(LookupLog* log);

}  // namespace navelo
