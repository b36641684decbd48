#include "dispatch.h"

#include <cstdio>

#include "pdbfile/bytes.h"
#include "sync_ops.h"
#include "syncutil/syncutil.h"

namespace conduit {
namespace {

const uint32_t kRuntimeCreator = nb::pdb::FourCC("QMNB");

std::string Line(const char* format, const std::string& file) {
  char text[1100];
  std::snprintf(text, sizeof text, format, file.c_str());
  return text;
}

// Logs the command's success or failure line and passes its result on.
int Logged(int result, const std::string& file, const char* done, const char* failed) {
  Log(Line(result ? done : failed, file), -1, true);
  return result;
}

}  // namespace

int Dispatch(const Command& c) {
  NB_SetCmdType(c.type);
  NB_SetCmdFilename(c.file.c_str());
  const std::string plugin = c.plugin.empty() ? "pdbdevice" : c.plugin;
  constexpr const char* kAppDone = "  -- App %s downloaded to handheld.";
  constexpr const char* kAppFailed = "  -- Downloading of app %s to handheld failed.";
  constexpr const char* kTableDone = "  -- Table %s downloaded to handheld.";
  constexpr const char* kTableFailed = "  -- Downloading of table %s to handheld failed.";

  switch (c.type) {
    case kCmdNone:
      Log("Nimbra: Bad command code in command file.", -1, false);
      return 0;
    case kCmdDownloadApp:
    case kCmdDownloadAppForCreator: {
      uint32_t creator = c.type == kCmdDownloadApp ? kRuntimeCreator : c.creator;
      // A PdbFileWriteDocument earlier in this process left the local writer current.
      UseHotSync();
      return Logged(DownloadApplication(c.file, creator, c.param1, c.param2, c.param3), c.file,
                    kAppDone, kAppFailed);
    }
    case kCmdDeletePilotApp:
      Log("Nimbra: DeletePilotApp not implemented.", -1, false);
      return 0;
    case kCmdDownloadTable:
    case kCmdDownloadTableForCreator: {
      uint32_t creator = c.type == kCmdDownloadTable ? kRuntimeCreator : c.creator;
      return Logged(DownloadTable(c.file, creator, plugin, c.param1, c.param2, c.param3), c.file,
                    kTableDone, kTableFailed);
    }
    case kCmdUploadTable:
      return Logged(UploadTable(c.file, c.creator, plugin, c.param2, c.param3), c.file,
                    "  -- Table %s uploaded from handheld.",
                    "  -- Uploading of table %s from handheld failed.");
    case kCmdDeletePilotTable:
      Log("Nimbra: DeletePilotTable not implemented.", -1, false);
      return 0;
    case kCmdNoOperation:
      return 1;
    case kCmdInstallFile:
      return NB_InstallPRC(0, c.file.c_str());
    case kCmdPdbFileWriteDocument:
      return WriteApplicationFile(c.file, c.creator, c.param1, c.param2, c.param3);
    case kCmdPdbFileWriteTable:
      return WriteTableFile(c.file, c.creator, plugin, c.param1, c.param2, c.param3);
  }
  return 0;
}

}  // namespace conduit
