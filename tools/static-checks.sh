#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) over the native build's sources and over
# the Windows-only sources of the cross build (read as the mingw-w64 target,
# with its headers), and cppcheck over every source file. Fails on any
# finding that is not suppressed in place with a reason.
#
# First, the layering: which folder's code may include which. A folder not
# named on the left takes the row of the nearest folder above it; test code
# (files named *_test*, the tests' drivers and support, testing/ folders)
# takes the row of tests, and product code may not include it. Only the
# layering is checked with --layering.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# folder               may include (besides itself)
layers='
text
core                   text
platform               text
platform/win           text platform
adapters               text core platform
adapters/win           text core platform platform/win adapters
ui/controls            text platform
ui/controls/headless   text platform ui/controls
ui/controls/win        text platform platform/win ui/controls
ui/skin                text platform ui/controls
ui/windows             text core platform adapters ui/controls ui/skin
ui/main                text core platform adapters ui/controls ui/skin ui/windows
app                    text core platform platform/win adapters adapters/win ui/*
bridge                 text core platform platform/win
tests                  text core platform platform/win adapters adapters/win ui/* bridge
bench                  text core platform adapters tests
fuzz                   text core platform adapters ui/main tests
tools                  text core platform platform/win tests
'
echo "layering"
if ! python3 - "$layers" <<'PY'
import os, re, sys
rows = {}
for line in sys.argv[1].strip().splitlines():
    folder, *allowed = line.split()
    rows[folder] = allowed

def test_code(path):
    name = os.path.basename(path)
    return "/testing/" in path or re.search(r"_test[._]|test_driver|test_support", name) is not None

def layer(path):
    if test_code(path):
        return "tests"
    parts = path.split("/")
    for n in range(len(parts) - 1, 0, -1):
        if "/".join(parts[:n]) in rows:
            return "/".join(parts[:n])
    return None

def allowed(source, target):
    return target == source or any(
        target == a or (a.endswith("/*") and target.startswith(a[:-1])) for a in rows[source])

include = re.compile(r'\s*#\s*include\s*[<"]([^>"]+)[>"]')
faults = 0
for top in sorted({f.split("/")[0] for f in rows}):
    for folder, _, files in os.walk(top):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp", ".c", ".rc")):
                continue
            path = os.path.join(folder, name)
            source = layer(path)
            for number, text in enumerate(open(path, errors="replace"), 1):
                m = include.match(text)
                if not m:
                    continue
                beside = os.path.normpath(os.path.join(folder, m.group(1)))
                target_path = beside if os.path.isfile(beside) else os.path.normpath(m.group(1))
                target = layer(target_path) if os.path.isfile(target_path) else None
                if target is not None and source is not None and not allowed(source, target):
                    print(f"{path}:{number}: {source} may not include {target} ({m.group(1)})")
                    faults += 1
sys.exit(1 if faults else 0)
PY
then
  echo "layering: an include goes against the table above"
  exit 1
fi
[ "${1:-}" = "--layering" ] && exit 0
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
