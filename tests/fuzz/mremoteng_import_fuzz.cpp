// The importer on anything that reaches it as confCons.xml; the seeds are files of that kind.
#include "import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvane::fuzz::CheckImport(data, size, "confCons.xml");
  return 0;
}
