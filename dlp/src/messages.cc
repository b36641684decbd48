#include "messages.h"

#include <algorithm>

#include "wire.h"

namespace nb::dlp {
namespace {

constexpr size_t kDbInfoHeader = 44;
constexpr size_t kMaxDbName = 31;

Arg MakeArg(Writer& w, uint8_t id = kFirstArgId) { return Arg{id, w.Take()}; }

// A fixed-length argument read whole.
bool Done(const Reader& r) { return r.ok() && r.left() == 0; }

void PutDbInfo(Writer& w, const DbInfo& info) {
  const std::string name = info.name.substr(0, kMaxDbName);
  size_t total = kDbInfoHeader + name.size() + 1;
  total += total % 2;
  w.U8(static_cast<uint8_t>(total)).U8(info.misc_flags).U16(info.attributes);
  w.U32(info.type).U32(info.creator).U16(info.version).U32(info.mod_number);
  w.Date(info.created).Date(info.modified).Date(info.backed_up).U16(info.index);
  w.CString(name);
  if (name.size() % 2 == 0) w.U8(0);
}

// The entry's fields after its size byte.
void GetDbInfoFields(Reader& r, DbInfo* info) {
  info->misc_flags = r.U8();
  info->attributes = r.U16();
  info->type = r.U32();
  info->creator = r.U32();
  info->version = r.U16();
  info->mod_number = r.U32();
  info->created = r.Date();
  info->modified = r.Date();
  info->backed_up = r.Date();
  info->index = r.U16();
}

}  // namespace

Arg ByteArg(uint8_t value, uint8_t id) { return Arg{id, {value}}; }

Arg U16Arg(uint16_t value, uint8_t id) {
  Writer w;
  w.U16(value);
  return MakeArg(w, id);
}

Arg U32Arg(uint32_t value, uint8_t id) {
  Writer w;
  w.U32(value);
  return MakeArg(w, id);
}

bool DecodeByte(const Arg& arg, uint8_t* value) {
  Reader r(arg.data);
  *value = r.U8();
  return Done(r);
}

bool DecodeU16(const Arg& arg, uint16_t* value) {
  Reader r(arg.data);
  *value = r.U16();
  return Done(r);
}

bool DecodeU32(const Arg& arg, uint32_t* value) {
  Reader r(arg.data);
  *value = r.U32();
  return Done(r);
}

Arg TextArg(const std::string& text) {
  Writer w;
  w.CString(text);
  return MakeArg(w);
}

bool DecodeText(const Arg& arg, std::string* text) {
  Reader r(arg.data);
  *text = r.CString();
  return r.ok();
}

Arg EncodeUserInfo(const UserInfo& info) {
  Writer w;
  const std::string name = info.user_name.substr(0, kMaxUserNameSize - 1);
  const size_t password = std::min<size_t>(info.password.size(), 0xFF);
  w.U32(info.user_id).U32(info.viewer_id).U32(info.last_sync_pc);
  w.Date(info.successful_sync).Date(info.last_sync);
  w.U8(static_cast<uint8_t>(name.empty() ? 0 : name.size() + 1));
  w.U8(static_cast<uint8_t>(password));
  if (!name.empty()) w.CString(name);
  w.Bytes(std::span(info.password.data(), password));
  return MakeArg(w);
}

bool DecodeUserInfo(const Arg& arg, UserInfo* info) {
  Reader r(arg.data);
  info->user_id = r.U32();
  info->viewer_id = r.U32();
  info->last_sync_pc = r.U32();
  info->successful_sync = r.Date();
  info->last_sync = r.Date();
  const size_t name_size = r.U8();
  const size_t password_size = r.U8();
  const std::vector<uint8_t> name = r.Bytes(name_size);
  info->password = r.Bytes(password_size);
  if (!Done(r)) return false;
  // The name's NUL is counted in its size; take the text before it.
  info->user_name.assign(name.begin(), name.end());
  info->user_name.resize(info->user_name.find('\0') == std::string::npos
                             ? info->user_name.size()
                             : info->user_name.find('\0'));
  return true;
}

Arg EncodeWriteUserInfo(const UserInfo& info, uint8_t modify) {
  Writer w;
  const std::string name = info.user_name.substr(0, kMaxUserNameSize - 1);
  w.U32(info.user_id).U32(info.viewer_id).U32(info.last_sync_pc);
  w.Date(info.last_sync != 0 ? info.last_sync : info.successful_sync);
  w.U8(modify).U8(static_cast<uint8_t>(name.size() + 1)).CString(name);
  return MakeArg(w);
}

bool DecodeWriteUserInfo(const Arg& arg, UserInfo* info, uint8_t* modify) {
  Reader r(arg.data);
  info->user_id = r.U32();
  info->viewer_id = r.U32();
  info->last_sync_pc = r.U32();
  info->last_sync = info->successful_sync = r.Date();
  *modify = r.U8();
  const size_t name_size = r.U8();
  const std::vector<uint8_t> name = r.Bytes(name_size);
  if (!r.ok() || name_size > kMaxUserNameSize) return false;
  Reader n(name);
  info->user_name = name_size == 0 ? std::string() : n.CString();
  return n.ok();
}

Arg EncodeVersion(uint16_t major, uint16_t minor) {
  Writer w;
  w.U16(major).U16(minor);
  return MakeArg(w);
}

bool DecodeVersion(const Arg& arg, uint16_t* major, uint16_t* minor) {
  Reader r(arg.data);
  *major = r.U16();
  *minor = r.U16();
  return Done(r);
}

std::vector<Arg> EncodeSysInfo(const SysInfo& info, bool with_versions) {
  std::vector<Arg> args;
  Writer w;
  const std::string product = info.product_id.substr(0, 0xFF);
  w.U32(info.rom_version).U32(info.locale).U8(0).U8(static_cast<uint8_t>(product.size()));
  w.Bytes(std::span(reinterpret_cast<const uint8_t*>(product.data()), product.size()));
  args.push_back(MakeArg(w));
  if (with_versions) {
    Writer v;
    v.U16(info.dlp_major).U16(info.dlp_minor).U16(info.compat_major).U16(info.compat_minor);
    v.U32(info.max_record_size);
    args.push_back(MakeArg(v, kArgSysInfoVersion));
  }
  return args;
}

bool DecodeSysInfo(const std::vector<Arg>& args, SysInfo* info) {
  const Arg* basic = FindArg(args, kFirstArgId);
  if (!basic) return false;
  Reader r(basic->data);
  info->rom_version = r.U32();
  info->locale = r.U32();
  r.U8();
  const std::vector<uint8_t> product = r.Bytes(r.U8());
  if (!Done(r)) return false;
  info->product_id.assign(product.begin(), product.end());
  const Arg* versions = FindArg(args, kArgSysInfoVersion);
  if (!versions) {
    info->dlp_major = 1;
    info->dlp_minor = info->compat_major = info->compat_minor = 0;
    info->max_record_size = 0xFFFF;
    return true;
  }
  Reader v(versions->data);
  info->dlp_major = v.U16();
  info->dlp_minor = v.U16();
  info->compat_major = v.U16();
  info->compat_minor = v.U16();
  info->max_record_size = v.U32();
  return Done(v);
}

Arg EncodeDbListRequest(const DbListRequest& request) {
  Writer w;
  w.U8(request.flags).U8(request.card).U16(request.start);
  return MakeArg(w);
}

bool DecodeDbListRequest(const Arg& arg, DbListRequest* request) {
  Reader r(arg.data);
  request->flags = r.U8();
  request->card = r.U8();
  request->start = r.U16();
  return Done(r);
}

Arg EncodeDbList(const DbList& list) {
  Writer w;
  w.U16(list.last_index).U8(list.more ? kListMore : 0);
  w.U8(static_cast<uint8_t>(std::min<size_t>(list.dbs.size(), 0xFF)));
  for (size_t i = 0; i < list.dbs.size() && i < 0xFF; ++i) PutDbInfo(w, list.dbs[i]);
  return MakeArg(w);
}

bool DecodeDbList(const Arg& arg, DbList* list) {
  Reader r(arg.data);
  list->last_index = r.U16();
  list->more = (r.U8() & kListMore) != 0;
  const unsigned count = r.U8();
  list->dbs.clear();
  for (unsigned i = 0; i < count && r.ok(); ++i) {
    const size_t total = r.U8();
    // The entry's bytes after its size byte; the size counts the header, name, NUL and pad.
    const std::vector<uint8_t> entry = r.Bytes(total < 1 ? 0 : total - 1);
    if (!r.ok() || total < kDbInfoHeader + 1) return false;
    Reader e(entry);
    DbInfo info;
    GetDbInfoFields(e, &info);
    info.name = e.CString();
    if (!e.ok()) return false;
    list->dbs.push_back(std::move(info));
  }
  return Done(r);
}

Arg EncodeOpenDb(uint8_t card, uint8_t mode, const std::string& name) {
  Writer w;
  w.U8(card).U8(mode).CString(name);
  return MakeArg(w);
}

bool DecodeOpenDb(const Arg& arg, uint8_t* card, uint8_t* mode, std::string* name) {
  Reader r(arg.data);
  *card = r.U8();
  *mode = r.U8();
  *name = r.CString();
  return r.ok();
}

Arg EncodeDeleteDb(uint8_t card, const std::string& name) {
  Writer w;
  w.U8(card).U8(0).CString(name);
  return MakeArg(w);
}

bool DecodeDeleteDb(const Arg& arg, uint8_t* card, std::string* name) {
  Reader r(arg.data);
  *card = r.U8();
  r.U8();
  *name = r.CString();
  return r.ok();
}

Arg EncodeCreateDb(const CreateDb& new_db, uint8_t card) {
  Writer w;
  w.U32(new_db.creator).U32(new_db.type).U8(card).U8(0).U16(new_db.attributes).U16(new_db.version);
  w.CString(new_db.name);
  return MakeArg(w);
}

bool DecodeCreateDb(const Arg& arg, CreateDb* new_db, uint8_t* card) {
  Reader r(arg.data);
  new_db->creator = r.U32();
  new_db->type = r.U32();
  *card = r.U8();
  r.U8();
  new_db->attributes = r.U16();
  new_db->version = r.U16();
  new_db->name = r.CString();
  return r.ok();
}

Arg EncodeBlockRequest(const BlockRequest& request) {
  Writer w;
  w.U8(request.handle).U8(0).U16(request.offset).U16(request.length);
  return MakeArg(w);
}

bool DecodeBlockRequest(const Arg& arg, BlockRequest* request) {
  Reader r(arg.data);
  request->handle = r.U8();
  r.U8();
  request->offset = r.U16();
  request->length = r.U16();
  return Done(r);
}

Arg EncodeBlock(uint16_t size, const std::vector<uint8_t>& data) {
  Writer w;
  w.U16(size).Bytes(data);
  return MakeArg(w);
}

bool DecodeBlock(const Arg& arg, uint16_t* size, std::vector<uint8_t>* data) {
  Reader r(arg.data);
  *size = r.U16();
  *data = r.Rest();
  return r.ok();
}

bool EncodeWriteBlock(uint8_t handle, const std::vector<uint8_t>& block, Arg* arg) {
  if (block.size() > 0xFFFF) return false;
  Writer w;
  w.U8(handle).U8(0).U16(static_cast<uint16_t>(block.size())).Bytes(block);
  *arg = MakeArg(w);
  return true;
}

bool DecodeWriteBlock(const Arg& arg, uint8_t* handle, std::vector<uint8_t>* block) {
  Reader r(arg.data);
  *handle = r.U8();
  r.U8();
  const uint16_t size = r.U16();
  *block = r.Rest();
  return r.ok() && block->size() == size;
}

Arg EncodeReadRecord(const ReadRequest& request) {
  Writer w;
  w.U8(request.handle).U8(0);
  if (request.by_index)
    w.U16(request.index);
  else
    w.U32(request.id);
  w.U16(request.offset).U16(request.length);
  return MakeArg(w, request.by_index ? kArgReadRecordByIndex : kArgReadRecordById);
}

bool DecodeReadRecord(const Arg& arg, ReadRequest* request) {
  if (arg.id != kArgReadRecordById && arg.id != kArgReadRecordByIndex) return false;
  Reader r(arg.data);
  request->by_index = arg.id == kArgReadRecordByIndex;
  request->handle = r.U8();
  r.U8();
  if (request->by_index)
    request->index = r.U16();
  else
    request->id = r.U32();
  request->offset = r.U16();
  request->length = r.U16();
  return Done(r);
}

Arg EncodeReadResource(const ReadRequest& request) {
  Writer w;
  w.U8(request.handle).U8(0);
  if (request.by_index)
    w.U16(request.index);
  else
    w.U32(request.id).U16(request.res_id);
  w.U16(request.offset).U16(request.length);
  return MakeArg(w, request.by_index ? kArgReadResourceByIndex : kArgReadResourceByType);
}

bool DecodeReadResource(const Arg& arg, ReadRequest* request) {
  if (arg.id != kArgReadResourceByIndex && arg.id != kArgReadResourceByType) return false;
  Reader r(arg.data);
  request->by_index = arg.id == kArgReadResourceByIndex;
  request->handle = r.U8();
  r.U8();
  if (request->by_index) {
    request->index = r.U16();
  } else {
    request->id = r.U32();
    request->res_id = r.U16();
  }
  request->offset = r.U16();
  request->length = r.U16();
  return Done(r);
}

Arg EncodeRecord(const RecordData& record, uint16_t size) {
  Writer w;
  w.U32(record.id).U16(record.index).U16(size).U8(record.attributes).U8(record.category);
  w.Bytes(record.data);
  return MakeArg(w);
}

bool DecodeRecord(const Arg& arg, RecordData* record) {
  Reader r(arg.data);
  record->id = r.U32();
  record->index = r.U16();
  r.U16();
  record->attributes = r.U8();
  record->category = r.U8();
  record->data = r.Rest();
  return r.ok();
}

Arg EncodeWriteRecord(uint8_t handle, const RecordData& record) {
  Writer w;
  w.U8(handle).U8(kWriteRecordDataIncluded).U32(record.id);
  w.U8(record.attributes).U8(record.category).Bytes(record.data);
  return MakeArg(w);
}

bool DecodeWriteRecord(const Arg& arg, uint8_t* handle, RecordData* record) {
  Reader r(arg.data);
  *handle = r.U8();
  r.U8();
  record->id = r.U32();
  record->attributes = r.U8();
  record->category = r.U8();
  record->data = r.Rest();
  return r.ok();
}

Arg EncodeResource(const ResourceData& res, uint16_t size) {
  Writer w;
  w.U32(res.type).U16(res.id).U16(res.index).U16(size).Bytes(res.data);
  return MakeArg(w);
}

bool DecodeResource(const Arg& arg, ResourceData* res) {
  Reader r(arg.data);
  res->type = r.U32();
  res->id = r.U16();
  res->index = r.U16();
  r.U16();
  res->data = r.Rest();
  return r.ok();
}

bool EncodeWriteResource(uint8_t handle, const ResourceData& res, Arg* arg) {
  if (res.data.size() > 0xFFFF) return false;
  Writer w;
  w.U8(handle).U8(0).U32(res.type).U16(res.id).U16(static_cast<uint16_t>(res.data.size()));
  w.Bytes(res.data);
  *arg = MakeArg(w);
  return true;
}

bool DecodeWriteResource(const Arg& arg, uint8_t* handle, ResourceData* res) {
  Reader r(arg.data);
  *handle = r.U8();
  r.U8();
  res->type = r.U32();
  res->id = r.U16();
  const uint16_t size = r.U16();
  res->data = r.Rest();
  return r.ok() && res->data.size() == size;
}

Arg EncodeFindDb(const FindDbRequest& request) {
  Writer w;
  w.U8(request.options).U8(request.handle);
  return MakeArg(w, kArgFindByHandle);
}

bool DecodeFindDb(const Arg& arg, FindDbRequest* request) {
  Reader r(arg.data);
  request->arg_id = arg.id;
  request->options = r.U8();
  switch (arg.id) {
    case kArgFindByHandle:
      request->handle = r.U8();
      return Done(r);
    case kArgFindByName:
      r.U8();
      r.CString();
      return r.ok();
    case kArgFindByTypeCreator:
      r.U8();
      r.U32();
      r.U32();
      return Done(r);
  }
  return false;
}

Arg EncodeFindDbInfo(const DbInfo& info) {
  Writer w;
  w.U8(0).U8(0).U32(0).U32(0);  // card, reserved, local ID, open reference
  PutDbInfo(w, info);
  return MakeArg(w);
}

bool DecodeFindDbInfo(const Arg& arg, DbInfo* info) {
  Reader r(arg.data);
  r.Skip(10);
  r.U8();  // the entry's size, which the name's NUL ends here
  GetDbInfoFields(r, info);
  info->name = r.CString();
  return r.ok();
}

Arg EncodeFindDbSize(uint32_t count) {
  Writer w;
  w.U32(count).U32(0).U32(0).U32(0).U32(0).U32(0);
  return MakeArg(w, kArgFindDbSize);
}

}  // namespace nb::dlp
