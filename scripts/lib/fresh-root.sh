# Sourced by checks that need a fresh Debian 12 system: a minimal root made from
# this machine's Debian apt sources, commands run in it as root, and its removal.
#
#   source scripts/lib/fresh-root.sh
#   root_dir=$(mktemp -d /var/tmp/fresh-root.XXXXXX)
#   trap 'remove_root "$root_dir"' EXIT
#   make_root "$root_dir" [EXTRA_PACKAGE...]   # minbase + git, ca-certificates
#   in_root "$root_dir" 'cd && some command'    # bash -c in a clean environment
#
# Needs root (mmdebstrap, chroot, mount) and the mmdebstrap package. make_root
# mounts /proc, /sys and /dev into the root; remove_root unmounts everything
# below it, then deletes it, and is safe to call more than once or on a
# half-made root. FRESH_MIRROR overrides the mirror argument (default: this
# machine's apt sources files that name a Debian archive).

# The apt sources of this machine that point at a Debian archive (third-party
# sources would need keys the fresh root lacks).
fresh_mirrors() {
    if [ -n "${FRESH_MIRROR:-}" ]; then
        echo "$FRESH_MIRROR"
        return
    fi
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && grep -Eq '^[^#]*(URIs:|deb) .*/debian' "$f" && echo "$f"
    done
}

make_root() {
    local dir="$1"
    shift
    local include=git,ca-certificates mirrors=()
    local p
    for p in "$@"; do include+=",$p"; done
    mapfile -t mirrors < <(fresh_mirrors)
    [ ${#mirrors[@]} -gt 0 ] || { echo "make_root: no Debian apt sources on this machine" >&2; return 1; }
    mmdebstrap --quiet --variant=minbase --include="$include" bookworm "$dir" "${mirrors[@]}" || return 1
    cp /etc/resolv.conf "$dir/etc/resolv.conf"  # apt inside reaches the same mirrors
    mount -t proc proc "$dir/proc"
    # Recursive binds (/dev/pts, /dev/shm), kept from passing unmounts back to the host.
    mount --rbind /sys "$dir/sys" && mount --make-rslave "$dir/sys"
    mount --rbind /dev "$dir/dev" && mount --make-rslave "$dir/dev"
}

# Runs bash -c COMMAND inside the root as root, with HOME=/root and nothing of the
# caller's environment but TERM; extra NAME=VALUE arguments before COMMAND are added.
in_root() {
    local dir="$1"
    shift
    local vars=()
    while [ $# -gt 1 ]; do vars+=("$1"); shift; done
    chroot "$dir" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${vars[@]}" \
        /bin/bash -c "cd && $1"
}

# Ends the processes still running inside DIR (a server a test left behind would
# keep its mounts busy), unmounts whatever is mounted below DIR (deepest first),
# then deletes DIR. Never deletes through a mount that would not go: the files
# below it are the host's.
remove_root() {
    local dir="$1" m p
    [ -n "$dir" ] && [ -d "$dir" ] || return 0
    dir="$(realpath "$dir")"
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$dir" ] && kill -KILL "${p#/proc/}" 2>/dev/null
    done
    for m in $(findmnt -rn -o TARGET | grep -E "^$dir(/|$)" | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m" || true
    done
    if findmnt -rn -o TARGET | grep -qE "^$dir(/|$)"; then
        echo "remove_root: $dir still has mounts; left in place" >&2
        return 1
    fi
    rm -rf --one-file-system "$dir"
}
