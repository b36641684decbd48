// A demo-like desktop for synchronisations over the handheld link: HotSync Manager with the
// conduit registered for the runtime and the appraisal application, a virtual handheld
// holding the application's 13 tables (4 appraisals, 1 and 3 marked for export, DELSYNC),
// valtrix's folder with an appraisal data file and common responses in its Outbox. A press
// of the HotSync button is one run of the handheld simulator against the resident HotSync
// Manager, valtrix running. Restore() puts the whole desktop back as it was set up, so that
// every press starts alike.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "dbase/table.h"
#include "test_files.h"
#include "test_prefix.h"
#include "valtrix_process.h"

namespace hotsync::testing {

namespace fs = std::filesystem;

class LinkDesk {
 public:
  LinkDesk() {
    fs::create_directories(desk_);
    setenv("NB_PREFIX", desk_.c_str(), 1);
    for (const char* program : {"hotsync", "hhsim", "aprgen", "demodesk", "valtrix"})
      if (!fs::exists(std::string(NB_BIN_DIR "/") + program)) {
        missing_ = program;
        return;
      }
    const std::string stage = prefix_.path() + "/stage";
    for (const std::string& command : std::initializer_list<std::string>{
             "hotsync init", "hotsync conduits add QMNB", "hotsync conduits add vXA1",
             "demodesk handheld --id 4242 '" + handheld_ + "'",
             "aprgen -n 4 --marked 1,3 --delsync '" + stage + "'",
             "demodesk queue-tables '" + stage + "' vXA1",
             "hotsync sync --handheld '" + handheld_ + "'"})
      if (Run(command) != 0) {
        ADD_FAILURE() << command << ": " << out_;
        return;
      }
    fs::create_directories(app_ + "/System");
    fs::create_directories(app_ + "/Outbox");
    fs::copy_file(stage + "/TAGTABLE.dbf", app_ + "/System/TAGTABLE.dbf");
    std::ofstream(app_ + "/Outbox/job12.vxa")
        << "[Header]\r\nMajorForm=1004\r\n[AppraisalData]\r\nFORM_FILE_NUMBER.1=JOB12\r\n"
           "SUBJ_PROPERTY_ADDRESS.1=12 Elm Street\r\n";
    std::ofstream(app_ + "/Outbox/commresp.dat") << "[ROOF]\r\nSlate\r\nCedar shake=\r\n";
    fs::copy(desk_, base_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    ready_ = true;
  }
  ~LinkDesk() { Stop(); }

  // Empty when everything is built and set up, else why not.
  std::string skip() const { return missing_.empty() ? "" : missing_ + " is not built"; }
  bool ready() const { return ready_; }

  // The desktop as it was set up (with no program running).
  void Restore() {
    Stop();
    fs::remove_all(desk_);
    fs::copy(base_, desk_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }

  // Starts valtrix and the resident HotSync Manager ("hotsync run" with `link`); false
  // when either does not come up. "--listen 127.0.0.1:0" takes any free port.
  bool Start(const std::string& link) {
    valtrix_ = std::make_unique<valtrix::testing::ValtrixProcess>(app_);
    if (!valtrix_->WaitForWindow()) return false;
    const std::string out = desk_ + "/run.out";
    const size_t from = nb::testing::Slurp(out).size();
    resident_ = fork();
    if (resident_ == 0) {
      const std::string command = NB_BIN_DIR "/hotsync run " + link + " >>'" + out + "' 2>&1";
      execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    const std::string listens = "listens for handhelds: ", netsync = "NetSync on 127.0.0.1:";
    for (int i = 0; i < 400; ++i) {
      const std::string said = nb::testing::Slurp(out).substr(from);
      if (size_t at = said.find(listens); at != std::string::npos) {
        if (size_t on = said.find(netsync, at); on != std::string::npos)
          port_ = std::atoi(said.c_str() + on + netsync.size());
        return true;
      }
      if (waitpid(resident_, nullptr, WNOHANG) == resident_) {
        resident_ = -1;
        return false;
      }
      usleep(25000);
    }
    Stop();
    return false;
  }

  // Ends HotSync Manager (after the synchronisation it is in) and valtrix.
  void Stop() {
    if (resident_ > 0) {
      kill(resident_, SIGTERM);
      waitpid(resident_, nullptr, 0);
      resident_ = -1;
    }
    valtrix_.reset();
  }

  // One press: hhsim with the handheld and `args`; its exit status, its output in *out.
  int Press(const std::string& args, std::string* out) {
    return nb::testing::Shell(NB_BIN_DIR "/hhsim --handheld '" + handheld_ + "' " + args, out);
  }
  std::string NetSync() const { return "--netsync 127.0.0.1:" + std::to_string(port_); }
  static std::string Listen() { return "--listen 127.0.0.1:0"; }
  // What HotSync Manager and valtrix printed, for failure messages.
  std::string Output() const {
    return nb::testing::Slurp(desk_ + "/run.out") + (valtrix_ ? valtrix_->Output() : "");
  }

  // The requests a clean run of hhsim served, from its last line.
  static int Requests(const std::string& hhsim_output) {
    const size_t at = hhsim_output.find("HotSync complete, ");
    return at == std::string::npos ? 0 : std::atoi(hhsim_output.c_str() + at + 18);
  }

  // Every desktop table reads whole: header, every record, every memo. The first that
  // does not, and why, in *why.
  bool TablesReadable(std::string* why) const {
    for (const auto& entry : fs::directory_iterator(app_ + "/System")) {
      if (entry.path().extension() != ".dbf") continue;
      dbase::Table table;
      bool ok = table.Open(entry.path(), false);
      std::vector<FieldValue> values;
      bool deleted = false;
      for (size_t i = 0; ok && i < table.record_count(); ++i)
        ok = table.ReadRecord(i, &values, &deleted);
      if (!ok) {
        *why = entry.path().filename().string() + ": " + table.error();
        return false;
      }
    }
    return true;
  }

  // The file numbers of the appraisals the desktop knows: in the tables it last sent to the
  // handheld and in the appraisal data files it exported.
  std::set<std::string> Appraisals() const {
    std::set<std::string> numbers;
    dbase::Table subjects;
    if (subjects.Open(app_ + "/System/AprSubj.dbf", false)) {
      size_t column = 0;
      while (column < subjects.columns().size() && subjects.columns()[column].name != "FileNumber")
        ++column;
      std::vector<FieldValue> values;
      bool deleted = false;
      for (size_t i = 0; i < subjects.record_count(); ++i)
        if (subjects.ReadRecord(i, &values, &deleted) && !deleted && column < values.size())
          numbers.insert(std::string(values[column].text_view()));
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(app_ + "/Inbox", ec)) {
      const std::string text = nb::testing::Slurp(entry.path());
      const size_t at = text.find("FORM_FILE_NUMBER.1=");
      if (at != std::string::npos)
        numbers.insert(text.substr(at + 19, text.find_first_of("\r\n", at) - at - 19));
    }
    return numbers;
  }

 private:
  int Run(const std::string& command) {
    return nb::testing::Shell(NB_BIN_DIR "/" + command, &out_);
  }

  nb::testing::TempPrefix prefix_;
  const std::string desk_ = prefix_.path() + "/desk", base_ = prefix_.path() + "/base";
  const std::string handheld_ = desk_ + "/handheld", app_ = desk_ + "/Valtrix";
  int port_ = 0;  // the resident's NetSync port
  std::string out_, missing_;
  bool ready_ = false;
  pid_t resident_ = -1;
  std::unique_ptr<valtrix::testing::ValtrixProcess> valtrix_;
};

// Two pseudo-terminals joined back to back, as a null-modem cable joins two serial ports:
// what one side's program writes, the other side's program reads.
class NullModem {
 public:
  NullModem() {
    termios raw{};
    cfmakeraw(&raw);
    char name[2][128];
    for (int i = 0; i < 2; ++i)
      if (openpty(&master_[i], &slave_[i], name[i], &raw, nullptr) != 0) return;
    names_[0] = name[0];
    names_[1] = name[1];
    if (pipe(stop_) != 0) return;
    relay_ = std::thread([this] { Relay(); });
  }
  ~NullModem() {
    if (relay_.joinable()) {
      (void)!write(stop_[1], "x", 1);
      relay_.join();
    }
    for (int fd : {master_[0], master_[1], slave_[0], slave_[1], stop_[0], stop_[1]})
      if (fd >= 0) close(fd);
  }
  const std::string& end(int i) const { return names_[i]; }

 private:
  void Relay() {
    char buf[4096];
    while (true) {
      pollfd p[3] = {{master_[0], POLLIN, 0}, {master_[1], POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(p, 3, -1) < 0 || p[2].revents) return;
      for (int i = 0; i < 2; ++i)
        if (p[i].revents & POLLIN) {
          ssize_t n = read(master_[i], buf, sizeof buf);
          for (ssize_t done = 0; n > 0 && done < n;) {
            ssize_t w = write(master_[1 - i], buf + done, size_t(n - done));
            if (w <= 0) break;
            done += w;
          }
        }
    }
  }

  int master_[2] = {-1, -1}, slave_[2] = {-1, -1}, stop_[2] = {-1, -1};
  std::string names_[2];
  std::thread relay_;
};

}  // namespace hotsync::testing
