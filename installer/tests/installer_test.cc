// appinstaller run as a real process on a fresh desktop: its command line and script
// texts, the registry entries it writes and removes, HotSync Manager's restart, the engine
// files through a real "hotsync sync", and the commands it queues for the conduit.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/bus.h"
#include "platform/registry.h"
#include "syncutil_loader.h"
#include "test_files.h"
#include "test_prefix.h"

namespace {

using nb::reg::Hive;
using nb::testing::Shell;

constexpr char kPalm[] = "Software\\Palm Computing\\Pilot Desktop";
constexpr char kBin[] = NB_BIN_DIR;

struct Box {
  std::string caption, text;
  bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Box& b) {
  return o << "[" << b.caption << "] " << b.text;
}

// The "caption" and "text" of each box in the UI log; the tray icon of a HotSync Manager
// started meanwhile logs there too.
std::vector<Box> ReadLog(const std::string& path) {
  std::vector<Box> boxes;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    auto field = [&](const std::string& name) {
      size_t at = line.find("\"" + name + "\": \"");
      std::string out;
      for (size_t i = at + name.size() + 5; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\') {
          out += line[i];
          continue;
        }
        char c = line[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
      }
      return out;
    };
    if (field("caption") != "tray") boxes.push_back({field("caption"), field("text")});
  }
  return boxes;
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_log_ = prefix_.path() + "/ui.log";
    setenv("NB_UI_LOG", ui_log_.c_str(), 1);
    unsetenv("NB_UI_ANSWERS");
    std::string out;
    ASSERT_EQ(Shell(std::string(kBin) + "/hotsync init", &out), 0) << out;
  }
  void TearDown() override {
    // A HotSync Manager the installer started must not outlive the desktop.
    nb::bus::WindowInfo w;
    while (nb::bus::FindWindow("KittyHawk", "", &w)) {
      nb::bus::PostMessage(w, nb::bus::kCloseMessage, 0, 0);
      WaitFor([&] { return !nb::bus::FindWindow("KittyHawk", "", &w); }, 3000);
    }
  }

  // Runs appinstaller in the desktop folder; its exit code.
  int Install(const std::string& args) {
    std::remove(ui_log_.c_str());
    return Shell("cd '" + prefix_.path() + "' && " + kBin + "/appinstaller " + args, &output_);
  }
  std::vector<Box> Boxes() const { return ReadLog(ui_log_); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = prefix_.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string App(const std::string& sub) { return std::string(kPalm) + "\\" + sub; }
  std::string Palm(const std::string& posix) { return prefix_.path() + "/drive_c/Palm/" + posix; }

  nb::testing::TempPrefix prefix_;
  std::string ui_log_;
  std::string output_;
};

Box Error(const std::string& text) { return {"Installer Error", text}; }
Box Info(const std::string& text) { return {"Setup", text}; }

TEST_F(InstallerTest, CommandLineErrorsShowTheirTextAndChangeNothing) {
  const std::string before = nb::reg::Export(Hive::kCurrentUser, "Software");
  const std::pair<std::string, std::string> cases[] = {
      {"-crtreg ABC", "Specified creator id does not have 4 characters: \"ABC\""},
      {"-CRTSTDREG -condpath", "Was expecting parameter but command line ended."},
      {"-crtreg ABCD", "Name of script file not specified."},
      {"-frob -crtstdreg", "Invalid switch \"-frob\"."},
      {"-crtreg /quiet ABCD", "Was expecting parameter but got switch \"quiet\"."},
      {"a.ini -instprc b.ini -frob",
       "Script filename specified more than once.\nFirst=\"a.ini\"\nSecond=\"b.ini\"\n"},
      {"missing.ini -instprc", "Error opening script file '" + prefix_.path() + "/missing.ini'."},
  };
  for (const auto& [args, text] : cases) {
    EXPECT_EQ(Install(args), 1) << args;
    EXPECT_EQ(Boxes(), std::vector<Box>{Error(text)}) << args;
  }
  EXPECT_EQ(Install(""), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "appinstaller Usage");
  EXPECT_EQ(Boxes()[0].text.substr(0, 47), "appinstaller <scriptname> [options]\n\nOptions:\n\n");
  EXPECT_NE(Boxes()[0].text.find("\n-?, -help\t\tShow this help message\n"), std::string::npos);
  // Help wins over what follows it.
  EXPECT_EQ(Install("-crtstdreg /? -frob"), 0);
  EXPECT_EQ(Boxes()[0].caption, "appinstaller Usage");
  // The two switches every program answers, on standard output and without a box.
  EXPECT_EQ(Install("--help -frob"), 0) << output_;
  EXPECT_EQ(output_.rfind("appinstaller <scriptname> [options]\n\nOptions:\n\n", 0), 0u) << output_;
  EXPECT_EQ(Install("--VERSION"), 0) << output_;
  EXPECT_EQ(output_, "appinstaller 4.1.0 (Build 010)\n");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(nb::reg::Export(Hive::kCurrentUser, "Software"), before);
}

TEST_F(InstallerTest, ScriptSectionsNeedTheirKeys) {
  Write("noapp.ini", "[Installer]\r\nConduitPath=x.dll\r\n[App1]\r\nCreator=vXA1\r\n");
  EXPECT_EQ(Install("noapp.ini -instapp"), 1);
  EXPECT_EQ(Boxes(), std::vector<Box>{Error("[App1] section missing required key: 'AppFile'")});
  // "|" is what the reader answers for a missing key.
  Write("pipe.ini", "[Installer]\r\nConduitPath=|x.dll\r\n");
  EXPECT_EQ(Install("pipe.ini -crtstdreg"), 1);
  EXPECT_EQ(Boxes(),
            std::vector<Box>{Error("[Installer] section missing required key: 'ConduitPath'")});
  Write("nosection.ini", "[PRC_Files]\r\nPrcFile0=a.prc\r\n");
  EXPECT_EQ(Install("nosection.ini -crtreg ABCD"), 1);
  EXPECT_EQ(Boxes(),
            std::vector<Box>{Error("[Installer] section missing required key: 'ConduitPath'")});
  // A script saved as UTF-8 with a character the handheld cannot show is refused.
  Write("mark.ini", "[Installer]\r\nConduitPath=x.dll\r\nName=\xE2\x9C\x93\r\n");
  EXPECT_EQ(Install("mark.ini -crtreg ABCD"), 1);
  EXPECT_EQ(Boxes(), std::vector<Box>{Error("Error in script file '" + prefix_.path() +
                                            "/mark.ini': character U+2713 at byte 38 has no "
                                            "Windows-1252 form.")});
  EXPECT_FALSE(nb::reg::KeyExists(Hive::kCurrentUser, App("ApplicationNimbra_OEM_ABCD")));

  // A key left empty is missing.
  const std::string app = "[App1]\r\nCreator=vXA1\r\nAppFile=a.pda\r\n";
  const std::pair<std::string, std::string> empty[] = {
      {"[Installer]\r\nConduitPath=\r\n",
       "[Installer] section missing required key: 'ConduitPath'"},
      {"[App1]\r\nCreator=\r\nAppFile=a.pda\r\n", "[App1] section missing required key: 'Creator'"},
      {"[App1]\r\nCreator=vXA1\r\nAppFile=\r\n", "[App1] section missing required key: 'AppFile'"},
      {app + "TableFile0=t.dbf\r\nTableFile1=\r\nTableFile2=u.dbf\r\n",
       "[App1] section missing required key: 'TableFile1'"},
      {app + "[PRC_Files]\r\nPrcFile0=\r\n",
       "[PRC_Files] section missing required key: 'PrcFile0'"},
  };
  for (const auto& [text, message] : empty) {
    Write("empty.ini", text);
    EXPECT_EQ(Install("empty.ini -crtreg ABCD -quiet"), 1) << text;
    EXPECT_EQ(Boxes(), std::vector<Box>{Error(message)}) << text;
  }
  EXPECT_EQ(Install("-crtreg ABCD -condpath '' -quiet"), 1);
  EXPECT_EQ(Boxes(), std::vector<Box>{Error("The conduit path is empty.")});
  EXPECT_FALSE(nb::reg::KeyExists(Hive::kCurrentUser, App("ApplicationNimbra_OEM_ABCD")));
  // An empty optional key keeps its default.
  Write("empty.ini", "[Installer]\r\nConduitPath=c.dll\r\nName=\r\n");
  ASSERT_EQ(Install("empty.ini -crtreg ABCD -quiet"), 0) << output_;
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, App("ApplicationNimbra_OEM_ABCD"), "Name"),
            "Nimbra EE App");
}

TEST_F(InstallerTest, CrtregNamesTheEntryByHotSyncVersion) {
  // Saved as UTF-8: the name is stored as Windows-1252.
  Write("s.ini", "[Installer]\r\nConduitPath=syncconduit.dll\r\nName=Appraisal\xC3\xA9s\r\n");
  ASSERT_EQ(Install("s.ini -crtreg ABCD"), 0) << output_;
  EXPECT_EQ(Boxes(), std::vector<Box>{Info("Handheld registry entries created successfully.")});
  const std::string key = App("ApplicationNimbra_OEM_ABCD");
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, key, "Conduit"),
            "C:\\windows\\system32\\syncconduit.dll");
  EXPECT_EQ(nb::reg::GetDword(Hive::kCurrentUser, key, "Creator"), nb::pdb::FourCC("ABCD"));
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, key, "Name"), "Appraisal\xE9s");

  // HotSync 1.0: the first free numbered entry; the option overrides the script.
  nb::reg::DeleteKey(Hive::kLocalMachine, "SOFTWARE\\Palm Computing\\Pilot Desktop\\4.0");
  nb::reg::CreateKey(Hive::kLocalMachine, "SOFTWARE\\Palm Computing\\Pilot Desktop\\1.0");
  nb::reg::SetDword(Hive::kCurrentUser, App("Application0"), "Creator", nb::pdb::FourCC("ZZZZ"));
  ASSERT_EQ(Install("s.ini -crtreg WXYZ -condpath /opt/c.so -name Other -quiet"), 0) << output_;
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(nb::reg::GetDword(Hive::kCurrentUser, App("Application1"), "Creator"),
            nb::pdb::FourCC("WXYZ"));
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, App("Application1"), "Conduit"), "/opt/c.so");
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, App("Application1"), "Name"), "Other");

  // An entry beyond the gap a removal left is updated, not made a second time.
  ASSERT_EQ(Install("-crtstdreg -condpath c.dll -quiet"), 0) << output_;
  ASSERT_EQ(Install("-remreg QMN3 -quiet"), 0) << output_;
  ASSERT_EQ(Install("-crtreg QMN5 -condpath c.dll -quiet"), 0) << output_;
  int qmn5 = 0;
  for (const std::string& sub : nb::reg::SubKeys(Hive::kCurrentUser, kPalm))
    qmn5 += nb::reg::GetDword(Hive::kCurrentUser, App(sub), "Creator") == nb::pdb::FourCC("QMN5");
  EXPECT_EQ(qmn5, 1);

  // -quiet keeps errors.
  nb::reg::DeleteKey(Hive::kCurrentUser, kPalm);
  EXPECT_EQ(Install("-crtreg WXYZ -condpath c.dll -quiet"), 1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text.rfind("Could not open Palm key = \"", 0), 0u) << Boxes()[0];
}

TEST_F(InstallerTest, StandardEntriesComeAndGoButTheRuntimeEntryStays) {
  nb::reg::SetDword(Hive::kCurrentUser, App("ApplicationNimbraEE"), "Creator",
                    nb::pdb::FourCC("QMNB"));
  ASSERT_EQ(Install("-crtstdreg -condpath 'C:\\conduits\\sc.dll'"), 0) << output_;
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, App("ApplicationNimbraEE"), "Conduit"),
            "C:\\conduits\\sc.dll");
  for (char d = '0'; d <= '9'; ++d)
    EXPECT_EQ(nb::reg::GetDword(Hive::kCurrentUser, App(std::string("ApplicationNimbraQTX") + d),
                                "Creator"),
              nb::pdb::FourCC((std::string("QMN") + d).c_str()));
  nb::reg::SetDword(Hive::kCurrentUser, App("Application0"), "Creator", nb::pdb::FourCC("QMN3"));

  ASSERT_EQ(Install("-remstdreg"), 0) << output_;
  EXPECT_EQ(Boxes(), std::vector<Box>{Info("Handheld registry entries removed successfully.")});
  EXPECT_EQ(nb::reg::SubKeys(Hive::kCurrentUser, kPalm),
            (std::vector<std::string>{"Core", "HotSync Manager", "ApplicationNimbraEE"}));
  ASSERT_EQ(Install("-remreg QMNB -quiet"), 0) << output_;
  EXPECT_FALSE(nb::reg::KeyExists(Hive::kCurrentUser, App("ApplicationNimbraEE")));
}

// The engine's stand-in files and a script naming them with two applications.
class InstallerFlowTest : public InstallerTest {
 protected:
  void SetUp() override {
    InstallerTest::SetUp();
    std::string out;
    ASSERT_EQ(Shell(std::string(kBin) + "/enginestandin '" + prefix_.path() + "/engine'", &out), 0)
        << out;
    Write("script.ini",
          "[Installer]\r\nEngWinTitle=Engine\r\nNDDI=nddi.dll\r\n"
          "[PRC_Files]\r\nPrcFile0=engine/NimbraEngine-standin.prc\r\n"
          "PrcFile1=engine/NimbraSysHeap-standin.pdb\r\n"
          "[App1]\r\nCreator=vXA1\r\nAppFile=valtrix.pda\r\nTableFile0=t/AprInfo.dbf\r\n"
          "TableFile1=t/Rooms.dbf\r\n"
          "[Other]\r\nAppFile=ignored.pda\r\n"
          "[AppTwo]\r\nCreator=ABCD\r\nAppFile=two/two.pda\r\nTableFile0=two/T.dbf\r\n");
    // The only HotSync user is the one the handheld's first synchronisation made.
    handheld_ = prefix_.path() + "/hh";
    std::filesystem::create_directories(handheld_);
    std::ofstream(handheld_ + "/handheld.ini") << "[Handheld]\r\nUserName=Bar User\r\n";
    ASSERT_EQ(Sync(), 0) << output_;
  }
  std::string InstallFolder() { return Palm("Data/Bar User/Install"); }
  std::future<int>& InstallInBackground(const std::string& args) {
    std::remove(ui_log_.c_str());
    const std::string command = "cd '" + prefix_.path() + "' && " + kBin + "/appinstaller " + args;
    bg_ = std::async(std::launch::async, [command, this] { return Shell(command, &bg_output_); });
    return bg_;
  }
  void TearDown() override {
    // A failed test must not leave the installer waiting: abort its waits.
    if (bg_.valid() && bg_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      std::filesystem::remove_all(InstallFolder());
      for (const nb::bus::WindowInfo& w : nb::bus::Windows())
        if (w.title == "Installing application") kill(w.pid, SIGINT);
      bg_.wait();
    }
    InstallerTest::TearDown();
  }
  int Sync() {
    return Shell(std::string(kBin) + "/hotsync sync --handheld '" + handheld_ + "'", &output_);
  }

  std::string handheld_;
  std::string bg_output_;
  std::future<int> bg_;
};

TEST_F(InstallerFlowTest, NoPrcWaitCopiesTheFilesAndEnds) {
  ASSERT_EQ(Install("script.ini -instprc -noprcwait"), 0) << output_;
  EXPECT_TRUE(std::filesystem::exists(InstallFolder() + "/NimbraEngine-standin.prc"));
  EXPECT_TRUE(std::filesystem::exists(InstallFolder() + "/NimbraSysHeap-standin.pdb"));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, "Engine");
  EXPECT_EQ(Boxes()[0].text,
            "Ready to copy the Nimbra engine to Handheld. Press the \"Install\" button to install "
            "or press \"Cancel\" to abort.\nUser Name: Bar User");
  EXPECT_EQ(output_.find("Waiting for HotSync"), std::string::npos);
}

TEST_F(InstallerFlowTest, TheWaitEndsWhenHotSyncHasInstalledTheFiles) {
  auto& installer = InstallInBackground("script.ini -instprc");
  ASSERT_TRUE(WaitFor(
      [&] { return std::filesystem::exists(InstallFolder() + "/NimbraSysHeap-standin.pdb"); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ(installer.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  ASSERT_EQ(Sync(), 0) << output_;
  ASSERT_EQ(installer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(installer.get(), 0) << bg_output_;
  EXPECT_TRUE(std::filesystem::exists(handheld_ + "/NB-EE_SysHeap.pdb"));
  EXPECT_TRUE(std::filesystem::exists(handheld_ + "/NB-EE Engine (stand-in).prc")) << output_;
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[1].caption, "Waiting for HotSync");
  EXPECT_EQ(boxes[2], Info("Files installed successfully."));
}

TEST_F(InstallerFlowTest, CancellingTheWaitLeavesTheFilesAndSkipsTheApplications) {
  setenv("NB_UI_ANSWERS", "Waiting for HotSync=Cancel", 1);
  ASSERT_EQ(Install("script.ini -instprc -instapp"), 0) << output_;
  EXPECT_TRUE(std::filesystem::exists(InstallFolder() + "/NimbraEngine-standin.prc"));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].caption, "Waiting for HotSync");
  nb::testing::SyncUtil util;
  uint32_t type = 0;
  EXPECT_EQ(NB_FN(util, NB_GetNextCommand)(&type, nullptr, 0), 0);

  // Cancelling the engine dialog itself ends the run the same way.
  setenv("NB_UI_ANSWERS", "Engine=Cancel", 1);
  std::filesystem::remove_all(InstallFolder());
  ASSERT_EQ(Install("script.ini -instprc -instapp"), 0) << output_;
  EXPECT_FALSE(std::filesystem::exists(InstallFolder()));
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(InstallerFlowTest, ApplicationsAreQueuedBeforeAnyTable) {
  auto& installer = InstallInBackground("script.ini -instapp -major 261 -minor 7");
  nb::bus::WindowInfo dialog;
  ASSERT_TRUE(WaitFor([&] { return nb::bus::FindWindow("", "Installing application", &dialog); }));

  nb::testing::SyncUtil util;
  struct Cmd {
    uint32_t type, creator;
    std::string file, plugin;
    uint32_t flags, major, minor;
    bool operator==(const Cmd&) const = default;
  };
  std::vector<Cmd> queued;
  uint32_t type, creator, p1, p2, p3;
  char file[261];
  const char* plugin;
  while (
      NB_FN(util, NB_GetNextCommandEx)(&type, file, sizeof file, &creator, &plugin, &p1, &p2, &p3))
    queued.push_back({type, creator, file, type == 8 ? plugin : "", p1, p2, p3});
  const std::string d = prefix_.path() + "/";
  const uint32_t vxa1 = nb::pdb::FourCC("vXA1"), abcd = nb::pdb::FourCC("ABCD");
  EXPECT_EQ(queued, (std::vector<Cmd>{{7, vxa1, d + "valtrix.pda", "", 0, 5, 7},
                                      {7, abcd, d + "two/two.pda", "", 0, 5, 7},
                                      {8, vxa1, d + "t/AprInfo.dbf", "nddi.dll", 0, 5, 7},
                                      {8, vxa1, d + "t/Rooms.dbf", "nddi.dll", 0, 5, 7},
                                      {8, abcd, d + "two/T.dbf", "nddi.dll", 0, 5, 7}}));

  // The conduit's end of a synchronisation in which every command succeeded.
  std::string out;
  ASSERT_EQ(Shell(std::string(kBin) + "/syncutil_client notify 2 1", &out), 0) << out;
  ASSERT_EQ(installer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(installer.get(), 0) << bg_output_;
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].caption, "Nimbra App Install");
  EXPECT_EQ(boxes[1].caption, "Installing application");
  EXPECT_EQ(boxes[2], Info("Files installed successfully."));
}

TEST_F(InstallerFlowTest, AFailedSynchronisationFailsTheInstallation) {
  // A real synchronisation in which the tables that do not exist fail.
  ASSERT_EQ(Shell(std::string(kBin) + "/hotsync conduits add vXA1", &output_), 0) << output_;
  auto& installer = InstallInBackground("script.ini -instapp");
  nb::bus::WindowInfo dialog;
  ASSERT_TRUE(WaitFor([&] { return nb::bus::FindWindow("", "Installing application", &dialog); }));
  ASSERT_EQ(Shell(std::string(kBin) + "/enginestandin '" + handheld_ + "/x'", &output_), 0);
  // The runtime's directory and a database of the creator, so HotSync calls the conduit.
  std::filesystem::copy_file(handheld_ + "/x/NimbraSysHeap-standin.pdb",
                             handheld_ + "/NB-EE_SysHeap.pdb");
  nb::pdb::Database seed;
  seed.name = "Seed";
  seed.type = nb::pdb::FourCC("DATA");
  seed.creator = nb::pdb::FourCC("vXA1");
  ASSERT_TRUE(nb::pdb::WriteFile(handheld_ + "/Seed.pdb", seed));
  Sync();
  ASSERT_EQ(installer.wait_for(std::chrono::seconds(20)), std::future_status::ready) << output_;
  EXPECT_EQ(installer.get(), 1) << bg_output_;
  EXPECT_EQ(Boxes().back(), Error("Installation failed."));
}

TEST_F(InstallerTest, AFailedInstallationTakesBackWhatItQueued) {
  // Another program's command, with the ring come round once, so the installer's wrap.
  nb::testing::SyncUtil util;
  uint32_t type = 0;
  char file[261];
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(NB_FN(util, NB_AddToCommandQueue)(6, "x"), 1);
    ASSERT_EQ(NB_FN(util, NB_GetNextCommand)(&type, nullptr, 0), 1);
  }
  ASSERT_EQ(NB_FN(util, NB_AddToCommandQueue)(4, "other.dbf"), 1);
  std::string script = "[App1]\r\nCreator=vXA1\r\nAppFile=a.pda\r\n";
  for (int n = 0; n < 600; ++n) script += "TableFile" + std::to_string(n) + "=t.dbf\r\n";
  Write("big.ini", script);
  EXPECT_EQ(Install("big.ini -instapp"), 1) << output_;
  EXPECT_EQ(Boxes().back(), Error("Installation failed."));
  ASSERT_EQ(NB_FN(util, NB_GetNextCommand)(&type, file, sizeof file), 1);
  EXPECT_EQ(type, 4u);
  EXPECT_STREQ(file, "other.dbf");
  EXPECT_EQ(NB_FN(util, NB_GetNextCommand)(&type, nullptr, 0), 0);
}

TEST_F(InstallerTest, RestartStartsOrReplacesTheResidentHotSyncManager) {
  ASSERT_EQ(Install("-restarths"), 0) << output_;
  EXPECT_EQ(Boxes(), std::vector<Box>{Info("Starting HotSync Manager")});
  nb::bus::WindowInfo first, second;
  ASSERT_TRUE(WaitFor([&] { return nb::bus::FindWindow("KittyHawk", "HotSync Manager", &first); }));

  ASSERT_EQ(Install("-restarths"), 0) << output_;
  EXPECT_EQ(Boxes(), std::vector<Box>{Info("Restarting HotSync Manager")});
  ASSERT_TRUE(WaitFor(
      [&] { return nb::bus::FindWindow("KittyHawk", "", &second) && second.pid != first.pid; }));
  EXPECT_EQ(nb::bus::Windows().size(), 1u);

  nb::reg::SetString(Hive::kCurrentUser, App("Core"), "HotSyncPath", "C:\\Nowhere\\HotSync.exe");
  EXPECT_EQ(Install("-restarths"), 1);
  EXPECT_EQ(Boxes(), std::vector<Box>{Error("Cannot find HOTSYNC.EXE")});
}

}  // namespace
