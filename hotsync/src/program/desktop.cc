#include "desktop.h"

#include <cstdio>

#include "platform/os.h"
#include "platform/registry.h"

namespace hotsync {
namespace {

using nb::reg::Hive;

constexpr char kLastUser[] = "LastUserID";
constexpr char kDesktopId[] = "DesktopID";
constexpr char kSession[] = "SyncSession";
constexpr char kCleanSession[] = "CleanSyncSession";

std::string ManagerKey(const Desktop& desktop) { return desktop.keys.user + "\\HotSync Manager"; }

}  // namespace

bool ReadDesktop(Desktop* desktop, std::string* error) {
  *desktop = Desktop{};
  desktop->keys = FindPalmKeys();
  const std::string core = desktop->keys.user + "\\Core";
  if (desktop->keys.user.empty() || !nb::reg::KeyExists(Hive::kCurrentUser, core)) {
    *error = "HotSync is not set up on this desktop; run \"hotsync init\" first";
    return false;
  }
  desktop->hotsync_path = nb::reg::GetString(Hive::kCurrentUser, core, "HotSyncPath").value_or("");
  size_t sep = desktop->hotsync_path.find_last_of("\\/");
  desktop->hotsync_dir = sep == std::string::npos ? "" : desktop->hotsync_path.substr(0, sep);
  if (desktop->hotsync_dir.empty()) desktop->hotsync_dir = "C:\\Palm";
  desktop->data_dir = nb::reg::GetString(Hive::kCurrentUser, core, "Path").value_or("");
  if (desktop->data_dir.empty()) {
    *error = "the HotSync data folder (" + core + " \"Path\") is not set; run \"hotsync init\"";
    return false;
  }
  return true;
}

std::string JoinPath(const std::string& left, const std::string& right) {
  std::string r = right;
  while (!r.empty() && (r[0] == '\\' || r[0] == '/')) r.erase(0, 1);
  if (left.empty()) return r;
  char last = left.back();
  return (last == '\\' || last == '/') ? left + r : left + "\\" + r;
}

uint32_t LastUserId(const Desktop& desktop) {
  return nb::reg::GetDword(Hive::kCurrentUser, ManagerKey(desktop), kLastUser).value_or(0);
}

void SetLastUserId(const Desktop& desktop, uint32_t id) {
  nb::reg::SetDword(Hive::kCurrentUser, ManagerKey(desktop), kLastUser, id);
}

uint32_t DesktopId(const Desktop& desktop) {
  const std::string key = ManagerKey(desktop);
  if (uint32_t id = nb::reg::GetDword(Hive::kCurrentUser, key, kDesktopId).value_or(0)) return id;
  // Time and data folder make two desktops unlikely to share one.
  uint32_t id = 2166136261u ^ uint32_t(nb::TheOs().Now());
  for (unsigned char c : desktop.data_dir) id = (id ^ c) * 16777619u;
  if (id == 0) id = 1;
  nb::reg::SetDword(Hive::kCurrentUser, key, kDesktopId, id);
  return id;
}

bool StartSessionNumber(const Desktop& desktop, uint32_t* session, std::string* error) {
  const std::string key = ManagerKey(desktop);
  *session = nb::reg::GetDword(Hive::kCurrentUser, key, kSession).value_or(0) + 1;
  if (*session == 0) *session = 1;  // never the number of a session that never ran
  if (nb::reg::SetDword(Hive::kCurrentUser, key, kSession, *session)) return true;
  *error = "cannot number this synchronisation: " + nb::reg::LastError();
  return false;
}

bool NoteCleanEnd(const Desktop& desktop, uint32_t session, std::string* error) {
  if (nb::reg::SetDword(Hive::kCurrentUser, ManagerKey(desktop), kCleanSession, session))
    return true;
  *error = "cannot note the clean end of this synchronisation: " + nb::reg::LastError();
  return false;
}

void Say(const std::string& line) {
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

void Complain(const std::string& line) { std::fprintf(stderr, "hotsync: %s\n", line.c_str()); }

}  // namespace hotsync
