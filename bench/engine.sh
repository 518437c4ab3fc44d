#!/usr/bin/env bash
# Benchmarks of the engine TV_ENG32.DLL, each against Debian's espeak-ng
# (scripts/deps --bench installs it) in the same run:
#   1. wall time rendering a ~12 KB English text to an 11025 Hz WAV file,
#      against espeak-ng -w with the same voice and rate, run alternately,
#      medians (goal: at most 0.85 times espeak-ng);
#   2. one word, whole processes, start-up included: orasay -f x.wav Hello
#      against espeak-ng -w x.wav Hello, alternately, medians of wall and
#      CPU time (goal: at most 1.0 times espeak-ng in both);
#   3. peak resident memory rendering ~10 and ~20 minutes of audio (goal:
#      at most 12 MB, and flat);
#   4. time from tts_Speak to the first sample handed to the sound server,
#      PulseAudio and PipeWire (goal: at most 50 ms).
# Usage: bench/engine.sh [runs]      (default 7 runs; 10 times as many in 2)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
build=build-bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DORASAY_BENCH=ON \
  -DORASAY_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target orasay tv_eng32 tts_bench >/dev/null

# A deterministic English text of plain sentences, about 12 KB.
make_text() {  # make_text BYTES
  awk -v bytes="$1" 'BEGIN {
    split("the a every one this that my our", det, " ");
    split("engineer river machine morning letter garden station window \
teacher voice city answer picture market question engine", noun, " ");
    split("finds carries opens watches reads builds follows hears \
remembers changes describes visits", verb, " ");
    split("small quiet early bright careful old distant simple warm \
heavy", adj, " ");
    split("before the evening, after the long journey, without a word, \
near the old bridge, in the middle of winter", tail, ",");
    srand(7); out = 0;
    while (out < bytes) {
      s = det[int(rand()*8)+1] " " adj[int(rand()*10)+1] " " \
          noun[int(rand()*16)+1] " " verb[int(rand()*12)+1] " " \
          det[int(rand()*8)+1] " " noun[int(rand()*16)+1];
      if (rand() < 0.6) s = s tail[int(rand()*5)+1];
      s = toupper(substr(s, 1, 1)) substr(s, 2) ". ";
      printf "%s", s; out += length(s);
      if (rand() < 0.1) { printf "\n"; out++ }
    }
    printf "\n";
  }'
}
make_text 12288 >"$work/text.txt"
cat "$work/text.txt" "$work/text.txt" >"$work/text2.txt"

orasay=$build/bin/orasay
engine_label="$orasay -f out.wav TEXT"
engine_text() { "$orasay" -f "$work/engine.wav" -- "$(cat "$1")"; }
espeak_text() { espeak-ng -v en-us+m3 -s 170 -w "$work/espeak.wav" -f "$1"; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2 }'; }
# timed FILE COMMAND...: appends "wall_ms cpu_ms" (cpu = user + system).
timed() {
  local out=$1 t
  shift
  t=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null; } 2>&1 | tail -1)
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.1f %.1f\n", a[1] * 1000, (a[2] + a[3]) * 1000 }' >>"$out"
}

echo "== 1. render $(wc -c <"$work/text.txt") bytes of text, $runs runs each, alternating"
engine_text "$work/text.txt"; espeak_text "$work/text.txt"  # warm the caches
: >"$work/t_engine"; : >"$work/t_espeak"
for ((i = 0; i < runs; i++)); do
  timed "$work/t_engine" engine_text "$work/text.txt"
  timed "$work/t_espeak" espeak_text "$work/text.txt"
done
m_engine=$(cut -d' ' -f1 "$work/t_engine" | median); c_engine=$(cut -d' ' -f2 "$work/t_engine" | median)
m_espeak=$(cut -d' ' -f1 "$work/t_espeak" | median); c_espeak=$(cut -d' ' -f2 "$work/t_espeak" | median)
echo "engine:   $engine_label"
echo "          wall median ${m_engine} ms, cpu median ${c_engine} ms   (wall: $(cut -d' ' -f1 "$work/t_engine" | tr '\n' ' '))"
echo "espeak-ng -v en-us+m3 -s 170 -w out.wav -f TEXT"
echo "          wall median ${m_espeak} ms, cpu median ${c_espeak} ms   (wall: $(cut -d' ' -f1 "$work/t_espeak" | tr '\n' ' '))"
echo "audio: $(soxi -d "$work/engine.wav") at $(soxi -r "$work/engine.wav") Hz (engine), $(soxi -d "$work/espeak.wav") at $(soxi -r "$work/espeak.wav") Hz (espeak-ng)"
awk -v a="$m_engine" -v b="$m_espeak" -v c="$c_engine" -v d="$c_espeak" \
  'BEGIN { printf "ratio engine / espeak-ng: wall %.3f (goal <= 0.85), cpu %.3f\n", a / b, c / d }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

echo "== 2. one word, whole process, $((runs * 10)) runs each, alternating"
word_engine() { "$orasay" -f "$work/word.wav" Hello; }
word_espeak() { espeak-ng -w "$work/word-espeak.wav" Hello; }
word_engine; word_espeak  # warm the caches
: >"$work/w_engine"; : >"$work/w_espeak"
for ((i = 0; i < runs * 10; i++)); do
  timed "$work/w_engine" word_engine
  timed "$work/w_espeak" word_espeak
done
we=$(cut -d' ' -f1 "$work/w_engine" | median); ce=$(cut -d' ' -f2 "$work/w_engine" | median)
ws=$(cut -d' ' -f1 "$work/w_espeak" | median); cs=$(cut -d' ' -f2 "$work/w_espeak" | median)
echo "orasay -f x.wav Hello:    wall median ${we} ms, cpu median ${ce} ms"
echo "espeak-ng -w x.wav Hello: wall median ${ws} ms, cpu median ${cs} ms"
awk -v a="$we" -v b="$ws" -v c="$ce" -v d="$cs" \
  'BEGIN { printf "ratio orasay / espeak-ng: wall %.3f, cpu %.3f (goal <= 1.0 both)\n", a / b, (d > 0 ? c / d : 0) }'

echo "== 3. peak resident memory"
for t in text text2; do
  kb=$("$build/bin/tts_bench" save "$work/$t.txt" "$work/rss.wav" 0 0 | awk '/peak_rss_kb/ { print $2 }')
  echo "$(soxi -d "$work/rss.wav") of audio: peak RSS $((kb / 1024)).$(((kb % 1024) * 10 / 1024)) MB (goal <= 12 MB)"
done

echo "== 4. time from tts_Speak to the first sample handed to the sound server"
# Against a PulseAudio daemon and against PipeWire, each started for this run
# in a runtime directory of its own and stopped after it (scripts/sound-server).
echo "Hello, this is the first sample latency test." >"$work/short.txt"
for server in pulseaudio pipewire; do
  status=0
  scripts/sound-server "$server" bash -c 'for ((i = 0; i < $1; i++)); do
      "$2" speak "$3" | awk "/first_sample_ms/ { print \$2 }"; done' \
    _ "$runs" "$build/bin/tts_bench" "$work/short.txt" >"$work/lat" || status=$?
  if [[ $status -ne 0 || ! -s $work/lat ]]; then
    echo "$server: failed (status $status): no server, or tts_bench failed"
    continue
  fi
  echo "$server: first sample after tts_Speak: median $(median <"$work/lat") ms ($(tr '\n' ' ' <"$work/lat")) (goal <= 50 ms)"
done
