#!/usr/bin/env bash
# Account runs through the real service over TLS against real servers on
# loopback, with a test CA made here by openssl: Dovecot with "ssl = required"
# (POP3 with STLS, and TLS from the connect on a second port; its auth socket
# serves Postfix's SASL), Postfix with a submission port (STARTTLS and a login
# required) and a port with TLS from the connect. Two runs forward and delete
# over both kinds of TLS; then three runs against certificates that must be
# refused (expired, for another host name, from an unknown CA) each end with
# the error event naming the reason, and the message stays on the server.
#
#   real_tls_servers.sh MAILFERRY2 FERRYREG
# Exit 77 (skipped) only where the server packages cannot be installed.
set -euo pipefail
mailferry2=$1
ferryreg=$2

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../crash/real_servers_env.sh
source "$here/../crash/real_servers_env.sh"

work=$(mktemp -d /tmp/mailferry-tls.XXXXXX)
service=""
cleanup() {
  [ -n "$service" ] && kill -INT "$service" 2>/dev/null
  [ -n "${postfix_conf:-}" ] && postfix -c "$postfix_conf" stop >/dev/null 2>&1
  for pid in "${server_pids[@]:-}"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
install_servers
[ "$(id -u)" -eq 0 ] || servers_skip "starting postfix and dovecot with their own users needs root"
chmod 755 "$work"

# ---- The test PKI: a CA, and server certificates good and bad.
pki=$work/pki
mkdir -p "$pki"
make_ca() {  # name
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Test CA $1" \
    -keyout "$pki/$1.key" -out "$pki/$1.pem" 2>/dev/null
}
make_cert() {  # name, CA, subjectAltName, [startdate enddate]
  local name=$1 ca=$2 san=$3
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$name" \
    -keyout "$pki/$name.key" -out "$pki/$name.csr" 2>/dev/null
  mkdir -p "$pki/db-$name"
  : >"$pki/db-$name/index.txt"
  cat >"$pki/db-$name/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $pki/db-$name/index.txt
new_certs_dir = $pki/db-$name
serial = $pki/db-$name/serial
default_md = sha256
policy = any
copy_extensions = none
x509_extensions = server
[any]
commonName = supplied
[server]
basicConstraints = CA:FALSE
keyUsage = digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = $san
CNF
  openssl rand -hex 8 >"$pki/db-$name/serial"
  local dates=(-days 2)
  [ $# -ge 5 ] && dates=(-startdate "$4" -enddate "$5")
  openssl ca -batch -config "$pki/db-$name/ca.cnf" -cert "$pki/$ca.pem" -keyfile "$pki/$ca.key" \
    -in "$pki/$name.csr" -out "$pki/$name.pem" -notext "${dates[@]}" >/dev/null 2>&1
}
make_ca office
make_ca stranger
make_cert good office "DNS:localhost,IP:127.0.0.1"
make_cert expired office "IP:127.0.0.2" 20200101000000Z 20210101000000Z
make_cert otherhost office "DNS:other.example"
make_cert unknownca stranger "IP:127.0.0.4"
chmod 644 "$pki"/*.pem "$pki"/*.key

# ---- Dovecot: ssl required; per local address another certificate.
read -r pop_port pops_port trigger_port <<<"$(free_ports)"
read -r submission_port smtps_port _ <<<"$(free_ports)"
smtp_port=$submission_port  # what the plain account writes first
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
ssl = required
ssl_cert = <$pki/good.pem
ssl_key = <$pki/good.key
ssl_min_protocol = TLSv1.2
disable_plaintext_auth = yes
auth_mechanisms = plain login
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
  inet_listener pop3s {
    address = 127.0.0.1, 127.0.0.2, 127.0.0.3, 127.0.0.4
    port = $pops_port
    ssl = yes
  }
}
service imap-login {
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    port = 0
  }
}
service auth {
  unix_listener auth-postfix {
    mode = 0666
  }
}
local 127.0.0.2 {
  ssl_cert = <$pki/expired.pem
  ssl_key = <$pki/expired.key
}
local 127.0.0.3 {
  ssl_cert = <$pki/otherhost.pem
  ssl_key = <$pki/otherhost.key
}
local 127.0.0.4 {
  ssl_cert = <$pki/unknownca.pem
  ssl_key = <$pki/unknownca.key
}
CONF
echo "anna:{PLAIN}geheim" >"$work/dovecot.passwd"
chown -R "$mail_uid:$mail_gid" "$work/home"
dovecot -F -c "$work/dovecot.conf" &
server_pids+=("$!")

# ---- Postfix: submission with STARTTLS and a login required, and TLS from the connect.
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
mynetworks =
smtpd_tls_cert_file = $pki/good.pem
smtpd_tls_key_file = $pki/good.key
smtpd_tls_mandatory_protocols = >=TLSv1.2
smtpd_sasl_type = dovecot
smtpd_sasl_path = $work/dovecot-run/auth-postfix
smtpd_relay_restrictions = permit_sasl_authenticated, reject
smtpd_recipient_restrictions = permit_sasl_authenticated, reject
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
CONF
echo "postmaster@office.example postmaster/" >"$postfix_conf/vmailbox"
cat >"$postfix_conf/master.cf" <<CONF
127.0.0.1:$submission_port inet n - n - - smtpd
  -o smtpd_tls_security_level=encrypt
  -o smtpd_sasl_auth_enable=yes
  -o smtpd_tls_auth_only=yes
127.0.0.1:$smtps_port inet n - n - - smtpd
  -o smtpd_tls_wrappermode=yes
  -o smtpd_sasl_auth_enable=yes
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
tlsmgr    unix  - - n 1000? 1 tlsmgr
CONF
postfix -c "$postfix_conf" check >/dev/null 2>&1 || { echo "FAIL: postfix rejects its configuration"; exit 1; }
postfix -c "$postfix_conf" start >/dev/null 2>&1 || { echo "FAIL: postfix did not start"; exit 1; }
for port in "$pop_port" "$pops_port" "$submission_port" "$smtps_port"; do wait_port "$port"; done

# ---- One run of the service with the TLS values set on top of the plain account.
set_value() { "$ferryreg" add "$account_key" /v "$1" /d "$2" /f >/dev/null; }
touch "$work/events.log"
reports() { awk '/^5\t/ { n++ } END { print n + 0 }' "$work/events.log"; }
errors() { awk '/^66\t/ { n++ } END { print n + 0 }' "$work/events.log"; }
run_once() {  # triggers until one more run report or TLS refusal is written
  local before_r before_e
  before_r=$(reports)
  before_e=$(errors)
  "$mailferry2" -debug >>"$work/service.out" 2>&1 &
  service=$!
  for _ in $(seq 1 20); do
    trigger
    for _ in 1 2 3 4 5 6; do
      if [ "$(reports)" -gt "$before_r" ] || [ "$(errors)" -gt "$before_e" ]; then
        run_end=$(date +%s.%N)
        break 2
      fi
      sleep 0.5
    done
  done
  sleep 0.5
  kill -INT "$service" 2>/dev/null || true
  wait "$service" 2>/dev/null || true
  service=""
}
tls_account() {  # pop host, pop security, pop port, smtp security, smtp port
  write_account "$ferryreg" 1 10
  unset MAILFERRY_POP3_PORT MAILFERRY_SMTP_PORT
  set_value "POP Host" "$1"
  set_value "POP Security" "$2"
  set_value "POP Port" "$3"
  set_value "SMTP Host" localhost
  set_value "SMTP Security" "$4"
  set_value "SMTP Port" "$5"
  set_value "SMTP User" anna
  set_value "SMTP Passwort" geheim
  set_value "TLS CA File" "$pki/office.pem"
}
message() {  # id
  printf '%s\n' "From: Provider <info@provider.example>" "X-Tls-Id: $1" "Subject: ueber TLS $1" "" "Hallo." |
    put_message "300$1.M3P3.tls"
}
arrived() {  # id
  for _ in $(seq 1 50); do
    delivered_files | xargs -r grep -l "^X-Tls-Id: $1\$" 2>/dev/null | grep -q . && return 0
    sleep 0.2
  done
  return 1
}

failures=0
check() {  # description, condition...
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}

message 1
tls_account localhost 3 "$pops_port" 2 "$submission_port"
run_once
check "POP3 with TLS from the connect, SMTP STARTTLS with a login: forwarded" arrived 1
check "  and deleted from the POP3 mailbox" test "$(mailbox_count)" -eq 0

message 2
tls_account localhost 2 "$pop_port" 3 "$smtps_port"
run_once
check "POP3 STLS, SMTP with TLS from the connect and a login: forwarded" arrived 2
check "  and deleted from the POP3 mailbox" test "$(mailbox_count)" -eq 0
check "the SMTP logins were Postfix's SASL logins over TLS" \
  test "$(grep -c 'sasl_method=PLAIN, sasl_username=anna' "$work/postfix.log")" -ge 2
check "no password reached the debug log" bash -c "! grep -q geheim '$work/debug.log'"

message 3
logins() { grep -c 'pop3-login: Login: user=<anna>' "$work/dovecot.log" || true; }
logins_before=$(logins)
for refusal in "127.0.0.2|certificate has expired" "127.0.0.3|certificate is for another host name" \
  "127.0.0.4|certificate issuer is unknown"; do
  host=${refusal%%|*}
  reason=${refusal#*|}
  tls_account "$host" 3 "$pops_port" 2 "$submission_port"
  run_once
  check "POP3 server $host refused: $reason" \
    grep -qx $'66\t1\tNORAS\tReal\tPOP3\t'"$host"$'\t'"$reason" "$work/events.log"
done
check "  the refused runs logged in nowhere: the message is still there" test "$(mailbox_count)" -eq 1
check "  Dovecot saw no login on the refused connections" test "$(logins)" -eq "$logins_before"

# ---- Optional throughput figure (bench/README.md): FERRY_TLS_BENCH="COUNT SIZE_KB"
# forwards COUNT messages of SIZE_KB over POP3 with TLS from the connect and
# SMTP STARTTLS, timed from the trigger to the run report.
if [ -n "${FERRY_TLS_BENCH:-}" ]; then
  read -r bench_count bench_kb <<<"$FERRY_TLS_BENCH"
  for i in $(seq 1 "$bench_count"); do
    { printf '%s\n' "From: Bench <bench@provider.example>" "Subject: bench $i" ""
      head -c $((bench_kb * 1024 * 3 / 4)) /dev/urandom | base64 -w 76; } | put_message "400$i.M4P4.bench"
  done
  tls_account localhost 3 "$pops_port" 2 "$submission_port"
  set_value "Max Mails" 10
  bench_bytes=$(du -sb "$work/home/anna/Maildir/new" | cut -f1)
  start=$(date +%s.%N)
  run_once
  end=$run_end
  echo "bench: $bench_count x ${bench_kb} KB over TLS: $(echo "$end - $start" | bc) s," \
    "$(echo "scale=1; $bench_bytes / 1048576 / ($end - $start)" | bc) MB/s, left in the mailbox: $(mailbox_count)"
fi

show_logs_when_failed
echo "--- the events of the refusals"
grep $'^66\t' "$work/events.log" || true
passed=$((11 - failures))
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
