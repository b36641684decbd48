// The desktop client against the handheld server over a real NetSync link (a socket pair,
// the handheld side on a thread of its own), the server backed by a virtual handheld
// folder.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "dlp/client.h"
#include "dlp/server.h"
#include "handheld.h"
#include "hhlink/netsync.h"
#include "messages.h"
#include "packet.h"
#include "pdbfile/pdbfile.h"
#include "test_prefix.h"

namespace nb::dlp {
namespace {

constexpr uint32_t kCreator = 0x76584131;  // vXA1

std::vector<uint8_t> Answer(uint8_t func, std::vector<Arg> args) {
  std::vector<uint8_t> packet;
  std::string why;
  EncodeResponse(Response{func, 0, std::move(args)}, &packet, &why);
  return packet;
}

class DlpLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = prefix_.path() + "/hh";
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ + "/handheld.ini") << "[Handheld]\r\nUserName=Pat\r\nUserID=4242\r\n";
    nb::pdb::Database db;
    db.name = "AprInfo";
    db.type = 0x44415441;
    db.creator = kCreator;
    db.records.push_back(nb::pdb::Record{{1, 2, 3}});
    ASSERT_TRUE(nb::pdb::WriteFile(folder_ + "/AprInfo.pdb", db));
  }
  void TearDown() override {
    if (handheld_.joinable()) handheld_.join();
  }

  // Connects both sides; the handheld side runs `body` on its link.
  void Start(std::function<void(nb::link::PacketLink&)> body) {
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
    handheld_ = std::thread([fd = fds[1], body] {
      std::string error;
      auto link = nb::link::ConnectNetSync(fd, nb::link::Faults{}, &error);
      ASSERT_TRUE(link) << error;
      body(*link);
    });
    std::string error;
    desktop_ = nb::link::AcceptNetSync(fds[0], &error);
    ASSERT_TRUE(desktop_) << error;
    client_ = std::make_unique<Client>(*desktop_);
  }
  // The handheld side serves the folder.
  void StartServing(ServeOptions options = {}) {
    Start([this, options](nb::link::PacketLink& link) {
      std::string error;
      auto folder = hotsync::FolderHandheld::Open(folder_, hotsync::CommitAt::kClose, &error);
      ASSERT_TRUE(folder) << error;
      end_ = Serve(link, *folder, options, &why_);
    });
  }

  nb::testing::TempPrefix prefix_;
  std::string folder_;
  std::thread handheld_;
  std::unique_ptr<nb::link::PacketLink> desktop_;
  std::unique_ptr<Client> client_;
  ServeEnd end_ = ServeEnd::kLinkLost;
  std::string why_;
};

TEST_F(DlpLinkTest, ASessionOverTheLink) {
  StartServing();
  Client& c = *client_;
  UserInfo user;
  ASSERT_EQ(kOk, c.ReadUserInfo(&user)) << c.error();
  EXPECT_EQ(user.user_name, "Pat");
  EXPECT_EQ(user.user_id, 4242u);
  SysInfo sys;
  ASSERT_EQ(kOk, c.ReadSysInfo(&sys));
  EXPECT_EQ(sys.dlp_major, 1);
  std::vector<DbInfo> dbs;
  ASSERT_EQ(kOk, c.ReadDbList(0, &dbs));
  ASSERT_EQ(dbs.size(), 1u);
  EXPECT_EQ(dbs[0].name, "AprInfo");
  EXPECT_EQ(kErrNotFound, c.ReadDbList(dbs.back().index + 1, &dbs));

  uint8_t h = 0, h2 = 0;
  ASSERT_EQ(kOk, c.OpenDb("AprInfo", kOpenRead, &h));
  DbInfo info;
  uint16_t count = 0;
  ASSERT_EQ(kOk, c.ReadOpenDbInfo(h, &info, &count));
  EXPECT_EQ(info.name, "AprInfo");
  EXPECT_EQ(info.creator, kCreator);
  EXPECT_EQ(count, 1);
  RecordData rec;
  ASSERT_EQ(kOk, c.ReadRecordByIndex(h, 0, &rec));
  EXPECT_EQ(rec.data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(kErrNotFound, c.ReadRecordByIndex(h, 9, &rec));  // an error, not a lost link
  EXPECT_EQ(kErrNotFound, c.OpenDb("Missing", kOpenRead, &h2));

  ASSERT_EQ(kOk, c.CreateDb(CreateDb{"AprRooms", kCreator, 0x44415441, kDbBackup, 1}, &h2));
  EXPECT_EQ(kErrAlreadyExists, c.CreateDb(CreateDb{"AprInfo", kCreator, 1, 0, 0}, &h));
  uint32_t id = 0;
  ASSERT_EQ(
      kOk, c.WriteRecord(h2, RecordData{0, 0, kRecDirty, 2, std::vector<uint8_t>(0xFFFF, 5)}, &id));
  EXPECT_NE(id, 0u);
  ASSERT_EQ(kOk, c.WriteAppBlock(h2, {4, 5}));
  std::vector<uint8_t> block;
  ASSERT_EQ(kOk, c.ReadAppBlock(h2, &block));
  EXPECT_EQ(block, (std::vector<uint8_t>{4, 5}));
  EXPECT_EQ(kErrParam, c.WriteAppBlock(h2, std::vector<uint8_t>(0x10000)));  // never sent
  ASSERT_EQ(kOk, c.CloseAllDbs());
  EXPECT_EQ(kOk, c.OpenConduit());
  EXPECT_EQ(kOk, c.AddSyncLogEntry("Tables synchronised"));
  EXPECT_EQ(kOk, c.KeepAlive());
  ASSERT_EQ(kOk, c.EndOfSync(kSyncNormal));
  handheld_.join();
  EXPECT_EQ(end_, ServeEnd::kEndOfSync) << why_;
  std::string error;
  auto rooms = nb::pdb::ReadFile(folder_ + "/AprRooms.pdb", &error);
  ASSERT_TRUE(rooms) << error;
  EXPECT_EQ(rooms->records.at(0).data.size(), 0xFFFFu);

  // The handheld has gone: the client fails and stays failed.
  const uint32_t sent = c.requests();
  EXPECT_EQ(kLinkLost, c.OpenConduit());
  EXPECT_TRUE(c.failed());
  EXPECT_EQ(kLinkLost, c.ReadUserInfo(&user));
  EXPECT_EQ(kLinkLost, c.KeepAlive());
  EXPECT_EQ(c.requests(), sent + 1);
}

TEST_F(DlpLinkTest, DroppedAtARequestTheClientStaysFailed) {
  StartServing(ServeOptions{3});
  UserInfo user;
  EXPECT_EQ(kOk, client_->ReadUserInfo(&user));
  EXPECT_EQ(kOk, client_->OpenConduit());
  EXPECT_EQ(kLinkLost, client_->AddSyncLogEntry("third"));
  handheld_.join();
  EXPECT_EQ(end_, ServeEnd::kDropped);
  EXPECT_EQ(kLinkLost, client_->ReadUserInfo(&user));
  EXPECT_EQ(client_->requests(), 3u);
}

TEST_F(DlpLinkTest, MalformedOrMismatchedAnswersLoseTheLink) {
  const struct {
    std::vector<uint8_t> answer;
    const char* reason;
  } cases[] = {
      {{0x90, 0, 0, 0}, "answer to ReadUserInfo where one to OpenDB"},
      {{0x97, 1, 0, 0, 0x20, 3, 1}, "argument 1 claims 3 bytes"},
      {{0x97, 0, 0, 0}, "malformed answer to OpenDB"},  // no handle
      {{0x97, 1, 0, 0, 0x20, 2, 1, 2}, "malformed answer to OpenDB"},
  };
  for (const auto& c : cases) {
    Start([&c](nb::link::PacketLink& link) {
      std::vector<uint8_t> request;
      ASSERT_TRUE(link.Receive(&request));
      link.Send(c.answer);
    });
    uint8_t h = 0;
    EXPECT_EQ(kLinkLost, client_->OpenDb("AprInfo", kOpenRead, &h));
    EXPECT_NE(client_->error().find(c.reason), std::string::npos) << client_->error();
    EXPECT_EQ(kLinkLost, client_->OpenConduit());
    handheld_.join();
  }
}

TEST_F(DlpLinkTest, WithoutFindDbTheOpenDatabaseIsDescribedFromTheList) {
  std::vector<uint8_t> functions;
  DbInfo entry;
  entry.name = "Apr";
  entry.creator = kCreator;
  entry.version = 3;
  entry.index = 7;
  Start([&functions, entry](nb::link::PacketLink& link) {
    const std::vector<std::vector<uint8_t>> answers = {
        Answer(kFuncReadDBList, {EncodeDbList(DbList{7, false, {entry}})}),
        {0x97, 1, 0, 0, 0x20, 1, 4},       // handle 4
        {0xAB, 1, 0, 0, 0x20, 2, 0, 6},    // 6 records
        {0xB9, 0, 0, kErrIllegalRequest},  // no FindDB
        {0xAB, 1, 0, 0, 0x20, 2, 0, 6}};
    std::vector<uint8_t> request;
    for (const auto& answer : answers) {
      if (!link.Receive(&request) || !link.Send(answer)) return;
      functions.push_back(request.at(0));
    }
  });
  std::vector<DbInfo> dbs;
  uint8_t h = 0;
  ASSERT_EQ(kOk, client_->ReadDbList(0, &dbs));
  ASSERT_EQ(kOk, client_->OpenDb("Apr", kOpenRead, &h));
  DbInfo info;
  uint16_t count = 0;
  for (int i = 0; i < 2; ++i) {  // FindDB is asked once only
    ASSERT_EQ(kOk, client_->ReadOpenDbInfo(h, &info, &count));
    EXPECT_EQ(count, 6);
    EXPECT_EQ(info.name, "Apr");
    EXPECT_EQ(info.creator, kCreator);
    EXPECT_EQ(info.version, 3);
  }
  handheld_.join();
  EXPECT_EQ(functions, (std::vector<uint8_t>{kFuncReadDBList, kFuncOpenDB, kFuncReadOpenDBInfo,
                                             kFuncFindDB, kFuncReadOpenDBInfo}));
}

TEST_F(DlpLinkTest, RequestsTheServerCannotDecodeGetErrorAnswers) {
  StartServing();
  const struct {
    std::vector<uint8_t> request;
    uint16_t error;
  } cases[] = {
      {{0x45, 0}, kErrIllegalRequest},
      {{0x17, 0}, kErrArgMissing},
      {{0x17, 1, 0x20, 9, 0}, kErrParam},             // cut argument
      {{0x17, 1, 0x20, 3, 0, 0x80, 'A'}, kErrParam},  // name without its NUL
      {{0x20, 1, 0x20, 10, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}, kErrNotSupported},  // by ID
      {{0x19, 1, 0x21, 0}, kErrNoneOpen},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> answer;
    ASSERT_TRUE(desktop_->Send(c.request));
    ASSERT_TRUE(desktop_->Receive(&answer)) << desktop_->error();
    ASSERT_GE(answer.size(), 4u);
    EXPECT_EQ(answer[0], c.request[0] | 0x80);
    EXPECT_EQ(answer[2] << 8 | answer[3], c.error) << FuncName(c.request[0]);
  }
  EXPECT_EQ(kOk, client_->EndOfSync(kSyncNormal));
  handheld_.join();
  EXPECT_EQ(end_, ServeEnd::kEndOfSync);
}

}  // namespace
}  // namespace nb::dlp
