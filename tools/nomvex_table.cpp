// The table maker: turns the plain-text number table (UTF-8, one entry a
// line, key=value, ";" comments) into Nomvex.dat, and back.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

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
  std::cerr << "Usage: nomvex-table encode TABLE.txt Nomvex.dat\n"
               "       nomvex-table decode Nomvex.dat [TABLE.txt]\n"
               "TABLE.txt is UTF-8: one entry a line (key=value), comments begin with \";\".\n";
  return cmd == "--help" ? 0 : 2;
}
