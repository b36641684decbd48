#include "init.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "desktop.h"
#include "hotsync/conduit_registry.h"
#include "pdbfile/bytes.h"
#include "platform/installation.h"
#include "platform/library.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/registry.h"

namespace hotsync {
namespace {

using nb::reg::Hive;

constexpr char kRuntimeVersionKey[] = "SOFTWARE\\Corvane\\Nimbra Enterprise\\CurrentVersion";
constexpr char kRuntimeRoot[] = "SOFTWARE\\Corvane\\Nimbra Enterprise";

struct Init {
  int changes = 0;
  bool failed = false;

  void Changed(const std::string& what) {
    ++changes;
    Say("init: " + what);
  }
  void Failed(const std::string& what) {
    failed = true;
    Complain(what);
  }

  // The value when present; otherwise `def`, stored.
  std::string EnsureString(Hive hive, const std::string& key, const std::string& name,
                           const std::string& def) {
    if (auto v = nb::reg::GetString(hive, key, name); v && !v->empty()) return *v;
    if (!nb::reg::SetString(hive, key, name, def)) {
      Failed("cannot write the registry value " + key + " \"" + name + "\"");
    } else {
      Changed(std::string(nb::reg::HiveName(hive)) + "\\" + key + " \"" + name + "\" = \"" + def +
              "\"");
    }
    return def;
  }

  void EnsureKey(Hive hive, const std::string& key) {
    if (nb::reg::KeyExists(hive, key)) return;
    if (nb::reg::CreateKey(hive, key))
      Changed("created " + std::string(nb::reg::HiveName(hive)) + "\\" + key);
    else
      Failed("cannot create the registry key " + key);
  }

  void EnsureFolder(const std::string& posix) {
    if (nb::IsFolder(posix)) return;
    if (nb::MakeDirs(posix))
      Changed("created the folder " + posix);
    else
      Failed("cannot create the folder " + posix + ": " + std::strerror(errno));
  }

  // `link` points at `target` afterwards; a copy with the same bytes is right too.
  void EnsureLink(const std::string& target, const std::string& link) {
    nb::Os& os = nb::TheOs();
    std::string now;
    const int n = os.Readlink(link.c_str(), &now);
    if (n >= 0 && now == target) return;
    struct stat st;
    if (n < 0 && os.Lstat(link.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return Failed(link + " is a folder, not a library");
      if (S_ISREG(st.st_mode) && SameBytes(target, link)) return;
    }
    const std::string temp = link + ".new";
    os.Unlink(temp.c_str());
    if (os.Symlink(target.c_str(), temp.c_str()) != 0 ||
        os.Rename(temp.c_str(), link.c_str()) != 0) {
      Failed("cannot link " + link + " to " + target + ": " + std::strerror(errno));
      os.Unlink(temp.c_str());
      return;
    }
    Changed("linked " + link + " -> " + target);
  }

  static bool SameBytes(const std::string& a, const std::string& b) {
    std::string fa, fb;
    return nb::ReadWholeFile(a, &fa) && nb::ReadWholeFile(b, &fb) && fa == fb;
  }
};

// After the installation moved, registrations still name the plug-ins where they were: each
// whose file is gone names this installation's plug-in of the same name, when there is one.
void RepairConduits(Init& init, const std::string& palm_key, const std::string& bin) {
  for (const ConduitRegistration& e : ListRegistrations(palm_key)) {
    const std::string file = nb::LibraryFile(e.conduit);
    if (nb::IsRegularFile(file)) continue;
    const std::string who =
        "the conduit of '" + nb::pdb::FourCCText(e.creator) + "' (" + e.name + ")";
    const std::string here = bin + "/" + file.substr(file.rfind('/') + 1);
    if (!nb::IsRegularFile(here)) {
      Complain(who + " is " + file + ", which is missing, and " + bin + " has none of that name");
      continue;
    }
    std::string error;
    if (SetRegistrationConduit(palm_key, e.key, here, &error))
      init.Changed(who + " was " + file + ", which is missing; it is now " + here);
    else
      init.Failed(error);
  }
}

std::string ProgramFile() {
  std::string self;
  return nb::TheOs().Readlink("/proc/self/exe", &self) == 0 ? self : nb::ProgramDir() + "/hotsync";
}

}  // namespace

int RunInit() {
  Init init;
  PalmKeys keys = FindPalmKeys();
  if (keys.user.empty()) keys = DefaultPalmKeys();

  // The runtime's installation key and its plug-in folders.
  const std::string keyname =
      init.EnsureString(Hive::kLocalMachine, kRuntimeVersionKey, "Keyname", "3.0");
  const std::string runtime =
      init.EnsureString(Hive::kLocalMachine, std::string(kRuntimeRoot) + "\\" + keyname, "Path",
                        "C:\\Program Files\\Nimbra\\");

  // The Palm desktop keys.
  const std::string core = keys.user + "\\Core";
  const std::string hotsync_path =
      init.EnsureString(Hive::kCurrentUser, core, "HotSyncPath", "C:\\Palm\\HotSync.exe");
  init.EnsureString(Hive::kCurrentUser, core, "Path", "C:\\Palm\\Data\\");
  init.EnsureKey(Hive::kCurrentUser, keys.user + "\\HotSync Manager");
  if (HotSyncVersion(keys.machine) == 0)
    init.EnsureKey(Hive::kLocalMachine, keys.machine + "\\4.0");
  if (init.failed) return 1;

  Desktop desktop;
  std::string error;
  if (!ReadDesktop(&desktop, &error)) {
    Complain(error);
    return 1;
  }

  // HotSync's program and libraries in the HotSync folder; the build tree's or the
  // installation's, wherever this program's libraries are.
  const std::string bin = nb::LibraryDir();
  const std::string hotsync_dir = nb::MapPath(desktop.hotsync_dir);
  init.EnsureFolder(hotsync_dir);
  init.EnsureLink(ProgramFile(), nb::MapPath(hotsync_path));
  for (const char* lib : {"HsLog20.so", "Cmds21.so", "Sync20.so", "HsUsers20.so"}) {
    if (!nb::Exists(bin + "/" + lib)) {
      init.Failed(std::string("there is no ") + lib + " in " + bin);
      continue;
    }
    init.EnsureLink(bin + "/" + lib, hotsync_dir + "/" + lib);
  }

  // The plug-ins beside our libraries; those not built yet are linked by a later init.
  const std::string rt = nb::MapPath(JoinPath(runtime, "Bin"));
  init.EnsureFolder(rt + "/NDDI");
  init.EnsureFolder(rt + "/NBDDB");
  struct Plugin {
    const char* file;
    const char* folder;
  };
  for (const Plugin& p : {Plugin{"pdbdevice.so", "/NDDI/"}, Plugin{"dbfstore.so", "/NBDDB/"},
                          Plugin{"mdbstore.so", "/NBDDB/"}, Plugin{"NBDither.so", "/"}}) {
    if (nb::Exists(bin + "/" + p.file)) init.EnsureLink(bin + "/" + p.file, rt + p.folder + p.file);
  }

  RepairConduits(init, desktop.keys.user, bin);

  // The data folder, where a handheld's first synchronisation makes its HotSync user.
  init.EnsureFolder(nb::MapPath(desktop.data_dir));
  if (init.failed) return 1;
  Say(init.changes ? "init: the desktop " + nb::Prefix() + " is ready"
                   : "init: the desktop " + nb::Prefix() + " was already set up");
  return 0;
}

}  // namespace hotsync
