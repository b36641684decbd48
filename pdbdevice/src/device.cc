// The device-database object and the library's three exports.
#include <new>

#include "pdbdevice/nddi.h"
#include "pdbfile/bytes.h"
#include "table_conversion.h"

namespace {

class CPdbDevice final : public CNddi {
 public:
  bool PutTableToPalmPilot(const char* database_name, const char* table_path, const char* pdb_path,
                           uint32_t creator, uint32_t flags, const char* nbddb_library,
                           NddiLogFn log) override {
    return pdbdevice::PutTable(Str(database_name), Str(table_path), Str(pdb_path), creator, flags,
                               Str(nbddb_library), log);
  }
  bool GetTableFromPalmPilot(const char* /*database_name*/, const char* pdb_path,
                             const char* table_path, const char* nbddb_library) override {
    return pdbdevice::GetTable(Str(pdb_path), Str(table_path), Str(nbddb_library));
  }
  const char* GetPluginName() override { return "pdbdevice"; }
  uint32_t GetPluginId() override { return nb::pdb::FourCC("NDDI"); }
  const char* GetDescription() override { return "Palm DB"; }
  bool QueryDeviceFlag1() override { return false; }
  bool QueryDeviceFlag2() override { return true; }
  bool CanGetTable() override { return true; }

 private:
  static std::string Str(const char* s) { return s ? s : ""; }
};

}  // namespace

NDDI_API CNddi* NDDI_New() { return new (std::nothrow) CPdbDevice; }
NDDI_API void NDDI_Delete(CNddi* object) { delete static_cast<CPdbDevice*>(object); }
NDDI_API uint32_t NDDI_GetVersion() { return kNddiVersion; }
