// The installed package works on its own: installed into a fresh prefix, its programs set
// a desktop up and synchronise a virtual handheld, with every library coming from the
// prefix and nothing pointing into the build folder.
#include <gtest/gtest.h>

#include <filesystem>
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
  const std::string bin = root + "/bin", lib = root + "/lib/nimbra";
  for (const char* f :
       {"bin/hotsync", "bin/valtrix", "lib/nimbra/syncconduit.so", "lib/nimbra/pdbdevice.so",
        "lib/nimbra/libsyncutil.so", "share/nimbra/valtrix-install.ini",
        "lib/systemd/user/hotsync.service", "share/applications/valtrix.desktop",
        "etc/xdg/autostart/valtrix.desktop", "share/bash-completion/completions/hotsync"})
    EXPECT_TRUE(fs::exists(root + "/" + f)) << f;
  EXPECT_NE(nb::testing::Slurp(root + "/lib/systemd/user/hotsync.service")
                .find("ExecStart=\"" + bin + "/hotsync\" run --listen 127.0.0.1:14238\n"),
            std::string::npos);
  EXPECT_NE(nb::testing::Slurp(root + "/etc/xdg/autostart/valtrix.desktop")
                .find("Exec=\"" + lib + "/valtrix-start\"\n"),
            std::string::npos);

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
      "set -e; cd '" + desktop.path() + "'; export PATH='" + bin + ":/usr/bin:/bin'; " +
      "hotsync init; hotsync conduits add QMNB; hotsync conduits add vXA1; " +
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

}  // namespace
