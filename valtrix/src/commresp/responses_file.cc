#include "commresp/responses_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "globals.h"
#include "platform/os.h"

namespace valtrix {

std::string CommonResponsesPath() { return AppFolders().outbox + "commresp.dat"; }
std::string FilteredPath() { return AppFolders().outbox + "cmfiltered.dat"; }

bool ReadWholeFile(const std::string& path, std::string& text) {
  return nb::ReadWholeFile(path, &text);
}

std::vector<std::string> ResponseNames(const nb::Profile& file, std::string_view tag) {
  // The Windows reader looks a section up by its name without surrounding blanks.
  constexpr std::string_view kBlanks = " \t";
  size_t b = tag.find_first_not_of(kBlanks);
  tag = b == std::string_view::npos ? std::string_view() : tag.substr(b);
  tag = tag.substr(0, tag.find_last_not_of(kBlanks) + 1);

  std::vector<std::string> names = file.Keys(tag);
  std::erase_if(names, [](const std::string& n) { return n.empty(); });
  return names;
}

size_t ResponseLimit(std::string_view pick_table) {
  return SameText(pick_table, "APKLG") ? 500 : 50;
}

std::string_view TrimTrailingBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool SameText(std::string_view a, std::string_view b) {
  a = TrimTrailingBlanks(a);
  b = TrimTrailingBlanks(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace valtrix
