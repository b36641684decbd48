#include "dlp/server.h"

#include <algorithm>
#include <set>

#include "messages.h"
#include "packet.h"

namespace nb::dlp {
namespace {

// The part of data a read of offset and length asks for.
std::vector<uint8_t> Slice(const std::vector<uint8_t>& data, uint16_t offset, uint16_t length) {
  if (offset >= data.size()) return {};
  const size_t end =
      length == kToEnd ? data.size() : std::min<size_t>(data.size(), offset + length);
  return std::vector<uint8_t>(data.begin() + offset, data.begin() + static_cast<ptrdiff_t>(end));
}

class Answerer {
 public:
  explicit Answerer(Handheld& handheld) : hh_(handheld) {}

  // The answer to one request; *end once EndOfSync was asked for.
  Response Answer(std::span<const uint8_t> packet, bool* end);

 private:
  Status Carry(const Request& request, std::vector<Arg>* out, bool* end);
  // The request's argument of that ID, or null after setting *status.
  const Arg* Need(const Request& request, uint8_t id, Status* status) {
    const Arg* arg = FindArg(request.args, id);
    if (!arg) *status = kErrArgMissing;
    return arg;
  }

  Handheld& hh_;
  std::set<uint8_t> open_;  // handles handed out and not closed
};

Response Answerer::Answer(std::span<const uint8_t> packet, bool* end) {
  Request request;
  Response response;
  std::string why;
  if (!DecodeRequest(packet, &request, &why)) {
    response.func = packet.empty() ? 0 : packet[0] & 0x7F;
    response.error = kErrParam;
    return response;
  }
  response.func = request.func;
  Status status = Carry(request, &response.args, end);
  // A handheld that is itself a link away and lost it fails here as a system error.
  if (status < 0) status = kErrSystem;
  response.error = static_cast<uint16_t>(status);
  if (status != kOk) response.args.clear();
  return response;
}

Status Answerer::Carry(const Request& request, std::vector<Arg>* out, bool* end) {
  Status status = kOk;
  const Arg* arg = nullptr;
  uint8_t handle = 0;
  // Requests whose one argument is a database handle.
  auto with_handle = [&](auto&& call) -> Status {
    if (!(arg = Need(request, kFirstArgId, &status))) return status;
    if (!DecodeByte(*arg, &handle)) return kErrParam;
    return call();
  };

  switch (request.func) {
    case kFuncReadUserInfo: {
      UserInfo info;
      if ((status = hh_.ReadUserInfo(&info)) == kOk) out->push_back(EncodeUserInfo(info));
      return status;
    }
    case kFuncWriteUserInfo: {
      UserInfo info;
      uint8_t modify = 0;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeWriteUserInfo(*arg, &info, &modify)) return kErrParam;
      return hh_.WriteUserInfo(info, modify);
    }
    case kFuncReadSysInfo: {
      SysInfo info;
      const Arg* version = FindArg(request.args, kFirstArgId);
      uint16_t major = 0, minor = 0;
      if (version && !DecodeVersion(*version, &major, &minor)) return kErrParam;
      if ((status = hh_.ReadSysInfo(&info)) == kOk) *out = EncodeSysInfo(info, version != nullptr);
      return status;
    }
    case kFuncReadDBList: {
      DbListRequest list_request;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeDbListRequest(*arg, &list_request)) return kErrParam;
      // Only RAM databases on card 0 exist.
      if (!(list_request.flags & kListRam) || list_request.card != 0) return kErrNotFound;
      DbList list;
      if ((status = hh_.ReadDbList(list_request.start, &list.dbs)) != kOk) return status;
      if (list.dbs.empty()) return kErrNotFound;
      // One entry unless several were asked for; never more than fit one answer.
      const size_t most = list_request.flags & kListMultiple ? 200 : 1;
      if (list.dbs.size() > most) {
        list.dbs.resize(most);
        list.more = true;
      }
      list.last_index = list.dbs.back().index;
      out->push_back(EncodeDbList(list));
      return kOk;
    }
    case kFuncOpenDB: {
      uint8_t card = 0, mode = 0;
      std::string name;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeOpenDb(*arg, &card, &mode, &name)) return kErrParam;
      if (card != 0) return kErrNotFound;
      if ((status = hh_.OpenDb(name, mode, &handle)) != kOk) return status;
      open_.insert(handle);
      out->push_back(ByteArg(handle));
      return kOk;
    }
    case kFuncCreateDB: {
      CreateDb new_db;
      uint8_t card = 0;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeCreateDb(*arg, &new_db, &card)) return kErrParam;
      if (card != 0) return kErrParam;
      if ((status = hh_.CreateDb(new_db, &handle)) != kOk) return status;
      open_.insert(handle);
      out->push_back(ByteArg(handle));
      return kOk;
    }
    case kFuncCloseDB: {
      if (FindArg(request.args, kArgCloseAll)) {
        if (open_.empty()) return kErrNoneOpen;
        for (uint8_t h : std::set<uint8_t>(open_)) {
          const Status closed = hh_.CloseDb(h);
          if (closed == kLinkLost) return kErrSystem;
          if (status == kOk) status = closed;
          open_.erase(h);
        }
        return status;
      }
      arg = FindArg(request.args, kArgCloseOne);
      if (!arg) arg = FindArg(request.args, kArgCloseEx);
      if (!arg) return kErrArgMissing;
      // The extended form carries option flags after the handle.
      if (arg->data.empty() || arg->data.size() > (arg->id == kArgCloseEx ? 2u : 1u))
        return kErrParam;
      handle = arg->data[0];
      if ((status = hh_.CloseDb(handle)) == kOk) open_.erase(handle);
      return status;
    }
    case kFuncDeleteDB: {
      uint8_t card = 0;
      std::string name;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeDeleteDb(*arg, &card, &name)) return kErrParam;
      if (card != 0) return kErrNotFound;
      return hh_.DeleteDb(name);
    }
    case kFuncReadOpenDBInfo:
      return with_handle([&] {
        DbInfo info;
        uint16_t count = 0;
        Status s = hh_.ReadOpenDbInfo(handle, &info, &count);
        if (s == kOk) out->push_back(U16Arg(count));
        return s;
      });
    case kFuncFindDB: {
      FindDbRequest find;
      arg = request.args.empty() ? nullptr : &request.args[0];
      if (!arg) return kErrArgMissing;
      if (!DecodeFindDb(*arg, &find)) return kErrParam;
      if (find.arg_id != kArgFindByHandle) return kErrNotSupported;
      DbInfo info;
      uint16_t count = 0;
      if ((status = hh_.ReadOpenDbInfo(find.handle, &info, &count)) != kOk) return status;
      if (find.options & kFindGetAttributes) out->push_back(EncodeFindDbInfo(info));
      if (find.options & (kFindGetSize | kFindGetMaxRecSize))
        out->push_back(EncodeFindDbSize(count));
      return kOk;
    }
    case kFuncReadAppBlock: {
      BlockRequest block_request;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeBlockRequest(*arg, &block_request)) return kErrParam;
      std::vector<uint8_t> block;
      if ((status = hh_.ReadAppBlock(block_request.handle, &block)) != kOk) return status;
      if (block.size() > 0xFFFF) return kErrLimitExceeded;
      out->push_back(EncodeBlock(static_cast<uint16_t>(block.size()),
                                 Slice(block, block_request.offset, block_request.length)));
      return kOk;
    }
    case kFuncWriteAppBlock: {
      std::vector<uint8_t> block;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeWriteBlock(*arg, &handle, &block)) return kErrParam;
      return hh_.WriteAppBlock(handle, block);
    }
    case kFuncReadRecord: {
      ReadRequest read;
      arg = FindArg(request.args, kArgReadRecordByIndex);
      if (!arg)
        return FindArg(request.args, kArgReadRecordById) ? kErrNotSupported : kErrArgMissing;
      if (!DecodeReadRecord(*arg, &read)) return kErrParam;
      RecordData record;
      if ((status = hh_.ReadRecordByIndex(read.handle, read.index, &record)) != kOk) return status;
      if (record.data.size() > 0xFFFF) return kErrLimitExceeded;
      const uint16_t size = static_cast<uint16_t>(record.data.size());
      record.data = Slice(record.data, read.offset, read.length);
      out->push_back(EncodeRecord(record, size));
      return kOk;
    }
    case kFuncWriteRecord: {
      RecordData record;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeWriteRecord(*arg, &handle, &record)) return kErrParam;
      uint32_t id = 0;
      if ((status = hh_.WriteRecord(handle, record, &id)) == kOk) out->push_back(U32Arg(id));
      return status;
    }
    case kFuncReadResource: {
      ReadRequest read;
      arg = FindArg(request.args, kArgReadResourceByIndex);
      if (!arg)
        return FindArg(request.args, kArgReadResourceByType) ? kErrNotSupported : kErrArgMissing;
      if (!DecodeReadResource(*arg, &read)) return kErrParam;
      ResourceData res;
      if ((status = hh_.ReadResourceByIndex(read.handle, read.index, &res)) != kOk) return status;
      if (res.data.size() > 0xFFFF) return kErrLimitExceeded;
      const uint16_t size = static_cast<uint16_t>(res.data.size());
      res.data = Slice(res.data, read.offset, read.length);
      out->push_back(EncodeResource(res, size));
      return kOk;
    }
    case kFuncWriteResource: {
      ResourceData res;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeWriteResource(*arg, &handle, &res)) return kErrParam;
      return hh_.WriteResource(handle, res);
    }
    case kFuncCleanUpDatabase:
      return with_handle([&] { return hh_.CleanUpDatabase(handle); });
    case kFuncResetSyncFlags:
      return with_handle([&] { return hh_.ResetSyncFlags(handle); });
    case kFuncAddSyncLogEntry: {
      std::string text;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeText(*arg, &text)) return kErrParam;
      return hh_.AddSyncLogEntry(text);
    }
    case kFuncOpenConduit:
      return hh_.OpenConduit();
    case kFuncEndOfSync: {
      uint16_t code = 0;
      if (!(arg = Need(request, kFirstArgId, &status))) return status;
      if (!DecodeU16(*arg, &code)) return kErrParam;
      *end = true;
      return hh_.EndOfSync(code);
    }
  }
  return kErrIllegalRequest;
}

}  // namespace

ServeEnd Serve(nb::link::PacketLink& link, Handheld& handheld, const ServeOptions& options,
               std::string* why) {
  Answerer answerer(handheld);
  std::vector<uint8_t> packet;
  for (int number = 1;; ++number) {
    if (!link.Receive(&packet)) {
      *why = link.error();
      return ServeEnd::kLinkLost;
    }
    if (number == options.drop_after) {
      *why = "dropped at request " + std::to_string(number);
      return ServeEnd::kDropped;
    }
    bool end = false;
    Response response = answerer.Answer(packet, &end);
    std::string encode_why;
    if (!EncodeResponse(response, &packet, &encode_why)) {
      // An answer too long for a packet is refused, not cut.
      response.args.clear();
      response.error = kErrLimitExceeded;
      EncodeResponse(response, &packet, &encode_why);
    }
    if (!link.Send(packet)) {
      *why = link.error();
      return ServeEnd::kLinkLost;
    }
    if (end) {
      why->clear();
      return ServeEnd::kEndOfSync;
    }
  }
}

}  // namespace nb::dlp
