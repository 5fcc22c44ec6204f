#!/usr/bin/env bash
# OAuth sign-in through the real service against real Dovecot on loopback:
# Dovecot's oauth2 passdb checks every token at the introspection endpoint of
# the loopback authorization server (HTTPS, its own test CA). "-authorize"
# runs the device grant and stores the refresh token; a run forwards over
# POP3 with XOAUTH2, the next (access token expired) refreshes, stores the
# rotated token and logs in with OAUTHBEARER; after the grant is revoked a
# run ends with the one error event and the message stays on the server.
#
#   real_oauth_servers.sh MAILFERRY2 FERRYREG FERRY_OAUTH_SERVER
# Exit 77 (skipped) only where the server packages cannot be installed.
set -euo pipefail
mailferry2=$1
ferryreg=$2
oauth_server=$3

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../crash/real_servers_env.sh
source "$here/../crash/real_servers_env.sh"

work=$(mktemp -d /tmp/mailferry-oauth.XXXXXX)
service=""
oauth_pid=""
cleanup() {
  [ -n "$service" ] && kill -INT "$service" 2>/dev/null
  [ -n "$oauth_pid" ] && kill "$oauth_pid" 2>/dev/null
  stop_servers
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Postfix as the office's server (and a first Dovecot, replaced below).
start_servers
kill "${server_pids[0]}" 2>/dev/null || true
wait "${server_pids[0]}" 2>/dev/null || true
server_pids=("${server_pids[@]:1}")

# ---- The authorization server, commanded through a fifo.
mkfifo "$work/oauth-control"
"$oauth_server" anna <"$work/oauth-control" >"$work/oauth.out" 2>&1 &
oauth_pid=$!
exec 4>"$work/oauth-control"
for _ in $(seq 1 50); do grep -q '^ca ' "$work/oauth.out" 2>/dev/null && break; sleep 0.1; done
oauth_value() { awk -v k="$1" '$1 == k { print $2 }' "$work/oauth.out"; }
token_url=$(oauth_value token)
device_url=$(oauth_value device)
introspect_url=$(oauth_value introspect)
ca_file=$(oauth_value ca)
[ -n "$ca_file" ] || { echo "FAIL: the authorization server did not start"; cat "$work/oauth.out"; exit 1; }
cp "$ca_file" "$work/oauth-ca.pem"
chmod 644 "$work/oauth-ca.pem"

# ---- Dovecot with the oauth2 passdb.
cat >"$work/dovecot-oauth2.conf.ext" <<CONF
introspection_mode = post
introspection_url = $introspect_url
username_attribute = username
active_attribute = active
active_value = true
tls_ca_cert_file = $work/oauth-ca.pem
CONF
cat >"$work/dovecot.conf" <<CONF
base_dir = $work/dovecot-run
state_dir = $work/dovecot-state
log_path = $work/dovecot.log
auth_verbose = yes
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = xoauth2 oauthbearer
first_valid_uid = 1
mail_location = maildir:~/Maildir
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $work/dovecot-oauth2.conf.ext
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
dovecot -F -c "$work/dovecot.conf" &
server_pids+=("$!")
wait_port "$pop_port"

# ---- The account: OAuth values on top of the plain one.
write_account "$ferryreg" 1 10
set_value() { "$ferryreg" add "$account_key" /v "$1" /d "$2" /f >/dev/null; }
set_number() { "$ferryreg" add "$account_key" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null; }
stored() { "$ferryreg" query "$account_key" /v "$1" | awk -F'    ' 'NF >= 4 { print $4 }'; }
"$ferryreg" delete "$account_key" /v "POP Passwort" /f >/dev/null
set_number "POP Auth" 1
set_value "OAuth Token URL" "$token_url"
set_value "OAuth Device URL" "$device_url"
set_value "OAuth Client ID" ferry-test-client
set_value "OAuth Scope" "mail offline_access"
set_value "TLS CA File" "$ca_file"

touch "$work/events.log"
count() { awk -v id="$1" -F'\t' '$1 == id { n++ } END { print n + 0 }' "$work/events.log"; }
run_once() {  # triggers until one more run report, run failure or refused sign-in is written
  local before
  before=$(($(count 5) + $(count 65) + $(count 73)))
  "$mailferry2" -debug >>"$work/service.out" 2>&1 &
  service=$!
  for _ in $(seq 1 20); do
    trigger
    for _ in 1 2 3 4 5 6; do
      [ $(($(count 5) + $(count 65) + $(count 73))) -gt "$before" ] && break 2
      sleep 0.5
    done
  done
  sleep 0.5
  kill -INT "$service" 2>/dev/null || true
  wait "$service" 2>/dev/null || true
  service=""
}
message() {  # id
  printf '%s\n' "From: Provider <info@provider.example>" "X-OAuth-Id: $1" "Subject: OAuth $1" "" "Hallo." |
    put_message "500$1.M5P5.oauth"
}
arrived() {  # id
  for _ in $(seq 1 50); do
    delivered_files | xargs -r grep -l "^X-OAuth-Id: $1\$" 2>/dev/null | grep -q . && return 0
    sleep 0.2
  done
  return 1
}
logins() { grep -Ec "pop3-login: (Info: )?Login: user=<anna>, method=$1," "$work/dovecot.log" || true; }

failures=0
check() {  # description, condition...
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}

"$mailferry2" -authorize NORAS Real >"$work/authorize.out" 2>&1 && authorized=0 || authorized=$?
echo "--- what -authorize shows"; cat "$work/authorize.out"
check "-authorize ends with the account authorised" test "$authorized" -eq 0
check "  it showed the code to enter" grep -q 'enter the code FERRY-42' "$work/authorize.out"
check "  the refresh token is in the account's entry" test "$(stored "OAuth Refresh Token")" = refresh-1

message 1
run_once
check "POP3 with XOAUTH2 (Dovecot asked the introspection endpoint): forwarded" arrived 1
check "  Dovecot logged the XOAUTH2 login" test "$(logins XOAUTH2)" -ge 1
check "  and deleted from the POP3 mailbox" test "$(mailbox_count)" -eq 0

message 2
set_number "POP Auth" 2
set_number "OAuth Access Expiry" 1
run_once
check "after the access token's expiry, OAUTHBEARER with a refreshed token: forwarded" arrived 2
check "  Dovecot logged the OAUTHBEARER login" test "$(logins OAUTHBEARER)" -ge 1
check "  the rotated refresh token was stored" test "$(stored "OAuth Refresh Token")" = refresh-2
check "no token reached the debug log" bash -c "! grep -Eq 'access-[0-9]|refresh-[0-9]' '$work/debug.log'"

echo revoke >&4
message 3
set_number "OAuth Access Expiry" 1
run_once
check "a revoked grant: one sign-in error event saying to authorise again" \
  grep -qx $'73\t1\tNORAS\tReal\tinvalid_grant' "$work/events.log"
check "  and no run failure event besides" test "$(count 65)" -eq 0
check "  the message stays on the server" test "$(mailbox_count)" -eq 1

show_logs_when_failed
echo "--- the sign-in events"
grep $'^73\t' "$work/events.log" || true
passed=$((13 - failures))
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
