#include "globals.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "platform/os.h"

namespace valtrix {

namespace {

Folders g_folders;

const char* const kTableFiles[kHandheldTableCount] = {
    "AprSubj.dbf", "AprHood.dbf", "AprSite.dbf", "AprRmCt.dbf", "AprDsc1.dbf",
    "AprDsc2.dbf", "AprDsc3.dbf", "AprVC.dbf",   "AprInfo.dbf", "Apk01.dbf",
    "Apk02.dbf",   "Apk03.dbf",   "ApkLg.dbf"};

// Whether LC_TIME has the C locale's forms, under whatever name ("C.UTF-8" has them too).
bool CTimeForms() {
  static const locale_t c_locale = newlocale(LC_TIME_MASK, "C", locale_t(0));
  if (!c_locale) return true;
  for (nl_item item : {D_T_FMT, D_FMT, T_FMT, T_FMT_AMPM, AM_STR, PM_STR, MON_1, DAY_1}) {
    if (std::strcmp(nl_langinfo(item), nl_langinfo_l(item, c_locale)) != 0) return false;
  }
  return true;
}

// The user's short date and time with seconds; the C forms are written as the appraisal
// software's own log does ("12/6/2026 3:26:11 PM").
std::string Stamp() {
  std::time_t now = nb::TheOs().Now();
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[128];
  if (CTimeForms()) {
    int hour = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
    std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d %s", tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_year + 1900, hour, tm.tm_min, tm.tm_sec, tm.tm_hour < 12 ? "AM" : "PM");
  } else {
    std::strftime(buf, sizeof buf, "%x %X", &tm);
  }
  return buf;
}

}  // namespace

bool CommonResponsesPending = false;

Folders MakeFolders(const std::string& program_folder) {
  Folders f;
  f.program = program_folder;
  while (f.program.size() > 1 && f.program.back() == '/') f.program.pop_back();
  f.system = f.program + "/System/";
  f.outbox = f.program + "/Outbox/";
  f.inbox = f.program + "/Inbox/";
  for (size_t i = 0; i < kHandheldTableCount; ++i) f.handheld_tables[i] = f.system + kTableFiles[i];
  return f;
}

const Folders& AppFolders() { return g_folders; }
void SetAppFolders(const Folders& folders) { g_folders = folders; }

void Progress(const std::string& text) {
  std::printf("valtrix: %s\n", text.c_str());
  std::fflush(stdout);
}

bool IsLink(const std::string& path) {
  std::string entry = path;
  while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
  return nb::IsSymlink(entry);
}

void LogError(const std::string& message) {
  const std::string path = g_folders.program + "/errorlog.txt";
  std::string line = Stamp() + " " + message + "\r\n";
  nb::Os& os = nb::TheOs();
  const int fd = os.Open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) throw std::runtime_error("cannot open the error log " + path);
  bool ok = nb::WriteAll(fd, line.data(), line.size());
  ok = os.Close(fd) == 0 && ok;
  if (!ok) throw std::runtime_error("cannot write the error log " + path);
}

}  // namespace valtrix
