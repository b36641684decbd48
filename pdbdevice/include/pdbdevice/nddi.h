// The device-database plug-in interface (pdbdevice.so and any other NDDI plug-in), shared
// by the plug-in and the conduit that loads it. Declaration order is the slot order; do
// not reorder, insert or remove operations. The object has no destructor logic: it is
// freed only through the library's NDDI_Delete.
#pragma once

#include <cstdint>

#define NDDI_API extern "C" __attribute__((visibility("default")))

// printf-style log function supplied by the caller; may be null.
using NddiLogFn = void (*)(const char* format, ...);

class CNddi {
 public:
  // 0: writes the handheld file from the desktop table.
  virtual bool PutTableToPalmPilot(const char* database_name, const char* table_path,
                                   const char* pdb_path, uint32_t creator, uint32_t flags,
                                   const char* nbddb_library, NddiLogFn log) = 0;
  // 1: builds the desktop table from the handheld file (database_name is ignored).
  virtual bool GetTableFromPalmPilot(const char* database_name, const char* pdb_path,
                                     const char* table_path, const char* nbddb_library) = 0;
  virtual const char* GetPluginName() = 0;   // 2
  virtual uint32_t GetPluginId() = 0;        // 3
  virtual const char* GetDescription() = 0;  // 4
  virtual bool QueryDeviceFlag1() = 0;       // 5
  virtual bool QueryDeviceFlag2() = 0;       // 6
  virtual bool CanGetTable() = 0;            // 7: whether slot 1 is supported

 protected:
  ~CNddi() = default;
};

using NDDI_NewFn = CNddi* (*)();
using NDDI_DeleteFn = void (*)(CNddi* object);
using NDDI_GetVersionFn = uint32_t (*)();

constexpr uint32_t kNddiVersion = 2;
