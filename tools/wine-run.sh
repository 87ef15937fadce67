#!/usr/bin/env bash
# Runs a Windows executable of Quillon's under Wine in the project's prefix, on the current
# display or, without one, on a private Xvfb screen. Keeps the executable's exit code.
#   wine-run.sh PROGRAM.exe [ARGS...]
set -u
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
quillon_ensure_prefix

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$@"
fi
exec wine "$@"
