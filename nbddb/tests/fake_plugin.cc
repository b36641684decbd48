// A small in-memory desktop-database plug-in for the holder's tests. Its destructor
// appends "deleted" to $NB_PREFIX/fake_plugin.log so a test sees which objects went back
// through NBDDB_Delete. Open("throw") raises CNbddb_Exception(0) through the interface.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "nbddb/exception.h"
#include "nbddb/nbddb.h"

namespace {

class FakeTable : public CNbddb {
 public:
  ~FakeTable() override {
    const char* prefix = std::getenv("NB_PREFIX");
    std::ofstream(std::string(prefix ? prefix : "/tmp") + "/fake_plugin.log", std::ios::app)
        << "deleted\n";
  }
  bool Create(const std::string& path, bool) override { return !path.empty(); }
  bool Open(const std::string& path, bool) override {
    if (path == "throw") throw CNbddb_Exception(CNbddb_Exception::kGeneric);
    return path == "good";
  }
  bool Close() override { return true; }
  void Reset() override {
    fields_.clear();
    records_.clear();
    at_ = 0;
  }
  bool IsValidFileName(const std::string& name, const std::string&, bool) override {
    return !name.empty();
  }
  std::string MakeFileName(const std::string& name, const std::string& ext) override {
    return name + "." + ext;
  }
  bool AddField(const FieldDesc& desc) override {
    fields_.push_back(desc);
    return true;
  }
  int GetFieldCount() override { return int(fields_.size()); }
  const std::vector<FieldDesc>& GetFields() override { return fields_; }
  bool AddRecord(const std::vector<FieldValue>& record) override {
    records_.push_back(record);
    return true;
  }
  int GetRecordCount() override { return int(records_.size()); }
  const std::vector<FieldValue>& GetRecord() override {
    current_ = at_ < records_.size() ? records_[at_] : std::vector<FieldValue>();
    return current_;
  }
  int MoveFirst() override { return records_.empty() ? 1 : (at_ = 0, 0); }
  int MoveLast() override { return records_.empty() ? 1 : (at_ = records_.size() - 1, 0); }
  int MoveNext() override {
    if (records_.empty()) return 1;
    return at_ + 1 >= records_.size() ? 3 : (++at_, 0);
  }
  int MovePrev() override {
    if (records_.empty()) return 1;
    return at_ == 0 ? 2 : (--at_, 0);
  }
  bool OpenForRead(const std::string& path) override { return Open(path, true); }
  std::string GetFilterText() override { return "Fake (*.fak)"; }
  std::string GetExtension() override { return "FAK"; }
  bool QueryStoreFlag() override { return true; }

 private:
  std::vector<FieldDesc> fields_;
  std::vector<std::vector<FieldValue>> records_;
  std::vector<FieldValue> current_;
  size_t at_ = 0;
};

}  // namespace

NBDDB_API CNbddb* NBDDB_New() {
#ifdef FAKE_NEW_NULL
  return nullptr;
#else
  return new FakeTable;
#endif
}

#ifndef FAKE_NO_DELETE
NBDDB_API void NBDDB_Delete(CNbddb* table) { delete table; }
#endif

NBDDB_API int NBDDB_GetVersion() { return FAKE_VERSION; }
