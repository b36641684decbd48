#include "packet.h"

#include <cstdio>

#include "hhlink/packet_link.h"
#include "wire.h"

namespace nb::dlp {
namespace {

constexpr uint8_t kShortFlag = 0x80;
constexpr uint8_t kLongFlag = 0x40;
constexpr uint8_t kIdMask = 0x3F;

bool EncodeArgs(const std::vector<Arg>& args, Writer* w, std::string* why) {
  if (args.size() > 255) {
    *why = "more than 255 arguments";
    return false;
  }
  for (const Arg& arg : args) {
    if (arg.id < kFirstArgId || arg.id > kIdMask) {
      *why = "argument ID out of range";
      return false;
    }
    const size_t size = arg.data.size();
    if (size > nb::link::kMaxPacket) {
      *why = "argument longer than a packet";
      return false;
    }
    if (size <= 0xFF)
      w->U8(arg.id).U8(static_cast<uint8_t>(size));
    else if (size <= 0xFFFF)
      w->U8(arg.id | kShortFlag).U8(0).U16(static_cast<uint16_t>(size));
    else
      w->U8(arg.id | kLongFlag).U8(0).U32(static_cast<uint32_t>(size));
    w->Bytes(arg.data);
  }
  if (w->bytes().size() > nb::link::kMaxPacket) {
    *why = "packet of " + std::to_string(w->bytes().size()) + " bytes, more than a link carries";
    return false;
  }
  return true;
}

bool DecodeArgs(Reader* r, unsigned count, std::vector<Arg>* args, std::string* why) {
  args->clear();
  for (unsigned i = 0; i < count; ++i) {
    const uint8_t wrapper = r->U8();
    if (!r->ok()) {
      *why = "argument " + std::to_string(i + 1) + " of " + std::to_string(count) + " missing";
      return false;
    }
    Arg arg;
    size_t size = 0;
    unsigned id = wrapper & kIdMask;
    if ((wrapper & kShortFlag) && (wrapper & kLongFlag)) {
      // The first long form: a 16-bit ID under both flags.
      id = id << 8 | r->U8();
      size = r->U32();
    } else if (wrapper & kShortFlag) {
      r->U8();
      size = r->U16();
    } else if (wrapper & kLongFlag) {
      r->U8();
      size = r->U32();
    } else {
      size = r->U8();
    }
    if (!r->ok()) {
      *why = "argument " + std::to_string(i + 1) + " has a cut header";
      return false;
    }
    if (id < kFirstArgId || id > kIdMask) {
      *why = "argument ID out of range";
      return false;
    }
    arg.id = static_cast<uint8_t>(id);
    if (size > r->left()) {
      *why = "argument " + std::to_string(i + 1) + " claims " + std::to_string(size) + " bytes, " +
             std::to_string(r->left()) + " left";
      return false;
    }
    arg.data = r->Bytes(size);
    args->push_back(std::move(arg));
  }
  if (r->left() != 0) {
    *why = std::to_string(r->left()) + " bytes after the last argument";
    return false;
  }
  return true;
}

bool CheckSize(std::span<const uint8_t> packet, size_t header, std::string* why) {
  if (packet.size() > nb::link::kMaxPacket) {
    *why = "packet of " + std::to_string(packet.size()) + " bytes, more than a link carries";
    return false;
  }
  if (packet.size() < header) {
    *why = "packet of " + std::to_string(packet.size()) + " bytes, shorter than its header";
    return false;
  }
  return true;
}

}  // namespace

std::string FuncName(uint8_t func) {
  switch (func) {
    case kFuncReadUserInfo:
      return "ReadUserInfo";
    case kFuncWriteUserInfo:
      return "WriteUserInfo";
    case kFuncReadSysInfo:
      return "ReadSysInfo";
    case kFuncReadDBList:
      return "ReadDBList";
    case kFuncOpenDB:
      return "OpenDB";
    case kFuncCreateDB:
      return "CreateDB";
    case kFuncCloseDB:
      return "CloseDB";
    case kFuncDeleteDB:
      return "DeleteDB";
    case kFuncReadAppBlock:
      return "ReadAppBlock";
    case kFuncWriteAppBlock:
      return "WriteAppBlock";
    case kFuncReadRecord:
      return "ReadRecord";
    case kFuncWriteRecord:
      return "WriteRecord";
    case kFuncReadResource:
      return "ReadResource";
    case kFuncWriteResource:
      return "WriteResource";
    case kFuncCleanUpDatabase:
      return "CleanUpDatabase";
    case kFuncResetSyncFlags:
      return "ResetSyncFlags";
    case kFuncAddSyncLogEntry:
      return "AddSyncLogEntry";
    case kFuncReadOpenDBInfo:
      return "ReadOpenDBInfo";
    case kFuncOpenConduit:
      return "OpenConduit";
    case kFuncEndOfSync:
      return "EndOfSync";
    case kFuncFindDB:
      return "FindDB";
  }
  char text[32];
  std::snprintf(text, sizeof text, "function 0x%02X", func);
  return text;
}

const Arg* FindArg(const std::vector<Arg>& args, uint8_t id) {
  for (const Arg& arg : args)
    if (arg.id == id) return &arg;
  return nullptr;
}

bool EncodeRequest(const Request& request, std::vector<uint8_t>* packet, std::string* why) {
  Writer w;
  w.U8(request.func & 0x7F).U8(static_cast<uint8_t>(request.args.size()));
  if (!EncodeArgs(request.args, &w, why)) return false;
  *packet = w.Take();
  return true;
}

bool EncodeResponse(const Response& response, std::vector<uint8_t>* packet, std::string* why) {
  Writer w;
  w.U8(response.func | kAnswerFlag).U8(static_cast<uint8_t>(response.args.size()));
  w.U16(response.error);
  if (!EncodeArgs(response.args, &w, why)) return false;
  *packet = w.Take();
  return true;
}

bool DecodeRequest(std::span<const uint8_t> packet, Request* request, std::string* why) {
  if (!CheckSize(packet, 2, why)) return false;
  Reader r(packet);
  request->func = r.U8();
  if (request->func & kAnswerFlag) {
    *why = "an answer where a request belongs";
    return false;
  }
  const unsigned count = r.U8();
  return DecodeArgs(&r, count, &request->args, why);
}

bool DecodeResponse(std::span<const uint8_t> packet, Response* response, std::string* why) {
  if (!CheckSize(packet, 4, why)) return false;
  Reader r(packet);
  const uint8_t func = r.U8();
  if (!(func & kAnswerFlag)) {
    *why = "a request where an answer belongs";
    return false;
  }
  response->func = func & 0x7F;
  const unsigned count = r.U8();
  response->error = r.U16();
  return DecodeArgs(&r, count, &response->args, why);
}

}  // namespace nb::dlp
