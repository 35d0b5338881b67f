#!/usr/bin/env bash
# The main job: builds the plug-in, starts the CRM simulator on loopback with a
# SQLite member table, and runs the till against it: the day headless, or with
# --interactive the till's window on the display.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
exec "$ROOT/tools/till/run-demo.sh" "$BUILD" "$@"
