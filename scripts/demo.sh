#!/usr/bin/env bash
# Installs what is needed, builds, puts the demo catalogue and its settings
# beside the program when they are missing, and starts the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "ferulan: no display is available; run it under a virtual one: xvfb-run -a $0" >&2
    exit 1
fi

"$root/scripts/install-packages.sh"
# Only the program and the tool that makes its demo catalogue.
"$root/scripts/build.sh" "$root/build" ferulan ferulan-catalogue

bin="$root/build/bin"
if [ ! -e "$bin/biblio.db" ]; then
    "$bin/ferulan-catalogue" demo "$bin/biblio.db"
fi
if [ ! -e "$bin/ferulan.ini" ]; then
    # The demo grants edit access so that everything can be tried.
    printf '[General]\nDatabase=biblio.db\nDataOrderString=ORDER BY AUTEUR\nComboOrder=AUTEUR\nEditFunction=QUARZ Fendel Mosker\nLastViewType=Form\n' \
        > "$bin/ferulan.ini"
fi
exec "$bin/ferulan"
