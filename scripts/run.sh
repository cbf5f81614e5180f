#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program (under Xvfb when there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" ./build/bin/plindor
fi
exec ./build/bin/plindor
