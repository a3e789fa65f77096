// The CSV reader of the import on anything: no crash, and every record of a file it found
// nothing wrong in comes back the same after export writes it as a line and import reads it.
#include <string>

#include "fuzz_support.h"
#include "import/csv_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using korvane::fuzz::Require;
  const auto csv = korvane::import::ParseCsv(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!csv.problems.empty()) return 0;
  for (const auto& record : csv.records) {
    // One empty field is a blank line, which the reader leaves out.
    if (record.fields.size() == 1 && record.fields[0].empty()) continue;
    const auto again = korvane::import::ParseCsv(korvane::import::CsvLine(record.fields));
    Require(again.problems.empty() && again.records.size() == 1 && again.records[0].fields == record.fields);
  }
  return 0;
}
