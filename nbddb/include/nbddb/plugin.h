// The plug-in holder: owns a desktop-database plug-in library and its table object and
// forwards every operation to it unchanged.
//
// Usage:
//   try {
//     CNbddbPlugin table("C:\\Program Files\\Nimbra\\Bin\\NBDDB\\dbfstore.dll");
//     if (!table.Open(path, true)) ...;
//     for (int i = 0, n = table.GetRecordCount(); i < n; ++i) {
//       i == 0 ? table.MoveFirst() : table.MoveNext();
//       const std::vector<FieldValue>& record = table.GetRecord();
//     }
//     table.Close();
//   } catch (const CNbddb_Exception& e) { ... e.code(), e.text() ... }
//
// The path goes through nb::LoadLibrary: a Windows path is mapped below the desktop prefix
// and ".dll" stands for ".so"; a POSIX path is used as it is.
//
// Construction either yields a working holder or throws CNbddb_Exception: 2 when the
// library cannot be loaded, 1 when an export is missing, 3 when NBDDB_New gives no object,
// 4 when NBDDB_GetVersion is not 257. Nothing stays loaded after a throw.
#pragma once

#include <string>
#include <vector>

#include "nbddb/exception.h"
#include "nbddb/nbddb.h"

class CNbddbPlugin : public CNbddb {
 public:
  explicit CNbddbPlugin(const std::string& library_path);
  // Deletes the table object through the library's NBDDB_Delete, then frees the library.
  ~CNbddbPlugin() override;
  CNbddbPlugin(const CNbddbPlugin&) = delete;
  CNbddbPlugin& operator=(const CNbddbPlugin&) = delete;

  bool Create(const std::string& path, bool replace) override;
  bool Open(const std::string& path, bool read_only) override;
  bool Close() override;
  void Reset() override;
  bool IsValidFileName(const std::string& name, const std::string& extension,
                       bool show_message) override;
  std::string MakeFileName(const std::string& name, const std::string& extension) override;
  bool AddField(const FieldDesc& desc) override;
  int GetFieldCount() override;
  const std::vector<FieldDesc>& GetFields() override;
  bool AddRecord(const std::vector<FieldValue>& record) override;
  int GetRecordCount() override;
  const std::vector<FieldValue>& GetRecord() override;
  int MoveFirst() override;
  int MoveLast() override;
  int MoveNext() override;
  int MovePrev() override;
  bool OpenForRead(const std::string& path) override;
  std::string GetFilterText() override;
  std::string GetExtension() override;
  bool QueryStoreFlag() override;

 private:
  void* library_ = nullptr;
  CNbddb* table_ = nullptr;
};
