#include "counting_handheld.h"

namespace hhsim {

using nb::dlp::Status;

Status CountingHandheld::ReadUserInfo(nb::dlp::UserInfo* info) {
  ++requests_;
  return inner_.ReadUserInfo(info);
}
Status CountingHandheld::WriteUserInfo(const nb::dlp::UserInfo& info, uint8_t modify) {
  ++requests_;
  return inner_.WriteUserInfo(info, modify);
}
Status CountingHandheld::ReadSysInfo(nb::dlp::SysInfo* info) {
  ++requests_;
  return inner_.ReadSysInfo(info);
}
Status CountingHandheld::ReadDbList(uint16_t start, std::vector<nb::dlp::DbInfo>* dbs) {
  ++requests_;
  return inner_.ReadDbList(start, dbs);
}
Status CountingHandheld::OpenDb(const std::string& name, uint8_t mode, uint8_t* handle) {
  ++requests_;
  return inner_.OpenDb(name, mode, handle);
}
Status CountingHandheld::CreateDb(const nb::dlp::CreateDb& new_db, uint8_t* handle) {
  ++requests_;
  return inner_.CreateDb(new_db, handle);
}
Status CountingHandheld::CloseDb(uint8_t handle) {
  ++requests_;
  return inner_.CloseDb(handle);
}
Status CountingHandheld::DeleteDb(const std::string& name) {
  ++requests_;
  return inner_.DeleteDb(name);
}
Status CountingHandheld::ReadOpenDbInfo(uint8_t handle, nb::dlp::DbInfo* info, uint16_t* count) {
  ++requests_;
  return inner_.ReadOpenDbInfo(handle, info, count);
}
Status CountingHandheld::ReadAppBlock(uint8_t handle, std::vector<uint8_t>* block) {
  ++requests_;
  return inner_.ReadAppBlock(handle, block);
}
Status CountingHandheld::WriteAppBlock(uint8_t handle, const std::vector<uint8_t>& block) {
  ++requests_;
  return inner_.WriteAppBlock(handle, block);
}
Status CountingHandheld::ReadRecordByIndex(uint8_t handle, uint16_t index,
                                           nb::dlp::RecordData* record) {
  ++requests_;
  return inner_.ReadRecordByIndex(handle, index, record);
}
Status CountingHandheld::WriteRecord(uint8_t handle, const nb::dlp::RecordData& record,
                                     uint32_t* id) {
  ++requests_;
  return inner_.WriteRecord(handle, record, id);
}
Status CountingHandheld::ReadResourceByIndex(uint8_t handle, uint16_t index,
                                             nb::dlp::ResourceData* res) {
  ++requests_;
  return inner_.ReadResourceByIndex(handle, index, res);
}
Status CountingHandheld::WriteResource(uint8_t handle, const nb::dlp::ResourceData& res) {
  ++requests_;
  return inner_.WriteResource(handle, res);
}
Status CountingHandheld::ResetSyncFlags(uint8_t handle) {
  ++requests_;
  return inner_.ResetSyncFlags(handle);
}
Status CountingHandheld::CleanUpDatabase(uint8_t handle) {
  ++requests_;
  return inner_.CleanUpDatabase(handle);
}
Status CountingHandheld::OpenConduit() {
  ++requests_;
  return inner_.OpenConduit();
}
Status CountingHandheld::AddSyncLogEntry(const std::string& text) {
  ++requests_;
  return inner_.AddSyncLogEntry(text);
}
Status CountingHandheld::KeepAlive() {
  ++requests_;
  return inner_.KeepAlive();
}
Status CountingHandheld::EndOfSync(uint16_t status) {
  ++requests_;
  ended_ = true;
  end_request_ = status;
  end_answer_ = inner_.EndOfSync(status);
  return end_answer_;
}

}  // namespace hhsim
