#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks that the shared library exports exactly the functions its public header declares, plus
# the interface metadata data symbols, and nothing else.
set -euo pipefail
library=$1 header=$2 cc=$3 nm=${4:-nm}

declared=$("$cc" -E -P -x c "$header" | grep -oE '\b(ffi|uniffi)_quorvanta_core_[A-Za-z0-9_]+ *\(' |
    tr -d ' (' | sort -u)
exported=$("$nm" -D --defined-only "$library" | awk '{print $NF}' | sort -u)

unexpected=$(comm -13 <(echo "$declared") <(echo "$exported") | grep -v '^UNIFFI_META_QUORVANTA_CORE_\|^UNIFFI_META_NAMESPACE_QUORVANTA_CORE$' || true)
missing=$(comm -23 <(echo "$declared") <(echo "$exported"))

if [[ -n $unexpected || -n $missing ]]; then
    [[ -z $unexpected ]] || printf 'exported but not part of the interface:\n%s\n' "$unexpected"
    [[ -z $missing ]] || printf 'declared but not exported:\n%s\n' "$missing"
    exit 1
fi
echo "$(echo "$exported" | wc -l) exported symbols, all part of the interface"
