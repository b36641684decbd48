// The DLP decoders on arbitrary bytes: the packet as a request and as an answer, and every
// argument it holds through every typed decoder. What a packet decoder accepts must encode
// again and decode to the same arguments.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "messages.h"
#include "packet.h"

namespace {

using namespace nb::dlp;

void Typed(const std::vector<Arg>& args) {
  for (const Arg& arg : args) {
    uint8_t b = 0, card = 0, mode = 0, handle = 0;
    uint16_t u16 = 0, major = 0, minor = 0;
    uint32_t u32 = 0;
    std::string text;
    UserInfo user;
    SysInfo sys;
    DbListRequest list_request;
    DbList list;
    CreateDb new_db;
    BlockRequest block_request;
    std::vector<uint8_t> block;
    ReadRequest read;
    RecordData record;
    ResourceData res;
    FindDbRequest find;
    DbInfo info;
    DecodeByte(arg, &b);
    DecodeU16(arg, &u16);
    DecodeU32(arg, &u32);
    DecodeText(arg, &text);
    if (DecodeUserInfo(arg, &user)) {
      UserInfo again;
      if (!DecodeUserInfo(EncodeUserInfo(user), &again) || again.password != user.password)
        std::abort();
    }
    DecodeWriteUserInfo(arg, &user, &mode);
    DecodeVersion(arg, &major, &minor);
    DecodeSysInfo(args, &sys);
    DecodeDbListRequest(arg, &list_request);
    if (DecodeDbList(arg, &list)) {
      DbList again;
      if (!DecodeDbList(EncodeDbList(list), &again) || again.dbs.size() != list.dbs.size())
        std::abort();
    }
    DecodeOpenDb(arg, &card, &mode, &text);
    DecodeDeleteDb(arg, &card, &text);
    DecodeCreateDb(arg, &new_db, &card);
    DecodeBlockRequest(arg, &block_request);
    DecodeBlock(arg, &u16, &block);
    DecodeWriteBlock(arg, &handle, &block);
    DecodeReadRecord(arg, &read);
    DecodeReadResource(arg, &read);
    DecodeRecord(arg, &record);
    DecodeWriteRecord(arg, &handle, &record);
    DecodeResource(arg, &res);
    DecodeWriteResource(arg, &handle, &res);
    DecodeFindDb(arg, &find);
    DecodeFindDbInfo(arg, &info);
  }
}

bool SameArgs(const std::vector<Arg>& a, const std::vector<Arg>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].id != b[i].id || a[i].data != b[i].data) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string why;
  std::vector<uint8_t> packet;
  Request request, request_again;
  if (DecodeRequest({data, size}, &request, &why)) {
    if (!EncodeRequest(request, &packet, &why) || !DecodeRequest(packet, &request_again, &why) ||
        !SameArgs(request.args, request_again.args))
      std::abort();
    Typed(request.args);
  }
  Response response, response_again;
  if (DecodeResponse({data, size}, &response, &why)) {
    if (!EncodeResponse(response, &packet, &why) ||
        !DecodeResponse(packet, &response_again, &why) ||
        !SameArgs(response.args, response_again.args) || response_again.error != response.error)
      std::abort();
    Typed(response.args);
  }
  return 0;
}
