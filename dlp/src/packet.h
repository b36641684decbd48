// DLP packets: a request is the function ID, the argument count and the arguments; an
// answer is the function ID with 0x80 set, the argument count, a 16-bit result code and the
// arguments. An argument is wrapped tiny (ID, 1-byte length), short (ID | 0x80, a pad byte,
// 2-byte length) or long (ID | 0x40, a pad byte, 4-byte length); IDs run from 0x20 to 0x3F.
// The first long form, a 16-bit ID word under 0xC000, is read too. Everything is big-endian.
//
// Decoding checks every length against the packet and refuses, with a reason, a packet
// longer than a link carries, a cut or overlong one, and an ID out of range. Encoding picks
// the smallest wrapper and refuses a packet longer than a link carries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nb::dlp {

// The function IDs this system speaks.
enum Func : uint8_t {
  kFuncReadUserInfo = 0x10,
  kFuncWriteUserInfo = 0x11,
  kFuncReadSysInfo = 0x12,
  kFuncReadDBList = 0x16,
  kFuncOpenDB = 0x17,
  kFuncCreateDB = 0x18,
  kFuncCloseDB = 0x19,
  kFuncDeleteDB = 0x1A,
  kFuncReadAppBlock = 0x1B,
  kFuncWriteAppBlock = 0x1C,
  kFuncReadRecord = 0x20,
  kFuncWriteRecord = 0x21,
  kFuncReadResource = 0x23,
  kFuncWriteResource = 0x24,
  kFuncCleanUpDatabase = 0x26,
  kFuncResetSyncFlags = 0x27,
  kFuncAddSyncLogEntry = 0x2A,
  kFuncReadOpenDBInfo = 0x2B,
  kFuncOpenConduit = 0x2E,
  kFuncEndOfSync = 0x2F,
  kFuncFindDB = 0x39,
};

constexpr uint8_t kAnswerFlag = 0x80;
constexpr uint8_t kFirstArgId = 0x20;

// "ReadRecord" and the like; "function 0x45" for one this system does not speak.
std::string FuncName(uint8_t func);

struct Arg {
  uint8_t id = kFirstArgId;
  std::vector<uint8_t> data;
};

struct Request {
  uint8_t func = 0;
  std::vector<Arg> args;
};

struct Response {
  uint8_t func = 0;  // without kAnswerFlag
  uint16_t error = 0;
  std::vector<Arg> args;
};

// The argument of that ID, or null.
const Arg* FindArg(const std::vector<Arg>& args, uint8_t id);

// False (why says so) for a packet longer than a link carries.
bool EncodeRequest(const Request& request, std::vector<uint8_t>* packet, std::string* why);
bool EncodeResponse(const Response& response, std::vector<uint8_t>* packet, std::string* why);
// False, with why, for what is no well-formed packet of that kind.
bool DecodeRequest(std::span<const uint8_t> packet, Request* request, std::string* why);
bool DecodeResponse(std::span<const uint8_t> packet, Response* response, std::string* why);

}  // namespace nb::dlp
