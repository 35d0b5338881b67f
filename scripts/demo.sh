#!/usr/bin/env bash
# The main job: builds the plug-in, starts the CRM simulator on loopback with a
# SQLite member table, and runs the till against it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
exec "$ROOT/tools/till/run-demo.sh" "$BUILD" "$@"
