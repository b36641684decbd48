// The desktop's side of a handheld at the other end of a link: every Handheld call is one
// DLP request and its answer over the PacketLink (ReadOpenDbInfo is two, see there). The
// link keeps transactions in order; the client checks that each answer is for the request
// it sent and carries the arguments that request calls for. A failed, timed-out or
// malformed exchange gives kLinkLost, and from then on the client has failed for good:
// every later call gives kLinkLost at once, error() says why. A call whose request would
// not fit a packet (a block or resource beyond 64 KiB) gives kErrParam and sends nothing.
// The client does not own the link.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "dlp/handheld.h"
#include "hhlink/packet_link.h"

namespace nb::dlp {

struct Request;
struct Response;

class Client : public Handheld {
 public:
  explicit Client(nb::link::PacketLink& link);

  // Requests sent so far.
  uint32_t requests() const { return requests_; }
  bool failed() const { return failed_; }
  // Why the client failed; empty while it has not.
  const std::string& error() const { return error_; }

  // Closes every database the handheld has open (the CloseDB "close all" form).
  Status CloseAllDbs();

  Status ReadUserInfo(UserInfo* info) override;
  Status WriteUserInfo(const UserInfo& info, uint8_t modify) override;
  // Tells the handheld this desktop's DLP version (1.4), so it answers with its own.
  Status ReadSysInfo(SysInfo* info) override;
  Status ReadDbList(uint16_t start, std::vector<DbInfo>* dbs) override;
  Status OpenDb(const std::string& name, uint8_t mode, uint8_t* handle) override;
  Status CreateDb(const nb::dlp::CreateDb& new_db, uint8_t* handle) override;
  Status CloseDb(uint8_t handle) override;
  Status DeleteDb(const std::string& name) override;
  // ReadOpenDBInfo for the count, then FindDB by the open handle for the list entry. A
  // handheld without FindDB (older than DLP 1.2, or answering it as not supported or
  // illegal) gets the entry from what this client learnt when it opened or created the
  // database and from the last database list: at least the name.
  Status ReadOpenDbInfo(uint8_t handle, DbInfo* info, uint16_t* count) override;
  Status ReadAppBlock(uint8_t handle, std::vector<uint8_t>* block) override;
  Status WriteAppBlock(uint8_t handle, const std::vector<uint8_t>& block) override;
  Status ReadRecordByIndex(uint8_t handle, uint16_t index, RecordData* record) override;
  Status WriteRecord(uint8_t handle, const RecordData& record, uint32_t* id) override;
  Status ReadResourceByIndex(uint8_t handle, uint16_t index, ResourceData* res) override;
  Status WriteResource(uint8_t handle, const ResourceData& res) override;
  Status ResetSyncFlags(uint8_t handle) override;
  Status CleanUpDatabase(uint8_t handle) override;
  Status OpenConduit() override;
  Status AddSyncLogEntry(const std::string& text) override;
  Status KeepAlive() override;
  Status EndOfSync(uint16_t status) override;

 private:
  // Sends the request and takes its answer: kLinkLost, or the handheld's result code.
  Status Call(const Request& request, Response* response);
  // Fails the client for good.
  Status Lost(const std::string& why);
  Status Malformed(const Response& response);

  nb::link::PacketLink& link_;
  uint32_t requests_ = 0;
  bool failed_ = false;
  std::string error_;
  bool find_db_ = true;                   // false once the handheld is known not to answer FindDB
  std::map<uint8_t, DbInfo> opened_;      // by handle
  std::map<std::string, DbInfo> listed_;  // by name, from ReadDbList
};

}  // namespace nb::dlp
