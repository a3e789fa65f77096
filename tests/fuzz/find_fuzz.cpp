// RecordSet::Find on a real data file. Any criterion: no crash, and a found record is a real
// one. A criterion written from a known field and value: Find lands on the first record from
// the current one whose field reads as that value, and on none when no such record exists.
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "fuzz_support.h"
#include "store/schema.h"
#include "store/store.h"

namespace {

using korvane::fuzz::Require;

// The table's fields, then names that are none of its fields.
const std::vector<std::string> kFields = {"id", "服务器名", "端口", "用户名", "密码", "备注", "ID", "rowid", ""};
constexpr size_t kTableFields = 6;

korvane::DBConnection& Data() {
  static const std::unique_ptr<korvane::DBConnection> db = [] {
    const std::string path = (korvane::fuzz::ScratchFolder() / "mstsc.mdb").string();
    korvane::StoreError error;
    Require(korvane::CreateDataFile(path, "admin", error));
    auto opened = std::make_unique<korvane::DBConnection>();
    Require(opened->OpenAccess(path, korvane::kDatabasePassword));
    const char* rows[][5] = {
        {"10.0.0.1", "3389", "Administrator", "pw", "it's"},
        {"主机", "22", "admin", "", " padded "},
        {"10.0.0.1", "3389", "'quoted'", "a=b", "''"},
        {"host", "", "O''Brien", "x", "机房 A"},
        {"h", "3389", "", "=", "'"},
    };
    for (const auto& row : rows) {
      std::vector<korvane::SqlValue> values;
      for (const char* value : row) values.emplace_back(*value ? korvane::SqlValue{value} : korvane::SqlValue{});
      Require(opened->ExecuteSql("insert into Server (服务器名, 端口, 用户名, 密码, 备注) values (?, ?, ?, ?, ?)", values));
    }
    return opened;
  }();
  return *db;
}

// The criterion as an operator writes it: the value bare or between quotes, with blanks
// around the field name and the value.
std::string Criterion(const std::string& field, const std::string& value, bool quoted, int blanks) {
  const std::string pad(static_cast<size_t>(blanks & 3), ' ');
  const std::string pad2(static_cast<size_t>((blanks >> 2) & 3), ' ');
  std::string written = value;
  // A bare value loses its outer blanks, and one that starts and ends with a quote reads as
  // quoted: those can only be written between quotes.
  const bool bareKeepsIt = value.find_first_of(" ") != 0 && (value.empty() || value.back() != ' ') &&
                           !(value.size() >= 2 && value.front() == '\'' && value.back() == '\'');
  if (quoted || !bareKeepsIt) {
    written = "'";
    for (const char c : value) written += c == '\'' ? std::string("''") : std::string(1, c);
    written += "'";
  }
  return pad + field + pad2 + "=" + pad2 + written + pad;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvane::RecordSet records;
  records.SetConnection(Data());
  Require(records.Open("Server", korvane::kSourceTable));
  FuzzedDataProvider input(data, size);
  const int start = input.ConsumeIntegralInRange(0, records.RecordCount());
  for (int i = 0; i < start; ++i) records.MoveNext();

  if (input.ConsumeBool()) {
    const bool found = records.Find(input.ConsumeRemainingBytesAsString(), korvane::kSearchForward);
    Require(!found || !records.ReadText("id").empty());
    return 0;
  }

  const size_t fieldIndex = input.ConsumeIntegralInRange<size_t>(0, kFields.size() - 1);
  const std::string& field = kFields[fieldIndex];
  const bool quoted = input.ConsumeBool();
  const int blanks = input.ConsumeIntegral<uint8_t>();
  const std::string value = input.ConsumeRemainingBytesAsString();
  const bool found = records.Find(Criterion(field, value, quoted, blanks), korvane::kSearchForward);
  if (fieldIndex >= kTableFields) {
    Require(!found);
    return 0;
  }

  // Where it should have landed, read record by record from a second snapshot.
  korvane::RecordSet all;
  all.SetConnection(Data());
  Require(all.Open("Server", korvane::kSourceTable));
  std::string expectedId;
  for (int i = 0; i < all.RecordCount(); ++i, all.MoveNext()) {
    if (i >= start && all.ReadText(field) == value) {
      expectedId = all.ReadText("id");
      break;
    }
  }
  Require(found == !expectedId.empty());
  Require(records.ReadText("id") == expectedId);
  return 0;
}
