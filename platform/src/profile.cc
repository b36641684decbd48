#include "platform/profile.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"

namespace nb {
namespace {

constexpr size_t kNone = std::string::npos;

// Windows counts a carriage return and ^Z (a DOS end of file) as blanks too.
std::string_view Trim(std::string_view s) {
  constexpr std::string_view kBlanks = " \t\r\n\v\f\x1a";
  size_t b = s.find_first_not_of(kBlanks);
  if (b == kNone) return {};
  size_t e = s.find_last_not_of(kBlanks);
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

enum class Kind { kBlank, kComment, kSection, kEntry, kBare };

struct Line {
  Kind kind;
  std::string_view name;
  std::string_view value;
};

Line ParseLine(std::string_view raw) {
  std::string_view t = Trim(raw);
  if (t.empty()) return {Kind::kBlank, {}, {}};
  if (t[0] == ';') return {Kind::kComment, {}, {}};
  // A header's name runs to the line's last "]" untrimmed; without one it is a key line.
  size_t close = t[0] == '[' ? t.rfind(']') : kNone;
  if (close != kNone && close > 0) return {Kind::kSection, t.substr(1, close - 1), {}};
  size_t eq = t.find('=');
  if (eq == kNone) return {Kind::kBare, t, {}};
  return {Kind::kEntry, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// How a caller's section or key name is looked up: blanks around it do not count.
std::string LookupName(std::string_view s) { return Lower(Trim(s)); }

// The name under which a header's section is found, listed and written, or empty when no
// caller's name finds it: a header's name is not trimmed (as under Windows), but a
// caller's name is, so a header name that is empty or has blanks at its ends is never
// found. Such a header still ends the section before it.
std::string SectionKey(std::string_view header_name) {
  return Trim(header_name).size() == header_name.size() ? Lower(header_name) : std::string();
}

}  // namespace

Profile Profile::Parse(std::string_view text) {
  Profile p;
  // Only a line feed ends a line; a carriage return elsewhere is part of the line.
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == kNone) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    p.lines_.emplace_back(line);
    start = end + 1;
  }
  bool first = false;  // whether the current section is the first of its name
  for (size_t i = 0; i < p.lines_.size(); ++i) {
    Line l = ParseLine(p.lines_[i]);
    if (l.kind == Kind::kSection) {
      const std::string key = SectionKey(l.name);
      first = !key.empty() && p.first_.emplace(key, p.sections_.size()).second;
      p.sections_.push_back({i, {}});
    } else if (first && (l.kind == Kind::kEntry || l.kind == Kind::kBare)) {
      Section& s = p.sections_.back();
      s.keys.emplace(Lower(l.name), i - s.header);
    }
  }
  return p;
}

Profile Profile::Load(const std::string& path, bool* exists) {
  if (exists) *exists = false;
  std::string text;
  if (!ReadWholeFile(path, &text) && text.empty()) return Profile();
  if (exists) *exists = true;
  return Parse(text);
}

const Profile::Section* Profile::Find(std::string_view section) const {
  std::string name = LookupName(section);
  if (name.empty()) return nullptr;
  auto it = first_.find(name);
  return it == first_.end() ? nullptr : &sections_[it->second];
}

size_t Profile::FindEntry(std::string_view section, std::string_view key) const {
  const Section* s = Find(section);
  if (!s) return kNone;
  auto it = s->keys.find(LookupName(key));
  return it == s->keys.end() ? kNone : s->header + it->second;
}

size_t Profile::SectionEnd(size_t index) const {
  return index + 1 < sections_.size() ? sections_[index + 1].header : lines_.size();
}

std::string Profile::Get(std::string_view section, std::string_view key,
                         std::string_view def) const {
  size_t i = FindEntry(section, key);
  if (i == kNone) return std::string(def);
  Line l = ParseLine(lines_[i]);
  if (l.kind != Kind::kEntry) return std::string(def);
  return std::string(Unquote(l.value));
}

bool Profile::Has(std::string_view section, std::string_view key) const {
  size_t i = FindEntry(section, key);
  return i != kNone && ParseLine(lines_[i]).kind == Kind::kEntry;
}

std::vector<std::string> Profile::Keys(std::string_view section) const {
  std::vector<std::string> out;
  const Section* s = Find(section);
  if (!s) return out;
  size_t end = SectionEnd(static_cast<size_t>(s - sections_.data()));
  for (size_t i = s->header + 1; i < end; ++i) {
    Line l = ParseLine(lines_[i]);
    if (l.kind == Kind::kEntry) out.emplace_back(l.name);
  }
  return out;
}

std::vector<std::string> Profile::Sections() const {
  std::vector<std::string> out;
  out.reserve(sections_.size());
  for (const Section& s : sections_) {
    std::string_view name = ParseLine(lines_[s.header]).name;
    if (!SectionKey(name).empty()) out.emplace_back(name);
  }
  return out;
}

void Profile::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + value.size() + 1);
  line.append(key).append("=").append(value);
  // Index under the name as it will read back, so a later parse agrees with the index.
  std::string lowered = Lower(ParseLine(line).name);
  auto it = first_.find(LookupName(section));
  if (it == first_.end()) {
    // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on the "[" + ... + "]" form.
    std::string header;
    header.append("[").append(Trim(section)).append("]");
    if (std::string key = SectionKey(ParseLine(header).name); !key.empty())
      first_.emplace(std::move(key), sections_.size());
    sections_.push_back({lines_.size(), {{lowered, 1}}});
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(line));
    return;
  }
  Section& s = sections_[it->second];
  auto k = s.keys.find(lowered);
  if (k != s.keys.end()) {
    lines_[s.header + k->second] = std::move(line);
    return;
  }
  // Trailing blank lines stay between this section and the next.
  size_t at = SectionEnd(it->second);
  while (at > s.header + 1 && ParseLine(lines_[at - 1]).kind == Kind::kBlank) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
  s.keys.emplace(std::move(lowered), at - s.header);
  for (size_t j = it->second + 1; j < sections_.size(); ++j) ++sections_[j].header;
}

std::string Profile::Text() const {
  size_t total = 0;
  for (const std::string& l : lines_) total += l.size() + 2;
  std::string out;
  out.reserve(total);
  for (const std::string& l : lines_) out.append(l).append("\r\n");
  return out;
}

bool Profile::Save(const std::string& path, std::string* error) const {
  return WriteFileDurably(path, Text(), error);
}

bool Profile::SaveWithoutFolderSync(const std::string& path, std::string* error) const {
  return WriteFileDurably(path, Text(), error, FolderSync::kDeferred);
}

bool Profile::SyncFolder(const std::string& folder) { return nb::SyncFolder(folder); }

size_t Profile::GetString(std::string_view section, std::string_view key, std::string_view def,
                          char* dest, size_t n) const {
  if (n == 0) return 0;
  if (!key.empty()) {
    std::string v = Get(section, key, def);
    size_t len = std::min(v.size(), n - 1);
    memcpy(dest, v.data(), len);
    dest[len] = '\0';
    return len;
  }
  std::string list;
  for (const std::string& k : Keys(section)) list.append(k).push_back('\0');
  if (list.size() + 1 <= n) {
    memcpy(dest, list.data(), list.size());
    dest[list.size()] = '\0';
    return list.size();
  }
  // A cut list still ends in two NULs so callers walking it stop.
  if (n < 2) {
    dest[0] = '\0';
    return 0;
  }
  memcpy(dest, list.data(), n - 2);
  dest[n - 2] = '\0';
  dest[n - 1] = '\0';
  return n - 2;
}

}  // namespace nb
