#!/bin/sh
# Reads the distribution's hardening back from a built binary.
set -eu
binary=$1
headers=$(readelf --wide --file-header --program-headers --dynamic "$binary")
symbols=$(readelf --wide --dyn-syms "$binary")
fail() {
    echo "$binary: $1" >&2
    exit 1
}
echo "$headers" | grep -Eq 'Type: +DYN' && echo "$headers" | grep -Eq 'FLAGS_1.*PIE' ||
    fail "not a position-independent executable"
echo "$headers" | grep -q GNU_RELRO || fail "no RELRO segment"
echo "$headers" | grep -Eq 'BIND_NOW|FLAGS_1.* NOW' || fail "RELRO is only partial: symbols are bound lazily"
echo "$symbols" | grep -q __stack_chk_fail || fail "no function has a stack protector"
echo "$symbols" | grep -q __printf_chk || fail "printf is not fortified"
