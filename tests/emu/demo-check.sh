#!/usr/bin/env bash
# The demo program runs Vantry on a settings file that names only loopback hosts, with a sweep at
# start, and leaves no temporary folder behind. A stand-in for Vantry records what it was given.
# Usage: demo-check.sh DEMO-PROGRAM (inside tools/netns-run: the demo binds 127.0.0.x ports)
set -euo pipefail
demo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "demo-check: $*" >&2; exit 1; }

cat >"$work/fake-vantry" <<'FAKE'
#!/bin/sh
printf '%s\n' "$@" >"$OUT/args"
while [ $# -gt 0 ]; do
    [ "$1" = --settings ] && cp "$2" "$OUT/settings" && dirname "$2" >"$OUT/folder"
    shift
done
exit 7
FAKE
chmod +x "$work/fake-vantry"

status=0
OUT=$work VANTRY_PROGRAM=$work/fake-vantry "$demo" --extra-word >"$work/log" 2>&1 || status=$?
[ "$status" -eq 7 ] || { cat "$work/log"; fail "the demo ended with $status, not the program's status 7"; }
grep -qx -- --scan "$work/args" || fail "no sweep at start"
grep -qx -- --extra-word "$work/args" || fail "the demo's own arguments were not passed on"
[ -f "$work/settings" ] || fail "no settings file was given"
[ ! -e "$(cat "$work/folder")" ] || fail "the temporary folder was left behind"

# Every address the file names is on loopback: the demo never sends a datagram off the host.
grep -q '^Master0=127\.0\.0\.1:[0-9]\+$' "$work/settings" || fail "the master is not the emulated one"
grep -q '^ApiUrl=http://127\.0\.0\.1:[0-9]\+$' "$work/settings" || fail "the Web API is not the emulated one"
sed -n '/^\[Xash\]$/,/^\[/p' "$work/settings" | grep -q '^Master0=127\.0\.0\.1:[0-9]\+$' ||
    fail "the Xash3D master is not the emulated one"
grep -q '^ListUrl=http://127\.0\.0\.1:[0-9]\+/list$' "$work/settings" || fail "the HTTP list is not the emulated one"
! grep -qi 'mentality' "$work/settings" || fail "the settings name the public Xash3D masters"
grep -q '^Broadcast=0$' "$work/settings" || fail "the broadcast probe is on"
others=$(grep -oE '([0-9]{1,3}\.){3}[0-9]{1,3}' "$work/settings" | grep -v '^127\.' || true)
[ -z "$others" ] || fail "the settings name hosts off loopback: $others"
echo "demo-check: the demo names only loopback hosts and cleans up"
