// A data file of any bytes: OpenAccess refuses it or opens it, never crashes or hangs, and
// either way the file keeps its bytes and no journal is left beside it.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "app/program.h"
#include "fuzz_support.h"
#include "store/store.h"

namespace {

namespace fs = std::filesystem;
using korvane::fuzz::Require;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path folder = korvane::fuzz::ScratchFolder();
  const fs::path file = folder / "mstsc.mdb";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const char* extra : {"-journal", "-wal", "-shm"}) fs::remove(folder / (std::string("mstsc.mdb") + extra));
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

  {
    korvane::DBConnection db;
    if (db.OpenAccess(file.string(), korvane::kDatabasePassword)) {
      // What the windows read first; none of it may write.
      korvane::RecordSet records;
      records.SetConnection(db);
      records.Open("Login", korvane::kSourceTable);
      records.Find("Key='By.Oxle'", korvane::kSearchForward);
      records.Open("select id, 备注, 服务器名, 端口 from Server order by rowid", korvane::kSourceSql);
      while (records.MoveNext()) {
      }
    }
  }
  Require(ReadAll(file) == bytes);
  Require(!fs::exists(folder / "mstsc.mdb-journal"));
  return 0;
}
