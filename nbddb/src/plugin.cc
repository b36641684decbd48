#include "nbddb/plugin.h"

#include "platform/library.h"

namespace {

// Frees the library unless released; keeps a failed construction from leaving it loaded.
struct LibraryGuard {
  void* library;
  ~LibraryGuard() {
    if (library) nb::FreeLibrary(library);
  }
};

}  // namespace

CNbddbPlugin::CNbddbPlugin(const std::string& library_path) {
  LibraryGuard guard{nb::LoadLibrary(library_path)};
  if (!guard.library) throw CNbddb_Exception(CNbddb_Exception::kLoadFailed);
  auto create = reinterpret_cast<NBDDB_NewFunc>(nb::GetProcAddress(guard.library, kNbddbNewName));
  auto destroy =
      reinterpret_cast<NBDDB_DeleteFunc>(nb::GetProcAddress(guard.library, kNbddbDeleteName));
  auto version = reinterpret_cast<NBDDB_GetVersionFunc>(
      nb::GetProcAddress(guard.library, kNbddbGetVersionName));
  if (!create || !destroy || !version) throw CNbddb_Exception(CNbddb_Exception::kNoEntryPoint);
  CNbddb* table = nullptr;
  try {
    table = create();
  } catch (...) {
    table = nullptr;
  }
  if (!table) throw CNbddb_Exception(CNbddb_Exception::kCreateFailed);
  // The object already exists when the version is refused: it goes back to its library.
  if (version() != kNbddbVersion) {
    destroy(table);
    throw CNbddb_Exception(CNbddb_Exception::kBadVersion);
  }
  table_ = table;
  library_ = guard.library;
  guard.library = nullptr;
}

CNbddbPlugin::~CNbddbPlugin() {
  auto destroy = reinterpret_cast<NBDDB_DeleteFunc>(nb::GetProcAddress(library_, kNbddbDeleteName));
  if (destroy && table_) destroy(table_);
  table_ = nullptr;
  nb::FreeLibrary(library_);
}

bool CNbddbPlugin::Create(const std::string& path, bool replace) {
  return table_->Create(path, replace);
}
bool CNbddbPlugin::Open(const std::string& path, bool read_only) {
  return table_->Open(path, read_only);
}
bool CNbddbPlugin::Close() { return table_->Close(); }
void CNbddbPlugin::Reset() { table_->Reset(); }
bool CNbddbPlugin::IsValidFileName(const std::string& name, const std::string& extension,
                                   bool show_message) {
  return table_->IsValidFileName(name, extension, show_message);
}
std::string CNbddbPlugin::MakeFileName(const std::string& name, const std::string& extension) {
  return table_->MakeFileName(name, extension);
}
bool CNbddbPlugin::AddField(const FieldDesc& desc) { return table_->AddField(desc); }
int CNbddbPlugin::GetFieldCount() { return table_->GetFieldCount(); }
const std::vector<FieldDesc>& CNbddbPlugin::GetFields() { return table_->GetFields(); }
bool CNbddbPlugin::AddRecord(const std::vector<FieldValue>& record) {
  return table_->AddRecord(record);
}
int CNbddbPlugin::GetRecordCount() { return table_->GetRecordCount(); }
const std::vector<FieldValue>& CNbddbPlugin::GetRecord() { return table_->GetRecord(); }
int CNbddbPlugin::MoveFirst() { return table_->MoveFirst(); }
int CNbddbPlugin::MoveLast() { return table_->MoveLast(); }
int CNbddbPlugin::MoveNext() { return table_->MoveNext(); }
int CNbddbPlugin::MovePrev() { return table_->MovePrev(); }
bool CNbddbPlugin::OpenForRead(const std::string& path) { return table_->OpenForRead(path); }
std::string CNbddbPlugin::GetFilterText() { return table_->GetFilterText(); }
std::string CNbddbPlugin::GetExtension() { return table_->GetExtension(); }
bool CNbddbPlugin::QueryStoreFlag() { return table_->QueryStoreFlag(); }
