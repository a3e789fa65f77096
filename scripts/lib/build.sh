# Configures and builds both trees. Source this file, then call build_trees ROOT.
build_trees() {
  local root="$1" jobs
  jobs=$(nproc)
  cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug \
        -DKORVANE_SANITIZE=ON >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
  # The win64 tree cannot run its own tools; the native korvane-data makes its mstsc.mdb.
  cmake --no-warn-unused-cli -S "$root" -B "$root/build/win64" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
        -DKORVANE_DATA_TOOL="$root/build/native/tools/korvane-data" >/dev/null
  cmake --build "$root/build/win64" -j "$jobs"
}
