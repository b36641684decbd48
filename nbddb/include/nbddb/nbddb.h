// The table object of a desktop-database plug-in and the plug-in's three exports.
//
// The virtual operations are reached by position from other libraries: never reorder,
// insert or remove one. Values and lists the object hands out belong to it and stay valid
// until its next call.
#pragma once

#include <string>
#include <vector>

#include "nbddb/field.h"

// Results of MoveFirst, MoveLast, MoveNext and MovePrev.
namespace NavStatus {
inline constexpr int Done = 0;
inline constexpr int NoRecords = 1;
inline constexpr int AtFirst = 2;  // MovePrev on the first record; nothing moved
inline constexpr int AtLast = 3;   // MoveNext on the last record; nothing moved
}  // namespace NavStatus

// The only interface version a holder accepts.
inline constexpr int kNbddbVersion = 257;

class CNbddb {
 public:
  virtual ~CNbddb() = default;

  // Creates the table file from the schema built by AddField, left open for AddRecord.
  virtual bool Create(const std::string& path, bool replace) = 0;
  virtual bool Open(const std::string& path, bool read_only) = 0;
  // False when a written table could not be finished (a failed AddRecord, commit or
  // replacement): the store has shown why, left the previous file in place and forgotten
  // the schema (GetFieldCount() is 0), as writers that predate the result expect. True
  // otherwise, also for a table that was only read.
  virtual bool Close() = 0;
  virtual void Reset() = 0;
  // True when name (with or without "." and the extension) is already canonical; else
  // shows the store's rule when show_message is set. An empty name is false, silently.
  virtual bool IsValidFileName(const std::string& name, const std::string& extension,
                               bool show_message) = 0;
  virtual std::string MakeFileName(const std::string& name, const std::string& extension) = 0;
  virtual bool AddField(const FieldDesc& desc) = 0;
  virtual int GetFieldCount() = 0;
  virtual const std::vector<FieldDesc>& GetFields() = 0;
  // One value per field, in schema order.
  virtual bool AddRecord(const std::vector<FieldValue>& record) = 0;
  // Records not marked deleted.
  virtual int GetRecordCount() = 0;
  // The record at the current position, deleted records passed over; empty past the end.
  virtual const std::vector<FieldValue>& GetRecord() = 0;
  virtual int MoveFirst() = 0;
  virtual int MoveLast() = 0;
  virtual int MoveNext() = 0;
  virtual int MovePrev() = 0;
  // Opens, reads the schema and marks the table as not to be written back; reports a
  // failure in a message box.
  virtual bool OpenForRead(const std::string& path) = 0;
  virtual std::string GetFilterText() = 0;
  virtual std::string GetExtension() = 0;
  virtual bool QueryStoreFlag() = 0;
};

// Exports of every desktop-database plug-in, looked up by name.
#define NBDDB_API extern "C" __attribute__((visibility("default")))

using NBDDB_NewFunc = CNbddb* (*)();
using NBDDB_DeleteFunc = void (*)(CNbddb*);
using NBDDB_GetVersionFunc = int (*)();

inline constexpr const char* kNbddbNewName = "NBDDB_New";
inline constexpr const char* kNbddbDeleteName = "NBDDB_Delete";
inline constexpr const char* kNbddbGetVersionName = "NBDDB_GetVersion";
