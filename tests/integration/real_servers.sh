#!/usr/bin/env bash
# An account run through the real service against real servers on loopback:
# Dovecot (POP3) holding a mailbox of varied messages, and Postfix (SMTP) with a
# virtual mail domain. Both are started here without systemd, as this test's own
# processes with their configuration in a temporary folder, and stopped at the
# end. Checks that every message arrived once at the recipient its address mode
# names, carrying the x-info line, and that the POP3 mailbox is empty afterwards.
#
#   real_servers.sh MAILFERRY2 FERRYREG
# Exit 77 (skipped) only where the server packages cannot be installed.
set -euo pipefail
mailferry2=$1
ferryreg=$2

skip() { echo "SKIPPED: $*"; exit 77; }

install_servers() {
  command -v dovecot >/dev/null && command -v postfix >/dev/null && return 0
  [ "$(id -u)" -eq 0 ] || skip "dovecot/postfix are not installed and installing them needs root"
  export DEBIAN_FRONTEND=noninteractive
  echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections 2>/dev/null || true
  # Keep the packages from starting their system-wide daemons.
  local policy_added=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d && policy_added=1
  fi
  local ok=0
  { apt-get update -qq && apt-get install -y -qq --no-install-recommends dovecot-core dovecot-pop3d postfix; } \
    >/dev/null 2>&1 || ok=1
  [ -n "$policy_added" ] && rm -f /usr/sbin/policy-rc.d
  [ $ok -eq 0 ] || skip "apt-get could not install dovecot-core dovecot-pop3d postfix"
}
install_servers
[ "$(id -u)" -eq 0 ] || skip "starting postfix and dovecot with their own users needs root"

work=$(mktemp -d /tmp/mailferry-real.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  [ -n "${service:-}" ] && kill -INT "$service" 2>/dev/null
  [ -d "$work/postfix" ] && postfix -c "$work/postfix" stop >/dev/null 2>&1
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

read -r pop_port smtp_port trigger_port <<<"$(python3 -c '
import socket
s=[socket.socket() for _ in range(3)]
[x.bind(("127.0.0.1",0)) for x in s]
print(" ".join(str(x.getsockname()[1]) for x in s))')"
mail_uid=$(id -u nobody)
mail_gid=$(id -g nobody)

# ---- Dovecot: POP3 on 127.0.0.1, one user "anna" with a Maildir
mkdir -p "$work/home/anna/Maildir/"{new,cur,tmp} "$work/dovecot-run"
cat >"$work/dovecot.conf" <<CONF
base_dir = $work/dovecot-run
state_dir = $work/dovecot-state
log_path = $work/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
first_valid_uid = 1
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $work/dovecot.passwd
}
userdb {
  driver = static
  args = uid=$mail_uid gid=$mail_gid home=$work/home/%u
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $pop_port
  }
}
service imap-login {
  inet_listener imap {
    port = 0
  }
}
CONF
echo "anna:{PLAIN}geheim" >"$work/dovecot.passwd"

n=0
deliver() {  # header lines and body with LF endings into the Maildir
  n=$((n + 1))
  printf '%s\n' "$@" >"$work/home/anna/Maildir/new/100$n.M1P1.test"
}
deliver "From: Info Desk <info@shop.example>" "To: Anna Berg <anna@mailbox.example>" "Subject: Bestellung" "" \
  "Ihre Bestellung ist unterwegs." "." ".. zwei Punkte" "Ende."
deliver "from: bob@sender.example (Bob)" "TO: bert@mailbox.example" "Subject: kleine Buchstaben" "" "Hallo Bert!"
deliver "To: <carla@mailbox.example>" "From: \"Carla's Club\" <club@example.org>" "Subject: gefaltete" \
  " Betreffzeile" "" "Treffen am Freitag."
deliver "From: Newsletter <news@example.net>" "Cc: list@mailbox.example" "Subject: ohne To" "" "Kein Empfaenger."
deliver "From: Big <big@example.net>" "Reply-To: <reply@example.net>" "Subject: gross" \
  "To: Anna Berg <anna@mailbox.example>" "" "$(head -c 60000 /dev/zero | tr '\0' 'x' | fold -w 76)"
chown -R "$mail_uid:$mail_gid" "$work/home"
dovecot -F -c "$work/dovecot.conf" &
pids+=("$!")

# ---- Postfix: SMTP on 127.0.0.1 with the virtual domain office.example
conf="$work/postfix"
mkdir -p "$conf" "$work/vmail" "$work/postfix-queue" "$work/postfix-data"
chown "$mail_uid:$mail_gid" "$work/vmail"
chown postfix "$work/postfix-data"
cat >"$conf/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $work/postfix-queue
data_directory = $work/postfix-data
mail_owner = postfix
myhostname = gateway.test
mydomain = gateway.test
myorigin = gateway.test
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
smtpd_relay_restrictions = reject_unauth_destination
virtual_mailbox_domains = office.example
virtual_mailbox_base = $work/vmail
virtual_mailbox_maps = texthash:$conf/vmailbox
virtual_uid_maps = static:$mail_uid
virtual_gid_maps = static:$mail_gid
maillog_file = $work/postfix.log
maillog_file_prefixes = $work
smtputf8_enable = no
biff = no
CONF
for u in anna bert carla postmaster; do echo "$u@office.example $u/"; done >"$conf/vmailbox"
cat >"$conf/master.cf" <<CONF
127.0.0.1:$smtp_port inet n - n - - smtpd
pickup    unix  n - n 60 1 pickup
cleanup   unix  n - n - 0 cleanup
qmgr      unix  n - n 300 1 qmgr
rewrite   unix  - - n - - trivial-rewrite
bounce    unix  - - n - 0 bounce
defer     unix  - - n - 0 bounce
trace     unix  - - n - 0 bounce
verify    unix  - - n - 1 verify
flush     unix  n - n 1000? 0 flush
proxymap  unix  - - n - - proxymap
smtp      unix  - - n - - smtp
relay     unix  - - n - - smtp
showq     unix  n - n - - showq
error     unix  - - n - - error
retry     unix  - - n - - error
discard   unix  - - n - - discard
virtual   unix  - n n - - virtual
anvil     unix  - - n - 1 anvil
scache    unix  - - n - 1 scache
postlog   unix-dgram n - n - 1 postlogd
CONF
# Postfix reports start-up faults only to syslog; "postfix check" fails on them.
postfix -c "$conf" check >/dev/null 2>&1 || { echo "FAIL: postfix rejects its configuration"; exit 1; }
postfix -c "$conf" start >/dev/null 2>&1 || { cat "$work/postfix.log" 2>/dev/null; echo "FAIL: postfix did not start"; exit 1; }

wait_port() {
  for _ in $(seq 1 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.2
  done
  echo "FAIL: nothing listens on 127.0.0.1:$1"; exit 1
}
wait_port "$pop_port"
wait_port "$smtp_port"

# ---- The account: recipient by local part (Addressmode 2), sender reduced
# from "From:" (Addressmode From 3), POP Delete on, Max Mails 2 (three batches).
export MAILFERRY_HIVE="$work/registry.hive"
export MAILFERRY_EVENT_FILE="$work/events.log"
export MAILFERRY_POP3_PORT=$pop_port
export MAILFERRY_SMTP_PORT=$smtp_port
export MAILFERRY_TRIGGER_ADDRESS=127.0.0.1
export MAILFERRY_NOTICE_ADDRESS=127.0.0.1
key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters'
cat >"$work/account.reg" <<REG
Windows Registry Editor Version 5.00

[$key]
"DebugLevel"=dword:00000004
"TriggerPort"=dword:$(printf '%08x' "$trigger_port")

[$key\\NORAS]
"Enable Logging"=dword:00000001
"Logfile"="$work/debug.log"

[$key\\NORAS\\Real]
"Enable Account"=dword:00000001
"POP Host"="127.0.0.1"
"POP User"="anna"
"POP Passwort"="geheim"
"POP Delete"=dword:00000001
"SMTP Host"="127.0.0.1"
"SMTP From"="gateway@office.example"
"SMTP To"="postmaster@office.example"
"Addressmode"=dword:00000002
"Addressmode From"=dword:00000003
"Max Mails"=dword:00000002
REG
"$ferryreg" import "$work/account.reg" >/dev/null
"$mailferry2" -debug >"$work/service.out" 2>&1 &
service=$!
for _ in $(seq 1 40); do
  printf 'NORAS' >"/dev/udp/127.0.0.1/$trigger_port" 2>/dev/null || true
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

if [ "$failures" -ne 0 ]; then
  echo "--- debug log"; tr -d '\r' <"$work/debug.log" | grep -v '^$' | tail -80 || true
  echo "--- postfix log"; tail -30 "$work/postfix.log" 2>/dev/null || true
  echo "--- dovecot log"; tail -20 "$work/dovecot.log" 2>/dev/null || true
  echo "--- events"; cat "$work/events.log" 2>/dev/null || true
fi
passed=$((9 - failures))
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
