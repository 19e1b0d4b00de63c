// The rules of the Examine command, with no window in them: the input check,
// the operator merge, the colour by operator and the known/unknown decision.
// Texts are code page 932 bytes, compared whole and byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nomvex {

enum class InputError { kNone, kPrefix, kNumber };

// Prefix first: a wrong prefix with an empty number reports the prefix.
InputError CheckInput(std::string_view prefix, std::string_view number);
// The message (UTF-8) and caption of an input error.
std::string_view InputErrorMessage(InputError error);
inline constexpr std::string_view kInputErrorCaption = "番号エラー";

// Prefix and number joined, cut to the 7 bytes a lookup uses.
std::string MakeLookupNumber(std::string_view prefix, std::string_view number);

// IDO and セルラー are shown as au, and only then 首都 as 関東.
void MergeOperator(std::string_view& carrier, std::string_view& region);
void MergeOperator(std::string& carrier, std::string& region);

// Background colour (0x00BBGGRR) of both result boxes for an operator; white
// for a name it does not know.
inline constexpr uint32_t kWhite = 0x00FFFFFF;
uint32_t OperatorColor(std::string_view carrier);

// A result is unknown when either box holds exactly "？".
bool IsUnknownResult(std::string_view carrier, std::string_view region);

// What the unknown-number dialog shows: the prefix and at most 4 bytes of
// the number, never half of a double-byte character.
std::string UnknownDialogNumber(std::string_view prefix, std::string_view number);

class NumberTable;

// The Examine command as both windows run it: the input check, the lookup,
// the merge (unless the user keeps IDO and セルラー apart), the colour and
// whether the result counts as unknown.  The window shows it and raises
// the notification.
struct Examination {
  InputError error = InputError::kNone;  // when set, nothing else is filled
  std::string carrier, region;           // as the boxes show them
  uint32_t color = kWhite;               // of both boxes
  bool unknown = false;
  std::string dialog_number;             // what the unknown-number dialog shows
};
Examination Examine(const NumberTable& table, std::string_view prefix, std::string_view number,
                    bool keep_apart);

}  // namespace nomvex
