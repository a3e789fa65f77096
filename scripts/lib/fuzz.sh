# The fuzz tree: the core and the libFuzzer targets, built with clang in build/fuzz. Source
# this file, then call build_fuzz_tree ROOT.
. "$(dirname "${BASH_SOURCE[0]}")/paths.sh"

build_fuzz_tree() {
  local root="$1"
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKORVANE_FUZZ=ON -DKORVANE_SQLITE_DIR="$(korvane_cache_dir)/sqlite" >/dev/null || return 1
  cmake --build "$root/build/fuzz" -j "$(nproc)"
}
