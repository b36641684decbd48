// The arguments of the DLP functions this system speaks, typed: what the desktop puts in a
// request and what the handheld puts in its answer, each with its decoder. A decoder
// returns false for an argument that is cut, overlong where the layout fixes its length,
// or holds a name without its NUL or a date that is no real time; it never reads past the
// argument. Unused and pad bytes are written as 0 and not checked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dlp/handheld.h"
#include "packet.h"

namespace nb::dlp {

// Argument IDs where a function has more than one.
enum : uint8_t {
  kArgReadRecordById = 0x20,
  kArgReadRecordByIndex = 0x21,
  kArgReadResourceByIndex = 0x20,
  kArgReadResourceByType = 0x21,
  kArgCloseOne = 0x20,
  kArgCloseAll = 0x21,
  kArgCloseEx = 0x22,  // one database, with flags to update its dates
  kArgFindByName = 0x20,
  kArgFindByHandle = 0x21,
  kArgFindByTypeCreator = 0x22,
  kArgSysInfoVersion = 0x21,
  kArgFindDbSize = 0x21,
};

// ReadDBList flags.
enum : uint8_t { kListRam = 0x80, kListRom = 0x40, kListMultiple = 0x20 };
constexpr uint8_t kListMore = 0x80;  // answer flag: more databases follow
// FindDB option flags.
enum : uint8_t { kFindGetAttributes = 0x80, kFindGetSize = 0x40, kFindGetMaxRecSize = 0x20 };
// WriteRecord flag every desktop sets.
constexpr uint8_t kWriteRecordDataIncluded = 0x80;
// offset/length of a read "to the end".
constexpr uint16_t kToEnd = 0xFFFF;
// The longest user name with its NUL.
constexpr size_t kMaxUserNameSize = 41;

// Arguments of one small value.
Arg ByteArg(uint8_t value, uint8_t id = kFirstArgId);
Arg U16Arg(uint16_t value, uint8_t id = kFirstArgId);
Arg U32Arg(uint32_t value, uint8_t id = kFirstArgId);
bool DecodeByte(const Arg& arg, uint8_t* value);
bool DecodeU16(const Arg& arg, uint16_t* value);
bool DecodeU32(const Arg& arg, uint32_t* value);
Arg TextArg(const std::string& text);  // NUL-terminated
bool DecodeText(const Arg& arg, std::string* text);

// ReadUserInfo answer.
Arg EncodeUserInfo(const UserInfo& info);
bool DecodeUserInfo(const Arg& arg, UserInfo* info);
// WriteUserInfo request: the one date on the wire is the last synchronisation.
Arg EncodeWriteUserInfo(const UserInfo& info, uint8_t modify);
bool DecodeWriteUserInfo(const Arg& arg, UserInfo* info, uint8_t* modify);

// ReadSysInfo request (the desktop's DLP version) and answer (0x20, and 0x21 with the
// versions when the request carried the desktop's version).
Arg EncodeVersion(uint16_t major, uint16_t minor);
bool DecodeVersion(const Arg& arg, uint16_t* major, uint16_t* minor);
std::vector<Arg> EncodeSysInfo(const SysInfo& info, bool with_versions);
// Without the 0x21 argument the versions read 1.0 (a handheld older than DLP 1.2).
bool DecodeSysInfo(const std::vector<Arg>& args, SysInfo* info);

// ReadDBList.
struct DbListRequest {
  uint8_t flags = kListRam | kListMultiple;
  uint8_t card = 0;
  uint16_t start = 0;
};
Arg EncodeDbListRequest(const DbListRequest& request);
bool DecodeDbListRequest(const Arg& arg, DbListRequest* request);
struct DbList {
  uint16_t last_index = 0;
  bool more = false;
  std::vector<DbInfo> dbs;
};
Arg EncodeDbList(const DbList& list);
bool DecodeDbList(const Arg& arg, DbList* list);

// OpenDB and DeleteDB requests (the answer to OpenDB and CreateDB is a ByteArg handle).
Arg EncodeOpenDb(uint8_t card, uint8_t mode, const std::string& name);
bool DecodeOpenDb(const Arg& arg, uint8_t* card, uint8_t* mode, std::string* name);
Arg EncodeDeleteDb(uint8_t card, const std::string& name);
bool DecodeDeleteDb(const Arg& arg, uint8_t* card, std::string* name);
Arg EncodeCreateDb(const CreateDb& new_db, uint8_t card);
bool DecodeCreateDb(const Arg& arg, CreateDb* new_db, uint8_t* card);

// ReadAppBlock: request handle, offset, length; answer the block's whole size and data.
struct BlockRequest {
  uint8_t handle = 0;
  uint16_t offset = 0, length = kToEnd;
};
Arg EncodeBlockRequest(const BlockRequest& request);
bool DecodeBlockRequest(const Arg& arg, BlockRequest* request);
Arg EncodeBlock(uint16_t size, const std::vector<uint8_t>& data);
bool DecodeBlock(const Arg& arg, uint16_t* size, std::vector<uint8_t>* data);
// WriteAppBlock request (size 0 removes the block); false when the block exceeds 64 KiB.
bool EncodeWriteBlock(uint8_t handle, const std::vector<uint8_t>& block, Arg* arg);
bool DecodeWriteBlock(const Arg& arg, uint8_t* handle, std::vector<uint8_t>* block);

// ReadRecord and ReadResource requests: by index, or by ID / by type and ID.
struct ReadRequest {
  uint8_t handle = 0;
  bool by_index = true;
  uint16_t index = 0;
  uint32_t id = 0;      // record ID, or resource type
  uint16_t res_id = 0;  // resource ID
  uint16_t offset = 0, length = kToEnd;
};
Arg EncodeReadRecord(const ReadRequest& request);
bool DecodeReadRecord(const Arg& arg, ReadRequest* request);
Arg EncodeReadResource(const ReadRequest& request);
bool DecodeReadResource(const Arg& arg, ReadRequest* request);

// ReadRecord answer; size is the record's whole size.
Arg EncodeRecord(const RecordData& record, uint16_t size);
bool DecodeRecord(const Arg& arg, RecordData* record);
// WriteRecord request; its answer is a U32Arg record ID.
Arg EncodeWriteRecord(uint8_t handle, const RecordData& record);
bool DecodeWriteRecord(const Arg& arg, uint8_t* handle, RecordData* record);
// ReadResource answer.
Arg EncodeResource(const ResourceData& res, uint16_t size);
bool DecodeResource(const Arg& arg, ResourceData* res);
// WriteResource request; false when the resource exceeds 64 KiB.
bool EncodeWriteResource(uint8_t handle, const ResourceData& res, Arg* arg);
bool DecodeWriteResource(const Arg& arg, uint8_t* handle, ResourceData* res);

// FindDB request by open handle (by name and by type are decoded to be refused).
struct FindDbRequest {
  uint8_t arg_id = kArgFindByHandle;
  uint8_t options = kFindGetAttributes;
  uint8_t handle = 0;
};
Arg EncodeFindDb(const FindDbRequest& request);
bool DecodeFindDb(const Arg& arg, FindDbRequest* request);
// FindDB answer: 0x20 the list entry, 0x21 the record count (sizes not kept: 0).
Arg EncodeFindDbInfo(const DbInfo& info);
bool DecodeFindDbInfo(const Arg& arg, DbInfo* info);
Arg EncodeFindDbSize(uint32_t count);

}  // namespace nb::dlp
