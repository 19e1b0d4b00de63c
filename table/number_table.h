// The number table: Nomvex.dat unscrambled into two parallel lists in file
// order (keys and values), and the lookup of a number in it.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/memory.h"

namespace nomvex {

// Longest operator or region name a lookup gives, in bytes.
inline constexpr size_t kFieldMax = 19;
// Only this many leading bytes of a number take part in a lookup.
inline constexpr size_t kLookupDigits = 7;
// A line of Nomvex.dat: key byte, at most 97 scrambled bytes, LF.
inline constexpr size_t kMaxLineBytes = 99;

// Operator and region of a number.  The views point into the table (or to
// fixed texts) and stay valid as long as the table does.
struct LookupResult {
  std::string_view Carrier;
  std::string_view Region;
};

// One line of Nomvex.dat (without its LF, CRs already dropped) turned into
// key and value, or nothing when the line is a comment, empty, longer than a
// line may be, or fails the acceptance rules.
std::optional<std::pair<std::string, std::string>> DecodeLine(std::string_view line);

// The inverse of DecodeLine's unscrambling for key bytes from "A" up.
std::string ScrambleText(std::string_view text, unsigned char key_byte);

class NumberTable {
 public:
  // Replaces the table with the file's entries; a file that cannot be opened
  // leaves the table as it was.  Returns 0 or the errno of the failure.
  int LoadNumberTable(const std::string& path);
  // Builds a table directly, as if read from a file in this order.
  void Assign(std::vector<std::pair<std::string, std::string>> entries);

  // The value of entry 0, or empty when there are no entries.
  std::string GetDataVersion() const;
  size_t size() const { return entries_.size(); }
  std::string_view key(size_t i) const {
    return {arena_.data() + entries_[i].offset, entries_[i].key_size};
  }
  std::string_view value(size_t i) const {
    return {arena_.data() + entries_[i].offset + entries_[i].key_size, entries_[i].value_size};
  }

  // The value of the first entry from 2 on whose key occurs anywhere in
  // `number`, or the not-found value "？ ？".  Answers through an index.
  std::string_view FindEntry(std::string_view number) const;
  // The same answer by scanning every entry in file order: the reference
  // that the index is tested and measured against.
  std::string_view FindEntryScan(std::string_view number) const;
  // Looks up the first 7 bytes of `number` and splits the value.
  LookupResult LookupNumber(std::string_view number) const;
  // The same lookup as a small number: entries that share a value share
  // their answer.  kNoAnswer when no key occurs; Answer() gives the split.
  static constexpr uint32_t kNoAnswer = UINT32_MAX;
  uint32_t LookupAnswer(std::string_view number) const { return Find(number).answer; }
  LookupResult Answer(uint32_t answer) const;
  // Starts fetching what a lookup of `number` reads, so that many lookups
  // can wait on memory at once.
  void Prefetch(std::string_view number) const;
  size_t answer_count() const { return answers_.size(); }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  // A key of at most 7 bytes and its length in one word.
  static uint64_t Pack(std::string_view key) {
    const size_t n = key.size();
    uint64_t v = 0;
    if (n >= 4) {  // two overlapping loads; a copy of n bytes would stall
      uint32_t lo, hi;
      std::memcpy(&lo, key.data(), 4);
      std::memcpy(&hi, key.data() + n - 4, 4);
      v = lo | static_cast<uint64_t>(hi) << (8 * (n - 4));
    } else {
      for (size_t i = 0; i < n; ++i)
        v |= static_cast<uint64_t>(static_cast<unsigned char>(key[i])) << (8 * i);
    }
    return v | static_cast<uint64_t>(n) << 56;
  }
  struct Entry {
    uint32_t offset;  // of the key in arena_; the value follows it
    uint16_t key_size;
    uint16_t value_size;
  };
  // Open addressing from a packed key (at most 7 bytes) to the first entry
  // that has it and that entry's answer.
  struct Slot {
    uint64_t packed;
    uint32_t entry;  // kNone for a free slot
    uint32_t answer;  // index into answers_
  };
  struct Hit {
    uint32_t entry;
    uint32_t answer;
  };

  void Add(std::string_view key, std::string_view value);
  void BuildIndex();
  uint32_t AnswerOf(std::string_view value,
                    std::unordered_map<std::string_view, uint32_t>& known);
  Hit Find(std::string_view number) const;
  // Calls f(packed) for every substring of the number's first 7 bytes that
  // is as long as some key: the places a lookup probes.
  template <class F>
  void ForEachProbe(std::string_view number, F f) const {
    number = number.substr(0, kLookupDigits);
    for (size_t len = 3; len <= number.size(); ++len) {
      if (!(key_lengths_ & (1u << len))) continue;
      for (size_t at = 0; at + len <= number.size(); ++at) f(Pack(number.substr(at, len)));
    }
  }

  // Kept small on purpose: every page the table touches costs start-up time.
  platform::BigVector<char> arena_;
  platform::BigVector<Entry> entries_;
  platform::BigVector<Slot> slots_;
  uint64_t slot_mask_ = 0;
  // Packed keys differ only in a few bytes: every bit is mixed into the low
  // ones that pick the slot.
  uint64_t SlotOf(uint64_t v) const {
    v ^= v >> 33;
    v *= 0xFF51AFD7ED558CCDull;
    v ^= v >> 33;
    return v & slot_mask_;
  }
  unsigned key_lengths_ = 0;  // bit n set when some key has n bytes
  // Each distinct value split once (a table has only a handful), as places
  // in arena_ so that the table can be moved; kNone stands for "？".
  struct Field {
    uint32_t offset;
    uint32_t size;
  };
  struct Split {
    Field carrier, region;
  };
  std::string_view View(Field f) const;
  std::vector<Split> answers_;
};

// Splits a value into operator and region: leading ASCII spaces skipped, the
// operator up to the next space, the region everything after that space.
// A missing or empty field gives "？"; a longer one is cut to 19 bytes on a
// character boundary.
LookupResult SplitValue(std::string_view value);

// "？" in code page 932.
std::string_view UnknownMarker();

}  // namespace nomvex
