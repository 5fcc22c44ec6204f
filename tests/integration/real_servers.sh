#!/usr/bin/env bash
# An account run through the real service against real servers on loopback:
# Dovecot (POP3) holding a mailbox of varied messages, and Postfix (SMTP) with a
# virtual mail domain. Both are started here without systemd, as this test's own
# processes with their configuration in a temporary folder, and stopped at the
# end. Checks that every message arrived once at the recipient its address mode
# names, carrying the x-info line, and that the POP3 mailbox is empty afterwards;
# then, with "POP Delete" off, that three runs forward each message once.
#
#   real_servers.sh MAILFERRY2 FERRYREG
# Exit 77 (skipped) only where the server packages cannot be installed.
set -euo pipefail
mailferry2=$1
ferryreg=$2

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../crash/real_servers_env.sh
source "$here/../crash/real_servers_env.sh"

work=$(mktemp -d /tmp/mailferry-real.XXXXXX)
service=""
cleanup() {
  [ -n "$service" ] && kill -INT "$service" 2>/dev/null
  stop_servers
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
start_servers

n=0
deliver() {  # header lines and body with LF endings into the Maildir
  n=$((n + 1))
  printf '%s\n' "$@" | put_message "100$n.M1P1.test"
}
deliver "From: Info Desk <info@shop.example>" "To: Anna Berg <anna@mailbox.example>" "Subject: Bestellung" "" \
  "Ihre Bestellung ist unterwegs." "." ".. zwei Punkte" "Ende."
deliver "from: bob@sender.example (Bob)" "TO: bert@mailbox.example" "Subject: kleine Buchstaben" "" "Hallo Bert!"
deliver "To: <carla@mailbox.example>" "From: \"Carla's Club\" <club@example.org>" "Subject: gefaltete" \
  " Betreffzeile" "" "Treffen am Freitag."
deliver "From: Newsletter <news@example.net>" "Cc: list@mailbox.example" "Subject: ohne To" "" "Kein Empfaenger."
deliver "From: Big <big@example.net>" "Reply-To: <reply@example.net>" "Subject: gross" \
  "To: Anna Berg <anna@mailbox.example>" "" "$(head -c 60000 /dev/zero | tr '\0' 'x' | fold -w 76)"
# ---- The account: recipient by local part (Addressmode 2), sender reduced
# from "From:" (Addressmode From 3), POP Delete on, Max Mails 2 (three batches).
write_account "$ferryreg" 1 2 2 3 4
"$mailferry2" -debug >"$work/service.out" 2>&1 &
service=$!
for _ in $(seq 1 40); do
  trigger
  for _ in 1 2 3 4 5 6; do
    grep -q $'^5\t' "$work/events.log" 2>/dev/null && break 2
    sleep 0.5
  done
done
kill -INT "$service" 2>/dev/null || true
wait "$service" 2>/dev/null || true
service=""

# Postfix delivers from its queue shortly after accepting.
count_mail() { find "$work/vmail/$1" -type f -path '*/new/*' 2>/dev/null | wc -l; }
for _ in $(seq 1 50); do
  total=0
  for u in anna bert carla postmaster; do total=$((total + $(count_mail $u))); done
  [ "$total" -ge 5 ] && break
  sleep 0.2
done

failures=0
check() {  # description, condition...
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}
expect_count() { [ "$(count_mail "$1")" -eq "$2" ]; }
check "the run reported 5 messages" grep -q $'^5\t2\tNORAS\tReal\t5$' "$work/events.log"
check "anna@office.example received 2 messages" expect_count anna 2
check "bert@office.example received 1 message" expect_count bert 1
check "carla@office.example received 1 message" expect_count carla 1
check "postmaster@office.example (no To:) received 1 message" expect_count postmaster 1
every_xinfo() {
  for f in $(find "$work/vmail" -type f -path '*/new/*'); do
    grep -q '^x-info: Forwarded from POP3 <-> SMTP Gateway' "$f" || return 1
  done
}
check "every delivered message carries the x-info line" every_xinfo
check "the envelope sender of the first message is info@shop.example" \
  grep -rqs '^Return-Path: <info@shop.example>' "$work/vmail/anna"
check "dot lines arrive unstuffed" grep -rqs '^\.\. zwei Punkte' "$work/vmail/anna"
check "the POP3 mailbox is empty" test -z "$(find "$work/home/anna/Maildir/new" "$work/home/anna/Maildir/cur" -type f)"

# ---- Keep mode: "POP Delete" off, three runs, a new message before the second.
# Each message is forwarded once (to postmaster, Addressmode 0) and stays.
keep_id() {  # the Keep ids found in postmaster's mail, one per copy
  find "$work/vmail/postmaster" -type f -path '*/new/*' 2>/dev/null | xargs -r grep -h '^X-Keep-Id:' | awk '{print $2}'
}
keep_message() {
  printf '%s\n' "From: Keep <keep@example.net>" "X-Keep-Id: $1" "Subject: behalten $1" "" "Bleibt liegen." |
    put_message "200$1.M2P2.keep"
}
reports() { grep -c $'^5\t' "$work/events.log" 2>/dev/null || true; }
run_once() {  # triggers until one more run report is written
  local before
  before=$(reports)
  for _ in $(seq 1 20); do
    trigger
    for _ in 1 2 3 4 5 6; do
      [ "$(reports)" -gt "$before" ] && return 0
      sleep 0.5
    done
  done
}
for k in 1 2 3; do keep_message "$k"; done
write_account "$ferryreg" 0 10
"$mailferry2" -debug >>"$work/service.out" 2>&1 &
service=$!
run_once
keep_message 4
run_once
run_once
kill -INT "$service" 2>/dev/null || true
wait "$service" 2>/dev/null || true
service=""
for _ in $(seq 1 50); do
  [ "$(keep_id | sort -u | wc -l)" -ge 4 ] && break
  sleep 0.2
done
sleep 0.5
check "keep mode: three runs forward each of 4 messages once" test "$(keep_id | sort | tr '\n' ' ')" = "1 2 3 4 "
check "keep mode: the runs report 3, 1 and 0 forwarded" \
  test "$(grep $'^5\t' "$work/events.log" | tail -3 | cut -f5 | tr '\n' ' ')" = "3 1 0 "
check "keep mode: the messages stay in the mailbox" test "$(mailbox_count)" -eq 4

show_logs_when_failed
passed=$((12 - failures))
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
