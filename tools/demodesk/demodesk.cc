// demodesk: the steps of setting up a demo desktop that no program of the system does
// itself: a virtual handheld with the runtime on it, and the application's tables queued
// for the handheld as the runtime's installer would queue them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "syncutil/syncutil.h"

namespace {

namespace fs = std::filesystem;

int Usage(FILE* to) {
  std::fprintf(to,
               "usage: demodesk handheld DIR [--user NAME] [--id N]\n"
               "         makes DIR a virtual handheld of that HotSync user (default\n"
               "         \"Pat Appraiser\", 4242) holding the runtime's directory database\n"
               "       demodesk queue-tables FOLDER CREATOR\n"
               "         queues every .dbf table of FOLDER (TAGTABLE aside) for the handheld\n"
               "         under the four-character CREATOR, with the pdbdevice plug-in\n");
  return to == stdout ? 0 : 2;
}

int MakeHandheld(const std::string& dir, const std::string& user, unsigned long id) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::ofstream ini(dir + "/handheld.ini", std::ios::binary);
  ini << "[Handheld]\r\nUserName=" << user << "\r\nUserID=" << id << "\r\n";
  if (!ini.flush()) {
    std::fprintf(stderr, "demodesk: cannot write %s/handheld.ini\n", dir.c_str());
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
  std::printf("demodesk: virtual handheld of %s (ID %lu) in %s\n", user.c_str(), id, dir.c_str());
  return 0;
}

int QueueTables(const std::string& folder, const std::string& creator) {
  if (creator.size() != 4) return Usage(stderr);
  std::vector<std::string> tables;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".dbf" && name != "TAGTABLE.dbf")
      tables.push_back(entry.path().string());
  }
  if (ec || tables.empty()) {
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
  if (argc < 2) return Usage(stderr);
  std::string command = argv[1];
  if (command == "--help" || command == "-h") return Usage(stdout);
  if (command == "handheld" && argc >= 3) {
    std::string user = "Pat Appraiser";
    unsigned long id = 4242;
    for (int i = 3; i + 1 < argc; i += 2) {
      if (!std::strcmp(argv[i], "--user"))
        user = argv[i + 1];
      else if (!std::strcmp(argv[i], "--id"))
        id = std::strtoul(argv[i + 1], nullptr, 10);
      else
        return Usage(stderr);
    }
    return MakeHandheld(argv[2], user, id);
  }
  if (command == "queue-tables" && argc == 4) return QueueTables(argv[2], argv[3]);
  return Usage(stderr);
}
