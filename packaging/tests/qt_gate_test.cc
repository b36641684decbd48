// Qt stays in the windowing host: the core, the plug-ins and the programs without windows
// neither need it nor load it, so a resident HotSync without a display runs without it.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "test_files.h"
#include "test_prefix.h"

namespace {

namespace fs = std::filesystem;
using nb::testing::Shell;

// The libraries `file` needs, following those of the installed lib folder.
std::set<std::string> Needed(const std::string& file, const std::string& lib) {
  std::set<std::string> all;
  std::vector<std::string> todo{file};
  while (!todo.empty()) {
    std::string out, f = todo.back();
    todo.pop_back();
    Shell("readelf -d '" + f + "' | sed -n 's/.*(NEEDED).*\\[\\(.*\\)\\]/\\1/p'", &out);
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string name = out.substr(start, end - start);
      if (all.insert(name).second && fs::exists(lib + "/" + name)) todo.push_back(lib + "/" + name);
    }
  }
  return all;
}

TEST(Install, OnlyTheWindowingHostLoadsQt) {
  nb::testing::TempPrefix desktop;
  const std::string root = desktop.path() + "/installed";
  std::string out;
  ASSERT_EQ(Shell("cmake --install '" NB_BUILD_DIR "' --prefix '" + root + "'", &out), 0) << out;
  const std::string lib = root + "/lib/nimbra";
  ASSERT_TRUE(fs::exists(lib + "/libnbui_qt.so"));
  const std::set<std::string> windowed{"libnbui_qt.so", "valtrix", "appinstaller"};
  int checked = 0;
  for (const std::string& dir : {root + "/bin", lib, lib + "/tools"})
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      if (name == "valtrix-start" || e.is_directory()) continue;  // a shell script, tools/
      ++checked;
      bool qt = false;
      for (const std::string& n : Needed(e.path().string(), lib)) qt |= n.rfind("libQt", 0) == 0;
      EXPECT_EQ(qt, windowed.count(name) > 0) << name;
    }
  EXPECT_GE(checked, 20);

  // At run time: a synchronisation loads the Qt host only when a display is there.
  const std::string bin = root + "/bin", work = desktop.path() + "/work";
  // In a subshell, so Shell's 2>&1 takes the loader's report of every command.
  const std::string setup = "(cd '" + desktop.path() + "' && export PATH='" + bin + ":" + lib +
                            "/tools:/usr/bin:/bin' && hotsync init && demodesk handheld '" + work +
                            "/handheld' && ";
  const std::string sync =
      " LD_DEBUG=files hotsync sync --handheld '" + work + "/handheld' && nbreg query HKLM)";
  ASSERT_EQ(Shell(setup + "env -u DISPLAY -u WAYLAND_DISPLAY NB_UI=" + sync, &out), 0) << out;
  EXPECT_EQ(out.find("libQt"), std::string::npos) << out;
  EXPECT_NE(out.find("Sync20.so"), std::string::npos) << out;
  ASSERT_EQ(Shell(setup + "env -u DISPLAY NB_UI=qt QT_QPA_PLATFORM=offscreen" + sync, &out), 0)
      << out;
  EXPECT_NE(out.find("libnbui_qt.so"), std::string::npos) << out;
  EXPECT_NE(out.find("libQt6Widgets"), std::string::npos) << out;
}

}  // namespace
