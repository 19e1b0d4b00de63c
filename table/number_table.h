// The number table: Nomvex.dat unscrambled into two parallel lists in file
// order (keys and values), and the lookup of a number in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
  size_t size() const { return keys_.size(); }
  const std::string& key(size_t i) const { return keys_[i]; }
  const std::string& value(size_t i) const { return values_[i]; }

  // The value of the first entry from 2 on whose key occurs anywhere in
  // `number`, or the not-found value "？ ？".  Answers through an index.
  std::string_view FindEntry(std::string_view number) const;
  // The same answer by scanning every entry in file order: the reference
  // that the index is tested and measured against.
  std::string_view FindEntryScan(std::string_view number) const;
  // Looks up the first 7 bytes of `number` and splits the value.
  LookupResult LookupNumber(std::string_view number) const;

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  uint32_t FindIndex(std::string_view number) const;
  void BuildIndex();

  std::vector<std::string> keys_;
  std::vector<std::string> values_;
  std::vector<LookupResult> split_;  // each value split once, at load
  // Open addressing from a packed key (at most 7 bytes) to its first entry.
  std::vector<std::pair<uint64_t, uint32_t>> slots_;
  uint64_t slot_mask_ = 0;
  unsigned key_lengths_ = 0;  // bit n set when some key has n bytes
};

// Splits a value into operator and region: leading ASCII spaces skipped, the
// operator up to the next space, the region everything after that space.
// A missing or empty field gives "？"; a longer one is cut to 19 bytes on a
// character boundary.
LookupResult SplitValue(std::string_view value);

// "？" in code page 932.
std::string_view UnknownMarker();

}  // namespace nomvex
