// What HotSync Manager hands a conduit: the entry points it looks up in a conduit library
// and the records they take.
#pragma once

#include <cstdint>

struct HsSyncProperties {
  uint32_t sync_type;      // 0 fast sync
  uint32_t creator;        // creator ID the conduit runs under, first character high
  char user_name[64];      // HotSync user name
  char local_folder[260];  // the user's folder in the HotSync data folder
  uint32_t user_id;        // handheld's user ID
};

struct HsConduitPreferences {
  uint32_t creator;
  uint32_t sync_type;  // out
  uint32_t pref_kind;  // out: 1 permanent
};

using ProgressCallbackFn = void (*)(const char* text);
using OpenConduitFn = long (*)(ProgressCallbackFn progress, HsSyncProperties* properties);
using GetConduitNameFn = long (*)(char* buffer, uint16_t size);
using GetConduitVersionFn = uint32_t (*)();
using GetConduitInfoFn = long (*)(int info_type, void* in_args, void* out, uint32_t* out_size);
using ConfigureConduitFn = long (*)(HsConduitPreferences* preferences);

constexpr long kConduitOk = 0;
constexpr long kConduitFailed = 4107;  // 0x100B
