#include "import/csv_text.h"

#include <csv.h>

#include <iterator>

#include "crypto/wiping_allocator.h"
#include "import/import_text.h"
#include "import/text.h"

namespace korvane::import {
namespace {

struct ParseState {
  CsvText result;
  // The fields of the record being read: they grow one by one, and a password among them.
  crypto::WipedStrings fields;
  std::size_t line = 0;        // the line being fed to the parser
  std::size_t recordLine = 0;  // the line the unfinished record started on; 0 between records
};

void OnField(void* data, std::size_t size, void* state) {
  auto& parse = *static_cast<ParseState*>(state);
  parse.fields.emplace_back(size == 0 ? "" : static_cast<const char*>(data), size);
}

void OnRecordEnd(int, void* state) {
  auto& parse = *static_cast<ParseState*>(state);
  // A lone CR ends a record in the middle of a line; the next one then starts on that line.
  const std::size_t line = parse.recordLine != 0 ? parse.recordLine : parse.line;
  // Into a list of their number exactly, which never grows; the room they leave is wiped.
  std::vector<std::string> fields;
  fields.reserve(parse.fields.size());
  fields.insert(fields.end(), std::make_move_iterator(parse.fields.begin()), std::make_move_iterator(parse.fields.end()));
  parse.result.records.push_back({line, std::move(fields)});
  parse.fields.clear();
  parse.recordLine = 0;
}

// libcsv trims blanks around unquoted fields unless told that nothing is a blank. A
// spreadsheet quotes a field only when it must, so "secret " would lose its blank.
int NothingIsBlank(unsigned char) { return 0; }

class Parser {
 public:
  Parser() {
    // Strict: a stray quote is an error rather than a guess at what was meant.
    csv_init(&parser_, CSV_STRICT | CSV_STRICT_FINI);
    csv_set_space_func(&parser_, NothingIsBlank);
    // Its buffer holds the field being read, which may be a password in clear, and grows a
    // little at a time with a long one.
    csv_set_realloc_func(&parser_, WipingReallocate);
    csv_set_free_func(&parser_, WipingFree);
  }
  ~Parser() { csv_free(&parser_); }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  bool Feed(std::string_view bytes, ParseState& state) {
    return csv_parse(&parser_, bytes.data(), bytes.size(), OnField, OnRecordEnd, &state) ==
           bytes.size();
  }
  bool Finish(ParseState& state) { return csv_fini(&parser_, OnField, OnRecordEnd, &state) == 0; }
  std::string Error() { return csv_strerror(csv_error(&parser_)); }
  bool QuoteError() { return csv_error(&parser_) == CSV_EPARSE; }

 private:
  csv_parser parser_;
};

// What export puts an apostrophe in front of: the beginnings of a formula, and the apostrophe
// itself, so that one taken off on import is always one that export put there.
bool NeedsApostrophe(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r'").find(text.front()) != std::string_view::npos;
}

}  // namespace

std::string ForSpreadsheet(const std::string& value) {
  return NeedsApostrophe(value) ? "'" + value : value;
}

std::string_view FromSpreadsheet(std::string_view field) {
  return field.starts_with('\'') && NeedsApostrophe(field.substr(1)) ? field.substr(1) : field;
}

CsvText ParseCsv(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  ParseState state;
  Parser parser;
  // Fed a line at a time, so that a record and a problem can say on which line they are.
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end == std::string_view::npos ? end : end + 1);
    text.remove_prefix(line.size());
    ++state.line;
    if (!IsUtf8(line)) state.result.problems.push_back({state.line, Format(Msg::kNotUtf8Line)});
    if (state.recordLine == 0 && line != "\n" && line != "\r\n") state.recordLine = state.line;
    if (!parser.Feed(line, state)) {
      state.result.problems.push_back(
          {state.line, parser.QuoteError()
                           ? Format(Msg::kQuoteMisplaced)
                           : parser.Error()});
      return std::move(state.result);
    }
  }
  if (!parser.Finish(state)) {
    state.result.problems.push_back({state.recordLine, Format(Msg::kQuoteNeverClosed)});
  }
  return std::move(state.result);
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    if (fields[i].empty()) continue;
    const std::size_t start = line.size();
    line.resize(start + csv_write(nullptr, 0, fields[i].data(), fields[i].size()));
    csv_write(line.data() + start, line.size() - start, fields[i].data(), fields[i].size());
  }
  line += "\r\n";
  return line;
}

}  // namespace korvane::import
