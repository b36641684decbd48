// A handheld database file with offsets that point outside it, lying on the virtual
// handheld when a table is uploaded: what can be read is read, the rest fails clearly.
#include <filesystem>
#include <string>

#include "conduit_fixture.h"
#include "platform/prefix.h"

namespace nb::testing {
namespace {

using HandheldFile = ConduitTest;

TEST_F(HandheldFile, UploadOfADatabaseWithOffsetsOutsideIt) {
  // A table of one text field NAME and one record "Smith".
  pdb::Database db;
  db.name = "EvXA10000_SITES";
  db.type = pdb::FourCC("TABL");
  db.creator = 0x76584131;
  pdb::Put32(db.app_info, pdb::FourCC("NBTB"));
  pdb::Put16(db.app_info, 0x0210);
  db.app_info.resize(12);
  pdb::Put16(db.app_info, 1);
  db.app_info.resize(34);
  pdb::PutFixed(db.app_info, "NAME", 32);
  pdb::Put16(db.app_info, 20);
  db.app_info.push_back('C');
  db.app_info.resize(34 + 44);
  db.records.push_back(pdb::Record{{6, 'S', 'm', 'i', 't', 'h', 0}});
  std::vector<uint8_t> bytes = pdb::Serialize(db);
  const std::string path = handheld_ + "/EvXA10000_SITES.pdb";
  auto put = [&](size_t at, uint32_t offset) {
    pdb::Set32(&bytes[at], offset);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  };
  const char* file = "C:\\Data\\Sites.dbf";
  std::filesystem::create_directories(nb::MapPath("C:\\Data"));

  put(56, 0x7FFFFFF0);  // a sort-info offset is never used
  ASSERT_EQ(Queue(kCmdUploadTable, file, 0x76584131), 1);
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1, "  -- Table C:\\Data\\Sites.dbf uploaded from handheld."));
  EXPECT_TRUE(std::filesystem::exists(nb::MapPath(file)));

  put(52, 0x7FFFFFF0);  // the table-info block cannot be read
  ASSERT_EQ(Queue(kCmdUploadTable, file, 0x76584131), 1);
  EXPECT_EQ(Sync(), 1) << output_;
  EXPECT_NE(output_.find("is damaged: application-info offset outside the file"), std::string::npos)
      << output_;
  EXPECT_TRUE(LogHas(-1, "  -- Uploading of table C:\\Data\\Sites.dbf from handheld failed."));
}

}  // namespace
}  // namespace nb::testing
