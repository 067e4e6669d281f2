#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Usage: check_vitals.sh VITAL=RATE... -- COMMAND [ARG...]
# Runs an example, which must succeed and print a line "VITAL VALUE ..." for every VITAL given,
# with VALUE within 1.5 per minute of RATE.
set -eu

expected=
while [ "$1" != -- ]; do
    expected="$expected $1"
    shift
done
shift

status=0
output=$("$@") || status=$?
printf '%s\n' "$output"
if [ "$status" -ne 0 ]; then
    echo "the example failed with exit status $status"
    exit 1
fi

printf '%s\n' "$output" | awk -v expected="$expected" '
    BEGIN {
        n = split(expected, pairs, " ")
        for (i = 1; i <= n; ++i) {
            split(pairs[i], vital, "=")
            want[vital[1]] = vital[2] + 0
        }
    }
    $1 in want { got[$1] = $2 + 0 }
    END {
        failed = 0
        for (id in want) {
            if (!(id in got)) {
                print "no " id " in the output"
                failed = 1
            } else if (got[id] < want[id] - 1.5 || got[id] > want[id] + 1.5) {
                print id " is " got[id] ", expected " want[id] " within 1.5"
                failed = 1
            }
        }
        exit failed
    }'
