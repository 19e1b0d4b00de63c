#include "table/number_table.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/line_reader.h"

namespace nomvex {
namespace {

constexpr std::string_view kUnknown = "\x81\x48";            // ？
constexpr std::string_view kNotFound = "\x81\x48 \x81\x48";  // ？ ？

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

// Unscrambles a line into `text` and gives the offset of the key's "=", or
// npos when the line makes no entry.
size_t DecodeInto(std::string_view line, std::string& text) {
  // An empty line has no key byte, and a line longer than the format allows
  // was not written by the table maker: neither is guessed at.
  if (line.empty() || line.size() + 1 > kMaxLineBytes) return std::string::npos;
  if (line[0] == ';') return std::string::npos;
  const int shift = static_cast<unsigned char>(line[0]) - 0x41;
  text.resize(line.size() - 1);
  size_t n = 0;
  for (size_t i = 1; i < line.size(); ++i) {
    int d = static_cast<unsigned char>(line[i]) - shift;
    if (d <= 0) d += 255;  // 255, not 256: the format's own wrap
    char byte = static_cast<char>(d & 0xFF);
    if (byte == '\0') break;  // a zero byte ends the decoded text
    text[n++] = byte;
  }
  text.resize(n);
  if (text.size() < 3) return std::string::npos;
  size_t eq = FindEquals(text);
  if (eq == std::string_view::npos || eq < 3) return std::string::npos;
  return eq;
}

std::optional<std::pair<std::string, std::string>> DecodeLine(std::string_view line) {
  std::string text;
  size_t eq = DecodeInto(line, text);
  if (eq == std::string::npos) return std::nullopt;
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
  // A line of ~18 bytes stores ~16 bytes of entry: reserving from the
  // file's size spares the copies of growing.  Not beyond what a real table
  // needs, though: the size of a sparse file costs nothing to claim.
  constexpr uint64_t kReserveMax = 16 << 20;
  {
    // The bytes of a line beyond the longest a line may be are not held: a
    // longer line is skipped whole.
    platform::BoundedLineReader reader(kMaxLineBytes - 1);
    if (int err = reader.Open(path)) return err;
    arena_.clear();
    entries_.clear();
    const size_t reserve = static_cast<size_t>(std::min(reader.size(), kReserveMax));
    arena_.reserve(reserve);
    entries_.reserve(reserve / 12);
    std::string text;
    text.reserve(kMaxLineBytes);
    std::string_view line;
    bool cut;
    // A read error ends the reading; what was read before it stays.
    while (reader.NextLine(line, cut)) {
      if (cut) continue;
      size_t eq = DecodeInto(line, text);
      if (eq == std::string::npos) continue;
      // Entries are found by 32-bit offsets: a table beyond 4 GiB ends there.
      if (arena_.size() + text.size() > UINT32_MAX) break;
      std::string_view decoded = text;
      Add(decoded.substr(0, eq), decoded.substr(eq + 1));
    }
  }  // the reader's buffer is given back before the index takes its memory
  BuildIndex();
  return 0;
}

void NumberTable::Assign(std::vector<std::pair<std::string, std::string>> entries) {
  arena_.clear();
  entries_.clear();
  for (const auto& [k, v] : entries) Add(k, v);
  BuildIndex();
}

void NumberTable::Add(std::string_view key, std::string_view value) {
  entries_.push_back({static_cast<uint32_t>(arena_.size()), static_cast<uint16_t>(key.size()),
                      static_cast<uint16_t>(value.size())});
  const size_t at = arena_.size();
  arena_.resize(at + key.size() + value.size());
  std::memcpy(arena_.data() + at, key.data(), key.size());
  std::memcpy(arena_.data() + at + key.size(), value.data(), value.size());
}

uint32_t NumberTable::AnswerOf(std::string_view value,
                               std::unordered_map<std::string_view, uint32_t>& known) {
  auto [it, fresh] = known.try_emplace(value, static_cast<uint32_t>(answers_.size()));
  if (fresh) {
    // Answers are places in arena_, so that moving the table keeps them valid.
    LookupResult split = SplitValue(value);
    auto field = [&](std::string_view f) {
      return f.data() == kUnknown.data()
                 ? Field{kNone, 0}
                 : Field{static_cast<uint32_t>(f.data() - arena_.data()),
                         static_cast<uint32_t>(f.size())};
    };
    answers_.push_back({field(split.Carrier), field(split.Region)});
  }
  return it->second;
}

void NumberTable::BuildIndex() {
  answers_.clear();
  std::unordered_map<std::string_view, uint32_t> known;
  size_t capacity = 16;
  while (capacity * 3 < entries_.size() * 4) capacity *= 2;
  slots_.assign(capacity, {0, kNone, 0});
  slot_mask_ = capacity - 1;
  key_lengths_ = 0;
  std::string_view last_value;
  uint32_t answer = 0;
  for (size_t i = 2; i < entries_.size(); ++i) {
    std::string_view k = key(i);
    // A key longer than a lookup number can never match.
    if (k.size() > kLookupDigits) continue;
    // Neighbouring entries mostly share their value: no map look-up then.
    std::string_view v = value(i);
    if (answers_.empty() || v != last_value) {
      answer = AnswerOf(v, known);
      last_value = v;
    }
    uint64_t packed = Pack(k);
    for (uint64_t s = SlotOf(packed);; s = (s + 1) & slot_mask_) {
      if (slots_[s].entry == kNone) {
        slots_[s] = {packed, static_cast<uint32_t>(i), answer};
        break;
      }
      if (slots_[s].packed == packed) break;  // the earlier entry wins
    }
    key_lengths_ |= 1u << k.size();
  }
}

NumberTable::Hit NumberTable::Find(std::string_view number) const {
  // Every substring of the number that is as long as some key is probed;
  // the smallest entry number among the hits is the scan's first hit.
  Hit best{kNone, kNoAnswer};
  ForEachProbe(number, [&](uint64_t packed) {
    for (uint64_t s = SlotOf(packed);; s = (s + 1) & slot_mask_) {
      const Slot& slot = slots_[s];
      if (slot.entry == kNone) return;
      if (slot.packed == packed) {
        if (slot.entry < best.entry) best = {slot.entry, slot.answer};
        return;
      }
    }
  });
  return best;
}

void NumberTable::Prefetch(std::string_view number) const {
  ForEachProbe(number, [this](uint64_t packed) { __builtin_prefetch(&slots_[SlotOf(packed)]); });
}

std::string_view NumberTable::FindEntry(std::string_view number) const {
  Hit hit = Find(number);
  return hit.entry == kNone ? kNotFound : value(hit.entry);
}

std::string_view NumberTable::FindEntryScan(std::string_view number) const {
  for (size_t i = 2; i < entries_.size(); ++i)
    if (number.find(key(i)) != std::string_view::npos) return value(i);
  return kNotFound;
}

LookupResult NumberTable::LookupNumber(std::string_view number) const {
  return Answer(Find(number).answer);
}

LookupResult NumberTable::Answer(uint32_t answer) const {
  if (answer == kNoAnswer) return {kUnknown, kUnknown};
  const auto& a = answers_[answer];
  return {View(a.carrier), View(a.region)};
}

std::string_view NumberTable::View(Field f) const {
  return f.offset == kNone ? kUnknown : std::string_view(arena_.data() + f.offset, f.size);
}

std::string NumberTable::GetDataVersion() const {
  return entries_.empty() ? std::string() : std::string(value(0));
}

}  // namespace nomvex
