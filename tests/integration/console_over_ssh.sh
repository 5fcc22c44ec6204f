#!/usr/bin/env bash
# The console on another computer over SSH, against a real sshd on loopback:
# a throwaway host key and user key, sshd started here as this user
# (127.0.0.1, a free port, its own configuration and authorized keys), and an
# ssh configuration naming the host "farhost" (and "deadhost", a port where
# nobody listens, and "flakyhost", whose key the test takes away for a while). The far computer's store is a temporary hive; the console
# reaches it with the remote command "env MAILFERRY_HIVE=... ferryreg".
#
#   console_over_ssh.sh CONSOLE_FAR_TESTS FERRYREG
# Exit 77 (skipped) only where sshd is not installed.
set -euo pipefail
tests=$(realpath "$1")
ferryreg=$(realpath "$2")  # run by the far side's shell from its home folder
sshd=/usr/sbin/sshd
if [ ! -x "$sshd" ] || ! command -v ssh >/dev/null || ! command -v ssh-keygen >/dev/null; then
  echo "openssh-server/openssh-client not installed (scripts/install-deps installs them)"
  exit 77
fi

work=$(mktemp -d /tmp/mailferry-ssh.XXXXXX)
chmod 700 "$work"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}
port=$(free_port)
dead=$(free_port)

ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/user_key"
cp "$work/user_key.pub" "$work/authorized_keys"
user=$(id -un)
cat >"$work/sshd_config" <<CONF
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile $work/sshd.pid
AuthorizedKeysFile $work/authorized_keys
StrictModes no
UsePAM no
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
AllowUsers $user
PrintMotd no
CONF
# sshd wants its privilege separation folder when started by root.
[ "$(id -u)" -eq 0 ] && mkdir -p /run/sshd && chmod 755 /run/sshd
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" >"$work/known_hosts"
cat >"$work/ssh_config" <<CONF
Host farhost deadhost
  HostName 127.0.0.1
  User $user
  IdentityFile $work/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking yes
  LogLevel ERROR
Host farhost
  Port $port
Host deadhost
  Port $dead
Host flakyhost
  HostName 127.0.0.1
  Port $port
  User $user
  IdentityFile $work/flaky_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking yes
  LogLevel ERROR
CONF
# "flakyhost" logs in with a copy of the key that the test takes away for a while.
cp "$work/user_key" "$work/flaky_key"

"$sshd" -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
pid=$!
ready=0
for _ in $(seq 1 100); do
  if ssh -F "$work/ssh_config" -o BatchMode=yes farhost true 2>/dev/null; then
    ready=1
    break
  fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ "$ready" -ne 1 ]; then
  echo "sshd did not let the test user in:"
  cat "$work/sshd.log"
  exit 1
fi

FERRY_FAR_HOST=farhost FERRY_FAR_DEAD_HOST=deadhost FERRY_FAR_FLAKY_HOST=flakyhost FERRY_FLAKY_KEY="$work/flaky_key" \
  FERRY_SSH_CONFIG="$work/ssh_config" FERRY_FERRYREG="$ferryreg" \
  "$tests" --gtest_filter='FarStoreSsh*'
