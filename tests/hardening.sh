#!/bin/sh
# Reads back from a release binary the distribution's hardening, and that it
# loads no shared library but the C library, as loading one is slow.
# Usage: hardening.sh BINARY COMPILER_ID (as CMake names it: GNU, Clang)
set -eu
binary=$1
compiler=$2
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
echo "$headers" | grep NEEDED | grep -Ev '\[(libc\.so\.6|ld-linux[^]]*)\]' && fail "loads more than the C library"
echo "$symbols" | grep -q __stack_chk_fail || fail "no function has a stack protector"
# In C++, glibc fortifies printf only through __builtin_va_arg_pack, which
# clang does not have.
if [ "$compiler" = GNU ]; then
    echo "$symbols" | grep -q __printf_chk || fail "printf is not fortified"
fi
