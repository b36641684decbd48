// The command queue under load, drained by real synchronisations: the hotsync program
// runs the conduit, which takes the commands while eight producer processes queue them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "queue_load.h"
#include "test_prefix.h"

namespace nb::testing {
namespace {

TEST(QueueLoad, SynchronisationsCarryOutEveryProducersCommandsOnceAndInOrder) {
  if (!std::filesystem::exists(NB_BIN_DIR "/hotsync")) GTEST_SKIP() << "hotsync is not built";
  TempPrefix prefix;
  const std::string handheld = prefix.path() + "/handheld";
  std::string error;
  ASSERT_TRUE(SetUpLoadDesktop(handheld, &error)) << error;

  constexpr int kProducers = 8, kEach = 1000;
  const LoadRun run = RunLoad(handheld, kProducers, kEach);
  ASSERT_EQ(run.error, "");
  std::printf("%d commands run by %d synchronisations in %.1f s\n", int(run.done.size()), run.syncs,
              run.seconds);
  EXPECT_EQ(run.failed_producers, 0);
  EXPECT_EQ(run.failed_syncs, 0) << Slurp(prefix.path() + "/load.out").substr(0, 4000);
  EXPECT_EQ(run.started, run.syncs);
  EXPECT_EQ(run.finished, run.syncs);
  EXPECT_EQ(run.failed_commands, 0);

  std::vector<int> next(kProducers, 0);
  int out_of_order = 0;
  for (const std::string& name : run.done) {
    int p = -1, i = -1;
    if (std::sscanf(name.c_str(), "p%d-%d", &p, &i) != 2 || p < 0 || p >= kProducers ||
        i != next[size_t(p)]++)
      ++out_of_order;
  }
  EXPECT_EQ(out_of_order, 0);
  EXPECT_EQ(next, std::vector<int>(kProducers, kEach));
  std::string left;
  Shell(NB_BIN_DIR "/syncutil_client drain", &left);
  EXPECT_EQ(left, "");
}

}  // namespace
}  // namespace nb::testing
