/* expat's build settings for both trees, in place of the header its configure step writes.
   The same for Linux (glibc) and mingw-w64; expat picks its random source by platform. */
#ifndef EXPAT_CONFIG_H
#define EXPAT_CONFIG_H 1

#define BYTEORDER 1234 /* x86-64 in both trees */
#define HAVE_FCNTL_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_MEMORY_H 1
#define HAVE_STDINT_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRINGS_H 1
#define HAVE_STRING_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_UNISTD_H 1
#define STDC_HEADERS 1

/* The seed of expat's hash tables against crafted collisions. Windows takes rand_s. */
#if !defined(_WIN32)
#  define HAVE_GETRANDOM 1
#  define XML_DEV_URANDOM 1
#endif

#define PACKAGE "expat"
#define PACKAGE_NAME "expat"
#define PACKAGE_VERSION "2.5.0"

#define XML_CONTEXT_BYTES 1024
/* XML_DTD brings expat's own guard against entity expansion (billion laughs), on by default.
   The importers refuse a document type declaration anyway; this is the second line. */
#define XML_DTD 1
#define XML_NS 1

#endif
