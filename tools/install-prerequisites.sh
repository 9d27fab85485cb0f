#!/bin/sh
# Installs, with apt-get, the Debian packages that building, testing and
# packaging concurrent_sum need, and any others named as arguments; only those
# that are missing, so that a machine with them all needs no root.
# Usage: sudo sh tools/install-prerequisites.sh [PACKAGE...]
set -eu

# make: cmake only recommends it. groff-base: the man page test. dpkg-dev and
# file: the package's Depends. git: the package's time stamps.
missing=
for package in g++ make cmake libgtest-dev groff-base dpkg-dev file git "$@"; do
    if ! dpkg-query -W -f='${db:Status-Status}\n' "$package" 2>/dev/null | grep -qx installed; then
        missing="$missing $package"
    fi
done
if [ -n "$missing" ]; then
    # A machine made from a container image has no package lists yet.
    apt-get update
    # shellcheck disable=SC2086 # one word a package
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
