#!/usr/bin/env bash
# Builds the release packages into dist/:
#   articulated-character_<version>_amd64.deb        the Linux build (build/), CPack DEB
#   articulated-character-<version>-windows-x64.zip  the mingw-w64 build (build-windows/), CPack ZIP
# Reuses those builds, bringing them up to date first; installs what it needs.
# The version is the project's (CMakeLists.txt). Prints the files made.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh windows package
scripts/build.sh >/dev/null
scripts/build-windows.sh >/dev/null
rm -f dist/articulated-character[_-]*
for build in build build-windows; do
    (cd "$build" && cpack >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
done
ls -l dist/articulated-character[_-]*
