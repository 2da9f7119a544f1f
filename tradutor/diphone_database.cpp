// The diphone database: index search and unit reads.
#include "tradutor/diphone_database.h"

#include <sstream>

namespace navelo {

bool DiphoneDatabase::Load(const std::filesystem::path& index, const std::filesystem::path& data) {
  Free();
  std::ifstream in(index, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  if (in.bad()) return false;
  index_ = all.str();
  data_.open(data, std::ios::binary);
  return data_.is_open();
}

void DiphoneDatabase::SetIndex(std::string_view index_bytes) { index_ = std::string(index_bytes); }

void DiphoneDatabase::Free() {
  index_.clear();
  if (data_.is_open()) data_.close();
  data_.clear();
}

std::string_view DiphoneDatabase::NameAt(size_t record) const {
  const char* p = index_.data() + record * kIndexRecordSize;
  const size_t length = std::min<size_t>(static_cast<unsigned char>(p[0]), 8);
  return std::string_view(p + 1, length);
}

std::optional<DiphoneUnit> DiphoneDatabase::Find(std::string_view name) const {
  if (name.size() > 8) return std::nullopt;
  // Unsigned byte order over the common length, a shorter name first: what std::string_view
  // comparison of char_traits<char> gives for bytes once compared as unsigned.
  auto less = [](std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      const auto x = static_cast<unsigned char>(a[i]);
      const auto y = static_cast<unsigned char>(b[i]);
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  };
  size_t low = 0;
  size_t high = unit_count();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    const std::string_view candidate = NameAt(mid);
    if (less(candidate, name)) {
      low = mid + 1;
    } else if (less(name, candidate)) {
      high = mid;
    } else {
      const auto* p = reinterpret_cast<const unsigned char*>(index_.data() + mid * kIndexRecordSize);
      DiphoneUnit unit;
      unit.length = static_cast<uint16_t>(p[9] | (p[10] << 8));
      unit.offset = p[11] | (p[12] << 8) | (p[13] << 16) | (static_cast<uint32_t>(p[14]) << 24);
      return unit;
    }
  }
  return std::nullopt;
}

size_t DiphoneDatabase::ReadData(uint32_t offset, size_t length, std::vector<uint8_t>& out) {
  if (!data_.is_open() || length == 0) return 0;
  data_.clear();
  data_.seekg(offset);
  const size_t before = out.size();
  out.resize(before + length);
  data_.read(reinterpret_cast<char*>(out.data() + before), static_cast<std::streamsize>(length));
  const auto got = static_cast<size_t>(std::max<std::streamsize>(data_.gcount(), 0));
  out.resize(before + got);
  return got;
}

}  // namespace navelo
