// A CSV of servers, as export writes it: a header line naming the fields, then one server a
// line. It is the last kind tried, so a file of no kind at all is told by its first line.
#include <algorithm>

#include "import/csv_text.h"
#include "import/import_text.h"
#include "import/readers.h"
#include "import/server_fields.h"
#include "import/text.h"

namespace korvane::import {
namespace {

// A file of the wrong kind is wrong on every line: only this many are named.
constexpr std::size_t kProblemsShown = 20;

std::vector<std::string> HeaderNames() {
  std::vector<std::string> names;
  for (const auto& field : kServerFields) names.emplace_back(field.name);
  return names;
}

// Every line of the CSV that cannot become a server, in line order.
std::vector<CsvProblem> ProblemsOf(const CsvText& csv) {
  std::vector<CsvProblem> problems = csv.problems;
  const std::string header = CsvHeader();
  if (csv.records.empty() && csv.problems.empty()) {
    problems.push_back({1, Format(Msg::kNoHeaderLine, header)});
  }
  for (std::size_t i = 0; i < csv.records.size(); ++i) {
    const auto& record = csv.records[i];
    if (i == 0) {
      if (record.fields != HeaderNames()) {
        problems.push_back({record.line, Format(Msg::kHeaderMustName, header)});
      }
    } else if (record.fields.size() != kServerFieldCount) {
      problems.push_back(
          {record.line, Format(Msg::kFieldCount, record.fields.size(), kServerFieldCount, header)});
    }
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const CsvProblem& a, const CsvProblem& b) { return a.line < b.line; });
  return problems;
}

}  // namespace

std::string CsvHeader() {
  std::string header;
  for (const auto& name : HeaderNames()) header += (header.empty() ? "" : ",") + name;
  return header;
}

void ReadCsvServers(const std::string& file, std::string_view bytes, ImportContext& context, ImportResult& result) {
  CsvText csv = ParseCsv(bytes);
  struct WipedCsv {
    CsvText& csv;
    ~WipedCsv() {
      for (auto& record : csv.records) {
        for (auto& field : record.fields) WipeText(field);
      }
    }
  } wiped{csv};
  // Only a file whose first line names the fields is one: any other is no server list at all.
  result.recognised = !csv.records.empty() && csv.records.front().fields == HeaderNames();
  if (result.recognised) result.source = "CSV";
  const auto problems = ProblemsOf(csv);
  if (!problems.empty()) {
    for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
      result.errors.push_back({Format(Msg::kCsvLine, file, problems[i].line), problems[i].what});
    }
    if (problems.size() > kProblemsShown) {
      result.errors.push_back({file, Format(Msg::kMoreBadLines, problems.size() - kProblemsShown)});
    }
    return;
  }
  result.servers.reserve(csv.records.size());  // never moved as it grows: see ReadFolder
  for (std::size_t i = 1; i < csv.records.size(); ++i) {
    if (context.Stopped()) {
      result.servers.clear();
      return result.errors.push_back({file, Format(Msg::kStopped)});
    }
    // Each field straight into its place: no copy of the password on the way.
    const auto& f = csv.records[i].fields;
    ImportedServer& server = result.servers.emplace_back();
    server.host = FromSpreadsheet(f[0]);
    server.port = FromSpreadsheet(f[1]);
    server.user = FromSpreadsheet(f[2]);
    server.password = FromSpreadsheet(f[3]);
    server.remark = FromSpreadsheet(f[4]);
  }
  // Its ports came from export, which gives back whatever port the data file holds: they must
  // come back byte for byte.
  ApplyLimits(file, result, PortCheck::kAsGiven);
}

}  // namespace korvane::import
