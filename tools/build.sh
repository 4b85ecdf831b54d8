#!/usr/bin/env bash
# Configures and builds one configuration of CMakePresets.json:
#   tools/build.sh native|windows|bench|fuzz [targets...]
# It configures again whenever the presets or the options below changed since
# the last configure. Warnings are errors in every configuration.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
config="${1:-}"
case "$config" in
  native|windows|bench|fuzz) shift ;;
  *) echo "usage: $0 native|windows|bench|fuzz [targets...]" >&2; exit 2 ;;
esac
args=(--preset "$config" -DQUELLIX_WERROR=ON)
stamp="build/$config/.configured-with"
wanted="$(printf '%s\n' "${args[@]}"; cat CMakePresets.json cmake/mingw-w64-x86_64.cmake)"
if [ ! -f "build/$config/build.ninja" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ]; then
  cmake "${args[@]}" >/dev/null
  printf '%s' "$wanted" >"$stamp"
fi
if [ $# -gt 0 ]; then
  cmake --build "build/$config" --target "$@"
else
  cmake --build "build/$config"
fi
