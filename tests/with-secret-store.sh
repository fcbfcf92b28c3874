#!/bin/sh
# Runs a test program with a secret store of its own: a private session bus and a GNOME Keyring
# daemon whose login keyring lives in a temporary home and is unlocked with a throwaway password.
# Nothing of the user's own session or keyring is touched.
set -u
for tool in dbus-run-session gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (packages dbus and gnome-keyring)" >&2
        exit 77
    fi
done
home=$(mktemp -d) || exit 1
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
export XDG_RUNTIME_DIR="$home/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY
# The test program takes the session bus named in KAKIKOMI_TEST_BUS, and no other.
dbus-run-session -- sh -c '
    KAKIKOMI_TEST_BUS=$DBUS_SESSION_BUS_ADDRESS
    export KAKIKOMI_TEST_BUS
    printf %s test | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 1
    "$@"
' sh "$@"
