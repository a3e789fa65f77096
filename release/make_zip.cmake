# Packs the release zip ZIP: the program PROGRAM, the data-file tool DATA_TOOL_EXE, README for
# Windows users and GUIDE_ZH, the same guide in Chinese for the program's operators, the
# notices THIRD_PARTY of what others wrote inside the programs and the licence CSV_LICENSE of the CSV library inside the tool (their licences ask that they go with
# the programs), and a data file made here by the native tool DATA_TOOL. The build folder's
# own data file is never packed: it holds the servers and password of whoever tried the build.
get_filename_component(out_dir "${ZIP}" DIRECTORY)
set(stage "${out_dir}/files")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
file(COPY "${PROGRAM}" "${DATA_TOOL_EXE}" DESTINATION "${stage}")

execute_process(COMMAND "${DATA_TOOL}" create "${stage}/mstsc.mdb" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Could not make a data file for the release")
endif()

# Notepad before Windows 10 shows a file with bare line feeds as one line, and reads a file
# without a byte order mark in the ANSI code page, which garbles the Chinese labels.
string(ASCII 239 187 191 byte_order_mark)
# Copies a text file into the stage with Windows line ends, after `prefix`.
function(stage_text from to prefix)
  file(READ "${from}" text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${stage}/${to}" "${prefix}${text}")
endfunction()
stage_text("${README}" README.txt "${byte_order_mark}")
stage_text("${GUIDE_ZH}" 使用说明.txt "${byte_order_mark}")
stage_text("${CSV_LICENSE}" libcsv-LICENSE.txt "")
stage_text("${EXPAT_LICENSE}" expat-COPYING.txt "")
stage_text("${MBEDTLS_LICENSE}" mbedtls-LICENSE.txt "")
stage_text("${THIRD_PARTY}" THIRD-PARTY.txt "")

# Only the current version's zip stays, so there is never a doubt which one to ship.
file(GLOB older "${out_dir}/korvane-*-win64.zip")
if(older)
  file(REMOVE ${older})
endif()
# The zip marks its names as UTF-8, so that Windows shows 使用说明.txt as it is written. The
# archive library does so only under a UTF-8 locale, and in the C locale it cannot name the
# file at all: CMakeLists.txt runs this script under C.UTF-8.
get_filename_component(program_name "${PROGRAM}" NAME)
get_filename_component(tool_name "${DATA_TOOL_EXE}" NAME)
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${ZIP}" --format=zip
                        "${program_name}" "${tool_name}" mstsc.mdb README.txt 使用说明.txt THIRD-PARTY.txt
                        libcsv-LICENSE.txt expat-COPYING.txt mbedtls-LICENSE.txt
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Could not pack ${ZIP}")
endif()
