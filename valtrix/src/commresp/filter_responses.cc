#include <cerrno>
#include <string>
#include <string_view>

#include "commresp/common_responses.h"
#include "commresp/responses_file.h"
#include "globals.h"
#include "platform/os.h"

namespace valtrix {
namespace {

// Lines end where the profile reader ends them (CR LF, LF or CR), so the filter and the
// reader agree on what a line is.
std::string FilterText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
    bool header = !line.empty() && line.front() == '[' && line.back() == ']';
    out.append(line);
    if (!header && !line.empty() && line.back() != '=') out.push_back('=');
    out.append("\r\n");
    if (end == std::string_view::npos) break;
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return out;
}

bool Filter(const std::string& commresp, const std::string& filtered) {
  // A filtered file a crash left behind is stale.
  if (nb::TheOs().Unlink(filtered.c_str()) != 0 && errno != ENOENT) return false;
  std::string text;
  if (!ReadWholeFile(commresp, text)) return false;
  std::string error;
  if (nb::WriteFileDurably(commresp, FilterText(text), &error)) return true;
  LogError(error);
  return false;
}

}  // namespace

void FilterCommonResponses() {
  const std::string commresp = CommonResponsesPath();
  const std::string filtered = FilteredPath();
  if (Filter(commresp, filtered)) return;
  LogError(kFilterFailed);
}

}  // namespace valtrix
