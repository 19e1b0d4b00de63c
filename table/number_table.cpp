#include "table/number_table.h"

#include "platform/codepage.h"
#include "platform/files.h"

namespace nomvex {
namespace {

constexpr std::string_view kUnknown = "\x81\x48";            // ？
constexpr std::string_view kNotFound = "\x81\x48 \x81\x48";  // ？ ？

uint64_t Pack(std::string_view key) {
  uint64_t v = static_cast<uint64_t>(key.size()) << 56;
  for (size_t i = 0; i < key.size(); ++i)
    v |= static_cast<uint64_t>(static_cast<unsigned char>(key[i])) << (8 * i);
  return v;
}

// Packed keys differ only in a few bytes; mix every bit into the low ones
// that pick the slot.
uint64_t Hash(uint64_t v) {
  v ^= v >> 33;
  v *= 0xFF51AFD7ED558CCDull;
  v ^= v >> 33;
  v *= 0xC4CEB9FE1A85EC53ull;
  return v ^ (v >> 33);
}

// Offset of the first "=" that is not the second byte of a double-byte
// character, or npos.
size_t FindEquals(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '=') return i;
    if (platform::IsLeadByte(static_cast<unsigned char>(text[i]))) ++i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string_view UnknownMarker() { return kUnknown; }

std::optional<std::pair<std::string, std::string>> DecodeLine(std::string_view line) {
  // An empty line has no key byte, and a line longer than the format allows
  // was not written by the table maker: neither is guessed at.
  if (line.empty() || line.size() + 1 > kMaxLineBytes) return std::nullopt;
  if (line[0] == ';') return std::nullopt;
  const int shift = static_cast<unsigned char>(line[0]) - 0x41;
  std::string text;
  text.reserve(line.size() - 1);
  for (size_t i = 1; i < line.size(); ++i) {
    int d = static_cast<unsigned char>(line[i]) - shift;
    if (d <= 0) d += 255;  // 255, not 256: the format's own wrap
    char byte = static_cast<char>(d & 0xFF);
    if (byte == '\0') break;  // a zero byte ends the decoded text
    text.push_back(byte);
  }
  if (text.size() < 3) return std::nullopt;
  size_t eq = FindEquals(text);
  if (eq == std::string_view::npos || eq < 3) return std::nullopt;
  return std::make_pair(text.substr(0, eq), text.substr(eq + 1));
}

std::string ScrambleText(std::string_view text, unsigned char key_byte) {
  const int shift = key_byte - 0x41;
  std::string out;
  out.reserve(text.size());
  for (unsigned char p : text) {
    int c = p + shift;
    if (shift >= 0) {
      if (c > 255) c -= 255;
    } else if (c < 0) {
      c += 256;
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

LookupResult SplitValue(std::string_view value) {
  if (value.empty()) return {kUnknown, kUnknown};
  size_t begin = value.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {kUnknown, kUnknown};
  value.remove_prefix(begin);
  size_t space = value.find(' ');
  std::string_view carrier = value.substr(0, space);
  std::string_view region =
      space == std::string_view::npos ? std::string_view() : value.substr(space + 1);
  carrier = platform::CutCp932(carrier, kFieldMax);
  region = platform::CutCp932(region, kFieldMax);
  return {carrier.empty() ? kUnknown : carrier, region.empty() ? kUnknown : region};
}

int NumberTable::LoadNumberTable(const std::string& path) {
  platform::TextReader reader;
  if (int err = reader.Open(path)) return err;
  std::vector<std::pair<std::string, std::string>> entries;
  std::string_view line;
  while (reader.NextLine(line))
    if (auto entry = DecodeLine(line)) entries.push_back(std::move(*entry));
  // A read error ends the reading; what was read before it stays.
  Assign(std::move(entries));
  return 0;
}

void NumberTable::Assign(std::vector<std::pair<std::string, std::string>> entries) {
  keys_.clear();
  values_.clear();
  keys_.reserve(entries.size());
  values_.reserve(entries.size());
  for (auto& [k, v] : entries) {
    keys_.push_back(std::move(k));
    values_.push_back(std::move(v));
  }
  split_.clear();
  split_.reserve(values_.size());
  for (const std::string& v : values_) split_.push_back(SplitValue(v));
  BuildIndex();
}

void NumberTable::BuildIndex() {
  size_t capacity = 16;
  while (capacity < keys_.size() * 2) capacity *= 2;
  slots_.assign(capacity, {0, kNone});
  slot_mask_ = capacity - 1;
  key_lengths_ = 0;
  for (size_t i = 2; i < keys_.size(); ++i) {
    // A key longer than a lookup number can never match.
    if (keys_[i].size() > kLookupDigits) continue;
    uint64_t packed = Pack(keys_[i]);
    for (uint64_t s = Hash(packed) & slot_mask_;; s = (s + 1) & slot_mask_) {
      if (slots_[s].second == kNone) {
        slots_[s] = {packed, static_cast<uint32_t>(i)};
        break;
      }
      if (slots_[s].first == packed) break;  // the earlier entry wins
    }
    key_lengths_ |= 1u << keys_[i].size();
  }
}

uint32_t NumberTable::FindIndex(std::string_view number) const {
  // Every substring of the number that is as long as some key is probed;
  // the smallest entry number among the hits is the scan's first hit.
  uint32_t best = kNone;
  for (size_t len = 3; len <= number.size(); ++len) {
    if (!(key_lengths_ & (1u << len))) continue;
    for (size_t at = 0; at + len <= number.size(); ++at) {
      uint64_t packed = Pack(number.substr(at, len));
      for (uint64_t s = Hash(packed) & slot_mask_;; s = (s + 1) & slot_mask_) {
        const auto& slot = slots_[s];
        if (slot.second == kNone) break;
        if (slot.first == packed) {
          if (slot.second < best) best = slot.second;
          break;
        }
      }
    }
  }
  return best;
}

std::string_view NumberTable::FindEntry(std::string_view number) const {
  uint32_t i = FindIndex(number.substr(0, kLookupDigits));
  return i == kNone ? kNotFound : std::string_view(values_[i]);
}

std::string_view NumberTable::FindEntryScan(std::string_view number) const {
  for (size_t i = 2; i < keys_.size(); ++i)
    if (number.find(keys_[i]) != std::string_view::npos) return values_[i];
  return kNotFound;
}

LookupResult NumberTable::LookupNumber(std::string_view number) const {
  uint32_t i = FindIndex(number.substr(0, kLookupDigits));
  return i == kNone ? LookupResult{kUnknown, kUnknown} : split_[i];
}

std::string NumberTable::GetDataVersion() const {
  return values_.empty() ? std::string() : values_[0];
}

}  // namespace nomvex
