#!/bin/sh
# Starts the demo from wherever the archive was unpacked: the demo reads its
# soundtrack, vandrel.mp3, from the working directory, and finds the libraries
# in lib/ through its own run path. Options pass through (./run.sh --help).
cd "$(dirname "$(readlink -f "$0")")" || exit 1
exec ./demo "$@"
