#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) over the native build's sources and over
# the Windows-only sources of the cross build (read as the mingw-w64 target,
# with its headers), and cppcheck over every source file. Fails on any
# finding that is not suppressed in place with a reason.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
[ -f build/native/compile_commands.json ] || tools/build.sh native >/dev/null
[ -f build/windows/compile_commands.json ] || cmake --preset windows >/dev/null

# The Windows build's own files (those the native build does not compile), once each.
mkdir -p build/tidy-windows
python3 - "$root" <<'PY'
import json, sys
root = sys.argv[1] + "/"
native = {e["file"] for e in json.load(open("build/native/compile_commands.json"))}
seen, entries = set(), []
for e in json.load(open("build/windows/compile_commands.json")):
    f = e["file"]
    if f.startswith(root) and f.endswith(".cpp") and f not in native and f not in seen:
        seen.add(f)
        entries.append(e)
json.dump(entries, open("build/tidy-windows/compile_commands.json", "w"), indent=1)
PY
# The builds' flags are g++'s; clang passes over those it does not know
# (warnings, and link-time optimisation's -ffat-lto-objects).
common_args=(-extra-arg=-Wno-unknown-warning-option -extra-arg=-Wno-ignored-optimization-argument)
# clang takes the target from the flag; the C++ library headers are mingw-w64's g++ ones.
windows_args=("${common_args[@]}" -extra-arg-before=--target=x86_64-w64-mingw32)
while read -r dir; do
  case "$dir" in */include/c++*) windows_args+=("-extra-arg=-isystem$dir") ;; esac
done < <(echo | x86_64-w64-mingw32-g++-posix -x c++ -E -v - 2>&1 | sed -n '/#include <...>/,/End of search/p' | sed 's/^ *//')

status=0
echo "clang-tidy"
if ! run-clang-tidy -p build/native -j "$(nproc)" -quiet "${common_args[@]}" \
     "$root/(text|core|adapters|platform|ui|app|tests|fuzz|bench)/" >build/clang-tidy.log 2>&1; then
  grep -E "(warning|error):" build/clang-tidy.log | sort -u
  status=1
fi
echo "clang-tidy, Windows code"
if ! run-clang-tidy -p build/tidy-windows -j "$(nproc)" -quiet "${windows_args[@]}" \
     >build/clang-tidy-windows.log 2>&1; then
  grep -E "(warning|error):" build/clang-tidy-windows.log | sort -u
  status=1
fi
echo "cppcheck"
if ! cppcheck --enable=warning,performance,portability --inline-suppr --error-exitcode=1 --quiet \
     --std=c++20 --library=googletest -I . -I build/native/generated --suppress=missingIncludeSystem \
     text core adapters platform ui app bridge tests fuzz bench; then
  status=1
fi
[ $status -eq 0 ] && echo "static checks: no findings"
exit $status
