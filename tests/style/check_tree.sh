#!/usr/bin/env bash
# The tree's own rules, the ones no compiler checks:
#   - clang-format (the root's .clang-format) lays out every C and C++ file;
#   - C++ sources end in .cpp, headers in .h, and every header is guarded by #pragma once;
#   - the layers: sdk/ is the only contract between libraries, so main/, shared/ and fieldtypes/
#     include nothing from host/; platform/ includes nothing from main/, shared/, fieldtypes/ or
#     host/, and of sdk/ only far.h for Windows' plain value types (FILETIME): never the main
#     library's exports or the field-type interface.
# Usage: check_tree.sh SOURCE_DIR [CLANG_FORMAT]
set -u
root=${1:?source directory}
clang_format=${2:-clang-format}
cd "$root" || exit 2

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
    '*.c' '*.cc' '*.cxx' '*.cpp' '*.h' '*.hh' '*.hpp' | while read -r f; do [[ -f "$f" ]] && echo "$f"; done)
else
  mapfile -t files < <(find . -path ./build -prune -o -path './build-*' -prune -o \
    \( -name '*.c' -o -name '*.cc' -o -name '*.cxx' -o -name '*.cpp' -o -name '*.h' -o -name '*.hh' \
       -o -name '*.hpp' \) -print | sed 's|^\./||')
fi

status=0
fail() {
  echo "$1"
  status=1
}

for f in "${files[@]}"; do
  case "$f" in
    *.cc | *.cxx | *.hh | *.hpp) fail "$f: C++ sources end in .cpp, headers in .h" ;;
  esac
  if [[ "$f" == *.h ]]; then
    grep -q '^#pragma once' "$f" || fail "$f: no #pragma once"
    grep -qE '^#ifndef [A-Z0-9_]+_H_?$' "$f" && fail "$f: an #ifndef guard besides #pragma once"
  fi
  case "$f" in
    main/* | shared/* | fieldtypes/*)
      grep -nE '^#include "host/' "$f" | sed "s|^|$f:|" | grep . && fail "$f: includes the host" ;;
    platform/*)
      grep -nE '^#include "(main|shared|fieldtypes|host)/|^#include "sdk/(services|fieldtype|host_exports)\.h"' "$f" | sed "s|^|$f:|" | grep . &&
        fail "$f: a platform layer includes a layer above it" ;;
  esac
done

if ! "$clang_format" --version >/dev/null 2>&1; then
  echo "clang-format is not installed"
  exit 1
fi
if ! out=$("$clang_format" --dry-run --Werror "${files[@]}" 2>&1); then
  echo "$out" | grep -E '^[^ ].*(warning|error):' | cut -d: -f1 | sort -u | sed 's/$/: not laid out by clang-format/'
  status=1
fi
exit $status
