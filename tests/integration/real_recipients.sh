#!/usr/bin/env bash
# Envelopes against real Postfix (with strict_rfc821_envelopes and a sender it
# rejects) and Dovecot on loopback, through the real service: a shared
# mailbox's mail reaches each local recipient once and never the outside
# partner; an unknown recipient's message lands at "SMTP To"; 30 refused
# messages do not hold back the 4 good ones behind them; a wrong POP3 password
# and a stopped Postfix each give one error event at DebugLevel 0. Prints the
# multidrop figures and the failure events as written.
#
#   real_recipients.sh MAILFERRY2 FERRYREG
# Exit 77 (skipped) only where the server packages cannot be installed.
set -euo pipefail
mailferry2=$1
ferryreg=$2

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../crash/real_servers_env.sh
source "$here/../crash/real_servers_env.sh"

work=$(mktemp -d /tmp/mailferry-recipients.XXXXXX)
service=""
cleanup() {
  [ -n "$service" ] && kill -INT "$service" 2>/dev/null
  stop_servers || true  # Postfix may already be stopped by the last case
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
start_servers
# Hardening as offices use it: strict envelopes, and a sender refused outright.
printf '%s\n' "strict_rfc821_envelopes = yes" "smtpd_hard_error_limit = 20" \
  "smtpd_sender_restrictions = check_sender_access texthash:$postfix_conf/senders" >>"$postfix_conf/main.cf"
echo "spam@bad.example REJECT no mail from here" >"$postfix_conf/senders"
postfix -c "$postfix_conf" reload >/dev/null 2>&1

n=0
deliver() {  # header lines and body with LF endings into the Maildir
  n=$((n + 1))
  printf '%s\n' "$@" | put_message "300$n.M3P3.test"
}
count_mail() { find "$work/vmail/$1" -type f -path '*/new/*' 2>/dev/null | wc -l; }
events() {  # how many events of id $1 were written
  local c
  c=$(grep -c "^$1"$'\t' "$work/events.log" 2>/dev/null) || true
  echo "${c:-0}"
}
run_service() {  # runs the service until one more run report (event 5) or failure event (65)
  local before
  before=$(($(events 5) + $(events 65)))
  "$mailferry2" -debug >>"$work/service.out" 2>&1 &
  service=$!
  # Postfix slows down a client that keeps making errors: a run of refusals takes minutes.
  for _ in $(seq 1 100); do
    trigger
    for _ in 1 2 3 4 5 6; do
      [ $(($(events 5) + $(events 65))) -gt "$before" ] && break 2
      sleep 0.5
    done
  done
  kill -INT "$service" 2>/dev/null || true
  wait "$service" 2>/dev/null || true
  service=""
}
settle() {  # waits until Postfix delivered at least $1 messages
  for _ in $(seq 1 100); do
    [ "$(delivered_files | wc -l)" -ge "$1" ] && return 0
    sleep 0.2
  done
}

failures=0
check() {  # description, condition...
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}

# ---- The shared mailbox: two and three local people and an outside partner,
# the header forms that used to make broken envelopes, and an unknown person.
deliver "From: Partner <p@partner.example>" "To: Anna <anna@office.example>, bert@office.example" \
  "Cc: Partner Info <info@partner.example>" "Subject: zwei" "" "an zwei"
deliver "From: orders@shop.example (shop order system)" "To: anna@office.example," \
  " \"Carla\" <carla@office.example>" "Cc: bert@OFFICE.example, x@partner.example" "Subject: drei" "" "an drei"
deliver "From: \"bob@other.example\" <bob@other.example>" "To: <anna>, carla@office.example" \
  "Subject: =?utf-8?q?gr=C3=BC=C3=9Fe?=" "" "an carla"
deliver "From: Newsletter <news@example.net>" "To: undisclosed-recipients:;" "Subject: blind" "" "an niemand"
deliver "From: <doe\"@office.test>" "To: nobody@office.example" "Subject: unbekannt" "" "an unbekannt"
write_account "$ferryreg" 1 0 1 1 0
"$ferryreg" add "$account_key" /v "Local Domains" /d "office.example" /f >/dev/null
run_service
settle 8
sleep 1
expected=8
delivered=$(delivered_files | wc -l)
misrouted=$(grep -c 'to=<[^>]*partner\.example>' "$work/postfix.log" || true)
echo "multidrop: expected $expected, delivered $delivered, misrouted $misrouted"
check "anna got 2, bert 2, carla 2" test "$(count_mail anna) $(count_mail bert) $(count_mail carla)" = "2 2 2"
check "postmaster (SMTP To) got the blind and the unknown one" test "$(count_mail postmaster)" -eq 2
check "no RCPT for the partner" test "$misrouted" -eq 0
check "strict envelopes: no envelope rejected but the unknown person" \
  test "$(grep 'reject:' "$work/postfix.log" | grep -vc 'User unknown' || true)" -eq 0
check "the mailbox is empty" test "$(mailbox_count)" -eq 0

# ---- 30 messages from a refused sender, then 4 good ones. Postfix ends the
# session after 20 errors; the 4 arrive, the 30 stay, and the next run leaves them.
rm -rf "$work/vmail"/*/new/*
for i in $(seq 1 30); do deliver "From: <spam@bad.example>" "To: anna@office.example" "Subject: weg $i" "" "x"; done
for i in 1 2 3 4; do deliver "From: <good@shop.example>" "To: bert@office.example" "Subject: gut $i" "" "y"; done
run_service
settle 4
sleep 1
check "30 refused then 4 good: the 4 arrive" test "$(count_mail bert)" -eq 4
check "the 30 refused stay on the POP3 server" test "$(mailbox_count)" -eq 30
run_service
# Those the server answered with a refusal are not uploaded again; those cut off by
# its 421 are tried by the next run: no message is refused twice.
refused_once() {
  [ "$(grep $'^64\t' "$work/events.log" | cut -f7 | sort | uniq -d | wc -l)" -eq 0 ] &&
    [ "$(grep -c $'^64\t' "$work/events.log")" -ge 20 ]
}
check "the next run does not send a refused message again" refused_once

# ---- Failures at DebugLevel 0: a wrong POP3 password, a stopped Postfix.
rm -f "$(maildir_new)"/* "$work/home/anna/Maildir/cur"/*
deliver "From: <a@shop.example>" "To: anna@office.example" "Subject: eins" "" "z"
write_account "$ferryreg" 1 0 1 1 0
"$ferryreg" add "$account_key" /v "POP Passwort" /d "falsch" /f >/dev/null
before=$(events 65)
run_service
check "wrong password: one error event" test "$(events 65)" -eq $((before + 1))
grep $'^65\t' "$work/events.log" | tail -1 | sed 's/^/event: /'
check "it names the server's refusal" bash -c "grep \$'^65\t1\t' '$work/events.log' | tail -1 | grep -q 'POP3 login refused: -ERR'"
write_account "$ferryreg" 1 0 1 1 0
postfix -c "$postfix_conf" stop >/dev/null 2>&1
sleep 1
before=$(events 65)
run_service
check "stopped Postfix: one error event" test "$(events 65)" -eq $((before + 1))
grep $'^65\t' "$work/events.log" | tail -1 | sed 's/^/event: /'
check "it names the refused connection" bash -c "grep \$'^65\t1\t' '$work/events.log' | tail -1 | grep -q 'refused the connection'"

show_logs_when_failed
echo "$failures failed"
[ "$failures" -eq 0 ]
