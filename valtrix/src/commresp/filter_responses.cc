#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "commresp/common_responses.h"
#include "commresp/responses_file.h"
#include "globals.h"

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

bool WriteDurably(const std::string& path, const std::string& data) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < data.size();) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  // On disk before the rename, so a crash cannot leave a short file in the original's place.
  ok = ok && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

bool Filter(const std::string& commresp, const std::string& filtered) {
  if (unlink(filtered.c_str()) != 0 && errno != ENOENT) return false;
  std::string text;
  if (!ReadWholeFile(commresp, text)) return false;
  if (!WriteDurably(filtered, FilterText(text))) return false;
  // One rename replaces the original: it is either the old file or the whole new one.
  return rename(filtered.c_str(), commresp.c_str()) == 0;
}

}  // namespace

void FilterCommonResponses() {
  const std::string commresp = CommonResponsesPath();
  const std::string filtered = FilteredPath();
  if (Filter(commresp, filtered)) return;
  unlink(filtered.c_str());
  LogError(kFilterFailed);
}

}  // namespace valtrix
