#!/usr/bin/env bash
# Photographs the uninstaller's three dialogs on a virtual X server (Xvfb) into docs/, for the
# README: docs/dialog-confirm.png, docs/dialog-error.png, docs/dialog-complete.png.
# Usage: scripts/screenshot-dialogs.sh [build folder, default build/debug]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
cmake --build "$build" --target UninstallerDialogPreview PellinUninstallerAlert
export PREVIEW="$PWD/$build/bin/UninstallerDialogPreview"
export LANG=en_US.UTF-8 LANGUAGE= LC_ALL= LC_MESSAGES=
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

xvfb-run -a -s "-screen 0 1024x768x24" bash -euo pipefail -c '
  shoot() {
    local name=$1; shift
    "$PREVIEW" "$@" >/dev/null &
    local pid=$!
    local window
    window=$(xdotool search --sync --onlyvisible --name "^UninstallerDialogPreview\$" | head -n1)
    # The window is mapped before Qt has painted it; give it a moment.
    sleep 1
    import -window "$window" "docs/dialog-$name.png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "docs/dialog-$name.png"
  }
  shoot confirm confirm
  shoot error error -1
  shoot complete complete
'
