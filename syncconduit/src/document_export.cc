// An application's handheld databases written as files beside the application file: the
// download itself, run against the local database-file writer.
#include "dispatch.h"
#include "sync_ops.h"

namespace conduit {

int WriteApplicationFile(const std::string& file, uint32_t creator, uint32_t flags, uint32_t major,
                         uint32_t minor) {
  // The folder from the application's own path: the shared block's copy of the command's
  // file name is cut to 259 characters and would name a folder higher up.
  const size_t sep = file.find_last_of("\\/");
  // The folder with its separator; a drive-relative "C:Demo.pda" lies in "C:".
  const bool drive = file.size() >= 2 && file[1] == ':';
  UseLocalWriter(sep != std::string::npos ? file.substr(0, sep + 1)
                 : drive                  ? file.substr(0, 2)
                                          : "");
  ResetTransferBuffer();
  return DownloadApplication(file, creator, flags, major, minor);
}

}  // namespace conduit
