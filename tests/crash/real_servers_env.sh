# Sourced by the crash-safety test and the benchmark: Dovecot (POP3, user
# "anna" with a Maildir) and Postfix (SMTP, virtual domain office.example, all
# mail kept in Maildirs under $work/vmail) on 127.0.0.1, started as processes of
# the calling script with their configuration in $work, and a throwaway
# settings store with one account "NORAS\Real". Used by the real-server
# integration test too.
#
#   work=$(mktemp -d ...); source tests/crash/real_servers_env.sh
#   start_servers; write_account FERRYREG POP_DELETE MAX_MAILS [MODE [FROM_MODE [DEBUG]]]
#   ...; stop_servers
# Optional, set before the call: postfix_main_extra (lines added to Postfix's
# main.cf by start_servers), global_extra and account_extra (.reg value lines
# added to the Parameters key and to the account by write_account).
# Needs root (the servers switch users). Exit 77 where they cannot be had.

servers_skip() { echo "SKIPPED: $*"; exit 77; }

install_servers() {
  command -v dovecot >/dev/null && command -v postfix >/dev/null && command -v smtp-source >/dev/null && return 0
  [ "$(id -u)" -eq 0 ] || servers_skip "dovecot/postfix are not installed and installing them needs root"
  export DEBIAN_FRONTEND=noninteractive
  echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections 2>/dev/null || true
  local policy_added=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d && policy_added=1
  fi
  local ok=0
  { apt-get update -qq && apt-get install -y -qq --no-install-recommends dovecot-core dovecot-pop3d postfix; } \
    >/dev/null 2>&1 || ok=1
  [ -n "$policy_added" ] && rm -f /usr/sbin/policy-rc.d
  [ $ok -eq 0 ] || servers_skip "apt-get could not install dovecot-core dovecot-pop3d postfix"
}

free_ports() {  # prints three free loopback ports
  python3 -c '
import socket
s=[socket.socket() for _ in range(3)]
[x.bind(("127.0.0.1",0)) for x in s]
print(" ".join(str(x.getsockname()[1]) for x in s))'
}

maildir_new() { echo "$work/home/anna/Maildir/new"; }

start_servers() {
  install_servers
  [ "$(id -u)" -eq 0 ] || servers_skip "starting postfix and dovecot with their own users needs root"
  chmod 755 "$work"
  read -r pop_port smtp_port trigger_port <<<"$(free_ports)"
  mail_uid=$(id -u nobody)
  mail_gid=$(id -g nobody)
  server_pids=()

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
  chown -R "$mail_uid:$mail_gid" "$work/home"
  dovecot -F -c "$work/dovecot.conf" &
  server_pids+=("$!")

  postfix_conf="$work/postfix"
  mkdir -p "$postfix_conf" "$work/vmail" "$work/postfix-queue" "$work/postfix-data"
  chown "$mail_uid:$mail_gid" "$work/vmail"
  chown postfix "$work/postfix-data"
  cat >"$postfix_conf/main.cf" <<CONF
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
virtual_mailbox_maps = texthash:$postfix_conf/vmailbox
virtual_mailbox_limit = 0
message_size_limit = 0
virtual_uid_maps = static:$mail_uid
virtual_gid_maps = static:$mail_gid
maillog_file = $work/postfix.log
maillog_file_prefixes = $work
smtputf8_enable = no
biff = no
${postfix_main_extra:-}
CONF
  for u in anna bert carla postmaster; do echo "$u@office.example $u/"; done >"$postfix_conf/vmailbox"
  cat >"$postfix_conf/master.cf" <<CONF
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
  postfix -c "$postfix_conf" check >/dev/null 2>&1 || { echo "FAIL: postfix rejects its configuration"; exit 1; }
  postfix -c "$postfix_conf" start >/dev/null 2>&1 || { echo "FAIL: postfix did not start"; exit 1; }
  wait_port "$pop_port"
  wait_port "$smtp_port"
}

wait_port() {
  for _ in $(seq 1 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.2
  done
  echo "FAIL: nothing listens on 127.0.0.1:$1"; exit 1
}

stop_servers() {
  [ -n "${postfix_conf:-}" ] && postfix -c "$postfix_conf" stop >/dev/null 2>&1
  for pid in "${server_pids[@]:-}"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null; done
  return 0
}

# Puts a message (text with LF line ends) into anna's POP3 mailbox.
put_message() {  # name, text on stdin
  cat >"$(maildir_new)/$1"
  chown "$mail_uid:$mail_gid" "$(maildir_new)/$1"
}

mailbox_count() { find "$work/home/anna/Maildir/new" "$work/home/anna/Maildir/cur" -type f | wc -l; }

# The account "NORAS\Real". By default everything goes to
# postmaster@office.example (Addressmode 0) from the "From:" address
# (Addressmode From 1), at DebugLevel 2.
write_account() {  # ferryreg, pop-delete (0/1), max-mails, [addressmode, addressmode-from, debuglevel]
  export MAILFERRY_HIVE="$work/registry.hive"
  export MAILFERRY_EVENT_FILE="$work/events.log"
  export MAILFERRY_POP3_PORT=$pop_port
  export MAILFERRY_SMTP_PORT=$smtp_port
  export MAILFERRY_TRIGGER_ADDRESS=127.0.0.1
  export MAILFERRY_NOTICE_ADDRESS=127.0.0.1
  account_key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters\NORAS\Real'
  local key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters'
  cat >"$work/account.reg" <<REG
Windows Registry Editor Version 5.00

[$key]
"DebugLevel"=dword:$(printf '%08x' "${6:-2}")
"TriggerPort"=dword:$(printf '%08x' "$trigger_port")
${global_extra:-}

[$key\\NORAS]
"Enable Logging"=dword:00000001
"Logfile"="$work/debug.log"

[$key\\NORAS\\Real]
"Enable Account"=dword:00000001
"POP Host"="127.0.0.1"
"POP User"="anna"
"POP Passwort"="geheim"
"POP Delete"=dword:$(printf '%08x' "$2")
"SMTP Host"="127.0.0.1"
"SMTP From"="gateway@office.example"
"SMTP To"="postmaster@office.example"
"Addressmode"=dword:$(printf '%08x' "${4:-0}")
"Addressmode From"=dword:$(printf '%08x' "${5:-1}")
"Max Mails"=dword:$(printf '%08x' "$3")
${account_extra:-}
REG
  "$1" import "$work/account.reg" >/dev/null
}

trigger() { printf 'NORAS' >"/dev/udp/127.0.0.1/$trigger_port" 2>/dev/null || true; }

delivered_files() { find "$work/vmail" -type f -path '*/new/*' 2>/dev/null; }

# After a failed check: the end of every log the test wrote, to see why.
show_logs_when_failed() {
  [ "$failures" -eq 0 ] && return 0
  echo "--- debug log"; tr -d '\r' <"$work/debug.log" 2>/dev/null | grep -v '^$' | tail -80 || true
  local log
  for log in postfix dovecot service site; do
    for f in "$work/$log.log" "$work/$log.out"; do
      [ -f "$f" ] && { echo "--- $(basename "$f")"; tail -30 "$f"; }
    done
  done
  echo "--- events"; cat "$work/events.log" 2>/dev/null || true
}
