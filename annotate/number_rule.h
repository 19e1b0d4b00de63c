// Where in a line the number is looked for, and how it may be written: the
// plain rule on the whole line unless the user chose a column or asked for
// normalisation.
#pragma once

#include <cstddef>
#include <string_view>

namespace nomvex {

struct NumberRule {
  size_t column = 0;       // 1-based CSV field to look in; 0: the whole line
  bool normalize = false;  // FindNormalizedRun instead of FindNumberRun
  bool utf8 = false;       // how normalisation reads characters
  bool plain() const { return column == 0 && !normalize; }
};

// Field `column` (1-based) of a CSV line, its quotes kept: fields end at
// commas outside double quotes.  False when the line has fewer fields.
bool CsvField(std::string_view line, size_t column, std::string_view& field);

// The first qualifying number of a line under `rule`; its first 7 digits.
bool FindNumber(std::string_view line, const NumberRule& rule, char first7[7]);

}  // namespace nomvex
