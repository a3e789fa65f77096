// What every importer's fuzz target checks of a file from anyone: besides never crashing or
// hanging, servers only from a file taken as one of its kind, each with a host (a CSV gives
// back what export wrote, an empty host too), and all text UTF-8, as korvane keeps it. The readers are handed bytes and write nothing anywhere.
#pragma once

#include <string>

#include "import/import.h"
#include "import/text.h"
#include "fuzz_support.h"

namespace korvane::fuzz {

inline import::ImportContext FuzzContext() {
  import::ImportContext context;
  context.askPassword = [](const std::string&) { return std::optional<std::string>("master"); };
  // A stand-in for DPAPI that opens every blob to its own bytes: whatever they are, the
  // password that comes out must be text.
  context.unprotect = [](const std::string& blob) { return std::optional<std::string>(blob); };
  // A file may ask for millions of rounds per value; the limit keeps a run to milliseconds.
  context.maxKdfIterations = 2000;
  context.threads = 2;
  return context;
}

inline void CheckImport(const uint8_t* data, size_t size, const char* name) {
  import::ImportContext context = FuzzContext();
  const import::ImportResult result =
      import::ReadServersFromBytes(name, std::string(reinterpret_cast<const char*>(data), size), context);
  Require(result.recognised || result.servers.empty());
  for (const auto& s : result.servers) {
    Require(!s.host.empty() || result.source == "CSV");
    for (const std::string* text : {&s.host, &s.port, &s.user, &s.password, &s.remark}) Require(import::IsUtf8(*text));
  }
}

}  // namespace korvane::fuzz
