// The installed package works on its own: installed into a fresh prefix, its programs set
// a desktop up and synchronise a virtual handheld, with every library coming from the
// prefix and nothing pointing into the build folder; and the README's commands for a
// desktop from the installed programs do what it says.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "test_files.h"
#include "test_prefix.h"

namespace {

namespace fs = std::filesystem;
using nb::testing::Shell;

TEST(Install, TheInstalledProgramsSynchroniseWithoutTheBuildFolder) {
  nb::testing::TempPrefix desktop;
  const std::string root = desktop.path() + "/installed";
  const std::string work = desktop.path() + "/work";
  std::string out;
  ASSERT_EQ(Shell("cmake --install '" NB_BUILD_DIR "' --prefix '" + root + "'", &out), 0) << out;
  const std::string bin = root + "/bin", tools = root + "/lib/nimbra/tools";
  for (const char* f :
       {"lib/nimbra/syncconduit.so", "lib/nimbra/pdbdevice.so", "lib/nimbra/libsyncutil.so",
        "lib/nimbra/tools/hhsim", "lib/nimbra/tools/aprgen", "lib/nimbra/tools/enginestandin",
        "share/nimbra/valtrix-install.ini", "lib/systemd/user/hotsync.service",
        "share/applications/valtrix.desktop", "share/applications/hotsync.desktop",
        "etc/xdg/autostart/valtrix.desktop", "share/icons/hicolor/48x48/apps/valtrix.png",
        "share/icons/hicolor/scalable/apps/nimbra-hotsync.svg",
        "share/doc/nimbra-desktop/copyright", "share/bash-completion/completions/hotsync"})
    EXPECT_TRUE(fs::exists(root + "/" + f)) << f;
  // bin/ holds the user's programs only, and the manifest every installed file.
  ASSERT_EQ(Shell("ls '" + bin + "' | tr '\\n' ' '", &out), 0);
  EXPECT_EQ(out, "appinstaller hotsync nbreg valtrix valtrix-start ");
  std::string manifest;
  ASSERT_EQ(Shell("cd '" + root + "' && find . ! -type d | wc -l", &out), 0);
  ASSERT_EQ(Shell("grep -c '' '" NB_BUILD_DIR "/install_manifest.txt'", &manifest), 0);
  EXPECT_EQ(out, manifest);

  // No RUNPATH names the build folder, and every library resolves inside the prefix.
  ASSERT_EQ(Shell("cd '" + root + "' && for f in bin/* lib/nimbra/*.so; do readelf -d $f | " +
                      "grep -E 'R(UN)?PATH'; ldd $f | grep -E 'not found|" NB_BUILD_DIR "'; " +
                      "done; true",
                  &out),
            0);
  EXPECT_EQ(out.find(NB_BUILD_DIR), std::string::npos) << out;
  EXPECT_EQ(out.find("not found"), std::string::npos) << out;
  EXPECT_NE(out.find("$ORIGIN"), std::string::npos) << out;

  // A synchronisation from the installed programs only.
  const std::string script =
      "set -e; cd '" + desktop.path() + "'; export PATH='" + bin + ":" + tools +
      ":/usr/bin:/bin'; " + "hotsync init; hotsync conduits add QMNB; hotsync conduits add vXA1; " +
      "demodesk handheld '" + work + "/handheld'; aprgen -n 2 '" + work + "/stage'; " +
      "demodesk queue-tables '" + work + "/stage' vXA1; hotsync sync --handheld '" + work +
      "/handheld'; hotsync list --handheld '" + work + "/handheld'; hotsync log --last";
  ASSERT_EQ(Shell("bash -c \"" + script + "\"", &out), 0) << out;
  EXPECT_EQ(out.find(NB_BUILD_DIR), std::string::npos) << out;
  EXPECT_NE(out.find("AprInfo"), std::string::npos) << out;
  EXPECT_NE(out.find(": completed"), std::string::npos) << out;
  // The desktop's plug-ins are the installed ones.
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(desktop.path() + "/drive_c", ec)) {
    if (!e.is_symlink()) continue;
    const std::string target = fs::read_symlink(e.path()).string();
    EXPECT_EQ(target.rfind(root, 0), 0u) << e.path() << " -> " << target;
  }

  // The whole demo, installer and conduit in the system folder (a link) included.
  ASSERT_EQ(Shell("NB_INSTALLED='" + root + "' NB_UI=headless '" NB_SOURCE_DIR "/scripts/demo' '" +
                      work + "/demo'",
                  &out),
            0)
      << out;
  EXPECT_NE(out.find("imported Maple17.vxa as appraisal 8"), std::string::npos) << out;
}

TEST(Install, TheReadmesInstalledProgramsPathEndsInACompletedSynchronisation) {
  nb::testing::TempPrefix desktop;
  const std::string root = desktop.path() + "/installed", home = desktop.path() + "/home";
  std::string out;
  ASSERT_EQ(Shell("cmake --install '" NB_BUILD_DIR "' --prefix '" + root + "'", &out), 0) << out;
  // The block between the markers, unindented, run as it stands.
  const std::string readme = nb::testing::Slurp(NB_SOURCE_DIR "/README.md");
  const size_t begin = readme.find("<!-- installed-programs begin -->\n");
  const size_t end = readme.find("<!-- installed-programs end -->");
  ASSERT_LT(begin, end);
  std::string block;
  for (size_t at = readme.find('\n', begin) + 1; at < end; at = readme.find('\n', at) + 1)
    block += readme.substr(at + 4, readme.find('\n', at) - at - 4) + "\n";
  fs::create_directories(home);
  std::ofstream(desktop.path() + "/readme.sh") << "trap 'kill 0' EXIT\n" << block;
  // timeout's process group holds whatever the block leaves running.
  Shell("cd '" + home + "' && HOME='" + home + "' PATH='" + root +
            "/bin:/usr/bin:/bin' NB_UI=headless timeout -k 5 300 bash '" + desktop.path() +
            "/readme.sh'",
        &out);
  EXPECT_NE(out.find("new HotSync user"), std::string::npos) << out;
  EXPECT_NE(out.find(": completed"), std::string::npos) << out;
  EXPECT_EQ(out.find("failed"), std::string::npos) << out;
  EXPECT_FALSE(fs::is_empty(desktop.path() + "/drive_c/Program Files/Valtrix/Inbox")) << out;
}

}  // namespace
