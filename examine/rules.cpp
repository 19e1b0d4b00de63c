#include "examine/rules.h"

#include <utility>

#include "platform/codepage.h"
#include "table/number_table.h"

namespace nomvex {
namespace {

// Fixed texts in code page 932.  Spelt as bytes so that the rules, which run
// once per line of an annotated file, need no conversion or set-up.
constexpr std::string_view kIdo = "IDO";
constexpr std::string_view kCellular = "\x83\x5A\x83\x8B\x83\x89\x81\x5B";  // セルラー
constexpr std::string_view kAu = "au";
constexpr std::string_view kShuto = "\x8E\xF1\x93\x73";  // 首都
constexpr std::string_view kKanto = "\x8A\xD6\x93\x8C";  // 関東

constexpr std::pair<std::string_view, uint32_t> kColors[] = {
    {"DoCoMo", 0x00BFFFFF},
    {"IDO", 0x00BFFFBF},
    {"au", 0x00BFFFBF},
    {"J-PHONE", 0x00BFBFFF},
    {"SoftBank", 0x00BFBFFF},  // J-PHONE's successor keeps its colour
    {"\x83\x5A\x83\x8B\x83\x89\x81\x5B", 0x00FFBFBF},                  // セルラー
    {"\x83\x63\x81\x5B\x83\x4A\x81\x5B", 0x00FFFFBF},                  // ツーカー
    {"DDI\x83\x7C\x83\x50\x83\x62\x83\x67", 0x00FFBFBF},               // DDIポケット
    {"\x83\x66\x83\x57\x83\x5E\x83\x8B\x83\x63\x81\x5B\x83\x4A\x81\x5B", 0x00BFBFFF},  // デジタルツーカー
    {"\x83\x41\x83\x58\x83\x65\x83\x8B", 0x00BFBFFF},                  // アステル
    {"\x8A\x79\x93\x56\x83\x82\x83\x6F\x83\x43\x83\x8B", 0x00FFBFFF},  // 楽天モバイル, pale magenta
};

}  // namespace

InputError CheckInput(std::string_view prefix, std::string_view number) {
  if (prefix != "090" && prefix != "080" && prefix != "070") return InputError::kPrefix;
  if (number.empty()) return InputError::kNumber;
  return InputError::kNone;
}

std::string_view InputErrorMessage(InputError error) {
  switch (error) {
    case InputError::kPrefix:
      return "携帯は \"090/080\"、PHSは \"070\" です。";
    case InputError::kNumber:
      return "電話番号が入力されていません。";
    case InputError::kNone:
      break;
  }
  return {};
}

std::string MakeLookupNumber(std::string_view prefix, std::string_view number) {
  std::string joined(prefix);
  joined.append(number);
  if (joined.size() > kLookupDigits) joined.resize(kLookupDigits);
  return joined;
}

void MergeOperator(std::string_view& carrier, std::string_view& region) {
  if (carrier != kIdo && carrier != kCellular) return;
  carrier = kAu;
  if (region == kShuto) region = kKanto;
}

void MergeOperator(std::string& carrier, std::string& region) {
  std::string_view c = carrier, r = region;
  MergeOperator(c, r);
  if (c.data() != carrier.data()) carrier = std::string(c);
  if (r.data() != region.data()) region = std::string(r);
}

uint32_t OperatorColor(std::string_view carrier) {
  for (const auto& [name, color] : kColors)
    if (carrier == name) return color;
  return kWhite;
}

bool IsUnknownResult(std::string_view carrier, std::string_view region) {
  return carrier == UnknownMarker() || region == UnknownMarker();
}

std::string UnknownDialogNumber(std::string_view prefix, std::string_view number) {
  std::string shown(prefix);
  shown.append(platform::CutCp932(number, 4));
  return shown;
}

Examination Examine(const NumberTable& table, std::string_view prefix, std::string_view number,
                    bool keep_apart) {
  Examination e;
  e.error = CheckInput(prefix, number);
  if (e.error != InputError::kNone) return e;
  LookupResult r = table.LookupNumber(MakeLookupNumber(prefix, number));
  e.carrier = r.Carrier;
  e.region = r.Region;
  if (!keep_apart) MergeOperator(e.carrier, e.region);
  e.color = OperatorColor(e.carrier);
  e.unknown = IsUnknownResult(e.carrier, e.region);
  if (e.unknown) e.dialog_number = UnknownDialogNumber(prefix, number);
  return e;
}

}  // namespace nomvex
