#!/usr/bin/env bash
# Configures (once) and builds one configuration: native | windows | bench.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
config="$1"; shift
case "$config" in
  native)  args=(-DCMAKE_BUILD_TYPE=Debug -DQUELLIX_SANITIZE=ON) ;;
  windows) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release) ;;
  bench)   args=(-DCMAKE_BUILD_TYPE=Release -DQUELLIX_TESTS=OFF -DQUELLIX_BENCH=ON) ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELLIX_TESTS=OFF -DQUELLIX_FUZZ=ON
                 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: $0 native|windows|bench|fuzz [targets...]" >&2; exit 2 ;;
esac
if [ ! -f "build/$config/build.ninja" ]; then
  cmake -S . -B "build/$config" -G Ninja "${args[@]}" >/dev/null
fi
if [ $# -gt 0 ]; then
  cmake --build "build/$config" --target "$@"
else
  cmake --build "build/$config"
fi
