#!/bin/sh
# Starts a private sound server with a null output for the player tests. When
# none can be started the folder carries no "ready" mark and those tests skip.
dir=$1
rm -rf "$dir"
mkdir -p "$dir/home"
printf 'autospawn = no\n' >"$dir/client.conf"

if ! command -v pulseaudio >/dev/null 2>&1; then
    echo "no sound server installed; the playback tests will skip"
    exit 0
fi

XDG_RUNTIME_DIR="$dir" HOME="$dir/home" PULSE_CLIENTCONFIG="$dir/client.conf" \
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes --disable-shm=yes \
    --load=module-null-sink \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    --log-target="file:$dir/server.log"

tries=0
while [ ! -S "$dir/native" ] && [ $tries -lt 50 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
if [ -S "$dir/native" ]; then
    touch "$dir/ready"
else
    echo "the sound server did not start; the playback tests will skip"
    cat "$dir/server.log" 2>/dev/null
fi
exit 0
