#!/usr/bin/env bash
# Sourced by the shell tests: `check WHAT COMMAND...` runs COMMAND and prints one "ok" or "FAIL"
# line for WHAT, and `failures` counts the FAIL lines. A script ends with `[ $failures -eq 0 ]`.
failures=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
