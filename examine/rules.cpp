#include "examine/rules.h"

#include <array>
#include <utility>

#include "platform/codepage.h"
#include "table/number_table.h"

namespace nomvex {
namespace {

// Fixed texts in code page 932; the source keeps them readable in UTF-8.
struct Texts {
  std::string ido = "IDO";
  std::string cellular = platform::ToCp932("セルラー");
  std::string au = "au";
  std::string shuto = platform::ToCp932("首都");
  std::string kanto = platform::ToCp932("関東");
  std::array<std::pair<std::string, uint32_t>, 9> colors{{
      {"DoCoMo", 0x00BFFFFF},
      {"IDO", 0x00BFFFBF},
      {"au", 0x00BFFFBF},
      {"J-PHONE", 0x00BFBFFF},
      {platform::ToCp932("セルラー"), 0x00FFBFBF},
      {platform::ToCp932("ツーカー"), 0x00FFFFBF},
      {platform::ToCp932("DDIポケット"), 0x00FFBFBF},
      {platform::ToCp932("デジタルツーカー"), 0x00BFBFFF},
      {platform::ToCp932("アステル"), 0x00BFBFFF},
  }};
};

const Texts& T() {
  static const Texts texts;
  return texts;
}

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
  const Texts& t = T();
  if (carrier != t.ido && carrier != t.cellular) return;
  carrier = t.au;
  if (region == t.shuto) region = t.kanto;
}

void MergeOperator(std::string& carrier, std::string& region) {
  std::string_view c = carrier, r = region;
  MergeOperator(c, r);
  if (c.data() != carrier.data()) carrier = std::string(c);
  if (r.data() != region.data()) region = std::string(r);
}

uint32_t OperatorColor(std::string_view carrier) {
  for (const auto& [name, color] : T().colors)
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

}  // namespace nomvex
