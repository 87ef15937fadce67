#!/usr/bin/env bash
# Runs a command on a private Xvfb screen of the size the Wine runs assume (1280 x 1024, 24 bits).
# The screen number is the first free one from QUILLON_XVFB_SERVERNUM (default 99): make test gives
# each lane that runs Wine beside another a range of its own, so that two lanes never race for one
# number. xvfb-run stops the screen when the command ends.
#   xvfb-run.sh COMMAND [ARGS...]
exec xvfb-run -a -n "${QUILLON_XVFB_SERVERNUM:-99}" -s "-screen 0 1280x1024x24" "$@"
