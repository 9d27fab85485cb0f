#!/usr/bin/env bash
# Builds the GenMC model checker from its source tarball, once per machine,
# into a cache outside any checkout, and prints the folder that holds genmc.
# The cache is keyed by the tarball's SHA-256, so a new version builds anew.
# Usage: tests/model/build-genmc.sh TARBALL
# (Its packages are installed first where missing, which needs root.)
set -euo pipefail

tarball=$(realpath "$1")
top=$(cd "$(dirname "$0")/../.." && pwd)
sum=$(sha256sum "$tarball" | cut -d ' ' -f 1)
prefix=${XDG_CACHE_HOME:-$HOME/.cache}/concurrent_sum/genmc-$sum

# Needed to build GenMC, and clang-14 and LLVM's libraries to run it too.
sh "$top/tools/install-prerequisites.sh" clang-14 llvm-14-dev libffi-dev zlib1g-dev libedit-dev autoconf automake >&2

# GenMC finds its own headers under its prefix, so it is built for the cache
# itself; the stamp, written last, tells a whole build from one cut short.
if [[ ! -e $prefix/complete ]]; then
    rm -rf "$prefix"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    tar -xzf "$tarball" -C "$work" --strip-components=1
    echo "building GenMC from ${tarball##*/} into $prefix" >&2
    if ! (cd "$work" && autoreconf --install && ./configure --with-llvm=/usr/lib/llvm-14 --prefix="$prefix" &&
        make -j"$(nproc)" && make install) >"$work/build.log" 2>&1; then
        tail -n 40 "$work/build.log" >&2
        echo "build-genmc.sh: the build failed" >&2
        exit 1
    fi
    touch "$prefix/complete"
fi
echo "$prefix/bin"
