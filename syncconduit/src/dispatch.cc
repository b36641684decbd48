#include "dispatch.h"

#include <cstdio>
#include <new>

#include "conduit_error.h"
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

// The log lines of a command's success and failure, for the commands that have them.
struct LogLines {
  const char* done = nullptr;
  const char* failed = nullptr;
};

LogLines LinesOf(uint32_t type) {
  switch (type) {
    case kCmdDownloadApp:
    case kCmdDownloadAppForCreator:
      return {"  -- App %s downloaded to handheld.",
              "  -- Downloading of app %s to handheld failed."};
    case kCmdDownloadTable:
    case kCmdDownloadTableForCreator:
      return {"  -- Table %s downloaded to handheld.",
              "  -- Downloading of table %s to handheld failed."};
    case kCmdUploadTable:
      return {"  -- Table %s uploaded from handheld.",
              "  -- Uploading of table %s from handheld failed."};
  }
  return {};
}

int Run(const Command& c) {
  const std::string plugin = c.plugin.empty() ? "pdbdevice" : c.plugin;
  switch (c.type) {
    case kCmdNone:
      Log("Nimbra: Bad command code in command file.", -1, false);
      return 0;
    case kCmdDownloadApp:
    case kCmdDownloadAppForCreator:
      // A PdbFileWriteDocument earlier in this process left the local writer current.
      UseHotSync();
      return DownloadApplication(c.file, c.type == kCmdDownloadApp ? kRuntimeCreator : c.creator,
                                 c.param1, c.param2, c.param3);
    case kCmdDeletePilotApp:
      Log("Nimbra: DeletePilotApp not implemented.", -1, false);
      return 0;
    case kCmdDownloadTable:
    case kCmdDownloadTableForCreator:
      return DownloadTable(c.file, c.type == kCmdDownloadTable ? kRuntimeCreator : c.creator,
                           plugin, c.param1, c.param2, c.param3);
    case kCmdUploadTable:
      return UploadTable(c.file, c.creator, plugin, c.param2, c.param3);
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

}  // namespace

int Dispatch(const Command& c) {
  NB_SetCmdType(c.type);
  NB_SetCmdFilename(c.file.c_str());
  int result = 0;
  try {
    result = Run(c);
  } catch (const std::bad_alloc&) {
    // A failed allocation ends this command, not the process: the synchronisation goes on.
    const std::string text = "Not enough memory for " + c.file + ": the command failed.";
    Log(text, -1, true);
    ShowError(text);
  }
  const LogLines lines = LinesOf(c.type);
  if (lines.failed) Log(Line(result ? lines.done : lines.failed, c.file), -1, true);
  return result;
}

}  // namespace conduit
