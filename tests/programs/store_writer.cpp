// The writer that the crash test kills at random moments: it adds and changes servers through
// the store, the way the editor and the password change do, and reports each write on its
// standard output only after Update has returned true, so every line names a committed write.
//
//   store_writer DATA_FILE FIRST_VALUE SEED
//
// Writes "ID VALUE" per write; VALUE counts up from FIRST_VALUE, one per write attempted, and
// goes into both 服务器名 and 备注 in the same Update. Exits 2 when the file will not open and
// 3 when a write is refused: with nobody else using the file neither may happen.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/program.h"
#include "store/store.h"

namespace {

// One write call per line, unbuffered, so a kill never leaves a reported line half in a buffer.
void Report(const std::string& id, long long value) {
  const std::string line = id + " " + std::to_string(value) + "\n";
#ifdef _WIN32
  _write(1, line.data(), static_cast<unsigned>(line.size()));
#else
  if (write(1, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::exit(4);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 1;
#ifdef _WIN32
  _setmode(1, _O_BINARY);
#endif
  korvane::DBConnection db;
  if (!db.OpenAccess(argv[1], korvane::kDatabasePassword)) return 2;
  long long value = std::atoll(argv[2]);
  std::mt19937 random(static_cast<unsigned>(std::atoll(argv[3])));

  std::vector<std::string> ids;
  korvane::RecordSet records;
  records.SetConnection(db);
  if (!records.Open("Server", korvane::kSourceTable)) return 2;
  for (int i = 0; i < records.RecordCount(); ++i, records.MoveNext()) ids.push_back(records.ReadText("id"));

  // Bounded, in case whoever reads the reports is gone and nothing kills this process.
  for (int n = 0; n < 100000; ++n, ++value) {
    const std::string text = std::to_string(value);
    if (!records.Open("Server", korvane::kSourceTable)) return 3;
    const bool add = ids.empty() || random() % 4 == 0;
    if (add) {
      records.AddNew();
    } else if (!records.Find("id=" + ids[random() % ids.size()], korvane::kSearchForward)) {
      return 3;
    }
    if (!records.WriteText("服务器名", text) || !records.WriteText("备注", text) || !records.Update()) return 3;
    if (add) ids.push_back(records.ReadText("id"));
    Report(records.ReadText("id"), value);
  }
  return 0;
}
