// CSV for export and import, read and written by libcsv (third_party/libcsv): fields with commas,
// quotes or line breaks are quoted whole with their quotes doubled.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::import {

struct CsvRecord {
  std::size_t line;  // the line the record starts on, counting from 1
  std::vector<std::string> fields;
};

struct CsvProblem {
  std::size_t line;
  std::string what;
};

struct CsvText {
  std::vector<CsvRecord> records;
  // Lines that are not UTF-8, and a quote in the wrong place, after which reading stops.
  std::vector<CsvProblem> problems;
};

// Reads CSV text. A UTF-8 byte order mark at the start is skipped, blank lines are left out,
// and blanks around a field are kept: a password may begin or end with one.
CsvText ParseCsv(std::string_view text);

// A spreadsheet runs a field that begins with =, +, -, @, a tab or a carriage return as a
// formula, which can reach beyond the sheet. Export writes such a value with an apostrophe in
// front, which makes it plain text there, and a value that begins with an apostrophe gets one
// too; import takes exactly that one apostrophe off again, so every value comes back as it was.
std::string ForSpreadsheet(const std::string& value);
// A view, not a copy: the field may be a password.
std::string_view FromSpreadsheet(std::string_view field);

// One record as a CSV line ending in CR LF. Empty fields stay bare; every other field is
// quoted, so a reader never has to guess where one ends.
std::string CsvLine(const std::vector<std::string>& fields);

// "host,port,user,password,remark": the first line of a CSV of servers, naming its fields.
std::string CsvHeader();

}  // namespace korvane::import
