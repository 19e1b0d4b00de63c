#include "annotate/number_rule.h"

#include "annotate/convert.h"
#include "annotate/normalize.h"

namespace nomvex {

bool CsvField(std::string_view line, size_t column, std::string_view& field) {
  size_t start = 0;
  bool quoted = false;
  // Neither byte is ever the second half of a Shift-JIS character.
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else if (line[i] == ',' && !quoted) {
      if (--column == 0) {
        field = line.substr(start, i - start);
        return true;
      }
      start = i + 1;
    }
  }
  if (column != 1) return false;
  field = line.substr(start);
  return true;
}

bool FindNumber(std::string_view line, const NumberRule& rule, char first7[7]) {
  std::string_view text = line;
  if (rule.column > 0 && !CsvField(line, rule.column, text)) return false;
  return rule.normalize ? FindNormalizedRun(text, rule.utf8, first7) : FindNumberRun(text, first7);
}

}  // namespace nomvex
