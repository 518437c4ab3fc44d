#!/usr/bin/env bash
# Tests of scripts/sound-server: each server runs in a runtime directory of
# its own that the command sees, the command's status is the script's, and
# whatever the command does, the processes it started are gone afterwards
# and its directory removed, while a server that was there before (the one
# the test run itself may use) is still reachable.  See LICENSE.
#   sound_server_test.sh SOURCE_DIR SERVER      (SERVER: pulseaudio, pipewire)
# Exit status 77: the server's programs are not installed.
set -uo pipefail
script=$1/scripts/sound-server
server=$2
case $server in
  pulseaudio) needed=(pulseaudio pactl) ;;
  pipewire) needed=(dbus-daemon pipewire wireplumber pipewire-pulse pactl) ;;
esac
for p in "${needed[@]}"; do
  command -v "$p" >/dev/null || { echo "skipped: $p is not installed"; exit 77; }
done

failures=0
fail() {
  echo "FAIL [$server, $row]: $*" >&2
  failures=$((failures + 1))
}

# A server the test run already has, if any: it must outlive every row.
outer=""
pactl info >/dev/null 2>&1 && outer=$(pactl info | sed -n "s/^Server String: //p")

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Each row: a name, the command run inside after it has written what it
# sees into $OUT/seen, and the exit status expected of the script.
inside='printf "%s\n" "$XDG_RUNTIME_DIR" "${PULSE_SERVER-unset}" "$ORASAY_SOUND_SERVER_PIDS" \
          "$(pactl info 2>/dev/null | sed -n "s/^Server String: //p")" >"$OUT/seen"
        pactl info 2>/dev/null | grep -q "^Default Sink: null$" && echo sink >>"$OUT/seen"'
names=(succeeds fails "is killed" "ends while a client plays")
commands=("exit 0" "exit 3" 'kill -KILL $$'
  "pacat --raw --format=s16le --rate=8000 --channels=1 </dev/zero & sleep 0.3; exit 0")
expected=(0 3 137 0)
for i in "${!names[@]}"; do
  row=${names[i]}
  rm -f "$out/seen"
  status=0
  OUT=$out timeout 60 "$script" "$server" bash -c "$inside; ${commands[i]}" || status=$?
  [[ $status -eq ${expected[i]} ]] || fail "exit status $status, not ${expected[i]}"
  if [[ ! -f $out/seen ]]; then
    fail "the command did not run"
    continue
  fi
  { read -r runtime; read -r pulse; read -r pids; read -r reached; } <"$out/seen"
  grep -qx sink "$out/seen" || fail "no reachable server with the default sink null"
  [[ -n $runtime && $runtime != "${XDG_RUNTIME_DIR:-}" ]] ||
    fail "the runtime directory '$runtime' is not a private one"
  [[ $pulse == unset ]] || fail "PULSE_SERVER is '$pulse', not unset"
  [[ $reached == "$runtime/pulse/native" ]] || fail "the command reached the server '$reached'"
  [[ ! -e $runtime ]] || fail "the runtime directory $runtime is left behind"
  [[ -n $pids ]] || fail "no server pids"
  for pid in $pids; do
    ! kill -0 "$pid" 2>/dev/null || fail "process $pid ($(cat /proc/"$pid"/comm)) is left running"
  done
  if [[ -n $outer ]]; then
    pactl info >/dev/null 2>&1 || fail "the server that was there before ($outer) is gone"
  fi
done

# Sourced, as it once was, it refuses and starts nothing.
row=sourced
status=0
msg=$(bash -c '. "$1" true' _ "$script" 2>&1) || status=$?
[[ $status -eq 1 && $msg == *"not sourced"* ]] || fail "sourcing gave status $status: $msg"

[[ $failures -eq 0 ]] && echo "sound-server with $server: all rows passed"
exit $((failures > 0))
