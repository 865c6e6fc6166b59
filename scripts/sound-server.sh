# Sourced by scripts/test and scripts/soak: a sound server of the tests' own, a PulseAudio
# daemon for the user running them (root included), with a null sink as its only output,
# a private runtime folder and home, and a socket there. The sound tests play to it and
# record its monitor. start_sound_server exports PULSE_SERVER (and TAVRIN_SOUND_REQUIRED
# once it answers); it is stopped when the script exits.
sound_dir=""
sound_pid=""
stop_sound_server() {
  if [ -n "$sound_pid" ]; then
    kill "$sound_pid" 2>/dev/null || true
    wait "$sound_pid" 2>/dev/null || true
  fi
  [ -n "$sound_dir" ] && rm -rf "$sound_dir"
  return 0
}
# True when the server answers.
start_sound_server() {
  sound_dir=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-sound.XXXXXX")
  trap stop_sound_server EXIT
  trap "exit 130" INT TERM
  mkdir -p -m 700 "$sound_dir/run" "$sound_dir/home"
  HOME="$sound_dir/home" XDG_RUNTIME_DIR="$sound_dir/run" \
    pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
      --log-target=stderr --log-level=error \
      --load="module-null-sink sink_name=tavrin_null" \
      --load="module-native-protocol-unix auth-anonymous=1 socket=$sound_dir/native" \
      2>"$sound_dir/server.log" &
  sound_pid=$!
  export PULSE_SERVER="unix:$sound_dir/native"
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    kill -0 "$sound_pid" 2>/dev/null || break
    sleep 0.1
  done
  if pactl info >/dev/null 2>&1; then
    echo "Sound server: $PULSE_SERVER"
    export TAVRIN_SOUND_REQUIRED=1
    return 0
  fi
  cat "$sound_dir/server.log" >&2 || true
  return 1
}
