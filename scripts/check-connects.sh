#!/usr/bin/env bash
# Fails on a connect() of a lambda without a context object: such a lambda outlives the
# receiver it uses and runs on whatever thread emits.
set -euo pipefail
cd "$(dirname "$0")/.."
# connect(sender, &Class::signal, [capture]...): the third argument is the lambda itself.
found=$(grep -rPzo --include='*.cpp' --include='*.h' \
    'connect\(\s*[^,;()]+,\s*&[\w:]+,\s*\[[^\]]*\]' watch ui gantry/ui tests | tr '\0' '\n' || true)
if [ -n "$found" ]; then
    echo "connect() of a lambda without a context object:" >&2
    echo "$found" >&2
    exit 1
fi
