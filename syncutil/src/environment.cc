#include "environment.h"

#include <cctype>
#include <cstdio>

#include "platform/registry.h"
#include "platform/ui.h"
#include "shared_block.h"
#include "syncutil/syncutil.h"

namespace syncutil {
namespace {

using nb::reg::Hive;

Environment g_env;

const char kRuntimeKey[] = "SOFTWARE\\Corvane\\Nimbra Enterprise\\CurrentVersion";

// "3.1" -> 3 * 65536 + 1; false for anything that is not two decimal integers.
bool ParseVersion(const std::string& name, uint32_t* out) {
  size_t dot = name.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return false;
  uint64_t major = 0, minor = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (i == dot) continue;
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    uint64_t& part = i < dot ? major : minor;
    part = part * 10 + (name[i] - '0');
    if (part > 0xFFFFFFFFu) return false;
  }
  *out = static_cast<uint32_t>(major * 65536 + (minor & 0xFFFF));
  return true;
}

std::string Cut(std::string value, size_t buffer) {
  if (value.size() > buffer - 1) value.resize(buffer - 1);
  return value;
}

// Drive plus folder part of a program path, without the folder's final separator:
// "C:\\Palm\\HotSync.exe" -> "C:\\Palm", "C:HotSync.exe" and "C:\\HotSync.exe" -> "C:".
std::string ProgramFolder(const std::string& path) {
  const bool drive = path.size() >= 2 && std::isalpha(uint8_t(path[0])) && path[1] == ':';
  const size_t sep = path.find_last_of("\\/");
  std::string folder = drive ? path.substr(0, 2) : "";
  if (sep != std::string::npos && (!drive || sep >= 2))
    folder += path.substr(folder.size(), sep - folder.size());
  return folder;
}

}  // namespace

const Environment& Env() {
  EnsureStarted();
  return g_env;
}

std::string JoinPath(const std::string& left, const std::string& right) {
  std::string r = right;
  if (!r.empty() && (r[0] == '\\' || r[0] == '/')) r.erase(0, 1);
  if (left.empty()) return r;
  char last = left.back();
  return (last == '\\' || last == '/') ? left + r : left + "\\" + r;
}

void ReadEnvironment() {
  g_env = Environment{};
  if (!nb::reg::KeyExists(Hive::kLocalMachine, kRuntimeKey)) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "Nimbra is not installed properly. Please repair this installation or run the "
                  "original Nimbra installer. HKEY_LOCAL_MACHINE\\%s is missing.",
                  kRuntimeKey);
    nb::ui::MessageBox("Nimbra", text, nb::ui::Icon::kNone);
  } else if (auto name = nb::reg::GetString(Hive::kLocalMachine, kRuntimeKey, "Keyname")) {
    std::string key =
        std::string("SOFTWARE") + "\\" + "Corvane\\Nimbra Enterprise" + "\\" + Cut(*name, 260);
    if (auto path = nb::reg::GetString(Hive::kLocalMachine, key, "Path")) {
      g_env.nimbra_dir = Cut(*path, 260);
    }
  }

  struct Pair {
    const char* user;
    const char* machine;
  };
  const Pair pairs[] = {
      {"Software\\U.S. Robotics\\Pilot Desktop", "SOFTWARE\\U.S. Robotics\\PalmPilot Desktop"},
      {"Software\\Palm Computing\\Pilot Desktop", "SOFTWARE\\Palm Computing\\Pilot Desktop"},
  };
  const Pair* pair = nullptr;
  for (const Pair& p : pairs) {
    if (nb::reg::KeyExists(Hive::kCurrentUser, p.user)) {
      pair = &p;
      break;
    }
  }
  if (!pair) return;
  g_env.palm_key = pair->user;

  std::string core = g_env.palm_key + "\\Core";
  if (auto path = nb::reg::GetString(Hive::kCurrentUser, core, "HotSyncPath")) {
    g_env.hotsync_path = Cut(*path, 260);
    g_env.hotsync_dir = ProgramFolder(g_env.hotsync_path);
  }
  if (auto data = nb::reg::GetString(Hive::kCurrentUser, core, "Path")) {
    g_env.hotsync_data = Cut(*data, 260);
  }

  for (const std::string& sub : nb::reg::SubKeys(Hive::kLocalMachine, pair->machine)) {
    uint32_t v;
    if (ParseVersion(sub, &v) && v > g_env.hotsync_version) g_env.hotsync_version = v;
  }
}

}  // namespace syncutil

using syncutil::CopyOut;
using syncutil::Env;

NB_SYNCUTIL_API size_t NB_GetNimbraDir(char* d, size_t n) {
  return CopyOut(d, n, Env().nimbra_dir.c_str());
}
NB_SYNCUTIL_API size_t NB_GetVeltroDir(char* d, size_t n) { return NB_GetNimbraDir(d, n); }
NB_SYNCUTIL_API size_t NB_GetPalmKey(char* d, size_t n) {
  return CopyOut(d, n, Env().palm_key.c_str());
}
NB_SYNCUTIL_API size_t NB_GetHotSyncDir(char* d, size_t n) {
  return CopyOut(d, n, Env().hotsync_dir.c_str());
}
NB_SYNCUTIL_API size_t NB_GetHotSyncDataDir(char* d, size_t n) {
  return CopyOut(d, n, Env().hotsync_data.c_str());
}
NB_SYNCUTIL_API size_t NB_GetHotSyncPath(char* d, size_t n) {
  return CopyOut(d, n, Env().hotsync_path.c_str());
}
NB_SYNCUTIL_API uint32_t NB_GetHotSyncVersion() { return Env().hotsync_version; }
