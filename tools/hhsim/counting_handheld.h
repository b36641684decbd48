// A handheld that passes every request on to another one and counts them, so that the
// simulator can tell how many requests a synchronisation took (the tests drop the link at
// each of them). It owns nothing; the handheld it forwards to must outlive it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dlp/handheld.h"

namespace hhsim {

class CountingHandheld : public nb::dlp::Handheld {
 public:
  explicit CountingHandheld(nb::dlp::Handheld& inner) : inner_(inner) {}
  uint32_t requests() const { return requests_; }
  bool ended() const { return ended_; }
  // What the desktop ended the synchronisation with (kSync...), and the handheld's answer.
  uint16_t end_request() const { return end_request_; }
  nb::dlp::Status end_answer() const { return end_answer_; }

  nb::dlp::Status ReadUserInfo(nb::dlp::UserInfo* info) override;
  nb::dlp::Status WriteUserInfo(const nb::dlp::UserInfo& info, uint8_t modify) override;
  nb::dlp::Status ReadSysInfo(nb::dlp::SysInfo* info) override;
  nb::dlp::Status ReadDbList(uint16_t start, std::vector<nb::dlp::DbInfo>* dbs) override;
  nb::dlp::Status OpenDb(const std::string& name, uint8_t mode, uint8_t* handle) override;
  nb::dlp::Status CreateDb(const nb::dlp::CreateDb& new_db, uint8_t* handle) override;
  nb::dlp::Status CloseDb(uint8_t handle) override;
  nb::dlp::Status DeleteDb(const std::string& name) override;
  nb::dlp::Status ReadOpenDbInfo(uint8_t handle, nb::dlp::DbInfo* info, uint16_t* count) override;
  nb::dlp::Status ReadAppBlock(uint8_t handle, std::vector<uint8_t>* block) override;
  nb::dlp::Status WriteAppBlock(uint8_t handle, const std::vector<uint8_t>& block) override;
  nb::dlp::Status ReadRecordByIndex(uint8_t handle, uint16_t index,
                                    nb::dlp::RecordData* record) override;
  nb::dlp::Status WriteRecord(uint8_t handle, const nb::dlp::RecordData& record,
                              uint32_t* id) override;
  nb::dlp::Status ReadResourceByIndex(uint8_t handle, uint16_t index,
                                      nb::dlp::ResourceData* res) override;
  nb::dlp::Status WriteResource(uint8_t handle, const nb::dlp::ResourceData& res) override;
  nb::dlp::Status ResetSyncFlags(uint8_t handle) override;
  nb::dlp::Status CleanUpDatabase(uint8_t handle) override;
  nb::dlp::Status OpenConduit() override;
  nb::dlp::Status AddSyncLogEntry(const std::string& text) override;
  nb::dlp::Status KeepAlive() override;
  nb::dlp::Status EndOfSync(uint16_t status) override;

 private:
  nb::dlp::Handheld& inner_;
  uint32_t requests_ = 0;
  bool ended_ = false;
  uint16_t end_request_ = 0;
  nb::dlp::Status end_answer_ = nb::dlp::kOk;
};

}  // namespace hhsim
