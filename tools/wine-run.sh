#!/usr/bin/env bash
# Runs a Windows executable of Quillon's under Wine in the project's prefix, on the current
# display or, without one, on a private Xvfb screen. Keeps the executable's exit code.
#   wine-run.sh PROGRAM.exe [ARGS...]
set -u
if [ -z "${DISPLAY:-}" ]; then
    exec "$(dirname "$0")/xvfb-run.sh" "$0" "$@"
fi
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
quillon_ensure_prefix
exec "$quillon_wine" "$@"
