#!/usr/bin/env bash
# Forwarding speed next to fetchmail: the same real Dovecot mailbox and the same
# real Postfix on loopback, the same single recipient, delete on. Scenarios
# 700 x 4 KB and 20 x 5 MB, three runs of each tool, medians of messages/s,
# MB/s and peak memory (maximum resident set), and their ratios. Also the frame
# of the machine: Postfix's own acceptance rate (smtp-source) and Dovecot's
# retrieval rate (a plain POP3 client reading every message).
#
#   bench/compare_fetchmail.sh MAILFERRY2 FERRYREG [RUNS]
# Installs fetchmail itself (Debian package). Needs root. Not part of the tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mailferry2=$(realpath "$1")
ferryreg=$(realpath "$2")
runs=${3:-3}
command -v fetchmail >/dev/null || { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends fetchmail >/dev/null; }

work=$(mktemp -d /tmp/mailferry-bench.XXXXXX)
service=""
cleanup() {
  [ -n "$service" ] && kill -KILL "$service" 2>/dev/null
  stop_servers
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
source "$root/tests/crash/real_servers_env.sh"
start_servers
write_account "$ferryreg" 1 10

make_template() {  # dir, count, bytes
  mkdir -p "$1"
  python3 - "$1" "$2" "$3" <<'PY'
import sys
d, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
line = "y" * 76 + "\n"
for i in range(count):
    head = f"From: Bench <bench@sender.example>\nTo: Anna <anna@mailbox.example>\nSubject: Nachricht {i}\nX-Bench-Id: {i}\n\n"
    body = line * max(1, (size - len(head)) // len(line))
    open(f"{d}/{100000 + i}.M{i}.bench", "w").write(head + body)
PY
}
# Each fill gives the messages new file names, as a real delivery does: filled
# again under the names of expunged messages, Dovecot listed only a few of them.
fill_round=0
fill() {
  fill_round=$((fill_round + 1))
  for f in "$1"/*; do echo "$f"; done | python3 -c '
import os, shutil, sys
dest, prefix = sys.argv[1], sys.argv[2]
for line in sys.stdin:
    src = line.rstrip("\n")
    shutil.copyfile(src, os.path.join(dest, prefix + os.path.basename(src)))' "$(maildir_new)" "$fill_round."
  chown -R "$mail_uid:$mail_gid" "$work/home"
}
now() { date +%s.%N; }
clear_sink() { rm -rf "$work/vmail"/*/; }
wait_sink() {  # count
  for _ in $(seq 1 600); do
    [ "$(delivered_files | wc -l)" -ge "$1" ] && return 0
    sleep 0.1
  done
}

gateway_run() {  # count -> "seconds peak_kb"
  : >"$work/events.log"
  "$mailferry2" -debug >>"$work/service.out" 2>&1 &
  service=$!
  sleep 0.5
  local start; start=$(now)
  # One run takes at most what its bounded listing holds (about 800 entries of
  # 4-KB messages), so the small scenario stays below that: a second run would
  # wait for the scheduler's 10 s after a trigger and measure the pacing, not
  # the transfer. Triggered again until the mailbox is empty all the same.
  local reports=0
  for _ in 1 2 3 4 5; do
    trigger
    while [ "$(grep -c $'^5\t' "$work/events.log" 2>/dev/null)" -le "$reports" ]; do sleep 0.02; done
    reports=$((reports + 1))
    [ "$(mailbox_count)" -eq 0 ] && break
  done
  local end; end=$(now)
  local peak; peak=$(awk '/VmHWM/ {print $2}' "/proc/$service/status")
  kill -INT "$service"; wait "$service" 2>/dev/null || true; service=""
  [ "$(mailbox_count)" -eq 0 ] || echo "warning: $(mailbox_count) messages left" >&2
  echo "$(echo "$end - $start" | bc) $peak"
}

fetchmail_run() {  # count -> "seconds peak_kb"
  cat >"$work/fetchmailrc" <<RC
set no syslog
poll 127.0.0.1 service $pop_port protocol pop3 auth password
  user "anna" password "geheim" is "postmaster@office.example" here
  smtphost "127.0.0.1/$smtp_port" smtpname "postmaster@office.example" no keep fetchall no rewrite sslproto ""
RC
  chmod 600 "$work/fetchmailrc"
  local start; start=$(now)
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f '%M' -a -o "$work/fm.time" fetchmail -f "$work/fetchmailrc" -i "$work/fetchids" \
      --pidfile "$work/fm.pid" --nodetach --silent >>"$work/fetchmail.out" 2>&1 || true
    [ "$(mailbox_count)" -eq 0 ] && break
  done
  local end; end=$(now)
  [ "$(mailbox_count)" -eq 0 ] || echo "warning: $(mailbox_count) messages left" >&2
  echo "$(echo "$end - $start" | bc) $(sort -n "$work/fm.time" | tail -1)"; rm -f "$work/fm.time"
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

scenario() {  # name count bytes
  local name=$1 count=$2 bytes=$3 tpl="$work/tpl-$1"
  make_template "$tpl" "$count" "$bytes"
  local mb; mb=$(du -sbc "$tpl"/* | tail -1 | awk '{print $1/1048576}')
  for tool in gateway fetchmail; do
    : >"$work/$tool.times"
    for _ in $(seq 1 "$runs"); do
      clear_sink; fill "$tpl"
      ${tool}_run "$count" >>"$work/$tool.times"
      wait_sink "$count"
    done
  done
  local gs gm fs fm
  gs=$(awk '{print $1}' "$work/gateway.times" | median); gm=$(awk '{print $2}' "$work/gateway.times" | median)
  fs=$(awk '{print $1}' "$work/fetchmail.times" | median); fm=$(awk '{print $2}' "$work/fetchmail.times" | median)
  printf '%s (%d x %d B, %.1f MB), %d runs, medians:\n' "$name" "$count" "$bytes" "$mb" "$runs"
  awk -v c="$count" -v mb="$mb" -v gs="$gs" -v gm="$gm" -v fs="$fs" -v fm="$fm" 'BEGIN {
    printf "  mailferry2: %7.2f s  %8.1f msgs/s  %7.2f MB/s  peak %7.1f MB\n", gs, c/gs, mb/gs, gm/1024
    printf "  fetchmail:  %7.2f s  %8.1f msgs/s  %7.2f MB/s  peak %7.1f MB\n", fs, c/fs, mb/fs, fm/1024
    printf "  ratio mailferry2/fetchmail: speed %.2f, peak memory %.2f\n", fs/gs, gm/fm }'
  echo "  runs (s peak-KB): mailferry2 $(tr '\n' ';' <"$work/gateway.times") fetchmail $(tr '\n' ';' <"$work/fetchmail.times")"

  # The frame: Postfix alone, and Dovecot alone.
  clear_sink
  local s e
  s=$(now); smtp-source -s 1 -m "$count" -l "$bytes" -f bench@sender.example -t postmaster@office.example \
    "127.0.0.1:$smtp_port" >/dev/null 2>&1; e=$(now)
  awk -v c="$count" -v mb="$mb" -v t="$(echo "$e - $s" | bc)" 'BEGIN {
    printf "  postfix acceptance (smtp-source, one session): %8.1f msgs/s  %7.2f MB/s\n", c/t, mb/t }'
  fill "$tpl"
  sleep 1
  python3 - "$pop_port" "$count" "$mb" <<'PY'
import poplib, sys, time
port, count, mb = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
p = poplib.POP3("127.0.0.1", port)
p.user("anna"); p.pass_("geheim")
n = len(p.list()[1])
t = time.monotonic()
for i in range(1, n + 1):
    p.retr(i)
t = time.monotonic() - t
p.quit()
if n != count:
    print(f"  dovecot retrieval: the mailbox listed {n} of {count} messages; no figure")
else:
    print(f"  dovecot retrieval (RETR of every message, one session): {n / t:8.1f} msgs/s  {mb / t:7.2f} MB/s")
PY
  rm -f "$work/home/anna/Maildir/new/"* "$work/home/anna/Maildir/cur/"*
  clear_sink
}

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GB", $2/1048576}' /proc/meminfo); $(fetchmail --version 2>/dev/null | head -1)"
scenario small 700 4096
scenario large 20 5242880
