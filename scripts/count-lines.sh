#!/usr/bin/env bash
# Non-blank lines of C++ and CMake: under tests/ against all other code of the project. The
# project keeps its tests at most a third of the other code.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    git ls-files -- "$@" | grep -E '\.(h|cpp)$|(^|/)CMakeLists\.txt$|\.cmake(\.in)?$' | xargs -r cat | grep -cv '^\s*$' || true
}
tests=$(count tests)
other=$(count . ':!tests')
echo "tests: $tests non-blank lines; other code: $other; tests are $((100 * tests / other)) % of the other code (at most 33 %)"
