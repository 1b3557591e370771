#!/bin/sh
# Stops the sound server that soundserver-start.sh started in the same folder.
dir=$1
pidfile="$dir/pulse/pid"
if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null
fi
rm -f "$dir/ready"
exit 0
