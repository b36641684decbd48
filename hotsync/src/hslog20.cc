// HsLog20.so: the HotSync log. Every entry is echoed to standard error, so the person
// watching a synchronisation follows it, and appended to the log file when one is set.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "hotsync/log.h"
#include "platform/os.h"
#include "platform/prefix.h"

namespace {

// Plain storage: a conduit may log from its own teardown after our destructors ran, and
// nothing may be left behind when the library is released.
char g_file[4096];
char g_conduit[256];

bool ConduitActivity(int32_t activity) { return activity >= 19 && activity <= 21; }

bool AppendLine(const std::string& path, const std::string& line) {
  nb::Os& os = nb::TheOs();
  int fd = os.Open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // One write per entry: concurrent writers cannot interleave inside a line.
  ssize_t n;
  do {
    n = os.Write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  bool ok = n == ssize_t(line.size());
  return os.Close(fd) == 0 && ok;
}

}  // namespace

HS_LOG_API int32_t LogSetFile(const char* path) {
  if (!path || !*path) {
    g_file[0] = 0;
    return 0;
  }
  std::string file = nb::MapPath(path);
  size_t sep = file.find_last_of('/');
  struct stat st;
  if (sep != std::string::npos && sep > 0 &&
      (nb::TheOs().Stat(file.substr(0, sep).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
    return 1;
  if (file.size() >= sizeof g_file) return 1;
  file.copy(g_file, file.size());
  g_file[file.size()] = 0;
  return 0;
}

HS_LOG_API int32_t LogSetConduit(const char* label) {
  const std::string text = label ? label : "";
  const size_t n = text.copy(g_conduit, sizeof g_conduit - 1);
  g_conduit[n] = 0;
  return 0;
}

HS_LOG_API int32_t LogAddEntry(const char* text, int32_t activity, int32_t time_stamp) {
  std::string entry = text ? text : "";
  if (g_conduit[0] && ConduitActivity(activity))
    entry = g_conduit + (entry.empty() ? "" : " " + entry);
  // One line per entry, whatever the text holds.
  for (char& c : entry)
    if (c == '\r' || c == '\n') c = ' ';
  std::string stamp;
  if (time_stamp) {
    time_t now = nb::TheOs().Now();
    struct tm local;
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S ", &local);
    stamp = buf;
  }
  std::fprintf(stderr, "%s%d: %s%s\n", kLogEchoLead, int(activity), stamp.c_str(), entry.c_str());
  if (!g_file[0]) return 0;
  return AppendLine(g_file, std::to_string(activity) + "\t" + stamp + entry + "\n") ? 0 : 1;
}
