#!/usr/bin/env bash
# Load on loopback: CONNECTIONS connections of 10 accounts each ("NORAS", run
# by its Timeout 0 at every idle tick, and Linie01 ... triggered over UDP at
# random gaps; a trigger holds the scheduler for 10 s, so ticks come in the
# longer gaps), all against one POP3 server of many mailboxes that refill
# over time and one SMTP sink that checks every text it receives
# (ferry_load_peers). While it runs, the open descriptors, resident memory and
# threads of mailferry2 are sampled. At the end: a trigger must still give a
# run with a delivery; then the peers stop refilling, the descriptors must come
# back to their idle level, and the records must show nothing lost, doubled or
# damaged.
#
#   load_run.sh MAILFERRY2 FERRYREG LOAD_PEERS [SECONDS [CONNECTIONS [DELAY_MS]]]
# Defaults: 300 s, 50 connections, replies held back up to 150 ms.
# Environment: GAP_MIN/GAP_MAX (seconds between two triggers, default 2/20),
# MAX_MAILS_BASE (default 2), FIGURES (a file the figures are appended to),
# KEEP_WORK=1 keeps the work folder.
set -euo pipefail
mailferry2=$1
ferryreg=$2
peers_bin=$3
duration=${4:-300}
connections=${5:-50}
delay_ms=${6:-150}
gap_min=${GAP_MIN:-2}
gap_max=${GAP_MAX:-20}
max_base=${MAX_MAILS_BASE:-2}
fd_slack=2

work=$(mktemp -d /tmp/mailferry-load.XXXXXX)
service=""
peers=""
sampler=""
cleanup() {
  [ -n "$sampler" ] && kill "$sampler" 2>/dev/null
  [ -n "$service" ] && kill -KILL "$service" 2>/dev/null
  [ -n "$peers" ] && kill -INT "$peers" 2>/dev/null
  wait 2>/dev/null || true
  [ -n "${KEEP_WORK:-}" ] && echo "work folder kept: $work" || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

read -r pop_port smtp_port trigger_port <<<"$(python3 - <<'PY'
import socket
socks = []
for kind in (socket.SOCK_STREAM, socket.SOCK_STREAM, socket.SOCK_DGRAM):
    s = socket.socket(socket.AF_INET, kind); s.bind(("127.0.0.1", 0)); socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
)"
export MAILFERRY_HIVE="$work/registry.hive"
export MAILFERRY_EVENT_FILE="$work/events.log"
export MAILFERRY_POP3_PORT=$pop_port
export MAILFERRY_SMTP_PORT=$smtp_port
export MAILFERRY_TRIGGER_ADDRESS=127.0.0.1
export MAILFERRY_NOTICE_ADDRESS=127.0.0.1

# ---- the settings store: connection c (0 is NORAS) account a reads mailbox box(c*10+a+1)
connection_name() { if [ "$1" -eq 0 ]; then echo NORAS; else printf 'Linie%02d' "$1"; fi; }
key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters'
{
  printf 'Windows Registry Editor Version 5.00\n\n[%s]\n' "$key"
  printf '"DebugLevel"=dword:00000002\n"TriggerPort"=dword:%08x\n"Listen RAS"=dword:00000000\n\n' "$trigger_port"
  for c in $(seq 0 $((connections - 1))); do
    name=$(connection_name "$c")
    printf '[%s\\%s]\n' "$key" "$name"
    [ "$c" -eq 0 ] && printf '"Timeout"=dword:00000000\n'
    # Every fifth connection writes a debug log, all its accounts into one file.
    if [ $((c % 5)) -eq 0 ]; then
      printf '"Enable Logging"=dword:00000001\n"Logfile"="%s/debug-%s.log"\n' "$work" "$name"
    fi
    printf '\n'
    for a in $(seq 0 9); do
      box=$((c * 10 + a + 1))
      printf '[%s\\%s\\Konto%d]\n' "$key" "$name" "$a"
      printf '"Enable Account"=dword:00000001\n"POP Host"="127.0.0.1"\n"POP User"="box%d"\n' "$box"
      printf '"POP Passwort"="last"\n"POP Delete"=dword:00000001\n"SMTP Host"="127.0.0.1"\n'
      printf '"SMTP From"="gateway@load.example"\n"SMTP To"="postmaster@load.example"\n'
      printf '"Addressmode"=dword:%08x\n"Addressmode From"=dword:%08x\n' $((box % 4)) $((box % 5))
      printf '"Max Mails"=dword:%08x\n"Enable UDP"=dword:00000000\n\n' $((max_base + box % 4))
    done
  done
} >"$work/load.reg"
"$ferryreg" import "$work/load.reg" >/dev/null

# ---- peers and service
"$peers_bin" 127.0.0.1 "$pop_port" "$smtp_port" $((connections * 10)) "$work" 6 1000 "$delay_ms" >"$work/peers.out" 2>&1 &
peers=$!
for _ in $(seq 1 50); do grep -q '^load peers:' "$work/peers.out" 2>/dev/null && break; sleep 0.1; done
"$mailferry2" -debug >"$work/service.out" 2>&1 &
service=$!
for _ in $(seq 1 50); do grep -q $'^1\t' "$work/events.log" 2>/dev/null && break; sleep 0.1; done
sleep 1
fd_count() { find "/proc/$service/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }
status_kb() { awk -v k="$1:" '$1 == k {print $2}' "/proc/$service/status" 2>/dev/null || echo 0; }
fd_idle_start=$(fd_count)
rss_start=$(status_kb VmRSS)
echo "load: $connections connections x 10 accounts, $duration s, replies held back up to $delay_ms ms;" \
     "mailferry2 pid $service, idle: $fd_idle_start descriptors, $rss_start kB resident"

(
  start=$(date +%s)
  while kill -0 "$service" 2>/dev/null; do
    echo "$(( $(date +%s) - start )) $(fd_count) $(status_kb VmRSS) $(status_kb Threads)"
    sleep 2
  done
) >"$work/samples" &
sampler=$!

# ---- triggers at random gaps, round robin over the connections (NORAS too)
started=$(date +%s)
sent=0
c=1
while [ $(( $(date +%s) - started )) -lt "$duration" ]; do
  kill -0 "$service" 2>/dev/null || break
  printf '%s' "$(connection_name $((c % connections)))" >"/dev/udp/127.0.0.1/$trigger_port" 2>/dev/null || true
  sent=$((sent + 1))
  c=$((c + 1))
  sleep $((gap_min + RANDOM % (gap_max - gap_min + 1)))
done
load_seconds=$(( $(date +%s) - started ))

# ---- the service still answers a trigger: event 10, then a run with a delivery
alive_after_load=0
kill -0 "$service" 2>/dev/null && alive_after_load=1
final=$(connection_name $((connections > 1 ? 1 : 0)))
boxes_of_final=$(seq $(( (connections > 1 ? 1 : 0) * 10 + 1 )) $(( (connections > 1 ? 1 : 0) * 10 + 10 )) | sed 's/^/box/; s/$/-/')
final_deliveries() { grep -cF "$boxes_of_final" "$work/delivered.ids" || true; }
events_before=$(wc -l <"$work/events.log")
answered=0
sleep 4  # past the listener's pause after the last datagram
for _ in $(seq 1 15); do
  printf '%s' "$final" >"/dev/udp/127.0.0.1/$trigger_port" 2>/dev/null || true
  for _ in $(seq 1 20); do
    line=$(tail -n +"$((events_before + 1))" "$work/events.log" | grep -n -m1 -P "^10\t.*\t$final\$" | cut -d: -f1 || true)
    [ -n "$line" ] && break 2
    sleep 0.25
  done
done
if [ -n "${line:-}" ]; then
  at=$((events_before + line))
  delivered_before=$(final_deliveries)
  for _ in $(seq 1 240); do
    if tail -n +"$at" "$work/events.log" | grep -qP "^5\t[^\t]*\t$final\t[^\t]*\t[1-9]" &&
       [ "$(final_deliveries)" -gt "$delivered_before" ]; then
      answered=1
      break
    fi
    sleep 0.25
  done
fi

# ---- quiet: no new messages, no held-back replies; descriptors back to idle
kill -USR1 "$peers"
fd_idle_end=999999
for _ in $(seq 1 100); do
  n=$(fd_count)
  [ "$n" -gt 0 ] && [ "$n" -lt "$fd_idle_end" ] && fd_idle_end=$n
  sleep 0.2
done
rss_end=$(status_kb VmRSS)
# No run of a triggered connection is going on now: none may still be marked "In Use".
stuck=$("$ferryreg" query "$key" /s 2>/dev/null |
  awk '/^HKEY/ {noras = index($0, "\\NORAS\\") > 0} !noras && $1 == "In" && $2 == "Use" && $4 != "0x0" {n++}
       END {print n + 0}')
kill "$sampler" 2>/dev/null || true
wait "$sampler" 2>/dev/null || true
sampler=""
kill -INT "$service" 2>/dev/null || true
stopped=0
for _ in $(seq 1 100); do kill -0 "$service" 2>/dev/null || { stopped=1; break; }; sleep 0.1; done
wait "$service" 2>/dev/null || true
service=""
kill -INT "$peers" 2>/dev/null || true
wait "$peers" 2>/dev/null || true
peers=""

# ---- the records
cd "$work"
sort generated.ids >g.sorted
awk '{print $1}' delivered.ids | sort >d.all
sort -u d.all >d.sorted
sort deleted.ids >x.all
sort -u x.all >x.sorted
sort -u remaining.ids >r.sorted
delivered_total=$(wc -l <d.all)
delivered_distinct=$(wc -l <d.sorted)
duplicates=$((delivered_total - delivered_distinct))
damaged=$(grep -c ' damaged$' delivered.ids || true)
deleted_undelivered=$(comm -23 x.sorted d.sorted | wc -l)
deleted_twice=$(( $(wc -l <x.all) - $(wc -l <x.sorted) ))
unknown=$(comm -13 g.sorted d.sorted | wc -l)
sort -u d.sorted r.sorted >dr.sorted
vanished=$(comm -23 g.sorted dr.sorted | wc -l)
delivered_not_deleted=$(comm -12 d.sorted r.sorted | wc -l)
deleted_still_there=$(comm -12 x.sorted r.sorted | wc -l)
lost=$((deleted_undelivered + vanished))
runs=$(grep -cP '^5\t' events.log || true)
triggers=$(grep -cP '^10\t' events.log || true)
ticks=$(grep -cP '^31\t' events.log || true)
faults=$(grep -cP '^0xC000(0000|001E)\t' events.log || true)
read -r fd_min fd_max rss_max threads_max < <(awk 'NR == 1 {a = $2; b = $2; r = $3; t = $4}
  {if ($2 < a) a = $2; if ($2 > b) b = $2; if ($3 > r) r = $3; if ($4 > t) t = $4}
  END {print a + 0, b + 0, r + 0, t + 0}' samples)
rss_one_minute=$(awk '$1 >= 60 {print $3; exit}' samples)
rate=$(awk -v n="$delivered_distinct" -v s="$load_seconds" 'BEGIN {printf "%.1f", (s > 0 ? n / s : 0)}')

figures="connections $connections x 10 accounts, load phase $load_seconds s, $sent triggers sent, $triggers accepted (event 10), $ticks NORAS tick runs (event 31), $runs account runs (event 5), $faults failure events
messages generated $(wc -l <g.sorted), forwarded $delivered_distinct distinct in $delivered_total copies ($rate msgs/s), duplicates $duplicates, damaged $damaged, lost $lost (deleted undelivered $deleted_undelivered, vanished $vanished), left on the POP3 side $(wc -l <r.sorted) (of them delivered, not yet deleted: $delivered_not_deleted)
accounts left in use: $stuck; descriptors: idle at start $fd_idle_start, idle at end $fd_idle_end, sampled min $fd_min max $fd_max; resident kB: start $rss_start, after 60 s ${rss_one_minute:-n/a}, end $rss_end, max $rss_max; threads max $threads_max
peers: $(tr '\n' ' ' <summary.txt)"
echo "$figures"
[ -n "${FIGURES:-}" ] && echo "$figures" >>"$FIGURES"

failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}
check "mailferry2 ran through the load phase" test "$alive_after_load" -eq 1
check "a trigger after the load gave a run with a delivery" test "$answered" -eq 1
check "nothing lost (every deleted message delivered; every message delivered or still on the POP3 side)" test "$lost" -eq 0
check "nothing delivered twice" test "$duplicates" -eq 0
check "every delivered text intact and generated by the peer" test "$((damaged + unknown))" -eq 0
check "no message deleted twice or deleted and still there" test "$((deleted_twice + deleted_still_there))" -eq 0
check "no account of a triggered connection left \"In Use\"" test "$stuck" -eq 0
check "descriptors back to the idle level (within $fd_slack)" test "$fd_idle_end" -le "$((fd_idle_start + fd_slack))"
check "mailferry2 ended on SIGINT" test "$stopped" -eq 1
if [ "$failures" -ne 0 ]; then
  echo "--- events (tail)"; tail -20 events.log
  echo "--- service output (tail)"; tail -20 service.out
fi
[ "$failures" -eq 0 ]
