// The importer on anything that reaches it as web-01.rdp; the seeds are files of that kind.
#include "import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvane::fuzz::CheckImport(data, size, "web-01.rdp");
  return 0;
}
