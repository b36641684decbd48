// The DLP codec: exact bytes of known packets, typed round trips, and malformed packets
// each refused with its reason.
#include <gtest/gtest.h>

#include "hhlink/packet_link.h"
#include "messages.h"
#include "packet.h"
#include "wire.h"

namespace nb::dlp {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pack(const Request& r) {
  Bytes p;
  std::string why;
  EXPECT_TRUE(EncodeRequest(r, &p, &why)) << why;
  return p;
}

Bytes Pack(const Response& r) {
  Bytes p;
  std::string why;
  EXPECT_TRUE(EncodeResponse(r, &p, &why)) << why;
  return p;
}

// A packet's arguments after a trip over the wire.
Arg Trip(const Arg& arg, bool answer) {
  std::string why;
  if (answer) {
    Response out;
    EXPECT_TRUE(DecodeResponse(Pack(Response{kFuncReadRecord, 0, {arg}}), &out, &why)) << why;
    return out.args.at(0);
  }
  Request out;
  EXPECT_TRUE(DecodeRequest(Pack(Request{kFuncReadRecord, {arg}}), &out, &why)) << why;
  return out.args.at(0);
}

TEST(DlpCodec, KnownBytes) {
  const struct {
    const char* what;
    Bytes packet, expected;
  } cases[] = {
      {"OpenDB read 'Memo'",
       Pack(Request{kFuncOpenDB, {EncodeOpenDb(0, kOpenRead, "Memo")}}),
       {0x17, 1, 0x20, 7, 0, 0x80, 'M', 'e', 'm', 'o', 0}},
      {"CloseDB all", Pack(Request{kFuncCloseDB, {Arg{kArgCloseAll, {}}}}), {0x19, 1, 0x21, 0}},
      {"ReadOpenDBInfo answer",
       Pack(Response{kFuncReadOpenDBInfo, 0, {U16Arg(5)}}),
       {0xAB, 1, 0, 0, 0x20, 2, 0, 5}},
      {"not found answer", Pack(Response{kFuncOpenDB, kErrNotFound, {}}), {0x97, 0, 0, 5}},
      {"ReadRecord by index",
       Pack(Request{kFuncReadRecord, {EncodeReadRecord(ReadRequest{3, true, 7, 0, 0, 0, kToEnd})}}),
       {0x20, 1, 0x21, 8, 3, 0, 0, 7, 0, 0, 0xFF, 0xFF}},
      {"ReadRecord by ID",
       Pack(Request{kFuncReadRecord,
                    {EncodeReadRecord(ReadRequest{3, false, 0, 0x123456, 0, 0, 8})}}),
       {0x20, 1, 0x20, 10, 3, 0, 0, 0x12, 0x34, 0x56, 0, 0, 0, 8}},
      {"ReadSysInfo with version",
       Pack(Request{kFuncReadSysInfo, {EncodeVersion(1, 4)}}),
       {0x12, 1, 0x20, 4, 0, 1, 0, 4}},
      {"EndOfSync normal",
       Pack(Request{kFuncEndOfSync, {U16Arg(kSyncNormal)}}),
       {0x2F, 1, 0x20, 2, 0, 0}},
      {"FindDB by handle",
       Pack(Request{kFuncFindDB, {EncodeFindDb(FindDbRequest{})}}),
       {0x39, 1, 0x21, 2, 0x80, 0}},
      {"ReadDBList RAM, multiple, from 2",
       Pack(Request{kFuncReadDBList, {EncodeDbListRequest(DbListRequest{0xA0, 0, 2})}}),
       {0x16, 1, 0x20, 4, 0xA0, 0, 0, 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.packet, c.expected) << c.what;

  // Short and long wrappers.
  Bytes p = Pack(Request{kFuncWriteRecord, {Arg{0x20, Bytes(300, 7)}}});
  EXPECT_EQ(Bytes(p.begin(), p.begin() + 6), (Bytes{0x21, 1, 0xA0, 0, 0x01, 0x2C}));
  p = Pack(Response{kFuncReadRecord, 0, {Arg{0x20, Bytes(65540, 7)}}});
  EXPECT_EQ(Bytes(p.begin(), p.begin() + 10), (Bytes{0xA0, 1, 0, 0, 0x60, 0, 0, 1, 0, 4}));
  Response back;
  std::string why;
  ASSERT_TRUE(DecodeResponse(p, &back, &why)) << why;
  EXPECT_EQ(back.args.at(0).data.size(), 65540u);
  Request old_long;
  ASSERT_TRUE(DecodeRequest(Bytes{0x2F, 1, 0xC0, 0x20, 0, 0, 0, 2, 0, 0}, &old_long, &why)) << why;
  EXPECT_EQ(old_long.args.at(0).id, 0x20);

  // Dates: 9 December 2026 14:16:35, and never.
  Writer w;
  uint32_t when = 0;
  ASSERT_TRUE(SecondsFromDate(DateTime{2026, 12, 9, 14, 16, 35}, &when));
  w.Date(when).Date(0);
  EXPECT_EQ(w.bytes(), (Bytes{0x07, 0xEA, 12, 9, 14, 16, 35, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  Reader r(w.bytes());
  EXPECT_EQ(r.Date(), when);
  EXPECT_EQ(r.Date(), 0u);
  EXPECT_EQ(DateFromSeconds(1).year, 1904);
  EXPECT_EQ(DateFromSeconds(UINT32_MAX).year, 2040);
}

TEST(DlpCodec, TypedRoundTrips) {
  UserInfo user{7, 8, 9, 3000000000u, 3000000100u, "Ann Appraiser", {1, 2, 3}};
  UserInfo user_back;
  ASSERT_TRUE(DecodeUserInfo(Trip(EncodeUserInfo(user), true), &user_back));
  EXPECT_EQ(user_back.user_name, user.user_name);
  EXPECT_EQ(user_back.password, user.password);
  EXPECT_EQ(user_back.last_sync, user.last_sync);
  EXPECT_EQ(user_back.successful_sync, user.successful_sync);
  uint8_t modify = 0;
  ASSERT_TRUE(DecodeWriteUserInfo(Trip(EncodeWriteUserInfo(user, kModSyncDate), false), &user_back,
                                  &modify));
  EXPECT_EQ(modify, kModSyncDate);
  EXPECT_EQ(user_back.last_sync, user.last_sync);
  EXPECT_EQ(user_back.user_id, 7u);

  SysInfo sys{0x05003000, 1, "palm", 1, 4, 1, 1, 0xFFFF};
  SysInfo sys_back;
  ASSERT_TRUE(DecodeSysInfo(EncodeSysInfo(sys, true), &sys_back));
  EXPECT_EQ(sys_back.product_id, "palm");
  EXPECT_EQ(sys_back.dlp_minor, 4);
  ASSERT_TRUE(DecodeSysInfo(EncodeSysInfo(sys, false), &sys_back));
  EXPECT_EQ(sys_back.dlp_minor, 0);  // an older handheld

  DbInfo db{"AprInfo", 0x40,        kDbBackup,   0x44415441, 0x76584131, 2,
            17,        3000000000u, 3000000050u, 0,          12};
  DbList list{13, true, {db, db}};
  list.dbs[1].name = "NB-EE_SysHeap";
  list.dbs[1].index = 13;
  DbList list_back;
  ASSERT_TRUE(DecodeDbList(Trip(EncodeDbList(list), true), &list_back));
  ASSERT_EQ(list_back.dbs.size(), 2u);
  EXPECT_TRUE(list_back.more);
  EXPECT_EQ(list_back.last_index, 13);
  EXPECT_EQ(list_back.dbs[1].name, "NB-EE_SysHeap");
  EXPECT_EQ(list_back.dbs[0].creator, db.creator);
  EXPECT_EQ(list_back.dbs[0].modified, db.modified);
  DbInfo found;
  ASSERT_TRUE(DecodeFindDbInfo(Trip(EncodeFindDbInfo(db), true), &found));
  EXPECT_EQ(found.name, "AprInfo");
  EXPECT_EQ(found.mod_number, 17u);

  CreateDb new_db{"AprRooms", 0x76584131, 0x44415441, kDbBackup, 3};
  CreateDb spec_back;
  uint8_t card = 9;
  ASSERT_TRUE(DecodeCreateDb(Trip(EncodeCreateDb(new_db, 0), false), &spec_back, &card));
  EXPECT_EQ(spec_back.name, new_db.name);
  EXPECT_EQ(spec_back.type, new_db.type);
  EXPECT_EQ(card, 0);

  RecordData rec{0x00ABCDEF, 4, kRecDirty, 3, {9, 8, 7}};
  RecordData rec_back;
  ASSERT_TRUE(DecodeRecord(Trip(EncodeRecord(rec, 3), true), &rec_back));
  EXPECT_EQ(rec_back.id, rec.id);
  EXPECT_EQ(rec_back.data, rec.data);
  EXPECT_EQ(rec_back.category, 3);
  uint8_t handle = 0;
  ASSERT_TRUE(DecodeWriteRecord(Trip(EncodeWriteRecord(5, rec), false), &handle, &rec_back));
  EXPECT_EQ(handle, 5);
  EXPECT_EQ(rec_back.attributes, kRecDirty);

  ResourceData res{0x636F6465, 1, 2, {1, 2, 3, 4}};
  ResourceData res_back;
  ASSERT_TRUE(DecodeResource(Trip(EncodeResource(res, 4), true), &res_back));
  EXPECT_EQ(res_back.type, res.type);
  EXPECT_EQ(res_back.data, res.data);
  Arg arg;
  ASSERT_TRUE(EncodeWriteResource(2, res, &arg));
  ASSERT_TRUE(DecodeWriteResource(Trip(arg, false), &handle, &res_back));
  EXPECT_EQ(res_back.id, 1);
  EXPECT_FALSE(EncodeWriteResource(2, ResourceData{1, 1, 0, Bytes(0x10000)}, &arg));
}

TEST(DlpCodec, MalformedPacketsRefused) {
  const struct {
    Bytes packet;
    bool answer;
    const char* reason;
  } cases[] = {
      {{}, false, "shorter than its header"},
      {{0x10}, false, "shorter than its header"},
      {{0x90, 0, 0}, true, "shorter than its header"},
      {{0x90, 0, 0, 0}, false, "an answer where a request belongs"},
      {{0x10, 0, 0, 0}, true, "a request where an answer belongs"},
      {{0x17, 1}, false, "argument 1 of 1 missing"},
      {{0x17, 1, 0x20}, false, "cut header"},
      {{0x17, 1, 0xA0, 0, 1}, false, "cut header"},
      {{0x17, 1, 0x20, 5, 1, 2}, false, "claims 5 bytes, 2 left"},
      {{0x17, 1, 0x60, 0, 0xFF, 0xFF, 0xFF, 0xFF}, false, "claims 4294967295 bytes"},
      {{0x17, 1, 0xE0, 0, 0, 0, 0, 0}, false, "argument ID out of range"},
      {{0x17, 1, 0xC0, 0x20, 0, 0, 0}, false, "cut header"},
      {{0x17, 1, 0x05, 0}, false, "argument ID out of range"},
      {{0x17, 0, 0x20}, false, "1 bytes after the last argument"},
      {{0x97, 2, 0, 0, 0x20, 1, 1}, true, "argument 2 of 2 missing"},
  };
  for (const auto& c : cases) {
    std::string why;
    Request request;
    Response response;
    const bool ok = c.answer ? DecodeResponse(c.packet, &response, &why)
                             : DecodeRequest(c.packet, &request, &why);
    EXPECT_FALSE(ok) << c.reason;
    EXPECT_NE(why.find(c.reason), std::string::npos) << why << " / " << c.reason;
  }
  std::string why;
  Request request;
  Bytes huge(nb::link::kMaxPacket + 1, 0);
  EXPECT_FALSE(DecodeRequest(huge, &request, &why));
  EXPECT_NE(why.find("more than a link carries"), std::string::npos);
  Bytes out;
  EXPECT_FALSE(EncodeRequest(Request{kFuncWriteRecord, {Arg{0x20, huge}}}, &out, &why));

  // Typed arguments that lie.
  UserInfo user;
  uint8_t b = 0;
  DbList list;
  DbInfo info;
  std::string name;
  uint8_t mode = 0;
  RecordData rec;
  uint16_t u16 = 0;
  EXPECT_FALSE(DecodeUserInfo(Arg{0x20, Bytes(29)}, &user));
  Bytes bad_month(30);
  bad_month[12] = 0x07, bad_month[13] = 0xEA, bad_month[14] = 13, bad_month[15] = 1;
  ASSERT_TRUE(DecodeUserInfo(Arg{0x20, bad_month}, &user));  // no real date: never
  EXPECT_EQ(user.successful_sync, 0u);
  Bytes long_name(30);
  long_name[28] = 5;  // name of 5 bytes, none there
  EXPECT_FALSE(DecodeUserInfo(Arg{0x20, long_name}, &user));
  EXPECT_FALSE(DecodeByte(Arg{0x20, {1, 2}}, &b));
  EXPECT_FALSE(DecodeU16(Arg{0x20, {1}}, &u16));
  EXPECT_FALSE(DecodeDbList(Arg{0x20, {0, 1, 0, 1, 10}}, &list));  // entry size below header
  EXPECT_FALSE(DecodeDbList(Arg{0x20, {0, 1, 0, 2}}, &list));      // two entries, none there
  EXPECT_FALSE(DecodeOpenDb(Arg{0x20, {0, 0x80, 'M', 'e'}}, &b, &mode, &name));  // no NUL
  EXPECT_FALSE(DecodeFindDbInfo(Arg{0x20, Bytes(20)}, &info));
  EXPECT_FALSE(DecodeRecord(Arg{0x20, Bytes(9)}, &rec));
  std::vector<uint8_t> block;
  EXPECT_FALSE(DecodeWriteBlock(Arg{0x20, {1, 0, 0, 5, 1}}, &b, &block));  // size says 5
}

}  // namespace
}  // namespace nb::dlp
