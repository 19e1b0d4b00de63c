// The table maker: turns the plain-text number table (UTF-8, one entry a
// line, key=value, ";" comments) into Nomvex.dat, and back; and makes that
// plain text from libphonenumber's carrier data for Japan.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "table/number_table.h"

namespace {

using nomvex::DecodeLine;
using nomvex::ScrambleText;

bool Storable(const std::string& stored) {
  return stored.find_first_of(std::string("\n\r\x1A", 3)) == std::string::npos;
}

// A key byte from "A" up under which no stored byte ends the line or the
// data.  Where to start walks with the line number, so that the file is
// scrambled rather than stored as plain text.
int ChooseKeyByte(const std::string& text, size_t line_no) {
  const int span = 0xFF - 0x41 + 1;
  for (int n = 0; n < span; ++n) {
    int key = 0x41 + static_cast<int>((line_no * 37 + static_cast<size_t>(n)) % span);
    if (Storable(ScrambleText(text, static_cast<unsigned char>(key)))) return key;
  }
  return -1;
}

int Fail(const std::string& where, size_t line_no, const std::string& why) {
  std::cerr << "nomvex-table: " << where << ":" << line_no << ": " << why << "\n";
  return 1;
}

int Encode(const std::string& in_path, const std::string& out_path) {
  std::ifstream in(in_path, std::ios::binary);
  if (!in) return Fail(in_path, 0, std::strerror(errno));
  std::ostringstream out;
  std::string line;
  size_t line_no = 0;
  while (std::getline(in, line)) {
    ++line_no;
    std::string text = nomvex::platform::ToCp932(line);
    if (nomvex::platform::FromCp932(text) != line)
      return Fail(in_path, line_no, "not representable in code page 932");
    if (text.find_first_of(std::string("\r\x1A\0", 3)) != std::string::npos)
      return Fail(in_path, line_no, "CR, 0x1A and NUL cannot be stored");
    if (!text.empty() && text[0] == ';') {  // comments are stored as they are
      out << text << "\r\n";
      continue;
    }
    if (text.size() + 2 > nomvex::kMaxLineBytes)
      return Fail(in_path, line_no, "longer than 97 bytes in code page 932");
    int key = ChooseKeyByte(text, line_no);
    if (key < 0) return Fail(in_path, line_no, "no key byte can store this line");
    std::string stored = static_cast<char>(key) + ScrambleText(text, static_cast<unsigned char>(key));
    auto entry = DecodeLine(stored);
    if (!entry || entry->first + "=" + entry->second != text)
      return Fail(in_path, line_no,
                  "not an entry: key of 3 bytes or more, \"=\", value (blank lines are not allowed)");
    out << stored << "\r\n";
  }
  std::ofstream file(out_path, std::ios::binary | std::ios::trunc);
  file << out.str();
  file.close();
  if (!file) return Fail(out_path, 0, "cannot be written");
  return 0;
}

int Decode(const std::string& in_path, std::ostream& out) {
  nomvex::platform::TextReader in;
  if (int err = in.Open(in_path)) return Fail(in_path, 0, std::strerror(err));
  std::string_view line;
  size_t line_no = 0;
  int status = 0;
  while (in.NextLine(line)) {
    ++line_no;
    if (!line.empty() && line[0] == ';') {
      out << nomvex::platform::FromCp932(line) << "\n";
    } else if (auto entry = DecodeLine(line)) {
      out << nomvex::platform::FromCp932(entry->first + "=" + entry->second) << "\n";
    } else {
      Fail(in_path, line_no, "skipped: not an entry the program would load");
      status = 1;
    }
  }
  if (in.error()) return Fail(in_path, line_no, std::strerror(in.error()));
  return status;
}

// The operators of libphonenumber's carrier data, under the names and in
// the regions that users know them by.  A name missing here stops the
// generator: someone has to name a new operator before it goes in.
struct Operator {
  std::string_view upstream, name, region;
};
constexpr Operator kOperators[] = {
    {"NTT Docomo", "DoCoMo", "全国"},
    {"KDDI", "au", "全国"},
    {"Softbank", "SoftBank", "全国"},
    {"Rakuten Communications", "楽天モバイル", "全国"},
    // Okinawa's au operator, a KDDI group company: the merge rule shows its
    // blocks as au.
    {"Okinawa Cellular", "セルラー", "沖縄"},
};

// A block is the first 7 digits of a national number: "0" and 6 more.
constexpr size_t kBlockDigits = 6;
constexpr size_t kBlocks = 1000000;

// The data version names the release and the number of blocks, briefly:
// "Data : " and it must fit the About dialog's data line.
std::string DataVersionText(const std::string& release, size_t blocks) {
  return "libphonenumber " + release + " / " + std::to_string(blocks);
}

// Reads libphonenumber's carrier file for country code 81 ("81PREFIX|Name"
// a line, "#" comments; the longest prefix wins) and writes the table text:
// every 7-digit block whose first and third digits are 0, the only numbers
// the program looks up, with its operator and region.
int Generate(const std::string& release, const std::string& in_path,
             const std::string& out_path) {
  std::ifstream in(in_path, std::ios::binary);
  if (!in) return Fail(in_path, 0, std::strerror(errno));
  struct Prefix {
    size_t line_no;
    const Operator* op;
  };
  std::map<std::string, Prefix> prefixes;  // national digits after the leading 0
  std::string line;
  size_t line_no = 0;
  while (std::getline(in, line)) {
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find('|');
    const std::string digits = line.substr(0, bar);
    if (bar == std::string::npos || digits.size() < 2 || digits.compare(0, 2, "81") != 0 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return Fail(in_path, line_no, "not a line of the form 81PREFIX|Carrier: " + line);
    const std::string_view name = std::string_view(line).substr(bar + 1);
    const Operator* op = nullptr;
    for (const Operator& o : kOperators)
      if (o.upstream == name) op = &o;
    if (!op) return Fail(in_path, line_no, "unknown operator '" + std::string(name) + "'");
    std::string national = digits.substr(2);
    // Only numbers 0?0... are looked up; a prefix that has none is no concern.
    if (national.size() >= 2 && national[1] != '0') continue;
    if (national.size() > kBlockDigits)
      return Fail(in_path, line_no, "prefix " + digits + " is finer than a 7-digit block");
    auto [it, added] = prefixes.try_emplace(national, Prefix{line_no, op});
    if (!added)
      return Fail(in_path, line_no,
                  "prefix " + digits + " given twice (also on line " +
                      std::to_string(it->second.line_no) + ")");
  }
  if (in.bad()) return Fail(in_path, line_no, "cannot be read");

  // Shorter prefixes first, so that a longer one overwrites the blocks it owns.
  std::vector<std::pair<std::string, const Operator*>> order;
  for (const auto& [national, p] : prefixes) order.emplace_back(national, p.op);
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first.size() < b.first.size(); });
  std::vector<const Operator*> blocks(kBlocks, nullptr);  // by the 6 digits after the 0
  for (const auto& [national, op] : order) {
    size_t span = 1, first = 0;
    for (size_t i = national.size(); i < kBlockDigits; ++i) span *= 10;
    for (char c : national) first = first * 10 + static_cast<size_t>(c - '0');
    first *= span;
    for (size_t b = first; b < first + span; ++b)
      if ((b / 10000) % 10 == 0) blocks[b] = op;  // the third digit of the block
  }
  size_t count = 0;
  for (const Operator* op : blocks) count += op != nullptr;

  std::ostringstream out;
  out << "; Nomvex number table: the operator of every 7-digit mobile and PHS block.\n"
      << "; Made by nomvex-table generate from libphonenumber " << release
      << ", carrier data for Japan\n"
      << "; (data/libphonenumber/, Apache License 2.0; see data/NOTICE).\n"
      << "VERSION=" << DataVersionText(release, count) << "\n"
      << "FORMAT=block=operator region\n";
  char block[8];
  for (size_t b = 0; b < kBlocks; ++b) {
    if (!blocks[b]) continue;
    std::snprintf(block, sizeof block, "0%06zu", b);
    out << block << "=" << blocks[b]->name << " " << blocks[b]->region << "\n";
  }
  std::ofstream file(out_path, std::ios::binary | std::ios::trunc);
  file << out.str();
  file.close();
  if (!file) return Fail(out_path, 0, "cannot be written");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "encode" && argc == 4) return Encode(argv[2], argv[3]);
  if (cmd == "decode" && (argc == 3 || argc == 4)) {
    if (argc == 3) return Decode(argv[2], std::cout);
    std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
    int status = Decode(argv[2], out);
    out.close();
    if (!out) return Fail(argv[3], 0, "cannot be written");
    return status;
  }
  if (cmd == "generate" && argc == 6 && std::string_view(argv[2]) == "--release")
    return Generate(argv[3], argv[4], argv[5]);
  std::cerr << "Usage: nomvex-table encode TABLE.txt Nomvex.dat\n"
               "       nomvex-table decode Nomvex.dat [TABLE.txt]\n"
               "       nomvex-table generate --release VERSION carrier-en-81.txt TABLE.txt\n"
               "TABLE.txt is UTF-8: one entry a line (key=value), comments begin with \";\".\n"
               "generate reads libphonenumber's carrier data for Japan (81PREFIX|Carrier a\n"
               "line) and writes every 7-digit 0?0 block with its operator, the longest\n"
               "prefix winning; VERSION is the libphonenumber release it comes from.\n";
  return cmd == "--help" ? 0 : 2;
}
