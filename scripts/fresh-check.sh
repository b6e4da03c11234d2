#!/usr/bin/env bash
# Proves the README's two first commands on a fresh Debian 12 system: makes a
# minimal root (git and ca-certificates only) from this machine's apt sources,
# clones the committed HEAD of this repository into it (uncommitted changes are
# not part of it), and runs there, as a new user would from the clone:
#   1. scripts/run.sh articulated   installs and builds; without a display here it
#      must say so, leave articulated.png (a 484 x 461 picture that is not one
#      flat colour) and print nothing else on stderr than install and build progress;
#   2. scripts/test.sh               builds everything and runs every test.
# The root and its mounts are removed on every way out. Prints how long each
# step took. Needs root; installs mmdebstrap when missing.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
source "$repo/scripts/lib/fresh-root.sh"
"$repo/scripts/setup.sh" fresh

started=$(date +%s)
last=$started
work="$(mktemp -d /var/tmp/fresh-check.XXXXXX)"
cleanup() {
    local status=$?
    if remove_root "$work/root"; then rm -rf "$work"; else status=1; fi
    echo "fresh-check: total $(($(date +%s) - started)) s"
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM  # through the EXIT trap

commit="$(git -C "$repo" rev-parse HEAD)"
git -C "$repo" diff --quiet HEAD || echo "fresh-check: uncommitted changes are not checked"
echo "fresh-check: commit ${commit:0:12}"
step() {  # step NAME: prints how long the step before it took
    local now
    now=$(date +%s)
    echo "fresh-check: $1 took $((now - last)) s"
    last=$now
}

make_root "$work/root"
step "making the root"

# The clone comes from a bundle of the commit, as from any remote.
git -C "$repo" bundle create --quiet "$work/root/tmp/articulated.bundle" HEAD
in_root "$work/root" 'git -c advice.detachedHead=false clone --quiet /tmp/articulated.bundle articulated'
step "cloning"

# First, as a newcomer does: the run command installs, builds and, with no display
# here, leaves a picture.
home="$work/root/root"
failed=0
fail() { echo "fresh-check: FAILED: $*" >&2; failed=1; }
in_root "$work/root" 'cd articulated && scripts/run.sh articulated >../run.out 2>../run.err' ||
    fail "scripts/run.sh articulated ended with status $?"
step "scripts/run.sh articulated"
cat "$home/run.out"
# On stderr only the install and build progress a user is meant to see.
if grep -Ev '^(setup\.sh: installing |run\.sh: building |\[[0-9]+/[0-9]+\] )' "$home/run.err" >&2; then
    fail "scripts/run.sh wrote the lines above to stderr"
fi
grep -q 'No display here' "$home/run.out" || fail "scripts/run.sh did not say it ran without a window"
picture="$home/articulated/articulated.png"
if [ ! -f "$picture" ]; then
    fail "no articulated.png"
else
    # Width, height and the number of distinct colours.
    read -r width height colours < <(identify -format '%w %h %k\n' "$picture")
    echo "fresh-check: articulated.png is $width x $height with $colours colours"
    [ "$width" = 484 ] && [ "$height" = 461 ] || fail "articulated.png is not 484 x 461"
    [ "$colours" -gt 1 ] || fail "articulated.png is one flat colour"
fi

in_root "$work/root" 'cd articulated && scripts/test.sh' || fail "scripts/test.sh"
step "scripts/test.sh"

[ $failed -eq 0 ] || exit 1
echo "fresh-check: passed"
