#!/usr/bin/env bash
# Slow, stalled and oversized mail against real servers on loopback (Dovecot
# POP3, Postfix SMTP, started by tests/crash/real_servers_env.sh):
#  - slow end of data: Postfix asks a policy service at the end of each
#    message's text, and the service answers after 12 s. With the default
#    deadlines the gateway waits: each message arrives once, is deleted, and the
#    next run forwards nothing.
#  - a stall in the middle of a RETR: the Dovecot pop3 process serving the
#    gateway is stopped (SIGSTOP) while it sends the third of six 5-MB messages.
#    With the default deadlines and a SIGCONT 12 s later the run waits and
#    forwards all six once. With short POP3 deadlines the run gives up: the
#    messages accepted before the stall are deleted from the mailbox in the same
#    run (no rollback), the others stay; after SIGCONT the next run forwards
#    the rest: each message arrives once.
#  - "Max Size": a 70-MB message before three small ones stays on the server
#    with a warning while the small ones arrive, run after run; with "Max Size"
#    0 it is forwarded whole.
#
#   real_servers_slow.sh MAILFERRY2 FERRYREG
# Exit 77 (skipped) only where the server packages cannot be installed.
set -euo pipefail
mailferry2=$1
ferryreg=$2

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../crash/real_servers_env.sh
source "$here/../crash/real_servers_env.sh"

work=$(mktemp -d /tmp/mailferry-slow.XXXXXX)
service=""
policy=""
stopped_pop3=""
cleanup() {
  [ -n "$stopped_pop3" ] && kill -CONT "$stopped_pop3" 2>/dev/null
  [ -n "$service" ] && kill -INT "$service" 2>/dev/null
  [ -n "$policy" ] && kill "$policy" 2>/dev/null
  stop_servers
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The policy service Postfix asks at the end of each message's text: it reads
# one request (attribute lines up to an empty one), waits the seconds written
# in $work/policy.delay, logs the wait and answers DUNNO.
echo 0 >"$work/policy.delay"
python3 - "$work" <<'PY' &
import socketserver, sys, time
work = sys.argv[1]
class Policy(socketserver.StreamRequestHandler):
    def handle(self):
        while True:
            while True:
                line = self.rfile.readline(4096)
                if not line:
                    return
                if line in (b"\n", b"\r\n"):
                    break
            delay = float(open(f"{work}/policy.delay").read().strip() or 0)
            time.sleep(delay)
            with open(f"{work}/policy.log", "a") as log:
                log.write(f"answered after {delay:g} s\n")
            self.wfile.write(b"action=DUNNO\n\n")
            self.wfile.flush()
socketserver.ThreadingTCPServer.daemon_threads = True
server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Policy)
open(f"{work}/policy.port.tmp", "w").write(str(server.server_address[1]))
import os; os.rename(f"{work}/policy.port.tmp", f"{work}/policy.port")
server.serve_forever()
PY
policy=$!
for _ in $(seq 1 50); do [ -s "$work/policy.port" ] && break; sleep 0.1; done
[ -s "$work/policy.port" ] || { echo "FAIL: the policy service did not start"; exit 1; }
postfix_main_extra="smtpd_end_of_data_restrictions = check_policy_service inet:127.0.0.1:$(cat "$work/policy.port")"
start_servers
dovecot_master=${server_pids[0]}

failures=0
checks=0
check() {  # description, condition...
  local what=$1; shift
  checks=$((checks + 1))
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}

# A message with a header "X-Test-Id: ID" under the file name ID.M1P1.test.
message() {  # id, body lines on stdin
  { printf '%s\n' "From: Test <test@sender.example>" "To: Anna <anna@mailbox.example>" "Subject: $1" \
      "X-Test-Id: $1" ""; cat; } | put_message "$1.M1P1.test"
}
body_of() {  # bytes: lines of 76 letters and a last line "END"
  python3 -c 'import sys; n = int(sys.argv[1]) // 77; sys.stdout.write(("y" * 76 + "\n") * n + "END\n")' "$1"
}
# The ids delivered to postmaster, one line per copy.
delivered_ids() {
  find "$work/vmail/postmaster" -type f -path '*/new/*' -exec grep -h -m1 '^X-Test-Id:' {} + 2>/dev/null |
    awk '{print $2}' | sort
}
copies() { delivered_ids | grep -cx "$1" || true; }
# The ids still in the POP3 mailbox (Dovecot keeps the base of the file name).
mailbox_ids() {
  find "$work/home/anna/Maildir/new" "$work/home/anna/Maildir/cur" -type f -printf '%f\n' | sed 's/\.M1P1\.test.*//' | sort
}
# Postfix delivers from its queue shortly after accepting: waits until COUNT
# ids beginning with PREFIX arrived and its queue is empty.
wait_delivered() {  # prefix, count
  for _ in $(seq 1 300); do
    if [ "$(delivered_ids | grep -c "^$1" || true)" -ge "$2" ] &&
      [ -z "$(find "$work/postfix-queue/incoming" "$work/postfix-queue/active" -type f 2>/dev/null)" ]; then
      break
    fi
    sleep 0.2
  done
  sleep 0.3
}
ids_once() {  # ids...: each delivered exactly once
  for id in "$@"; do [ "$(copies "$id")" -eq 1 ] || return 1; done
}
no_duplicates() { [ -z "$(delivered_ids | uniq -d)" ]; }
in_mailbox() { mailbox_ids | grep -qx "$1"; }

events() { { cat "$work/events.log" 2>/dev/null || true; } | grep -c "^$1"$'\t' || true; }
last_forwarded() { { grep $'^5\t' "$work/events.log" || true; } | tail -1 | cut -f5; }
start_service() {
  "$mailferry2" -debug >>"$work/service.out" 2>&1 &
  service=$!
}
stop_service() {
  kill -INT "$service" 2>/dev/null || true
  wait "$service" 2>/dev/null || true
  service=""
}
# Triggers until the service accepts the trigger (event 10), then waits up to
# SECONDS for the run report (event 5).
run_once() {  # seconds
  local triggers reports
  triggers=$(events 10)
  reports=$(events 5)
  for _ in $(seq 1 20); do
    trigger
    for _ in 1 2 3 4 5 6; do
      [ "$(events 10)" -gt "$triggers" ] && break 2
      sleep 0.5
    done
  done
  local started=$SECONDS
  for _ in $(seq 1 $(($1 * 10))); do
    if [ "$(events 5)" -gt "$reports" ]; then
      echo "run report after $((SECONDS - started)) s: $(last_forwarded) forwarded"
      return 0
    fi
    sleep 0.1
  done
  echo "no run report within $1 s"
}

# ---- Slow end of data: two messages, each answered 12 s after its ".".
for id in slow1 slow2; do echo "Langsam." | message "$id"; done
echo 12 >"$work/policy.delay"
write_account "$ferryreg" 1 10
start_service
run_once 120
echo 0 >"$work/policy.delay"
wait_delivered slow 2
check "slow end of data: Postfix's policy service answered both messages after 12 s" \
  test "$(grep -c '^answered after 12 s$' "$work/policy.log" 2>/dev/null)" -eq 2
check "slow end of data: the run reports 2 forwarded" test "$(last_forwarded)" = 2
check "slow end of data: each message arrived once" ids_once slow1 slow2
check "slow end of data: both are deleted from the mailbox" test -z "$(mailbox_ids)"
run_once 60
sleep 1
check "slow end of data: the next run forwards nothing" test "$(last_forwarded)" = 0
check "slow end of data: still one copy each after the next run" ids_once slow1 slow2
stop_service

# ---- Stalls in the middle of a RETR: six messages, two a batch; the pop3
# process serving the gateway is stopped once it has written a given number
# of bytes.
big=5242880
stall_ids=(stall1 stall2 stall3 stall4 stall5 stall6)
stop_pop3_after() {  # bytes; in the background: the stopped pid goes to
  : >"$work/stall.pid"  # $work/stall.pid, its bytes written then to $work/stall.wchar
  (
    for _ in $(seq 1 6000); do
      for pid in $(pgrep -P "$dovecot_master" -x pop3 2>/dev/null); do
        written=$(awk '/^wchar:/ {print $2}' "/proc/$pid/io" 2>/dev/null || echo 0)
        if [ "${written:-0}" -gt "$1" ]; then
          kill -STOP "$pid" || exit 0
          sleep 0.2
          awk '/^wchar:/ {print $2}' "/proc/$pid/io" >"$work/stall.wchar"
          echo "$pid" >"$work/stall.pid"
          exit 0
        fi
      done
      sleep 0.01
    done
  ) &
  watcher=$!
}

# Six 5-MB messages, frozen for 12 s in the third with the default deadlines:
# the run simply waits.
for id in "${stall_ids[@]}"; do body_of $big | message "f$id"; done
write_account "$ferryreg" 1 2
start_service
stop_pop3_after $((big * 5 / 2))
(
  wait_for_stop() { for _ in $(seq 1 600); do [ -s "$work/stall.pid" ] && return; sleep 0.1; done; }
  wait_for_stop
  sleep 12
  kill -CONT "$(cat "$work/stall.pid")" 2>/dev/null
) &
thaw=$!
run_once 120
wait "$watcher" "$thaw" || true
wait_delivered fstall 6
check "frozen 12 s: the pop3 process was stopped during the transfer" test -s "$work/stall.pid"
check "frozen 12 s: one run forwards all six messages" test "$(last_forwarded)" = 6
check "frozen 12 s: each arrived once" ids_once "${stall_ids[@]/#/f}"
check "frozen 12 s: the mailbox is empty" test -z "$(mailbox_ids)"
stop_service

# Stopped with short POP3 deadlines: the run gives the message up. The third
# message is 30 MB, so that the stop lands in it whatever the socket buffers
# held: at 8 MB into it.
for id in "${stall_ids[@]}"; do
  size=$big
  [ "$id" = stall3 ] && size=$((6 * big))
  body_of "$size" | message "$id"
done
global_extra=$(printf '"%s"=dword:%08x\n' "POP3 Reply Timeout" 3 "Receive Idle Timeout" 3 "Slow Transfer Window" 6)
write_account "$ferryreg" 1 2
start_service
stop_pop3_after $((2 * big + 8 * 1048576))
run_once 120
wait "$watcher" || true
stopped_pop3=$(cat "$work/stall.pid")
wait_delivered stall 2
before=$(delivered_ids | tr '\n' ' ')
left=$(mailbox_ids | tr '\n' ' ')
echo "after the stalled run: delivered [$before], in the mailbox [$left]"
stopped_in_third() {  # stopped, and had written less than the first three messages
  [ -n "$stopped_pop3" ] && [ "$(awk '/^State:/ {print $2}' "/proc/$stopped_pop3/status")" = T ] &&
    [ "$(cat "$work/stall.wchar")" -lt $((8 * big)) ]
}
check "stall: the pop3 process was stopped in the middle of the third message" stopped_in_third
check "stall: the two messages of the first batch arrived once each" ids_once stall1 stall2
check "stall: no message arrived twice" no_duplicates
every_delivered_deleted() {
  for id in $(delivered_ids); do in_mailbox "$id" && return 1; done
  return 0
}
check "stall: every delivered message is deleted from the mailbox (no rollback)" every_delivered_deleted
check "stall: every message not delivered is still in the mailbox" \
  test "$(delivered_ids | grep -c '^stall')" -eq $((6 - $(mailbox_ids | wc -l)))
kill -CONT "$stopped_pop3" 2>/dev/null || true
stopped_pop3=""
for _ in 1 2 3; do
  [ -z "$(mailbox_ids)" ] && break
  run_once 120
done
wait_delivered stall 6
check "stall: after SIGCONT the next runs deliver each of the six messages once" ids_once "${stall_ids[@]}"
check "stall: the mailbox is empty at the end" test -z "$(mailbox_ids)"
stop_service

# ---- "Max Size" 10 MB: a 70-MB message first, then three small ones.
global_extra=""
body_of $((70 * 1048576)) | message huge
for id in small1 small2 small3; do echo "Klein." | message "$id"; done
account_extra=$(printf '"Max Size"=dword:%08x' $((10 * 1048576)))
write_account "$ferryreg" 1 10
start_service
warnings=$(events 0x80000028)
run_once 120
wait_delivered small 3
check "Max Size: the three small messages behind the big one arrived once each" ids_once small1 small2 small3
check "Max Size: the run reports 3 forwarded" test "$(last_forwarded)" = 3
check "Max Size: a warning names the message over \"Max Size\"" test "$(events 0x80000028)" -gt "$warnings"
check "Max Size: the big message stays in the mailbox, alone" test "$(mailbox_ids | tr '\n' ' ')" = "huge "
run_once 60
check "Max Size: the next run forwards nothing and leaves it there" \
  test "$(last_forwarded)" = 0 -a "$(mailbox_ids | tr '\n' ' ')" = "huge "
stop_service
account_extra='"Max Size"=dword:00000000'
write_account "$ferryreg" 1 10
start_service
run_once 300
wait_delivered huge 1
stop_service
huge_forwarded() {  # once, whole, and gone from the mailbox
  local f
  f=$(grep -rl -m1 '^X-Test-Id: huge' "$work/vmail/postmaster" | head -1)
  ids_once huge && [ -n "$f" ] && [ "$(tail -1 "$f")" = END ] && [ "$(stat -c %s "$f")" -gt $((70 * 1048576)) ] &&
    [ -z "$(mailbox_ids)" ]
}
check "Max Size 0: the 70-MB message is forwarded once, whole, and deleted" huge_forwarded
check "no message arrived twice over all runs" no_duplicates

show_logs_when_failed
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
