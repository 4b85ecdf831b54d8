#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) over the native build's sources, and
# cppcheck over every source file, Windows ones included. Fails on any finding
# that is not suppressed in place with a reason.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
[ -f build/native/compile_commands.json ] || tools/build.sh native >/dev/null

status=0
echo "clang-tidy"
if ! run-clang-tidy -p build/native -j "$(nproc)" -quiet \
     "$root/(text|core|platform|ui|app|tests|fuzz|bench)/" >build/clang-tidy.log 2>&1; then
  grep -E "(warning|error):" build/clang-tidy.log | sort -u
  status=1
fi
echo "cppcheck"
if ! cppcheck --enable=warning,performance,portability --inline-suppr --error-exitcode=1 --quiet \
     --std=c++20 --library=googletest -I . -I build/native/generated --suppress=missingIncludeSystem \
     text core platform ui app tests fuzz bench; then
  status=1
fi
[ $status -eq 0 ] && echo "static checks: no findings"
exit $status
