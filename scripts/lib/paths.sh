# Where the project keeps what it builds outside the tree (the SQLite amalgamation).
korvane_cache_dir() {
  echo "${KORVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane}"
}
