// What HotSync Manager asks a conduit about itself, and the two exports that write
// handheld database files on the desktop, each run as its command through the dispatch.
#include <cstring>

#include "dispatch.h"
#include "syncconduit/syncconduit.h"
#include "syncutil/syncutil.h"

namespace {

constexpr char kConduitName[] = "Nimbra EE";

void CopyName(char* out, size_t size) {
  std::memset(out, 0, size);
  std::strncpy(out, kConduitName, size - 1);
}

}  // namespace

NB_CONDUIT_API long GetConduitName(char* buffer, uint16_t size) {
  if (buffer && size) CopyName(buffer, size);
  return 0;
}

NB_CONDUIT_API uint32_t GetConduitVersion() { return 0x0101; }

NB_CONDUIT_API long GetConduitInfo(int info_type, void* in_args, void* out, uint32_t* out_size) {
  constexpr long kBufferTooSmall = 4211, kUnknownInfo = 4208;
  switch (info_type) {
    case 0:
      if (!in_args || !out || !out_size || *out_size < 19) return kBufferTooSmall;
      CopyName(static_cast<char*>(out), *out_size);
      return 0;
    case 1:
      if (!out || !out_size || *out_size != 4) return kBufferTooSmall;
      *static_cast<uint32_t*>(out) = 0x0600;
      return 0;
  }
  return kUnknownInfo;
}

NB_CONDUIT_API long ConfigureConduit(HsConduitPreferences* preferences) {
  if (preferences) {
    preferences->sync_type = 0;
    preferences->pref_kind = 1;  // permanent
  }
  return 0;
}

NB_CONDUIT_API int PdbFileWriteDocument(const char* application_file, uint32_t creator_id,
                                        uint32_t flags, uint32_t major_version,
                                        uint32_t minor_version) {
  conduit::Command c;
  c.type = kCmdPdbFileWriteDocument;
  c.file = application_file ? application_file : "";
  c.creator = creator_id;
  c.param1 = flags;
  c.param2 = major_version;
  c.param3 = minor_version;
  return conduit::Dispatch(c);
}

NB_CONDUIT_API int PdbFileWriteTable(const char* table_file, uint32_t creator_id,
                                     const char* plugin_name, uint32_t flags,
                                     uint32_t major_version, uint32_t minor_version) {
  conduit::Command c;
  c.type = kCmdPdbFileWriteTable;
  c.file = table_file ? table_file : "";
  c.creator = creator_id;
  c.plugin = plugin_name ? plugin_name : "";
  c.param1 = flags;
  c.param2 = major_version;
  c.param3 = minor_version;
  return conduit::Dispatch(c);
}
