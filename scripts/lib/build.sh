# Configures and builds both trees. Source this file, then call build_trees ROOT; it fails
# as soon as a step fails (callers may test it with ||, which turns set -e off inside).
. "$(dirname "${BASH_SOURCE[0]}")/paths.sh"

build_trees() {
  local root="$1" jobs sqlite
  jobs=$(nproc)
  sqlite="$(korvane_cache_dir)/sqlite"
  cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug \
        -DKORVANE_SANITIZE=ON -DKORVANE_SQLITE_DIR="$sqlite" >/dev/null || return 1
  cmake --build "$root/build/native" -j "$jobs" || return 1
  # The win64 tree cannot run its own tools; the native korvane-data makes its mstsc.mdb.
  cmake --no-warn-unused-cli -S "$root" -B "$root/build/win64" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
        -DKORVANE_DATA_TOOL="$root/build/native/tools/korvane-data" -DKORVANE_SQLITE_DIR="$sqlite" >/dev/null || return 1
  cmake --build "$root/build/win64" -j "$jobs"
}
