// The runtime's own conduit under the hotsync program: a desktop program that holds the
// synchronisation keeps the handheld link alive through SyncYieldCycles.
#include <signal.h>
#include <unistd.h>

#include "hotsync_fixture.h"
#include "platform/bus.h"

namespace hotsync::testing {
namespace {

TEST(HotSyncConduitRun, AHeldSynchronisationKeepsTheLinkAlive) {
  for (const char* f : {"/syncconduit.so", "/conduit_listener"})
    if (!std::filesystem::exists(std::string(NB_BIN_DIR) + f)) GTEST_SKIP() << f << " not built";
  nb::testing::TempPrefix prefix;
  std::string out;
  ASSERT_EQ(Shell(NB_BIN_DIR "/hotsync init", &out), 0) << out;
  ASSERT_EQ(Shell(NB_BIN_DIR "/hotsync conduits add QMNB", &out), 0) << out;
  const std::string hh = MakeHandheld(prefix.path() + "/hh", "Pat Appraiser", "4242");
  nb::pdb::Database dir;
  dir.name = "NB-EE_SysHeap";
  dir.creator = 0x514D4E42;
  dir.app_info = {'N', 'B', 'D', 'R', 0x02, 0x10};
  dir.app_info.resize(26);
  ASSERT_TRUE(nb::pdb::WriteFile(hh + "/NB-EE_SysHeap.pdb", dir));

  const std::string notes = prefix.path() + "/listener.out";
  pid_t listener = fork();
  if (listener == 0) {
    execl(NB_BIN_DIR "/conduit_listener", "conduit_listener", notes.c_str(), "--hold", "1200",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && !nb::bus::FindWindow("ConduitListener", "", nullptr); ++i)
    usleep(10000);
  int status = Shell(NB_BIN_DIR "/hotsync sync --handheld '" + hh + "'", &out);
  kill(listener, SIGTERM);
  waitpid(listener, nullptr, 0);
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(Contains(Slurp(notes), "released")) << Slurp(notes);
  EXPECT_TRUE(Contains(out, "the handheld link was kept alive")) << out;
  EXPECT_TRUE(Contains(out, "log 20: Nimbra EE")) << out;
}

}  // namespace
}  // namespace hotsync::testing
