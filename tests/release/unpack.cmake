# Unpacks the release zip ZIP into the empty folder FOLDER and checks what a user finds there.
file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${FOLDER}")

file(GLOB found RELATIVE "${FOLDER}" "${FOLDER}/*")
list(SORT found)
if(NOT found STREQUAL "README.txt;THIRD-PARTY.txt;expat-COPYING.txt;korvane-data.exe;korvane.exe;libcsv-LICENSE.txt;mbedtls-LICENSE.txt;mstsc.mdb;使用说明.txt")
  message(FATAL_ERROR "The zip holds: ${found}")
endif()


# Windows takes a name in a zip for UTF-8 only when its entry says so (bit 11 of the flags);
# otherwise it reads the name in the OEM code page and shows the Chinese guide garbled. The
# last copy of the name is in the central directory, 38 bytes after that entry's flags.
file(READ "${ZIP}" zip HEX)
string(HEX "使用说明.txt" name)
string(FIND "${zip}" "${name}" at REVERSE)
math(EXPR at "${at} - 76 + 2")
string(SUBSTRING "${zip}" ${at} 2 flags_high)
math(EXPR utf8 "0x${flags_high} & 8")
if(NOT utf8)
  message(FATAL_ERROR "The zip does not mark 使用说明.txt as a UTF-8 name")
endif()
