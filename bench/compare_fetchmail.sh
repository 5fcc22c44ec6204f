#!/usr/bin/env bash
# Forwarding speed next to fetchmail: the same real Dovecot mailbox and the same
# real Postfix on loopback, the same single recipient, delete on. Scenarios
# 700 x 4 KB and 20 x 5 MB (SCENARIOS="COUNTxBYTES ..." changes them), RUNS
# runs of each tool, medians of messages/s, MB/s and peak memory (maximum
# resident set, /usr/bin/time -v of both tools), and their ratios. The gateway
# also runs with its file flushes turned into no-ops (an LD_PRELOAD shim built
# here) to show what the delivery ledger's flush per accepted message costs.
# Also the frame of the machine: Postfix's own acceptance rate (smtp-source)
# and Dovecot's retrieval rate (a plain POP3 client reading every message).
#
#   bench/compare_fetchmail.sh MAILFERRY2 FERRYREG [RUNS]
# Installs fetchmail with scripts/install-deps when it is missing. Needs root.
# Not part of the tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mailferry2=$(realpath "$1")
ferryreg=$(realpath "$2")
runs=${3:-3}
scenarios=${SCENARIOS:-700x4096 20x5242880}
if ! command -v fetchmail >/dev/null || [ ! -x /usr/bin/time ]; then
  "$root/scripts/install-deps" --service-only fetchmail time
fi

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
# fsync and fdatasync that return at once, for the runs without flushes.
cat >"$work/noflush.c" <<'C'
int fsync(int fd) { (void)fd; return 0; }
int fdatasync(int fd) { (void)fd; return 0; }
C
cc -shared -fPIC -O2 -o "$work/noflush.so" "$work/noflush.c"
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

# Peak memory: "Maximum resident set size" of /usr/bin/time -v, in KB.
peak_of() { awk -F': ' '/Maximum resident set size/ {print $2}' "$1"; }

gateway_run() {  # [preload] -> "seconds peak_kb"
  : >"$work/events.log"
  env ${1:+LD_PRELOAD=$1} /usr/bin/time -v -o "$work/gw.time" "$mailferry2" -debug >>"$work/service.out" 2>&1 &
  local timer=$!
  sleep 0.5
  service=$(pgrep -P "$timer" | head -1)
  local start; start=$(now)
  # Triggered again until the mailbox is empty (one run takes it all).
  local reports=0
  for _ in 1 2 3 4 5; do
    trigger
    while [ "$(grep -c $'^5\t' "$work/events.log" 2>/dev/null)" -le "$reports" ]; do sleep 0.02; done
    reports=$((reports + 1))
    [ "$(mailbox_count)" -eq 0 ] && break
  done
  local end; end=$(now)
  kill -INT "$service"; wait "$timer" 2>/dev/null || true; service=""
  [ "$(mailbox_count)" -eq 0 ] || echo "warning: $(mailbox_count) messages left" >&2
  echo "$(echo "$end - $start" | bc) $(peak_of "$work/gw.time")"
}
gateway_noflush_run() { gateway_run "$work/noflush.so"; }

fetchmail_run() {  # -> "seconds peak_kb"
  cat >"$work/fetchmailrc" <<RC
set no syslog
poll 127.0.0.1 service $pop_port protocol pop3 auth password
  user "anna" password "geheim" is "postmaster@office.example" here
  smtphost "127.0.0.1/$smtp_port" smtpname "postmaster@office.example" no keep fetchall no rewrite sslproto ""
RC
  chmod 600 "$work/fetchmailrc"
  local start; start=$(now)
  : >"$work/fm.peaks"
  for _ in 1 2 3 4 5; do
    /usr/bin/time -v -o "$work/fm.time" fetchmail -f "$work/fetchmailrc" -i "$work/fetchids" \
      --pidfile "$work/fm.pid" --nodetach --silent >>"$work/fetchmail.out" 2>&1 || true
    peak_of "$work/fm.time" >>"$work/fm.peaks"
    [ "$(mailbox_count)" -eq 0 ] && break
  done
  local end; end=$(now)
  [ "$(mailbox_count)" -eq 0 ] || echo "warning: $(mailbox_count) messages left" >&2
  echo "$(echo "$end - $start" | bc) $(sort -n "$work/fm.peaks" | tail -1)"
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

scenario() {  # name count bytes
  local name=$1 count=$2 bytes=$3 tpl="$work/tpl-$1"
  make_template "$tpl" "$count" "$bytes"
  local mb; mb=$(du -sbc "$tpl"/* | tail -1 | awk '{print $1/1048576}')
  local tools=(gateway gateway_noflush fetchmail)
  for tool in "${tools[@]}"; do
    : >"$work/$tool.times"
    for _ in $(seq 1 "$runs"); do
      clear_sink; fill "$tpl"
      ${tool}_run >>"$work/$tool.times"
      wait_sink "$count"
    done
  done
  printf '%s (%d x %d B, %.1f MB), %d runs, medians:\n' "$name" "$count" "$bytes" "$mb" "$runs"
  local tool label s m gs gm fs fm
  for tool in "${tools[@]}"; do
    case $tool in
      gateway) label="mailferry2" ;;
      gateway_noflush) label="mailferry2, flushes off" ;;
      *) label=$tool ;;
    esac
    s=$(awk '{print $1}' "$work/$tool.times" | median)
    m=$(awk '{print $2}' "$work/$tool.times" | median)
    echo "$s $m" >"$work/$tool.median"
    awk -v l="$label" -v c="$count" -v mb="$mb" -v s="$s" -v m="$m" 'BEGIN {
      printf "  %-24s %7.2f s  %8.1f msgs/s  %7.2f MB/s  peak %7.1f MB\n", l ":", s, c/s, mb/s, m/1024 }'
    echo "    runs (s peak-KB): $(tr '\n' ';' <"$work/$tool.times")"
  done
  read -r gs gm <"$work/gateway.median"
  read -r fs fm <"$work/fetchmail.median"
  awk -v gs="$gs" -v gm="$gm" -v fs="$fs" -v fm="$fm" 'BEGIN {
    printf "  ratio mailferry2/fetchmail: speed %.2f, peak memory %.2f\n", fs/gs, gm/fm }'

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
for sc in $scenarios; do
  scenario "$sc" "${sc%x*}" "${sc#*x}"
done
