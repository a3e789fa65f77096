/* mbedtls's build settings for korvane: only what the importers open passwords with.
   AES-GCM (any nonce length, mRemoteNG uses 16 bytes) and AES-CBC with PKCS#7 padding,
   PBKDF2 over HMAC-SHA1, MD5 (the key of older mRemoteNG files) and base64.
   Named by MBEDTLS_CONFIG_FILE in place of mbedtls/config.h. */
#ifndef KORVANE_MBEDTLS_CONFIG_H
#define KORVANE_MBEDTLS_CONFIG_H

/* AES-NI through inline assembly: both trees are x86-64 with GCC or clang. A 600,000-round
   file spends its time in SHA-1, but AES-NI also closes the table-timing side channel. */
#define MBEDTLS_HAVE_ASM
#define MBEDTLS_AESNI_C

#define MBEDTLS_AES_C
#define MBEDTLS_CIPHER_C
#define MBEDTLS_CIPHER_MODE_CBC
#define MBEDTLS_CIPHER_PADDING_PKCS7
#define MBEDTLS_GCM_C
#define MBEDTLS_MD_C
#define MBEDTLS_MD5_C
#define MBEDTLS_SHA1_C
#define MBEDTLS_PKCS5_C
#define MBEDTLS_BASE64_C
/* mbedtls requires its platform layer on Windows (for snprintf); both trees use it alike. */
#define MBEDTLS_PLATFORM_C

#include "mbedtls/check_config.h"

#endif
