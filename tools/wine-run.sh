#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs one Windows program under Wine
# in the build's prefix and passes its output and exit code on.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
quellix_through_file wine "$@"
