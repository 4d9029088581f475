#!/usr/bin/env bash
# Installs what is needed, builds everything in build/ (the folder the demo
# uses too) and runs every test, the server tests against a throwaway
# PostgreSQL server started for the run and stopped after it; the last line
# says which tests were skipped and why.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"

"$root/scripts/install-packages.sh"
"$root/scripts/build.sh" "$build"

status=0
# A server that cannot start fails the run: the server tests never skip here.
"$root/scripts/with-test-server.sh" ctest --test-dir "$build" --output-on-failure -j"$(nproc)" || status=$?
# CTest keeps every test's whole output of the last run here.
log="$build/Testing/Temporary/LastTest.log"

# A test case that skips passes in CTest's summary; QtTest names it on a line
# "SKIP   : suite::case(row) reason". One line: the cases, grouped by reason.
summary="$(awk '
    /^SKIP   : / {
        line = substr($0, 10)
        reason = line; sub(/^[^ (]*(\([^)]*\))? /, "", reason)
        name = line; sub(/\(.*$/, "", name); sub(/ .*$/, "", name)
        if (!((reason, name) in seen)) {
            seen[reason, name] = 1
            if (!(reason in cases)) order[++count] = reason
            cases[reason] = cases[reason] (cases[reason] == "" ? "" : ", ") name
        }
    }
    END {
        for (i = 1; i <= count; ++i)
            printf "%s%s (%s)", (i > 1 ? "; " : ""), cases[order[i]], order[i]
    }' "$log")"
if [ -n "$summary" ]; then
    echo "Skipped: $summary"
else
    echo "Skipped: none."
fi
exit "$status"
