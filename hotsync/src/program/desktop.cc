#include "desktop.h"

#include <cstdio>

#include "platform/os.h"
#include "platform/registry.h"

namespace hotsync {
namespace {

using nb::reg::Hive;

constexpr char kLastUser[] = "LastUserID";
constexpr char kDesktopId[] = "DesktopID";

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
  return nb::reg::GetDword(Hive::kCurrentUser, desktop.keys.user + "\\HotSync Manager", kLastUser)
      .value_or(0);
}

void SetLastUserId(const Desktop& desktop, uint32_t id) {
  nb::reg::SetDword(Hive::kCurrentUser, desktop.keys.user + "\\HotSync Manager", kLastUser, id);
}

uint32_t DesktopId(const Desktop& desktop) {
  const std::string key = desktop.keys.user + "\\HotSync Manager";
  if (uint32_t id = nb::reg::GetDword(Hive::kCurrentUser, key, kDesktopId).value_or(0)) return id;
  // Time and data folder make two desktops unlikely to share one.
  uint32_t id = 2166136261u ^ uint32_t(nb::TheOs().Now());
  for (unsigned char c : desktop.data_dir) id = (id ^ c) * 16777619u;
  if (id == 0) id = 1;
  nb::reg::SetDword(Hive::kCurrentUser, key, kDesktopId, id);
  return id;
}

void Say(const std::string& line) {
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

void Complain(const std::string& line) { std::fprintf(stderr, "hotsync: %s\n", line.c_str()); }

}  // namespace hotsync
