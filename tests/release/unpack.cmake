# Unpacks the release zip ZIP into the empty folder FOLDER and checks what a user finds there.
file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${FOLDER}")

file(GLOB found RELATIVE "${FOLDER}" "${FOLDER}/*")
list(SORT found)
if(NOT found STREQUAL "README.txt;THIRD-PARTY.txt;expat-COPYING.txt;korvane-data.exe;korvane.exe;libcsv-LICENSE.txt;mbedtls-LICENSE.txt;mstsc.mdb")
  message(FATAL_ERROR "The zip holds: ${found}")
endif()

