#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Usage: check_vitals.sh VITAL=RATE... -- COMMAND [ARG...]
# Runs an example, which must succeed and print a line "VITAL VALUE ..." for every VITAL given,
# with VALUE within 1.5 per minute of RATE.
set -eu
expected=
while [ "$1" != -- ]; do expected="$expected $1"; shift; done
shift
status=0
output=$("$@") || status=$?
printf '%s\n' "$output"
[ "$status" -eq 0 ] || { echo "the example failed with exit status $status"; exit 1; }
failed=0
for pair in $expected; do
    printf '%s\n' "$output" | awk -v vital="${pair%%=*}" -v rate="${pair#*=}" '
        $1 == vital && !found++ && ($2 < rate - 1.5 || $2 > rate + 1.5) { bad = $2 }
        END {
            if (!found) print "no " vital " in the output"
            else if (bad != "") print vital " is " bad ", expected " rate " within 1.5"
            exit !found || bad != ""
        }' || failed=1
done
exit "$failed"
