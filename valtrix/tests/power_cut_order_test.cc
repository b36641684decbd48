// What must reach the disk, and in which order, so that a power cut loses nothing: the calls
// through the OS seam are noted stage by stage, and each case names events whose last
// occurrences must come in this order (a folder made, then its parent synced; a table
// changed, then synced, then the file that brought the change moved on).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "commresp/common_responses.h"
#include "durability.h"
#include "export/export_appraisal.h"
#include "export_fixture.h"
#include "import/import_appraisals.h"
#include "import/imported_files.h"
#include "noting_os.h"
#include "test_prefix.h"

TEST(PowerCutOrder, EachChangeIsOnTheDiskBeforeWhatDependsOnIt) {
  nb::testing::TempPrefix prefix;
  const std::string p = prefix.path() + "/Valtrix", s = p + "/System", o = p + "/Outbox";
  const valtrix::Folders folders = valtrix::MakeFolders(p);
  std::filesystem::create_directories(s);
  valtrix::SetAppFolders(folders);
  ASSERT_TRUE(export_fixture::RunAprgen({"-n", "1", "--marked", "all"}, s));

  nb::testing::NotingOs os;
  nb::ScopedOs scoped(os);
  std::map<std::string, std::vector<std::string>> logs;
  auto stage = [&](const std::string& name, auto run) {
    os.log.clear();
    run();
    logs[name].swap(os.log);
  };
  stage("folders", [&] { valtrix::CreateFolders(folders); });
  stage("export", [&] { valtrix::ExportAppraisal(1); });
  for (const auto& e : std::filesystem::directory_iterator(folders.inbox))
    std::filesystem::copy_file(e.path(), o + "/a.vxa");
  std::ofstream(o + "/commresp.dat") << "[ROOF]\r\nSlate\r\n[HEATING]\r\nStove\r\n";
  stage("import", [&] {
    std::vector<std::string> names;
    std::vector<int16_t> ids;
    valtrix::ImportAppraisals(names, &ids);
    ASSERT_EQ(names.size(), 1u);
    valtrix::KeepImportedFile(names[0], ids[0]);
  });
  stage("responses", [&] { valtrix::ImportCommonResponses(); });

  const std::string subj = s + "/AprSubj.dbf", vc = s + "/AprVC.dbf",
                    vxa = "rename " + o + "/a.vxa";
  const std::vector<std::vector<std::string>> cases = {
      {"folders", "mkdir " + p + "/Inbox", "fsync " + p},
      {"folders", "mkdir " + o, "fsync " + p},
      {"export", "fsync " + p + "/Inbox", "write " + subj, "fsync " + subj},
      {"import", "write " + subj, "fsync " + subj, vxa},
      {"import", "write " + vc, "fsync " + vc, vxa},
      {"import", "mkdir " + s + "/Imported", "fsync " + s, vxa},
      {"responses", "write " + s + "/Apk*", "fsync " + s + "/Apk*",
       "rename " + o + "/commresp.dat"},
  };
  for (const std::vector<std::string>& c : cases) {
    os.log = logs[c[0]];
    for (size_t i = 1; i < c.size(); ++i)
      EXPECT_GT(os.Last(c[i]), i > 1 ? os.Last(c[i - 1]) : -1)
          << c[0] << ": \"" << c[i] << "\" missing or too early";
  }
  os.log.clear();
}
