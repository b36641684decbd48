// demodesk: the steps of setting up a demo desktop that no program of the system does
// itself: a virtual handheld with the runtime on it, and the application's tables queued
// for the handheld as the runtime's installer would queue them.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/cli.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "syncutil/syncutil.h"

namespace {

namespace fs = std::filesystem;

int MakeHandheld(const std::string& dir, const std::string& user, uint32_t id) {
  nb::MakeDirs(dir);
  std::string error;
  if (!nb::WriteFileDurably(
          dir + "/handheld.ini",
          "[Handheld]\r\nUserName=" + user + "\r\nUserID=" + std::to_string(id) + "\r\n", &error)) {
    std::fprintf(stderr, "demodesk: %s\n", error.c_str());
    return 1;
  }
  // The runtime's directory database: its 26-byte block names the runtime version.
  nb::pdb::Database directory;
  directory.name = "NB-EE_SysHeap";
  directory.type = nb::pdb::FourCC("DATA");
  directory.creator = nb::pdb::FourCC("QMNB");
  directory.app_info = {'N', 'B', 'D', 'R', 0x02, 0x10, 0, 0, 0x10, 0x92};
  directory.app_info.resize(26);
  if (!nb::pdb::WriteFile(dir + "/NB-EE_SysHeap.pdb", directory)) {
    std::fprintf(stderr, "demodesk: cannot write %s/NB-EE_SysHeap.pdb\n", dir.c_str());
    return 1;
  }
  std::printf("demodesk: virtual handheld of %s (ID %u) in %s\n", user.c_str(), unsigned(id),
              dir.c_str());
  return 0;
}

int QueueTables(const std::string& folder, const std::string& creator) {
  std::vector<std::string> tables;
  std::vector<std::string> names;
  const bool listed = nb::TheOs().ListFolder(folder.c_str(), &names) == 0;
  const int err = errno;
  for (const std::string& name : names) {
    if (fs::path(name).extension() == ".dbf" && name != "TAGTABLE.dbf")
      tables.push_back((fs::path(folder) / name).string());
  }
  if (!listed) {
    std::fprintf(stderr, "demodesk: cannot read %s: %s\n", folder.c_str(), std::strerror(err));
    return 1;
  }
  if (tables.empty()) {
    std::fprintf(stderr, "demodesk: no tables in %s\n", folder.c_str());
    return 1;
  }
  std::sort(tables.begin(), tables.end());
  for (const std::string& table : tables) {
    if (!NB_AddToCommandQueueEx(kCmdDownloadTableForCreator, table.c_str(),
                                nb::pdb::FourCC(creator.c_str()), "pdbdevice.dll", 0, 0, 0)) {
      std::fprintf(stderr, "demodesk: the command queue did not take %s\n", table.c_str());
      return 1;
    }
    std::printf("demodesk: queued %s for the handheld\n", table.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Sets up what a demo desktop needs that no program of the system does itself.",
               "demodesk"};
  nb::cli::Prepare(app);
  app.require_subcommand(1);
  std::string dir, user = "Pat Appraiser", creator;
  uint32_t id = 4242;
  auto* handheld = app.add_subcommand(
      "handheld",
      "make DIR a virtual handheld of a HotSync user, holding the runtime's directory database");
  handheld->add_option("DIR", dir, "the handheld's folder (made when missing)")->required();
  handheld->add_option("--user", user, "the handheld's user name")->capture_default_str();
  handheld->add_option("--id", id, "the handheld's user ID")->capture_default_str();
  auto* queue = app.add_subcommand(
      "queue-tables",
      "queue every .dbf table of FOLDER (TAGTABLE aside) for the handheld under the "
      "four-character CREATOR, with the pdbdevice plug-in");
  queue->add_option("FOLDER", dir, "the folder of the tables")
      ->required()
      ->check(CLI::ExistingDirectory);
  queue->add_option("CREATOR", creator, "four-character creator ID")
      ->required()
      ->check([](const std::string& c) {
        return c.size() == 4 ? std::string() : "a creator ID has four characters";
      });
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;
  return *handheld ? MakeHandheld(dir, user, id) : QueueTables(dir, creator);
}
