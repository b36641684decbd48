// One queued command carried out; returns 1 on success, 0 on failure. Memory that runs out
// fails the command (said in the log and a box), it never ends the process.
#pragma once

#include <cstdint>
#include <string>

namespace conduit {

struct Command {
  uint32_t type = 0;
  std::string file;
  uint32_t creator = 0;
  std::string plugin;
  uint32_t param1 = 0, param2 = 0, param3 = 0;
};

int Dispatch(const Command& command);

// Table commands (table transfer); application downloads.
int DownloadTable(const std::string& file, uint32_t creator, const std::string& plugin,
                  uint32_t flags, uint32_t major, uint32_t minor);
int UploadTable(const std::string& file, uint32_t creator, const std::string& plugin,
                uint32_t major, uint32_t minor);
int WriteTableFile(const std::string& file, uint32_t creator, const std::string& plugin,
                   uint32_t flags, uint32_t major, uint32_t minor);
int DownloadApplication(const std::string& file, uint32_t creator, uint32_t p1, uint32_t p2,
                        uint32_t p3);
// Command 10: the application download against the local writer, whose files go into the
// application file's folder.
int WriteApplicationFile(const std::string& file, uint32_t creator, uint32_t flags, uint32_t major,
                         uint32_t minor);

}  // namespace conduit
