#!/usr/bin/env bash
# Prints the non-blank lines of C++ in src/ and tests/ and their ratio: the
# project keeps its tests at about a third of its code, at most 0.40.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    find "$1" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$'
}

code=$(count src)
tests=$(count tests)
echo "src:   $code non-blank lines"
echo "tests: $tests non-blank lines"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "ratio: %.2f\n", t / c }'
