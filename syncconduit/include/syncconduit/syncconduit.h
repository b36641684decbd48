// The runtime's HotSync conduit, syncconduit.so: HotSync Manager calls OpenConduit once
// per synchronisation for each creator ID it is registered under; the conduit empties
// syncutil's command queue and carries out each command against the handheld.
#pragma once

#include <cstdint>

#include "hotsync/conduit.h"

#define NB_CONDUIT_API extern "C" __attribute__((visibility("default")))

// 0 on success, 4107 when the synchronisation failed or HotSync's libraries are missing.
NB_CONDUIT_API long OpenConduit(ProgressCallbackFn progress, HsSyncProperties* properties);
// 0; the buffer is zero-filled over size bytes and gets at most size-1 characters.
NB_CONDUIT_API long GetConduitName(char* buffer, uint16_t size);
NB_CONDUIT_API uint32_t GetConduitVersion();
// infoType 0 name, 1 framework version; 4211 for a too-small buffer, 4208 unknown type.
NB_CONDUIT_API long GetConduitInfo(int info_type, void* in_args, void* out, uint32_t* out_size);
NB_CONDUIT_API long ConfigureConduit(HsConduitPreferences* preferences);
// The file-writing exports run as commands 11 and 10 of the dispatch: the current-command
// fields of the shared block name them while they run. 1 on success, 0 on failure.
// Writes a desktop table's handheld database file beside it, without a handheld.
NB_CONDUIT_API int PdbFileWriteTable(const char* table_file, uint32_t creator_id,
                                     const char* plugin_name, uint32_t flags,
                                     uint32_t major_version, uint32_t minor_version);
// Writes an application file's two handheld databases beside it, "<forms database>.PDB"
// and "<resource database>.PRC", without a handheld. The local writer then stays current
// in this process: a synchronisation makes HotSync's handheld operations current again,
// its application downloads HotSync's log too.
NB_CONDUIT_API int PdbFileWriteDocument(const char* application_file, uint32_t creator_id,
                                        uint32_t flags, uint32_t major_version,
                                        uint32_t minor_version);
