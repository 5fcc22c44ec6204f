#!/usr/bin/env bash
# Both news tickers and a news feed through the real service, against a web
# site on loopback (a small Python server), Dovecot (POP3) and a Postfix that
# refuses any bare line feed (smtpd_forbid_bare_newline = reject, loopback
# included). Checks that every ticker and feed mail is accepted and delivered,
# and reads each one with Python's email package as a mail client would:
# subject, charset, date with its zone, Message-ID, body. A second run mails
# nothing again.
#
#   real_tickers.sh MAILFERRY2 FERRYREG
# Exit 77 (skipped) only where the server packages cannot be installed.
set -euo pipefail
mailferry2=$1
ferryreg=$2

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../crash/real_servers_env.sh
source "$here/../crash/real_servers_env.sh"

work=$(mktemp -d /tmp/mailferry-tickers.XXXXXX)
service=""
site=""
cleanup() {
  [ -n "$service" ] && kill -INT "$service" 2>/dev/null
  [ -n "$site" ] && kill "$site" 2>/dev/null
  stop_servers
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

postfix_main_extra="smtpd_forbid_bare_newline = reject
smtpd_forbid_bare_newline_exclusions ="
command -v postconf >/dev/null && { postconf -d smtpd_forbid_bare_newline >/dev/null 2>&1 ||
  servers_skip "this Postfix has no smtpd_forbid_bare_newline"; }
start_servers

# ---- The ticker site: the CT index and items, a science item, on one port.
site_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/site.py" <<'PY'
import http.server, sys
pages = {
    "/newsticker/": ("text/html", b"<HTML><UL>\n"
        b"<LI> <A HREF=\"/newsticker/data/g-2/\">Gr&uuml;ne Rechner: sparsam</A>\n"
        b"<LI> <A HREF=\"/newsticker/data/g-1/?a=1&amp;b=2\">Linux 2.2</A>\n</UL></HTML>\n"),
    "/newsticker/data/g-2/": ("text/html; charset=utf-8",
        "<HTML><H2>Grüne Rechner</H2>\n<script>alert(1)\n</script>\n<p>sparsam\n.\n</HTML>\n".encode("utf-8")),
    "/newsticker/data/g-1/?a=1&b=2": ("text/html", b"<HTML><H2>Linux</H2>\n<p>schneller\n</HTML>\n"),
    "/bdw/ticker/tickerdetail.hbs?myrec=4711&myid=99&navi=1": ("text/html",
        "<HTML><BODY>\n<P>Medizin: <B>Gr\u00fcne Zellen</B>\n<P>Text (Meldung vom 01.06.1999)\n</BODY></HTML>\n"
        .encode("latin-1")),
    "/hafen.rss": ("application/rss+xml", """<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0"><channel><title>Hafenblatt</title><link>http://hafen.example/</link>
<description>Neues vom Hafen</description>
<item><title>Fähre fährt wieder</title><link>http://hafen.example/faehre</link>
<guid>http://hafen.example/faehre</guid><pubDate>Tue, 08 Dec 2026 06:00:00 +0100</pubDate>
<description>&lt;p onclick="x()"&gt;Ab morgen &lt;b&gt;stündlich&lt;/b&gt;.&lt;script&gt;alert(1)&lt;/script&gt;&lt;/p&gt;</description>
</item></channel></rss>
""".encode("utf-8")),
}
class Site(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(sys.argv[2], "a") as log:
            log.write(self.requestline + "\n")
        kind, body = pages.get(self.path, ("text/html", None))
        if body is None:
            self.send_response(404)
            self.end_headers()
            return
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Last-Modified", "Tue, 08 Dec 2026 05:00:00 GMT")
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Site).serve_forever()
PY
python3 "$work/site.py" "$site_port" "$work/site.log" &
site=$!
wait_port "$site_port"
export MAILFERRY_CT_TICKER="127.0.0.1:$site_port"
export MAILFERRY_SCIENCE_TICKER="127.0.0.1:$site_port"

# A mail naming a science item in quoted-printable form.
printf '%s\n' "From: Ticker <news@wissenschaft.example>" "To: Anna <anna@mailbox.example>" "Subject: Ticker" \
  "MIME-Version: 1.0" "Content-Type: text/plain; charset=ISO-8859-1" "Content-Transfer-Encoding: quoted-printable" "" \
  "Neu: http://www.wissenschaft.de/indexticker.hbs?myrec=3D4711&myid=3D99 heute" | put_message "3001.M1P1.ticker"

mkdir -p "$work/ct" "$work/bdw"
global_extra="\"CTEMail\"=\"postmaster@office.example\"
\"TickerEMail\"=\"postmaster@office.example\"
\"CTDir\"=\"$work/ct\"
\"BDWDir\"=\"$work/bdw\""
account_extra="\"Enable CT\"=dword:00000001
\"Enable Wissenschaft\"=dword:00000001
\"Enable Feeds\"=dword:00000001

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters\NORAS\Real\Feeds\Hafen]
\"URL\"=\"http://127.0.0.1:$site_port/hafen.rss\"
\"To\"=\"postmaster@office.example\""
write_account "$ferryreg" 1 10 0 1 4

reports() {  # ticker reports written so far (0 before the first event)
  local n
  n=$(grep -c $'^105\t' "$work/events.log" 2>/dev/null) || true
  echo "${n:-0}"
}
run_once() {  # triggers until one more ticker report is written
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
"$mailferry2" -debug >"$work/service.out" 2>&1 &
service=$!
run_once
run_once
kill -INT "$service" 2>/dev/null || true
wait "$service" 2>/dev/null || true
service=""

for _ in $(seq 1 50); do
  [ "$(delivered_files | wc -l)" -ge 5 ] && break
  sleep 0.2
done
sleep 0.5

failures=0
check() {  # description, condition...
  local what=$1; shift
  if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}
# The Postfix here does refuse a bare line feed (so the checks below can fail).
bare_lf_refused() {
  python3 - "$smtp_port" <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
f = s.makefile("rb")
def reply():
    line = f.readline()
    while line[3:4] == b"-":
        line = f.readline()
    return line
reply()
for command in (b"EHLO probe.test\r\n", b"MAIL FROM:<probe@office.example>\r\n",
                b"RCPT TO:<postmaster@office.example>\r\n", b"DATA\r\n"):
    s.sendall(command)
    reply()
s.sendall(b"Subject: bare\r\nDate: Tue Dec  8 05:00:00 2026\n\r\n\r\nx\r\n.\r\n")
sys.exit(0 if reply().startswith(b"5") else 1)
PY
}
check "the first run sent 2 CT items, the second none" \
  test "$(grep $'^105\t' "$work/events.log" | cut -f5 | tr '\n' ' ')" = "2 0 "
check "Postfix refused no ticker mail" \
  test -z "$(grep -iE 'reject:|bare <LF>' "$work/postfix.log" 2>/dev/null)"
check "five mails delivered: the forwarded one, one science item, two CT items and one feed item" \
  test "$(delivered_files | wc -l)" -eq 5
check "the feed was asked for once (the second run is within its interval)" \
  test "$(grep -c '^GET /hafen.rss ' "$work/site.log")" -eq 1
check "Postfix refuses a mail with a bare line feed" bare_lf_refused
check "every request line is well-formed" \
  test -z "$(grep -v '^GET /[^ ]* HTTP/1\.[01]$' "$work/site.log")"
check "the science item was fetched once" \
  test "$(grep -c 'myrec=4711&myid=99&navi=1' "$work/site.log")" -eq 1
check "the CT copies are in their folder" test -f "$work/ct/Gr"$'\xfc'"ne Rechner  sparsam.htm"

# Every delivered mail as a mail client reads it.
python3 - "$work/vmail/postmaster" >"$work/parsed.txt" <<'PY' || failures=$((failures + 1))
import email, email.policy, email.utils, pathlib, sys
seen = {}
for path in sorted(pathlib.Path(sys.argv[1]).rglob("new/*")):
    msg = email.message_from_bytes(path.read_bytes(), policy=email.policy.default)
    if msg["X-Mailer"] != "MailFerry":
        continue
    subject = str(msg["Subject"])
    body = msg.get_body(("html",))
    date = email.utils.parsedate_to_datetime(str(msg["Date"]))
    assert date.tzinfo is not None, "date without zone"
    assert msg["Message-ID"] and "@" in str(msg["Message-ID"]), "no Message-ID"
    seen[subject] = (body.get_content_charset(), body.get_content(), str(msg["From"]))
    print(f"Subject: {subject!r} charset: {body.get_content_charset()} date: {msg['Date']}")
expect = {
    "Grüne Rechner  sparsam": ("utf-8", "<HTML><H2>Grüne Rechner</H2>\n\n<p>sparsam\n.\n</HTML>\n"),
    "Linux 2.2": ("iso-8859-1", "<HTML><H2>Linux</H2>\n<p>schneller\n</HTML>\n"),
    "Grüne Zellen": ("iso-8859-1", None),
    "Fähre fährt wieder": ("utf-8", None),
}
for subject, (charset, content) in expect.items():
    assert subject in seen, f"missing {subject!r}: {list(seen)}"
    assert seen[subject][0] == charset, (subject, seen[subject][0])
    if content is not None:
        assert seen[subject][1] == content, (subject, seen[subject][1])
assert "Medizin" in seen["Grüne Zellen"][2], seen["Grüne Zellen"][2]
assert "Grüne Zellen" in seen["Grüne Zellen"][1]
feed = seen["Fähre fährt wieder"]
assert "Hafenblatt" in feed[2], feed[2]
assert "Ab morgen <b>stündlich</b>." in feed[1], feed[1]
assert "script" not in feed[1] and "onclick" not in feed[1], feed[1]
assert '<a href="http://hafen.example/faehre">' in feed[1], feed[1]
PY
cat "$work/parsed.txt"
check "the ticker and feed mails read right in Python's email package" \
  test "$(grep -c '^Subject:' "$work/parsed.txt")" -eq 4

show_logs_when_failed
passed=$((9 - failures))
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
