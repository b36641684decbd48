#include "reg_text.h"

#include <cstdio>
#include <optional>

namespace nb::reg::text {

const char kHeader[] = "Windows Registry Editor Version 5.00";

namespace {

constexpr char kHeader4[] = "REGEDIT4";

// Unicode of the ANSI code page's (1252) bytes 0x80-0x9F; the rest map to themselves.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t Widen(unsigned char c) { return c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c; }

std::optional<char> Narrow(char16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u < 0x100)) return static_cast<char>(u);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == u) return static_cast<char>(0x80 + i);
  return std::nullopt;
}

struct Decoded {
  std::string text;
  size_t bad_line = 0;  // first line holding a character the code page lacks
  bool utf16 = false;
};

// regedit's UTF-16LE form becomes single-byte text.
Decoded Decode(const std::string& bytes) {
  Decoded d;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE) {
    d.text = bytes;
    return d;
  }
  d.utf16 = true;
  size_t line = 1;
  for (size_t i = 2; i < bytes.size(); i += 2) {
    if (i + 1 == bytes.size()) {
      if (!d.bad_line) d.bad_line = line;
      break;
    }
    char16_t u = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    std::optional<char> c = Narrow(u);
    if (!c && !d.bad_line) d.bad_line = line;
    d.text += c.value_or('?');
    if (u == '\n') ++line;
  }
  return d;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::optional<Hive> KeyHive(const std::string& full, std::string& path) {
  size_t sep = full.find('\\');
  path = sep == std::string::npos ? "" : full.substr(sep + 1);
  return ParseHive(full.substr(0, sep));
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
bool Unquote(const std::string& s, size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  out.clear();
  for (size_t i = pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      pos = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += c;
    }
  }
  return false;
}

int HexDigit(char c) {
  c = Lower(c);
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// 1 to 8 hex digits.
bool ParseHex32(const std::string& s, uint32_t& out) {
  if (s.empty() || s.size() > 8) return false;
  out = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    out = out << 4 | static_cast<uint32_t>(d);
  }
  return true;
}

// "aa,bb,..." (blanks allowed around bytes, empty list allowed) into raw bytes.
bool ParseBytes(const std::string& s, std::string& out) {
  out.clear();
  size_t i = 0;
  auto blanks = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  };
  blanks();
  if (i == s.size()) return true;
  while (true) {
    int hi = i < s.size() ? HexDigit(s[i]) : -1;
    if (hi < 0) return false;
    ++i;
    int lo = i < s.size() ? HexDigit(s[i]) : -1;
    if (lo >= 0) ++i;
    out += static_cast<char>(lo < 0 ? hi : hi * 16 + lo);
    blanks();
    if (i == s.size()) return true;
    if (s[i++] != ',') return false;
    blanks();
  }
}

bool IsTextType(uint32_t type) { return type == 1 || type == 2 || type == 7; }

// The data after "=": false when it is not understood.
bool ParseData(const std::string& s, bool regedit4, Change& c) {
  c.op = Change::Op::kValue;
  Value& v = c.value;
  if (s == "-") {
    c.op = Change::Op::kDeleteValue;
    return true;
  }
  if (!s.empty() && s[0] == '"') {
    size_t pos = 0;
    v.kind = Value::Kind::kString;
    return Unquote(s, pos, v.text) && pos == s.size();
  }
  if (s.compare(0, 6, "dword:") == 0) {
    v.kind = Value::Kind::kDword;
    return ParseHex32(s.substr(6), v.number);
  }
  if (s.compare(0, 3, "hex") != 0) return false;
  v.kind = Value::Kind::kBinary;
  v.number = 3;
  size_t colon = 3;
  if (s.compare(3, 1, "(") == 0) {
    size_t close = s.find(')', 4);
    if (close == std::string::npos || !ParseHex32(s.substr(4, close - 4), v.number)) return false;
    colon = close + 1;
  }
  if (s.compare(colon, 1, ":") != 0 || !ParseBytes(s.substr(colon + 1), v.text)) return false;
  // The old form stores text types in the code page; keep them as Windows does, in UTF-16.
  if (regedit4 && IsTextType(v.number)) {
    std::string wide;
    for (char ch : v.text) {
      char16_t u = Widen(static_cast<unsigned char>(ch));
      wide += static_cast<char>(u & 0xFF);
      wide += static_cast<char>(u >> 8);
    }
    v.text = wide;
  }
  return true;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  return s;
}

std::string TrimLeft(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b);
}

}  // namespace

Parsed Parse(const std::string& bytes) {
  Parsed out;
  Decoded d = Decode(bytes);
  std::vector<std::string> lines;
  for (size_t start = 0; start < d.text.size();) {
    size_t end = d.text.find('\n', start);
    if (end == std::string::npos) end = d.text.size();
    lines.push_back(TrimRight(d.text.substr(start, end - start)));
    start = end + 1;
  }
  auto fail = [&](size_t line, const std::string& what) {
    out.error_line = line;
    out.error = what;
    return out;
  };
  bool seen_header = false, regedit4 = false, in_key = false;
  Hive hive = Hive::kLocalMachine;
  std::string path;
  for (size_t i = 0; i < lines.size(); ++i) {
    size_t number = i + 1;
    if (d.bad_line && number >= d.bad_line)
      return fail(d.bad_line, "a character the ANSI code page lacks");
    std::string line = lines[i];
    if (line.empty() || line[0] == ';') continue;
    if (!seen_header) {
      if (line != kHeader && line != kHeader4) return fail(number, "no registry file header");
      seen_header = true;
      regedit4 = line == kHeader4;
      continue;
    }
    if (line[0] == '[') {
      bool remove = line.size() > 1 && line[1] == '-';
      std::string full = line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2));
      std::optional<Hive> h;
      if (line.back() != ']' || !(h = KeyHive(full, path)))
        return fail(number, "not a key of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER: " + line);
      hive = *h;
      in_key = !remove;
      out.changes.push_back(
          {remove ? Change::Op::kDeleteKey : Change::Op::kKey, hive, path, "", {}, number});
      continue;
    }
    while (line.back() == '\\' && i + 1 < lines.size()) {
      line.pop_back();
      line += TrimLeft(lines[++i]);
      if (line.empty()) break;
    }
    Change c{Change::Op::kValue, hive, path, "", {}, number};
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!Unquote(line, pos, c.name)) {
      return fail(number, "not understood: " + lines[number - 1]);
    }
    if (pos >= line.size() || line[pos] != '=' || !ParseData(line.substr(pos + 1), regedit4, c))
      return fail(number, "not understood: " + lines[number - 1]);
    if (!in_key) return fail(number, "a value outside any key: " + lines[number - 1]);
    out.changes.push_back(std::move(c));
  }
  if (d.bad_line) return fail(d.bad_line, "a character the ANSI code page lacks");
  return out;
}

std::string ValueLine(const std::string& name, const Value& v) {
  // Newlines are escaped too so that a value can never split into two lines.
  auto quote = [](const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
      if (c == '\\' || c == '"') {
        q += '\\';
        q += c;
      } else if (c == '\n') {
        q += "\\n";
      } else if (c == '\r') {
        q += "\\r";
      } else {
        q += c;
      }
    }
    return q + "\"";
  };
  std::string line = name.empty() ? "@=" : quote(name) + "=";
  char buf[24];
  switch (v.kind) {
    case Value::Kind::kString:
      return line + quote(v.text);
    case Value::Kind::kDword:
      snprintf(buf, sizeof buf, "dword:%08x", v.number);
      return line + buf;
    case Value::Kind::kBinary:
      if (v.number == 3) {
        line += "hex:";
      } else {
        snprintf(buf, sizeof buf, "hex(%x):", v.number);
        line += buf;
      }
      for (size_t i = 0; i < v.text.size(); ++i) {
        snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", static_cast<unsigned char>(v.text[i]));
        line += buf;
      }
      return line;
  }
  return line;
}

}  // namespace nb::reg::text
