// An application's handheld databases written as files beside the application file: the
// download itself, run against the local database-file writer.
#include "dispatch.h"
#include "sync_ops.h"
#include "syncutil/syncutil.h"

namespace conduit {

int WriteApplicationFile(const std::string& file, uint32_t creator, uint32_t flags, uint32_t major,
                         uint32_t minor) {
  // The shared block holds the name as the dispatch stored it (cut to 259 characters).
  char current[261] = {};
  NB_GetCmdFilename(current, sizeof current);
  const std::string name = current;
  // The folder with its separator; a drive-relative "C:Demo.pda" lies in "C:".
  const size_t sep = name.find_last_of("\\/");
  const bool drive = name.size() >= 2 && name[1] == ':';
  UseLocalWriter(sep != std::string::npos ? name.substr(0, sep + 1)
                 : drive                  ? name.substr(0, 2)
                                          : "");
  ResetTransferBuffer();
  return DownloadApplication(file, creator, flags, major, minor);
}

}  // namespace conduit
