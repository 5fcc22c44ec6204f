#!/usr/bin/env bash
# The Debian packages on this machine: builds them with cpack from the build
# tree, runs lintian (no errors allowed), installs both with dpkg (a root-owned
# store from an older install in place, to be handed to the service user),
# checks the files, the user, the unit and its exposure score, runs the
# installed service as "mailferry" for one trigger against a throwaway store
# and loopback peers, then purges both packages and checks nothing is left.
# Needs root; skipped (77) where it is not root or where the packages or the
# user already exist (a real installation is never touched).
#
#   package_test.sh BUILD_DIR FERRY_DEMO_PEERS
set -euo pipefail
build=$(cd "$1" && pwd)
peers_program=$2
max_exposure=2.0
unit=mailferry2.service
packages=(ferryconsole mailferry2)

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*" >&2; exit 77; }

[ "$(id -u)" = 0 ] || skip "needs root (installs packages)"
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f '${db:Status-Status}' "$p" 2>/dev/null || true)
  if [ -n "$status" ] && [ "$status" != not-installed ]; then skip "package $p is already on this machine ($status)"; fi
done
getent passwd mailferry >/dev/null && skip "the user mailferry already exists"
[ -e /var/lib/mailferry ] && skip "/var/lib/mailferry already exists"

work=$(mktemp -d /tmp/mailferry-package.XXXXXX)
chmod 0755 "$work"
pids=()
installed=0
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ "$installed" = 1 ]; then dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== cpack"
(cd "$build" && cpack -G DEB -B "$work/cpack" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
# A build without the console (no Qt, or FERRY_BUILD_CONSOLE=OFF) makes only mailferry2.
with_console=1
if ! ls "$work"/cpack/ferryconsole_*.deb >/dev/null 2>&1; then
  with_console=0
  packages=(mailferry2)
  echo "   no console in this build: mailferry2 only"
fi
debs=()
for p in "${packages[@]}"; do
  deb=$(ls "$work"/cpack/"${p}"_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || fail "no package $p was built"
  debs+=("$deb")
done

echo "== lintian"
if ! command -v lintian >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends lintian >"$work/apt.log" 2>&1 ||
    skip "lintian cannot be installed"
fi
lintian_rc=0
lintian "${debs[@]}" >"$work/lintian.out" 2>&1 || lintian_rc=$?
grep -v '^running with root privileges' "$work/lintian.out" || true
grep -q '^E: ' "$work/lintian.out" && fail "lintian reports errors"
[ "$lintian_rc" = 0 ] || fail "lintian exited with $lintian_rc"

echo "== an older root-owned store in /var/lib/mailferry"
mkdir -m 0700 /var/lib/mailferry
installed=1  # from here on the cleanup purges, which also removes this folder
MAILFERRY_HIVE=/var/lib/mailferry/registry.hive "$build/tools/ferryreg/ferryreg" add \
  'HKLM\SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters' /v DebugLevel /t REG_DWORD /d 2 /f >/dev/null

echo "== dpkg -i"
if ! dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -f -y >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f '${Status}\n' "$p" | grep -q '^install ok installed' || { cat "$work/dpkg.log"; fail "$p not installed"; }
done
dpkg -L "${packages[@]}" | sort -u >"$work/files"

echo "== files"
for f in /usr/sbin/mailferry2 /usr/bin/ferryreg /usr/lib/systemd/system/$unit /etc/logrotate.d/mailferry2 \
  /usr/share/doc/mailferry2/sample-config.reg /usr/share/doc/mailferry2/copyright /usr/share/man/man8/mailferry2.8.gz \
  /usr/share/man/man1/ferryreg.1.gz /usr/share/man/man5/mailferry2-settings.5.gz; do
  [ -e "$f" ] || fail "$f is missing"
done
[ -x /usr/sbin/mailferry2 ] && [ -x /usr/bin/ferryreg ] || fail "the programs are not executable"
if [ "$with_console" = 1 ]; then
  for f in /usr/bin/FerryConsole /usr/lib/mailferry2/libmailferryres.so /usr/share/man/man1/FerryConsole.1.gz; do
    [ -e "$f" ] || fail "$f is missing"
  done
  # The console finds its value library beside its program file.
  console=$(readlink -f /usr/bin/FerryConsole)
  [ -f "$(dirname "$console")/libmailferryres.so" ] || fail "libmailferryres.so is not beside $console"
  python3 -c 'import ctypes, sys; lib = ctypes.CDLL(sys.argv[1]); lib.GetValue; lib.SetValue' \
    /usr/lib/mailferry2/libmailferryres.so || fail "the value library does not load or lacks GetValue/SetValue"
fi
zcat /usr/share/man/man5/mailferry2-settings.5.gz | grep -q '"POP Host"' || fail "the settings page lacks \"POP Host\""
if command -v man >/dev/null; then
  for page in $(grep '^/usr/share/man/.*\.gz$' "$work/files"); do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
  done
fi
if command -v logrotate >/dev/null; then
  logrotate -d /etc/logrotate.d/mailferry2 >"$work/logrotate.out" 2>&1 || { cat "$work/logrotate.out"; fail "logrotate rejects its rule"; }
fi

echo "== user and folders"
IFS=: read -r _ _ uid gid _ home shell < <(getent passwd mailferry) || fail "no user mailferry"
[ "$uid" -lt 1000 ] || fail "mailferry is not a system user (uid $uid)"
[ "$home" = /var/lib/mailferry ] || fail "mailferry's home is $home"
case "$shell" in */nologin | */false) ;; *) fail "mailferry has the login shell $shell" ;; esac
[ "$(getent group mailferry | cut -d: -f3)" = "$gid" ] || fail "mailferry's group is not mailferry"
[ "$(stat -c '%U:%G %a' /var/lib/mailferry)" = "mailferry:mailferry 700" ] ||
  fail "/var/lib/mailferry is $(stat -c '%U:%G %a' /var/lib/mailferry)"
for f in /var/lib/mailferry/registry.hive*; do
  [ "$(stat -c %U "$f")" = mailferry ] || fail "$f was not handed to mailferry"
done
[ "$(runuser -u mailferry -- env MAILFERRY_HIVE=/var/lib/mailferry/registry.hive ferryreg query \
  'HKLM\SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters' /v DebugLevel | grep -c 0x2)" = 1 ] ||
  fail "the handed store does not read back as mailferry"
[ "$(stat -c '%U:%G' /var/log/mailferry)" = mailferry:mailferry ] || fail "/var/log/mailferry is not mailferry's"

echo "== unit"
[ -L /etc/systemd/system/multi-user.target.wants/$unit ] || fail "the unit is not enabled"
if command -v systemd-analyze >/dev/null; then
  man_check=()
  command -v man >/dev/null || man_check=(--man=no)
  systemd-analyze verify "${man_check[@]}" /usr/lib/systemd/system/$unit || fail "systemd-analyze verify"
  systemd-analyze security --offline=true /usr/lib/systemd/system/$unit >"$work/security.out" 2>&1 || true
  exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' "$work/security.out")
  [ -n "$exposure" ] || { cat "$work/security.out"; fail "no exposure score"; }
  echo "   exposure $exposure (at most $max_exposure)"
  awk -v e="$exposure" -v m="$max_exposure" 'BEGIN { exit !(e <= m) }' || fail "exposure $exposure above $max_exposure"
else
  echo "   systemd-analyze not available: unit not verified"
fi

echo "== the installed service as mailferry, one trigger on loopback"
run=$work/run
install -d -o mailferry -g mailferry -m 0700 "$run"
free_ports() {  # three free ports on loopback
  python3 - <<'PY'
import socket
socks = [socket.socket() for _ in range(3)]
for s in socks: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
}
# A port found free may be taken before the peers bind it (other tests run
# meanwhile): try fresh ports until the peers listen.
peers=
for _ in 1 2 3 4 5; do
  read -r pop_port smtp_port trigger_port < <(free_ports)
  "$peers_program" 127.0.0.1 "$pop_port" "$smtp_port" >"$work/peers.out" 2>&1 &
  peers=$!
  for _ in $(seq 1 40); do
    grep -q '^POP3 mailbox on' "$work/peers.out" && break 2
    kill -0 "$peers" 2>/dev/null || break
    sleep 0.25
  done
  kill -KILL "$peers" 2>/dev/null || true
  wait "$peers" 2>/dev/null || true
  peers=
done
[ -n "$peers" ] || { cat "$work/peers.out"; fail "the loopback peers do not listen"; }
pids+=("$peers")
# setpriv execs the program: $! of a started command is the program itself.
as_mailferry=(setpriv --reuid=mailferry --regid=mailferry --init-groups -- env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin
  MAILFERRY_HIVE="$run/registry.hive" MAILFERRY_EVENT_FILE="$run/events.log"
  MAILFERRY_POP3_PORT="$pop_port" MAILFERRY_SMTP_PORT="$smtp_port"
  MAILFERRY_TRIGGER_ADDRESS=127.0.0.1 MAILFERRY_NOTICE_ADDRESS=127.0.0.1)
stop() {  # pid: SIGINT, then SIGKILL after 10 s
  kill -INT "$1" 2>/dev/null || true
  for _ in $(seq 1 40); do kill -0 "$1" 2>/dev/null || break; sleep 0.25; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
key='HKLM\SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters'
# The shipped sample, pointed at the loopback peers.
"${as_mailferry[@]}" ferryreg import /usr/share/doc/mailferry2/sample-config.reg >/dev/null || fail "the sample does not import"
"${as_mailferry[@]}" ferryreg add "$key" /v TriggerPort /d "$trigger_port" /f >/dev/null
"${as_mailferry[@]}" ferryreg add "$key\\NORAS" /v Logfile /d "$run/debug.log" /f >/dev/null
for pair in "POP Host=127.0.0.1" "SMTP Host=127.0.0.1" "POP User=demo" "POP Passwort=demo-passwort"; do
  "${as_mailferry[@]}" ferryreg add "$key\\NORAS\\Office" /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null
done
"${as_mailferry[@]}" mailferry2 -debug >"$work/service.out" 2>&1 &
service=$!
pids+=("$service")
reported=0
for _ in $(seq 1 40); do
  printf 'NORAS' >"/dev/udp/127.0.0.1/$trigger_port" 2>/dev/null || true
  for _ in 1 2 3 4 5 6; do
    if grep -q $'^5\t' "$run/events.log" 2>/dev/null; then reported=1; break 2; fi
    kill -0 "$service" 2>/dev/null || break 2
    sleep 0.25
  done
done
stop "$service"
stop "$peers"
pids=()
if [ "$reported" != 1 ] || ! grep -q 'The SMTP sink received 4 message' "$work/peers.out" ||
  ! grep -q 'Left in the POP3 mailbox: 0 message' "$work/peers.out"; then
  echo "-- peers"; cat "$work/peers.out"; echo "-- events"; cat "$run/events.log" 2>/dev/null || true
  echo "-- service"; cat "$work/service.out"
  echo "-- debug log"; tr -d '\r' <"$run/debug.log" 2>/dev/null || true
  fail "the installed service did not forward the mailbox"
fi
grep -q "RCPT TO:<\?office@example.org" "$work/peers.out" || { cat "$work/peers.out"; fail "the sample's \"SMTP To\" was not the recipient"; }
[ "$(stat -c %U "$run/registry.hive")" = mailferry ] || fail "the store's owner changed"
echo "   4 messages forwarded, mailbox empty"

echo "== dpkg --purge"
dpkg --purge "${packages[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "dpkg --purge"; }
installed=0
left=()
while read -r f; do
  [ -f "$f" ] || [ -L "$f" ] && left+=("$f")
done <"$work/files"
for f in /var/lib/mailferry /var/log/mailferry /etc/logrotate.d/mailferry2 \
  /etc/systemd/system/multi-user.target.wants/$unit /etc/systemd/system/$unit \
  /var/lib/systemd/deb-systemd-helper-enabled/$unit.dsh-also /usr/lib/mailferry2; do
  [ -e "$f" ] || [ -L "$f" ] && left+=("$f")
done
[ ${#left[@]} = 0 ] || fail "left after the purge: ${left[*]}"
getent passwd mailferry >/dev/null && fail "the user mailferry is left after the purge"
getent group mailferry >/dev/null && fail "the group mailferry is left after the purge"
echo "PASS"
