#include "crypto/crypto.h"

namespace korvane::crypto {

void Wipe(void* data, std::size_t size) {
  // Through a volatile pointer: a plain fill of memory that is freed next may be left out.
  volatile unsigned char* bytes = static_cast<unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

}  // namespace korvane::crypto
