// Table transfer between desktop table files and handheld databases.
#include "dispatch.h"
#include "sync_ops.h"
#include "syncconduit/syncconduit.h"

namespace conduit {

int DownloadTable(const std::string&, uint32_t, const std::string&, uint32_t, uint32_t, uint32_t) {
  Log("Nimbra: table transfer is not available in this conduit.", -1, false);
  return 0;
}

int UploadTable(const std::string&, uint32_t, const std::string&, uint32_t, uint32_t) {
  Log("Nimbra: table transfer is not available in this conduit.", -1, false);
  return 0;
}

int WriteTableFile(const std::string&, uint32_t, const std::string&, uint32_t, uint32_t, uint32_t) {
  return 0;
}

}  // namespace conduit

NB_CONDUIT_API int PdbFileWriteTable(const char* table_file, uint32_t creator_id,
                                     const char* plugin_name, uint32_t flags,
                                     uint32_t major_version, uint32_t minor_version) {
  std::string plugin = plugin_name && *plugin_name ? plugin_name : "pdbdevice";
  return conduit::WriteTableFile(table_file ? table_file : "", creator_id, plugin, flags,
                                 major_version, minor_version);
}
