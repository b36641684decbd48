#include "dlp/client.h"

#include "messages.h"
#include "packet.h"

namespace nb::dlp {
namespace {

// The DLP version this desktop speaks.
constexpr uint16_t kDesktopDlpMajor = 1, kDesktopDlpMinor = 4;

Request Make(Func func, std::vector<Arg> args = {}) { return Request{func, std::move(args)}; }

}  // namespace

Client::Client(nb::link::PacketLink& link) : link_(link) {}

Status Client::Lost(const std::string& why) {
  if (!failed_) {
    failed_ = true;
    error_ = why;
  }
  return kLinkLost;
}

Status Client::Malformed(const Response& response) {
  return Lost("malformed answer to " + FuncName(response.func));
}

Status Client::Call(const Request& request, Response* response) {
  if (failed_) return kLinkLost;
  std::vector<uint8_t> packet;
  std::string why;
  if (!EncodeRequest(request, &packet, &why)) return kErrParam;
  ++requests_;
  if (!link_.Send(packet)) return Lost(link_.error());
  if (!link_.Receive(&packet)) return Lost(link_.error());
  if (!DecodeResponse(packet, response, &why))
    return Lost("malformed answer to " + FuncName(request.func) + ": " + why);
  if (response->func != request.func)
    return Lost("answer to " + FuncName(response->func) + " where one to " +
                FuncName(request.func) + " was due");
  return response->error;
}

Status Client::CloseAllDbs() {
  Response r;
  const Status status = Call(Make(kFuncCloseDB, {Arg{kArgCloseAll, {}}}), &r);
  if (status == kOk) opened_.clear();
  return status;
}

Status Client::ReadUserInfo(UserInfo* info) {
  Response r;
  Status status = Call(Make(kFuncReadUserInfo), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  return arg && DecodeUserInfo(*arg, info) ? kOk : Malformed(r);
}

Status Client::WriteUserInfo(const UserInfo& info, uint8_t modify) {
  if (info.user_name.size() >= kMaxUserNameSize) return kErrParam;
  Response r;
  return Call(Make(kFuncWriteUserInfo, {EncodeWriteUserInfo(info, modify)}), &r);
}

Status Client::ReadSysInfo(SysInfo* info) {
  Response r;
  Status status =
      Call(Make(kFuncReadSysInfo, {EncodeVersion(kDesktopDlpMajor, kDesktopDlpMinor)}), &r);
  if (status != kOk) return status;
  if (!DecodeSysInfo(r.args, info)) return Malformed(r);
  if (info->dlp_major < 1 || (info->dlp_major == 1 && info->dlp_minor < 2)) find_db_ = false;
  return kOk;
}

Status Client::ReadDbList(uint16_t start, std::vector<DbInfo>* dbs) {
  DbListRequest request;
  request.start = start;
  Response r;
  Status status = Call(Make(kFuncReadDBList, {EncodeDbListRequest(request)}), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  DbList list;
  if (!arg || !DecodeDbList(*arg, &list)) return Malformed(r);
  for (const DbInfo& db : list.dbs) listed_[db.name] = db;
  *dbs = std::move(list.dbs);
  return kOk;
}

Status Client::OpenDb(const std::string& name, uint8_t mode, uint8_t* handle) {
  Response r;
  Status status = Call(Make(kFuncOpenDB, {EncodeOpenDb(0, mode, name)}), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  if (!arg || !DecodeByte(*arg, handle)) return Malformed(r);
  auto known = listed_.find(name);
  DbInfo info = known != listed_.end() ? known->second : DbInfo{};
  info.name = name;
  opened_[*handle] = info;
  return kOk;
}

Status Client::CreateDb(const nb::dlp::CreateDb& new_db, uint8_t* handle) {
  Response r;
  Status status = Call(Make(kFuncCreateDB, {EncodeCreateDb(new_db, 0)}), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  if (!arg || !DecodeByte(*arg, handle)) return Malformed(r);
  DbInfo info;
  info.name = new_db.name;
  info.creator = new_db.creator;
  info.type = new_db.type;
  info.attributes = new_db.attributes;
  info.version = new_db.version;
  opened_[*handle] = info;
  listed_.erase(new_db.name);
  return kOk;
}

Status Client::CloseDb(uint8_t handle) {
  Response r;
  const Status status = Call(Make(kFuncCloseDB, {ByteArg(handle, kArgCloseOne)}), &r);
  if (status == kOk) opened_.erase(handle);
  return status;
}

Status Client::DeleteDb(const std::string& name) {
  Response r;
  const Status status = Call(Make(kFuncDeleteDB, {EncodeDeleteDb(0, name)}), &r);
  if (status == kOk) listed_.erase(name);
  return status;
}

Status Client::ReadOpenDbInfo(uint8_t handle, DbInfo* info, uint16_t* count) {
  Response r;
  Status status = Call(Make(kFuncReadOpenDBInfo, {ByteArg(handle)}), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  if (!arg || !DecodeU16(*arg, count)) return Malformed(r);
  if (find_db_) {
    FindDbRequest find;
    find.handle = handle;
    status = Call(Make(kFuncFindDB, {EncodeFindDb(find)}), &r);
    if (status == kOk) {
      arg = FindArg(r.args, kFirstArgId);
      return arg && DecodeFindDbInfo(*arg, info) ? kOk : Malformed(r);
    }
    if (status != kErrNotSupported && status != kErrIllegalRequest) return status;
    find_db_ = false;
  }
  auto known = opened_.find(handle);
  *info = known != opened_.end() ? known->second : DbInfo{};
  return kOk;
}

Status Client::ReadAppBlock(uint8_t handle, std::vector<uint8_t>* block) {
  BlockRequest request;
  request.handle = handle;
  Response r;
  Status status = Call(Make(kFuncReadAppBlock, {EncodeBlockRequest(request)}), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  uint16_t size = 0;
  return arg && DecodeBlock(*arg, &size, block) ? kOk : Malformed(r);
}

Status Client::WriteAppBlock(uint8_t handle, const std::vector<uint8_t>& block) {
  Arg arg;
  if (!EncodeWriteBlock(handle, block, &arg)) return kErrParam;
  Response r;
  return Call(Make(kFuncWriteAppBlock, {arg}), &r);
}

Status Client::ReadRecordByIndex(uint8_t handle, uint16_t index, RecordData* record) {
  ReadRequest request;
  request.handle = handle;
  request.index = index;
  Response r;
  Status status = Call(Make(kFuncReadRecord, {EncodeReadRecord(request)}), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  return arg && DecodeRecord(*arg, record) ? kOk : Malformed(r);
}

Status Client::WriteRecord(uint8_t handle, const RecordData& record, uint32_t* id) {
  if (record.data.size() > 0xFFFF) return kErrParam;
  Response r;
  Status status = Call(Make(kFuncWriteRecord, {EncodeWriteRecord(handle, record)}), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  return arg && DecodeU32(*arg, id) ? kOk : Malformed(r);
}

Status Client::ReadResourceByIndex(uint8_t handle, uint16_t index, ResourceData* res) {
  ReadRequest request;
  request.handle = handle;
  request.index = index;
  Response r;
  Status status = Call(Make(kFuncReadResource, {EncodeReadResource(request)}), &r);
  if (status != kOk) return status;
  const Arg* arg = FindArg(r.args, kFirstArgId);
  return arg && DecodeResource(*arg, res) ? kOk : Malformed(r);
}

Status Client::WriteResource(uint8_t handle, const ResourceData& res) {
  Arg arg;
  if (!EncodeWriteResource(handle, res, &arg)) return kErrParam;
  Response r;
  return Call(Make(kFuncWriteResource, {arg}), &r);
}

Status Client::ResetSyncFlags(uint8_t handle) {
  Response r;
  return Call(Make(kFuncResetSyncFlags, {ByteArg(handle)}), &r);
}

Status Client::CleanUpDatabase(uint8_t handle) {
  Response r;
  return Call(Make(kFuncCleanUpDatabase, {ByteArg(handle)}), &r);
}

Status Client::OpenConduit() {
  Response r;
  return Call(Make(kFuncOpenConduit), &r);
}

Status Client::AddSyncLogEntry(const std::string& text) {
  Response r;
  return Call(Make(kFuncAddSyncLogEntry, {TextArg(text)}), &r);
}

Status Client::KeepAlive() {
  if (failed_) return kLinkLost;
  return link_.KeepAlive() ? kOk : Lost(link_.error());
}

Status Client::EndOfSync(uint16_t status) {
  Response r;
  return Call(Make(kFuncEndOfSync, {U16Arg(status)}), &r);
}

}  // namespace nb::dlp
