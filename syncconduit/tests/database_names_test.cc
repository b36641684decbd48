// Handheld database names in real synchronisations: a name formed for a long table at
// three-digit versions is cut once, and download and upload meet on it.
#include <filesystem>
#include <string>

#include "conduit_fixture.h"
#include "nbddb/plugin.h"
#include "platform/prefix.h"

namespace nb::testing {
namespace {

constexpr uint32_t kVXA1 = 0x76584131;  // 'vXA1'

class DatabaseNames : public ConduitTest {
 protected:
  static void MakeTable(const std::string& path, const char* name) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    CNbddbPlugin store(NB_BIN_DIR "/dbfstore.so");
    FieldDesc f;
    f.SetName("NAME");
    f.type = FieldType::Text;
    f.width = 20;
    ASSERT_TRUE(store.AddField(f));
    ASSERT_TRUE(store.Create(path, true));
    ASSERT_TRUE(store.AddRecord({FieldValue::Text(name)}));
    store.Close();
  }
  static std::string FirstName(const std::string& path) {
    CNbddbPlugin store(NB_BIN_DIR "/dbfstore.so");
    if (!store.OpenForRead(path) || store.GetRecordCount() != 1) return "";
    store.MoveFirst();
    std::string name(store.GetRecord()[0].text_view());
    store.Close();
    return name;
  }
};

TEST_F(DatabaseNames, LongTableAtThreeDigitVersionsGoesDownAndComesBack) {
  // 22 characters of base name; 300 is written as 44 (low 8 bits).
  const char* file = "C:\\Data\\Appraisal Subject Info.dbf";
  const std::string table = nb::MapPath(file);
  MakeTable(table, "Smith");
  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, file, kVXA1, "pdbdevice.dll", 0, 105, 300), 1);
  ASSERT_EQ(Sync(), 0) << output_;
  // The handheld's name is cut to 31 characters; the database file keeps the whole name.
  const std::string name = "EvXA110544_APPRAISAL_SUBJECT_IN";
  EXPECT_TRUE(std::filesystem::exists(handheld_ + "/" + name + ".pdb")) << output_;
  auto db = pdb::ReadFile(nb::MapPath("C:\\Data\\EvXA110544_APPRAISAL_SUBJECT_INFO.PDB"), nullptr);
  ASSERT_TRUE(db);
  EXPECT_EQ(db->name, name);

  MakeTable(table, "Jones");
  ASSERT_EQ(Queue(kCmdUploadTable, file, kVXA1, "pdbdevice.dll", 0, 105, 300), 1);
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1, std::string("  -- Table ") + file + " uploaded from handheld."));
  EXPECT_EQ(FirstName(table), "Smith");
}

}  // namespace
}  // namespace nb::testing
