// Application downloads in real synchronisations: pdagen's files queued as
// DownloadAppForCreator, the hotsync program running the conduit against a virtual
// handheld; the databases checked as files and with outside tools.
#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "app_image.h"
#include "conduit_fixture.h"
#include "pda_model.h"
#include "platform/prefix.h"
#include "syncutil/syncutil.h"

namespace nb::testing {
namespace {

constexpr uint32_t kABCD = 0x41424344;

class ConduitApplication : public ConduitTest {
 protected:
  // Writes the application at a Windows path of the desktop; returns its bytes.
  static std::vector<uint8_t> Save(const std::string& windows_path, const pdagen::App& app) {
    const std::string path = nb::MapPath(windows_path);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::vector<uint8_t> bytes = pdagen::Write(app);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
  }
  std::optional<pdb::Database> Handheld(const std::string& file) {
    std::string error;
    auto db = pdb::ReadFile(handheld_ + "/" + file, &error);
    EXPECT_TRUE(db) << file << ": " << error;
    return db;
  }
  bool Has(const std::string& file) { return std::filesystem::exists(handheld_ + "/" + file); }

  // The Palm database module of Perl loads both files (four records, four resources), and
  // netpbm decodes each bitmap resource.
  void ExpectOutsideToolsRead(const std::string& pdb_file, const std::string& prc_file) {
    std::string out;
    if (Shell("perl -MPalm::PDB -MPalm::Raw -e 1", &out) == 0) {
      for (const std::string& file : {pdb_file, prc_file}) {
        EXPECT_EQ(Shell("perl -MPalm::PDB -MPalm::Raw -e 'Palm::PDB::RegisterPRCHandlers("
                        "\"Palm::Raw\", \"\"); $p = Palm::PDB->new; $p->Load($ARGV[0]) or die; "
                        "print scalar @{$p->{records} || $p->{resources}}' '" +
                            file + "'",
                        &out),
                  0)
            << out;
        EXPECT_EQ(out, "4") << file;
      }
    }
    std::string error;
    auto resources = pdb::ReadFile(prc_file, &error);
    ASSERT_TRUE(resources) << error;
    if (Shell("command -v palmtopnm", &out) != 0) return;
    for (const pdb::Record& r : resources->records) {
      if (r.res_type != pdb::FourCC("Tbmp")) continue;
      const std::string bmp = prefix_.path() + "/" + std::to_string(r.res_id) + ".palm";
      std::ofstream(bmp, std::ios::binary)
          .write(reinterpret_cast<const char*>(r.data.data()), std::streamsize(r.data.size()));
      ASSERT_EQ(Shell("palmtopnm '" + bmp + "' | head -c 2", &out), 0) << out;
      EXPECT_EQ(out.substr(0, 2), "P4") << out;
    }
  }
};

TEST_F(ConduitApplication, DownloadPutsBothDatabasesOnTheHandheld) {
  const pdagen::App app = pdagen::SampleApp({.version = 278, .forms = 3, .menu_bars = 2});
  const std::vector<uint8_t> bytes = Save("C:\\Apps\\Demo.pda", app);
  Save("C:\\Apps\\Plain App.pda", pdagen::SampleApp({.version = 54, .forms = 1}));
  // The demo's appraisal application, as the installer will send it.
  std::string made;
  ASSERT_EQ(Shell(NB_BIN_DIR "/pdagen --appraisal '" + nb::MapPath("C:\\Apps\\Appraisal.pda") + "'",
                  &made),
            0)
      << made;
  // Stale databases of the same names are replaced, not added to.
  WriteDatabase("EABCD0100$DEMO", {{1, 2, 3}, {4, 5, 6}, {7}, {8}, {9}, {10}});
  ASSERT_EQ(Queue(kCmdDownloadAppForCreator, "C:\\Apps\\Demo.pda", kABCD, "", 1, 1, 0), 1);
  ASSERT_EQ(Queue(kCmdDownloadAppForCreator, "C:\\Apps\\Plain App.pda", kABCD, "", 0, 2, 3), 1);
  ASSERT_EQ(Queue(kCmdDownloadAppForCreator, "C:\\Apps\\Appraisal.pda", 0x76584131, "", 0, 1, 0),
            1);
  ASSERT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1, "  -- App C:\\Apps\\Demo.pda downloaded to handheld."));
  EXPECT_TRUE(LogHas(-1, "  -- App C:\\Apps\\Plain App.pda downloaded to handheld."));

  const conduit::app::Image image =
      conduit::app::ReadApplication(bytes, {"EABCD0100#DEMO", kABCD, 1, 0});
  auto forms = Handheld("EABCD0100$DEMO.pdb");
  ASSERT_TRUE(forms);
  EXPECT_EQ(forms->type, pdb::FourCC("FORM"));
  EXPECT_EQ(forms->creator, kABCD);
  EXPECT_EQ(forms->attributes & 0x0008, 0x0008);
  EXPECT_EQ(forms->app_info, image.app_info);
  ASSERT_EQ(forms->records.size(), 4u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(forms->records[i].data, image.forms[i]);
  EXPECT_EQ(forms->records[3].data, image.menu_record);

  auto resources = Handheld("EABCD0100#DEMO.prc");
  ASSERT_TRUE(resources);
  EXPECT_TRUE(resources->IsResource());
  EXPECT_EQ(resources->type, pdb::FourCC("rsrc"));
  EXPECT_EQ(resources->attributes & 0x0008, 0x0008);
  ASSERT_EQ(resources->records.size(), 2u + 2);  // two bars, the bitmaps of forms 0 and 2
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(resources->records[i].res_type, image.resources[i].type);
    EXPECT_EQ(resources->records[i].res_id, image.resources[i].id);
    EXPECT_EQ(resources->records[i].data, image.resources[i].data);
  }

  auto plain = Handheld("EABCD0203$PLAIN_APP.pdb");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->attributes & 0x0008, 0);
  EXPECT_EQ(plain->records.size(), 2u);
  EXPECT_TRUE(Has("EABCD0203#PLAIN_APP.prc"));

  auto appraisal = Handheld("EvXA10100$APPRAISAL.pdb");
  ASSERT_TRUE(appraisal);
  EXPECT_EQ(pdb::Get16(&appraisal->app_info[44]), 13);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&appraisal->app_info[116])),
            "EvXA10100_APRSUBJ");
  EXPECT_EQ(appraisal->records.size(), 3u + 1);
  EXPECT_TRUE(Has("EvXA10100#APPRAISAL.prc"));

  ExpectOutsideToolsRead(handheld_ + "/EABCD0100$DEMO.pdb", handheld_ + "/EABCD0100#DEMO.prc");
}

TEST_F(ConduitApplication, FailuresAreShownLoggedAndTheOtherStepsRun) {
  pdagen::App big = pdagen::SampleApp({.version = 278, .forms = 1});
  big.tables[0].fields.resize(1500, big.tables[0].fields[0]);
  Save("C:\\Apps\\Big.pda", big);
  std::vector<uint8_t> bad = pdagen::Write(pdagen::SampleApp({.version = 278, .forms = 1}));
  bad[0] = 'X';
  {
    std::ofstream f(nb::MapPath("C:\\Apps\\Bad.pda"), std::ios::binary);
    f.write(reinterpret_cast<const char*>(bad.data()), std::streamsize(bad.size()));
  }
  // Its first form is too big for one record.
  pdagen::App broken = pdagen::SampleApp({.version = 278, .forms = 2});
  broken.forms[0].controls.resize(70);
  for (auto& c : broken.forms[0].controls) {
    c.type = 5;
    c.text = std::string(1000, 'x');
  }
  Save("C:\\Apps\\Broken.pda", broken);
  WriteDatabase("EABCD0100$BIG", {{1}});

  for (const char* file :
       {"C:\\Apps\\Missing.pda", "C:\\Apps\\Bad.pda", "C:\\Apps\\Big.pda", "C:\\Apps\\Broken.pda"})
    ASSERT_EQ(Queue(kCmdDownloadAppForCreator, file, kABCD, "", 0, 1, 0), 1);
  EXPECT_NE(Sync(), 0) << output_;
  EXPECT_NE(output_.find("Error 1000: Could not open specified application file - "
                         "C:\\Apps\\Missing.pda"),
            std::string::npos)
      << output_;
  EXPECT_NE(output_.find("Error 1010: Not an application file (.PDA) or file corrupted - "
                         "C:\\Apps\\Bad.pda"),
            std::string::npos);
  EXPECT_NE(output_.find("The combined size of all objects including fields in tables must not "
                         "exceed 64K."),
            std::string::npos);
  EXPECT_NE(output_.find("Error 1100: Error occurred while copying form to handheld."),
            std::string::npos);
  EXPECT_EQ(output_.find("Error 1250"), std::string::npos);  // nothing read past the overflow
  EXPECT_TRUE(LogHas(-1, "Copy app \"\" to Handheld - FAILED"));
  EXPECT_TRUE(LogHas(-1, "Copy app \"EABCD0100$BIG\" to Handheld - FAILED"));
  EXPECT_TRUE(LogHas(-1, "  -- Downloading of app C:\\Apps\\Broken.pda to handheld failed."));
  EXPECT_FALSE(Has("EABCD0100$BIG.pdb"));
  EXPECT_FALSE(Has("EABCD0100$BAD.pdb"));
  EXPECT_FALSE(Has("EABCD0100#BIG.prc"));
  // The failing form is left out; the other form, the menus and the resources are there.
  auto forms = Handheld("EABCD0100$BROKEN.pdb");
  ASSERT_TRUE(forms);
  EXPECT_EQ(forms->records.size(), 2u);
  EXPECT_TRUE(Has("EABCD0100#BROKEN.prc"));
}

// A database that cannot be written when it is closed fails the download.
TEST_F(ConduitApplication, DatabaseThatCannotBeWrittenFailsTheDownload) {
  Save("C:\\Apps\\Demo.pda", pdagen::SampleApp({.version = 278, .forms = 1}));
  for (const char* db : {"$DEMO", "#DEMO"}) {
    ASSERT_EQ(Queue(kCmdDownloadAppForCreator, "C:\\Apps\\Demo.pda", kABCD, "", 0, 1, 0), 1);
    EXPECT_NE(Shell(std::string("NB_FAULT='rename:1:EIO:handheld/EABCD0100") + db +
                        "' " NB_BIN_DIR "/hotsync sync --handheld '" + handheld_ + "'",
                    &output_),
              0)
        << output_;
    EXPECT_NE(output_.find("  -- Downloading of app C:\\Apps\\Demo.pda to handheld failed."),
              std::string::npos)
        << output_;
  }
}

// PdbFileWriteDocument through the conduit library as a desktop program loads it.
int WriteDocument(const std::string& file) {
  void* lib = dlopen(NB_BIN_DIR "/syncconduit.so", RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(lib, nullptr) << dlerror();
  using WriteDocumentFn = int (*)(const char*, uint32_t, uint32_t, uint32_t, uint32_t);
  auto write = reinterpret_cast<WriteDocumentFn>(dlsym(lib, "PdbFileWriteDocument"));
  EXPECT_NE(write, nullptr);
  const int result = write ? write(file.c_str(), kABCD, 0, 1, 0) : -1;
  dlclose(lib);
  return result;
}

// PdbFileWriteDocument: the same databases as desktop files beside the application file.
TEST_F(ConduitApplication, PdbFileWriteDocumentWritesBothFilesBesideTheApplication) {
  const std::vector<uint8_t> bytes =
      Save("C:\\Apps\\Demo.pda", pdagen::SampleApp({.version = 278, .forms = 3, .menu_bars = 2}));
  EXPECT_EQ(WriteDocument("C:\\Apps\\Demo.pda"), 1);
  const std::string pdb_file = nb::MapPath("C:\\Apps\\EABCD0100$DEMO.PDB");
  const std::string prc_file = nb::MapPath("C:\\Apps\\EABCD0100#DEMO.PRC");
  const conduit::app::Image image =
      conduit::app::ReadApplication(bytes, {"EABCD0100#DEMO", kABCD, 1, 0});
  std::string error;
  auto forms = pdb::ReadFile(pdb_file, &error);
  ASSERT_TRUE(forms) << error;
  EXPECT_EQ(forms->app_info, image.app_info);
  ASSERT_EQ(forms->records.size(), 4u);
  EXPECT_EQ(forms->records[3].data, image.menu_record);
  auto resources = pdb::ReadFile(prc_file, &error);
  ASSERT_TRUE(resources) << error;
  ASSERT_EQ(resources->records.size(), image.resources.size());
  for (size_t i = 0; i < image.resources.size(); ++i)
    EXPECT_EQ(resources->records[i].data, image.resources[i].data);
  ExpectOutsideToolsRead(pdb_file, prc_file);

  // Too big for its information block: no file at all, not an empty one.
  pdagen::App big = pdagen::SampleApp({.version = 278, .forms = 1});
  big.tables[0].fields.resize(1500, big.tables[0].fields[0]);
  Save("C:\\Apps\\Big.pda", big);
  EXPECT_EQ(WriteDocument("C:\\Apps\\Big.pda"), 0);
  EXPECT_FALSE(std::filesystem::exists(nb::MapPath("C:\\Apps\\EABCD0100$BIG.PDB")));
  EXPECT_FALSE(std::filesystem::exists(nb::MapPath("C:\\Apps\\EABCD0100#BIG.PRC")));

  // A path of 284 characters, longer than the shared block keeps: the files still go
  // beside the application, not into a folder higher up.
  const std::string folder = "C:\\Apps\\" + std::string(126, 'd') + "\\" + std::string(140, 'e');
  Save(folder + "\\Demo.pda", pdagen::SampleApp({.version = 278, .forms = 1}));
  ASSERT_EQ((folder + "\\Demo.pda").size(), 284u);
  EXPECT_EQ(WriteDocument(folder + "\\Demo.pda"), 1);
  for (const char* file : {"\\EABCD0100$DEMO.PDB", "\\EABCD0100#DEMO.PRC"})
    EXPECT_TRUE(std::filesystem::exists(nb::MapPath(folder + file))) << file;
}

// Files larger than an application can be are refused by their header and size without
// being read; memory that runs out fails its download, not the synchronisation.
TEST_F(ConduitApplication, LargeFilesAndShortMemoryFailOnlyTheirDownload) {
  // The smallest address space (to 4 MiB) in which a synchronisation runs.
  auto sync_within = [&](uint64_t mib) {
    return Shell("ulimit -v " + std::to_string(mib << 10) +
                     " && exec " NB_BIN_DIR "/hotsync sync --handheld '" + handheld_ + "'",
                 &output_);
  };
  uint64_t low = 16, high = 1024;
  if (sync_within(high) != 0) GTEST_SKIP() << "no sync within 1 GiB (sanitizers?): " << output_;
  while (high - low > 4) (sync_within((low + high) / 2) == 0 ? high : low) = (low + high) / 2;

  Save("C:\\Apps\\Demo.pda", pdagen::SampleApp({.version = 278, .forms = 1}));
  for (const auto& [file, header, mib] :
       std::vector<std::tuple<std::string, std::string, int>>{{"Huge.dat", "GIF89a..", 1024},
                                                              {"Huge.pda", "NBAP\x16\x01..", 1024},
                                                              {"Large.pda", "NBAP\x16\x01..", 60},
                                                              {"Demo.pda", "", 0}}) {
    const std::string path = nb::MapPath("C:\\Apps\\" + file);
    if (mib) std::ofstream(path, std::ios::binary) << header;
    if (mib) std::filesystem::resize_file(path, uintmax_t(mib) << 20);  // a hole, no disk used
    ASSERT_EQ(Queue(kCmdDownloadAppForCreator, ("C:\\Apps\\" + file).c_str(), kABCD, "", 0, 1, 0),
              1);
  }
  // 16 MiB more than a synchronisation needs: too little to hold the 60 MiB file.
  EXPECT_EQ(sync_within(high + 16), 1) << output_;  // failed, not killed
  EXPECT_NE(output_.find("Error 1010: Not an application file (.PDA) or file corrupted - "
                         "C:\\Apps\\Huge.dat\n"),
            std::string::npos)
      << output_;
  EXPECT_NE(output_.find("- C:\\Apps\\Huge.pda is larger than an application file can be "
                         "(more than 64 MiB)\n"),
            std::string::npos);
  EXPECT_TRUE(LogHas(-1, "Not enough memory for C:\\Apps\\Large.pda: the command failed."));
  EXPECT_TRUE(LogHas(-1, "  -- Downloading of app C:\\Apps\\Large.pda to handheld failed."));
  EXPECT_TRUE(LogHas(-1, "  -- App C:\\Apps\\Demo.pda downloaded to handheld."));
}

}  // namespace
}  // namespace nb::testing
