// The diphone database of the host: the index of 15-byte unit records, held in memory and searched
// by halving, and the data file of raw 8-bit mono samples at 11025 Hz, kept open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace navelo {

inline constexpr size_t kIndexRecordSize = 15;

struct DiphoneUnit {
  uint16_t length = 0;
  uint32_t offset = 0;
};

class DiphoneDatabase {
 public:
  // False when the index cannot be read or the data file cannot be opened.
  bool Load(const std::filesystem::path& index, const std::filesystem::path& data);
  // The same from an index image and an open data stream (tests).
  void SetIndex(std::string_view index_bytes);
  void Free();

  // name must already be in upper case; names longer than 8 characters are never found.
  std::optional<DiphoneUnit> Find(std::string_view name) const;
  // Appends up to length bytes from offset of the data file; returns how many were read.
  size_t ReadData(uint32_t offset, size_t length, std::vector<uint8_t>& out);

  size_t unit_count() const { return index_.size() / kIndexRecordSize; }

 private:
  std::string_view NameAt(size_t record) const;

  std::string index_;
  std::ifstream data_;
};

}  // namespace navelo
