// enginestandin: writes stand-ins for the forms runtime engine's .PRC files, for demos and
// tests that install "the engine" onto a virtual handheld. They are small handheld
// databases of the runtime's creator 'QMNB' whose names say they are stand-ins, plus the
// runtime's directory database that the conduit reads at every synchronisation.
#include <cstdio>
#include <filesystem>
#include <string>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/cli.h"
#include "platform/os.h"
#include "platform/prefix.h"

namespace {

constexpr uint16_t kAttrBackup = 0x0008;

nb::pdb::Database Engine() {
  nb::pdb::Database db;
  db.name = "NB-EE Engine (stand-in)";
  db.attributes = nb::pdb::kAttrResource | kAttrBackup;
  db.version = 1;
  db.type = nb::pdb::FourCC("appl");
  db.creator = nb::pdb::FourCC("QMNB");
  const std::string text = "Stand-in for the Nimbra forms runtime engine";
  nb::pdb::Record code;
  code.res_type = nb::pdb::FourCC("tSTR");
  code.res_id = 1000;
  code.data.assign(text.begin(), text.end());
  code.data.push_back(0);
  db.records.push_back(code);
  return db;
}

nb::pdb::Database Directory() {
  nb::pdb::Database db;
  db.name = "NB-EE_SysHeap";
  db.attributes = kAttrBackup;
  db.type = nb::pdb::FourCC("DATA");
  db.creator = nb::pdb::FourCC("QMNB");
  // "NBDR", version 0x0210, no runtime user yet.
  db.app_info = {'N', 'B', 'D', 'R', 0x02, 0x10};
  db.app_info.resize(26);
  return db;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Writes NimbraEngine-standin.prc and NimbraSysHeap-standin.pdb, stand-ins for the "
      "runtime engine's .PRC files, into FOLDER (made when missing).",
      "enginestandin"};
  nb::cli::Prepare(app);
  std::string folder;
  app.add_option("FOLDER", folder, "where the files go")->required();
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;
  nb::MakeDirs(folder);
  for (const auto& [file, db] : {std::pair{"NimbraEngine-standin.prc", Engine()},
                                 std::pair{"NimbraSysHeap-standin.pdb", Directory()}}) {
    const std::string path = folder + "/" + file;
    if (!nb::pdb::WriteFile(path, db)) {
      std::fprintf(stderr, "enginestandin: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("enginestandin: %s (\"%s\")\n", path.c_str(), db.name.c_str());
  }
  return 0;
}
