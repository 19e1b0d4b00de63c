// Numbers as people type them, for --normalize: "+81" forms, full-width
// digits and dashes, and single spaces, dots or parentheses between digit
// groups.  The plain rule (FindNumberRun) knows none of these.
#pragma once

#include <string_view>

namespace nomvex {

// Like FindNumberRun, with more ways to write a number:
// - a digit may be full-width (０-９);
// - hyphens, the dashes typed in their place (－ ‐ ― − ー ｰ and the like)
//   and double quotes are skipped inside a run, as "-" is;
// - digit groups may also be parted by one space (or ideographic space) or
//   one dot, and parentheses: "(090) 1234.5678";
// - "+81" (or "＋８１") starts a run that stands for a number beginning with
//   "0": "+81 90-1234-5678", "+819012345678", "+81 (0)90-1234-5678".
// Runs are tried from every group start that a space, dot or parenthesis
// begins, so that "No. 2 090 1234 5678" finds 0901234.  Characters are read
// as UTF-8 when `utf8`, as Shift-JIS otherwise.
bool FindNormalizedRun(std::string_view text, bool utf8, char first7[7]);

}  // namespace nomvex
