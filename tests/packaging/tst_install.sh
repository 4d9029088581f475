#!/bin/sh
# Installs the build into a scratch root, as the Debian package lays it out,
# and checks what a desktop and man(1) will find there.
#   tst_install.sh BUILD_FOLDER [CMAKE]
set -eu

build=$1
cmake=${2:-cmake}

for need in desktop-file-validate:desktop-file-utils man:man-db; do
    if ! command -v "${need%%:*}" >/dev/null; then
        echo "SKIP: ${need%%:*} is missing (Debian package ${need#*:}; scripts/install-packages.sh installs it)"
        exit 77
    fi
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" "$cmake" --install "$build" --prefix /usr >/dev/null
usr="$root/usr"

status=0
fail() {
    echo "FAIL: $*"
    status=1
}

# The two programs and nothing else: the benchmark and the tests stay in the build.
programs=$(ls "$usr/bin" 2>/dev/null | tr '\n' ' ')
[ "$programs" = "ferulan ferulan-catalogue " ] || fail "installed programs: $programs"
[ "$(ls "$root")" = usr ] || fail "files outside /usr: $(ls "$root")"

for program in ferulan ferulan-catalogue; do
    page="$usr/share/man/man1/$program.1.gz"
    if [ ! -f "$page" ]; then
        fail "no manual page $page"
        continue
    fi
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$root/warnings") || fail "man -l $page failed"
    [ ! -s "$root/warnings" ] || fail "$program.1: $(cat "$root/warnings")"
    echo "$text" | grep -q "^NAME" || fail "$program.1 renders without a NAME section"
    echo "$text" | grep -q "^EXIT STATUS" || fail "$program.1 renders without an EXIT STATUS section"
done

entry="$usr/share/applications/ferulan.desktop"
if [ -f "$entry" ]; then
    # Warnings count as well as errors: a desktop may ignore or hide a doubtful entry.
    if ! report=$(desktop-file-validate "$entry" 2>&1) || [ -n "$report" ]; then
        fail "desktop-file-validate: $report"
    fi
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    [ -x "$usr/bin/${exec_line%% *}" ] || fail "the entry starts '$exec_line', which is not installed"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    grep -q '^Name=.' "$entry" && grep -q '^Comment=.' "$entry" || fail "the entry lacks a name or a comment"
    grep -q '^Categories=.*Office;' "$entry" || fail "the entry is not in the Office category"
else
    fail "no desktop entry $entry"
    icon=ferulan
fi

hicolor="$usr/share/icons/hicolor"
[ -f "$hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"
for size in 16 32 48 64 128 256; do
    png="$hicolor/${size}x${size}/apps/$icon.png"
    if [ ! -f "$png" ]; then
        fail "no icon $png"
        continue
    fi
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    set -- $(od -An -tu1 -j16 -N8 "$png")
    width=$(( ($1 << 24) + ($2 << 16) + ($3 << 8) + $4 ))
    height=$(( ($5 << 24) + ($6 << 16) + ($7 << 8) + $8 ))
    [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] || fail "$png is ${width}x$height"
done

exit $status
