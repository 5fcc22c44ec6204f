#!/usr/bin/env bash
# Crash safety against real servers on loopback: a POP3 mailbox (Dovecot) of
# varied messages, "POP Delete" on, batches of "Max Mails" 7, and mailferry2
# killed with SIGKILL at random moments of its runs, many times over; then
# restarted and triggered until the mailbox is empty. Checks that every message
# reached Postfix (none deleted without being delivered), that the delivery
# ledger kept the copies down to at most one extra per kill (only the message
# whose final "." was sent and whose acceptance was not yet written to the
# ledger can be doubled), and that the "In Use" flag is clear after a restart.
# Prints the extra copies per ten kills.
#
#   crash_safety.sh MAILFERRY2 FERRYREG [MESSAGES [KILLS [SEED]]]
# Defaults: 300 messages, 25 kills. Exit 77 (skipped) where the servers cannot be had.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mailferry2=$1
ferryreg=$2
messages=${3:-300}
kills=${4:-25}
seed=${5:-$RANDOM}
RANDOM=$seed

work=$(mktemp -d /tmp/mailferry-crash.XXXXXX)
service=""
cleanup() {
  [ -n "$service" ] && kill -KILL "$service" 2>/dev/null
  stop_servers
  wait 2>/dev/null || true
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# shellcheck source=real_servers_env.sh
source "$here/real_servers_env.sh"
start_servers
write_account "$ferryreg" 1 7 0 1 "${DEBUG_LEVEL:-2}"

# ---- the mailbox: sizes from a line to ~200 KB, dot lines, header forms
line=$(printf '%076d' 0 | tr 0 x)
for n in $(seq 1 "$messages"); do
  lines=$(( RANDOM % 4 == 0 ? RANDOM % 2600 : RANDOM % 40 ))
  {
    case $((n % 4)) in
      0) printf 'From: Sender %d <s%d@sender.example>\nTo: Anna <anna@mailbox.example>\n' "$n" "$n" ;;
      1) printf 'from: s%d@sender.example (klein)\nTO: anna@mailbox.example\n' "$n" ;;
      2) printf 'Subject: gefaltet\n Zeile %d\nFrom: "Club %d" <club@example.org>\n' "$n" "$n" ;;
      3) printf 'X-Kein-Absender: ja\n' ;;
    esac
    printf 'X-Crash-Id: %d\nSubject: Nummer %d\n\n' "$n" "$n"
    printf 'Text %d\n.\n..zwei\n' "$n"
    for _ in $(seq 1 "$lines"); do echo "$line"; done
    echo "Ende $n"
  } | put_message "$((1000 + n)).M$n.crash"
done
echo "mailbox: $messages messages, $(du -sk "$(maildir_new)" | cut -f1) KB; seed $seed"

start_service() {
  "$mailferry2" -debug >>"$work/service.out" 2>&1 &
  service=$!
  sleep 0.3
}
in_use() { "$ferryreg" query "$account_key" /v "In Use" 2>/dev/null | grep -o '0x[0-9a-f]*' || echo "?"; }

# ---- killed at random moments of its runs: within the first KILL_MS (default
# 400) ms after the trigger, so that most kills land while mail is moving.
kill_ms=${KILL_MS:-400}
busy_kills=0
in_use_bad=0
for k in $(seq 1 "$kills"); do
  start_service
  flag=$(in_use)
  [ "$flag" = "0x0" ] || [ "$flag" = "?" ] || { echo "In Use is $flag after restart $k"; in_use_bad=$((in_use_bad + 1)); }
  [ "$(mailbox_count)" -gt 0 ] && busy_kills=$((busy_kills + 1))
  trigger
  sleep "0.$(printf '%03d' $((RANDOM % kill_ms)))"
  kill -KILL "$service" 2>/dev/null || true
  wait "$service" 2>/dev/null || true
  service=""
done
echo "killed $kills times ($busy_kills with mail left); $(mailbox_count) messages left in the mailbox"

# ---- restarted until the mailbox is empty
start_service
flag=$(in_use)
[ "$flag" = "0x0" ] || [ "$flag" = "?" ] || { echo "In Use is $flag after the last restart"; in_use_bad=$((in_use_bad + 1)); }
for _ in $(seq 1 120); do
  [ "$(mailbox_count)" -eq 0 ] && break
  trigger
  sleep 2
done
kill -INT "$service" 2>/dev/null || true
wait "$service" 2>/dev/null || true
service=""
final_flag=$(in_use)

# Postfix delivers from its queue shortly after accepting.
for _ in $(seq 1 150); do
  got=$(delivered_files | xargs -r grep -h '^X-Crash-Id:' | sort -u | wc -l)
  [ "$got" -ge "$messages" ] && break
  sleep 0.2
done

delivered_files | xargs -r grep -h '^X-Crash-Id:' | awk '{print $2}' | sort -n | uniq -c >"$work/counts"
copies=$(awk '{s += $1} END {print s + 0}' "$work/counts")
distinct=$(wc -l <"$work/counts")
lost=$((messages - distinct))
duplicates=$((copies - distinct))
left=$(mailbox_count)
echo "messages $messages, kills $kills, delivered $distinct distinct in $copies copies: lost $lost, duplicates $duplicates, left in mailbox $left"

failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}
check "every message delivered at least once" test "$lost" -eq 0
check "at most the message in flight doubled per kill ($duplicates for $busy_kills kills with mail left)" \
  test "$duplicates" -le "$busy_kills"
echo "extra copies per ten kills: $(awk -v d="$duplicates" -v k="$kills" 'BEGIN {printf "%.1f", 10 * d / k}')"
check "the mailbox is empty (nothing deleted that was not delivered: lost is 0)" test "$left" -eq 0
check "In Use clear after every restart" test "$in_use_bad" -eq 0
check "In Use clear after the last run" test "$final_flag" = "0x0"
if [ "$failures" -ne 0 ]; then
  echo "--- debug log (tail)"; tr -d '\r' <"$work/debug.log" | grep -v '^$' | tail -40 || true
  echo "--- postfix log (tail)"; tail -20 "$work/postfix.log" 2>/dev/null || true
fi
[ "$failures" -eq 0 ]
