#!/usr/bin/env bash
# Runs the quarnkit tool on hostile inputs, each built in a fresh temporary
# directory: includes that try to leave their folder, devices, directories,
# include fan-outs and cycles, numbers no double holds, control characters,
# bad seeds, full devices, curves of unusable parameters, huge prices, the
# texts of a hostile server (one the script starts on 127.0.0.1, needing
# python3), and clients of serve that ask for files outside the template's
# folder, grow the template without end or hold 100 event streams open. Each case names the exit status the run must end with and one
# line its standard error (err) or output (out) must hold.
# The runs start in the temporary directory, $D.
#
#   tools/quarnkit/check_hostile.sh [TOOL]
#
# TOOL defaults to build/default/tools/quarnkit/quarnkit.
set -uo pipefail
cd "$(dirname "$0")/../.."
tool="$(realpath "${1:-build/default/tools/quarnkit/quarnkit}")"
real="$tool"
export TZ=UTC LANG=en_US.UTF-8
unset QUARNKIT_LOG_LEVEL

D="$(mktemp -d "${TMPDIR:-/tmp}/quarnkit-hostile-XXXXXX")"
trap 'rm -rf "$D"' EXIT
cd "$D"

# --- the files ---------------------------------------------------------------
mkdir -p inc/sub outside dir
echo '[{"uniqueId": "s", "type": "card", "entity": {"secret": 1}}]' >outside/secret.json
echo '[{"uniqueId": "ok", "type": "card", "entity": {"a": 1}}]' >inc/ok.json
ln -s ../outside/secret.json inc/escape.json  # a key's file that leaves the folder
ln -s ../../outside inc/sub/out               # a folder that leaves it
include() { echo "[{\"type\": \"include\", \"entity\": {$1}}]" >"$2"; }
include '"url": "file:///etc/passwd"' passwd.json
include "\"url\": \"file://$D/outside/secret.json\"" absolute.json
include "\"url\": \"file://$D/outside/missing.json\"" absolute-missing.json
include '"url": "../../outside/secret.json"' parents.json
include '"url": "%2e%2e/%2e%2e/outside/secret.json"' encoded.json
include '"url": "/etc/passwd"' plain.json
include '"url": "../outside/secret.json"' sibling.json
include '"url": "sub/out/secret.json"' through-link.json
include '"key": "escape"' key-link.json
include '"url": "ok.json"' inside.json
include '"url": "file:///dev/zero"' zero.json
include '"key": "a\u0000b"' nul-key.json
# a -> b -> (reference r = a): a cycle through a reference
include '"key": "a"' cycle.json
include '"key": "b"' inc/a.json
include '"reference": "r"' inc/b.json
echo '{"r": "a"}' >inc/index.json
# f0 includes f1 twice, f1 f2 twice, ...: 2^n items
mkdir fan deep
for i in $(seq 0 13); do
  echo "[{\"type\": \"include\", \"entity\": {\"key\": \"f$((i + 1))\"}}," \
    "{\"type\": \"include\", \"entity\": {\"key\": \"f$((i + 1))\"}}]" >fan/f$i.json
done
echo '[{"type": "card"}]' >fan/f14.json
include '"key": "f0"' fanout.json
for i in $(seq 0 19); do include "\"key\": \"d$((i + 1))\"" deep/d$i.json; done
echo '[{"type": "card"}]' >deep/d20.json
include '"key": "d0"' deeply.json
echo '[{"uniqueId": "c", "type": "card"}]' >card.json
echo '[{"type": "rows", "data": {"maxItems": 1e400}}, {"type": "rows", "predicate": "a >"}]' >huge.json
echo '[{"key": "c", "result": [{"class": "Promo", "price": 1e400}]}]' >huge-results.json
head -c $((1024 * 1024 + 1)) /dev/zero | tr '\0' ' ' >big.json
mkfifo fifo
# 1000 predicates that each backtrack until their match's own bound stops them
{
  printf '['
  for i in $(seq 0 999); do
    [ "$i" = 0 ] || printf ','
    printf '{"uniqueId": "r%d", "type": "card", "predicate": "s MATCHES %s"}' "$i" "'(a+)+\$'"
  done
  printf ']\n'
} >regex.json
echo '{"s": "'"$(printf 'a%.0s' $(seq 40))"'!"}' >regex-env.json
# Outputs longer than the 1 KiB file-size limit the lost-file rows set.
{
  printf '['
  for i in $(seq 0 59); do
    [ "$i" = 0 ] || printf ','
    printf '{"uniqueId": "card%d", "type": "card", "entity": {"a": %d}}' "$i" "$i"
  done
  printf ']\n'
} >cards.json
{
  printf '{"id": 1, "title": "Long", "items": ['
  for i in $(seq 1 40); do
    [ "$i" = 1 ] || printf ','
    printf '{"id": %d, "type": "text", "text": "Question %d", "isRequired": false}' "$i" "$i"
  done
  printf ']}\n'
} >long-form.json
echo 'the previous complete file' >keep.orig
echo mine >mine.txt
# Texts that would drive a terminal: a title, a CSI in the C1 range.
cat >ctl-form.json <<'JSON'
{"id": 1, "title": "T\u001b]0;pwned\u0007\u001b[2J",
 "items": [{"id": 1, "type": "text", "text": "Q\u009b31m", "isRequired": false}]}
JSON
echo '[{"productIdentifier": "p", "localizedTitle": "P\u001b[2J", "localizedDescription": "", "price": "1", "priceLocale": "en_US@currency=USD"}]' >ctl-products.json
printf 'app://a x\033[2J\n' >ctl-routes.txt
# 20 patterns of which any two tie (three int and three string components each).
for m in $(seq 0 63); do
  bits=0 line=app://r
  for k in 0 1 2 3 4 5; do
    if (((m >> k) & 1)); then bits=$((bits + 1)) line+="/<int:c$k>"; else line+="/<string:c$k>"; fi
  done
  [ "$bits" = 3 ] && echo "$line"
done >ties.txt
printf '\xef\xbb\xbfapp://a home\n' >bom-routes.txt
echo 'app://q/<x>?a=/b query' >query-routes.txt
product() { echo "{\"productIdentifier\": \"$1\", \"price\": \"$2\", \"priceLocale\": \"en_US@currency=USD\", \"subscriptionPeriod\": {\"unit\": \"week\", \"numberOfUnits\": 1}}"; }
echo "[$(product a 1), $(product b 2), $(product a 3)]" >twice-products.json
echo "[$(product w 2.99)]" >usd-products.json
# Question 2 has no key and is answered under "2", which question 1 names.
echo '{"id": 1, "title": "t", "items": [{"id": 1, "type": "text", "key": "2", "isRequired": false}, {"id": 2, "type": "text", "isRequired": false}]}' >key-clash-form.json
# An id the library reads as a 64-bit number, past 9.2e18.
echo '{"id": 9.22e18, "title": "t", "items": [{"id": 1, "type": "text", "isRequired": false}]}' >big-id-form.json
echo "[$(product w 2.99), $(product a 1), $(product b 2), $(product c 3), $(product d 4), $(product e 5)]" >six-products.json
echo '[{"productIdentifier": "p", "price": "1e300000", "priceLocale": "en_US@currency=USD", "subscriptionPeriod": {"unit": "week", "numberOfUnits": 1}}]' >huge-price.json
echo "[{\"productIdentifier\": \"p\", \"price\": \"$(printf '9%.0s' $(seq 1000))x\"}]" >long-price.json
# 1 MiB of placeholders in one template.
{
  printf '{"t": "'
  for _ in $(seq 1024); do printf '%%price%% %.0s' $(seq 128); done
  printf '"}\n'
} >many-placeholders.json

# --- a loopback server -----------------------------------------------------------
# Answers with texts that would drive a terminal, as a hostile server might, on
# a free port of 127.0.0.1, for the runs of page and preview --server.
cat >server.py <<'PY'
import http.server, json, os, sys

TITLE = "T\u001b]0;pwned\u0007\u001b[2J"


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, body, headers=()):
        data = json.dumps(body).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        if self.path.startswith("/header"):
            self.reply([], [("X-Pagination-Total-Count", "7\u001b[2J")])
        else:
            self.reply([{"id": 1, "title": TITLE}])

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        key = "k\u001b[2J" if self.path.startswith("/unknown") else "c"
        self.reply([{"key": key, "result": [{"class": "Card", "title": TITLE}]}])


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[1] + ".part", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(sys.argv[1] + ".part", sys.argv[1])
server.serve_forever()
PY
python3 server.py port &
server=$!
trap 'kill "$server" 2>/dev/null; rm -rf "$D"' EXIT
for _ in $(seq 50); do [ -s port ] && break; sleep 0.1; done
web="http://127.0.0.1:$(cat port)"

# --- a client of serve ------------------------------------------------------------
# Starts `quarnkit serve` on a free port of 127.0.0.1, does one hostile thing
# to it, prints what it saw, stops it with SIGINT and ends with status 1 when
# the server misbehaved (did not answer, grew, did not stop).
echo '[{"uniqueId": "c", "type": "card", "entity": {"title": "t"}}]' >grow.json
cat >serve_client.py <<'PY'
import os, re, signal, socket, subprocess, sys, time

tool, mode, template = sys.argv[1:4]
server = subprocess.Popen([tool, "serve", template, *sys.argv[4:]],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
port = int(re.search(r"127\.0\.0\.1:(\d+)/", server.stderr.readline()).group(1))
ok = True


def connect(target):
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    s.sendall(f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode())
    return s


def status(s):
    head = b""
    while b"\r\n" not in head:
        chunk = s.recv(64)
        if not chunk:
            return 0
        head += chunk
    return int(head.split()[1])


def get(target):
    with connect(target) as s:
        s.settimeout(10)
        data = b""
        while chunk := s.recv(65536):
            data += chunk
        return int(data.split()[1]), data.split(b"\r\n\r\n", 1)[1].decode()


def peak_kib():
    with open(f"/proc/{server.pid}/status") as f:
        return int(re.search(r"VmHWM:\s+(\d+)", f.read()).group(1))


try:
    if mode == "paths":
        targets = ["/files/../outside/secret.json", "/files/%2e%2e/outside/secret.json",
                   "/files/..%2foutside%2fsecret.json", "/files/%252e%252e/outside/secret.json",
                   "/files//etc/passwd", "/files/" + os.getcwd() + "/inc/ok.json",
                   "/files/escape.json", "/files/sub/out/secret.json",
                   "/../outside/secret.json", "/etc/passwd"]
        print("outside:", " ".join(str(get(t)[0]) for t in targets))
        print("inside:", get("/files/ok.json")[0])
    elif mode == "grow":
        # Grows the template without end (sparse: no disk is used) while the
        # page asks for renders.
        before = peak_kib()
        with open(template, "r+b") as f:
            for size in (1 << 20, 8 << 20, 64 << 20, 512 << 20, 4 << 30):
                f.seek(size)
                f.write(b" ")
                f.flush()
                time.sleep(0.3)
                get("/render")
        code, body = get("/render")
        finding = re.search(r'<li class=\\"error\\">([^<]*)</li>', body)
        print("finding:", finding.group(1) if finding else body[:300])
        grown = peak_kib() - before
        print("page:", get("/")[0], "peak memory grew by", "less than 64 MiB" if grown < 65536 else f"{grown} KiB")
        ok = ok and grown < 65536
    elif mode == "streams":
        held = [connect("/events") for _ in range(100)]
        codes = [status(s) for s in held]
        start = time.monotonic()
        page, render = get("/")[0], get("/render")[0]
        quick = time.monotonic() - start < 5
        print(f"streams: {codes.count(200)} open, {codes.count(503)} refused; page {page}, render {render}" + ("" if quick else ", slowly"))
        ok = ok and quick
        for s in held:
            s.close()
finally:
    server.send_signal(signal.SIGINT)
    try:
        ok = server.wait(10) == 0 and ok
    except subprocess.TimeoutExpired:
        server.kill()
        print("serve did not stop on SIGINT")
        ok = False
sys.exit(0 if ok else 1)
PY

# --- the table -----------------------------------------------------------------
failures=0
total=0
# check NAME STATUS STREAM LINE ARGS...: the run is interrupted after $WAIT
# seconds (a watch ends so), and ends with its own status then.
WAIT=10
check() {
  local name="$1" status="$2" stream="$3" line="$4"
  shift 4
  total=$((total + 1))
  local actual
  timeout --preserve-status -s INT "$((WAIT * ${QUARNKIT_TIME_SCALE:-1}))" "$tool" "$@" >"$D/.out" 2>"$D/.err"
  actual=$?
  if [ "$actual" != "$status" ]; then
    echo "FAIL $name: exit status $actual, expected $status"
    cat "$D/.err"
    failures=$((failures + 1))
  elif ! grep -Fxq -- "$line" "$D/.$stream"; then
    echo "FAIL $name: no line \"$line\" in standard ${stream/err/error}:"
    cat "$D/.$stream"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}
outside='outside the includes directory'
I=(--includes inc --no-defaults)

check url-file-passwd 1 err "quarnkit: passwd.json: [0].entity: cannot resolve the include url \"file:///etc/passwd\": $outside" preview passwd.json "${I[@]}"
check url-absolute 1 err "quarnkit: absolute.json: [0].entity: cannot resolve the include url \"file://$D/outside/secret.json\": $outside" preview absolute.json "${I[@]}"
check url-absolute-missing-tells-nothing 1 err "quarnkit: absolute-missing.json: [0].entity: cannot resolve the include url \"file://$D/outside/missing.json\": $outside" preview absolute-missing.json "${I[@]}"
check url-parents 1 err "quarnkit: parents.json: [0].entity: cannot resolve the include url \"../../outside/secret.json\": $outside" preview parents.json "${I[@]}"
check url-encoded-parents 1 err "quarnkit: encoded.json: [0].entity: cannot resolve the include url \"%2e%2e/%2e%2e/outside/secret.json\": $outside" preview encoded.json "${I[@]}"
check url-plain-absolute 1 err "quarnkit: plain.json: [0].entity: cannot resolve the include url \"/etc/passwd\": $outside" preview plain.json "${I[@]}"
check url-without-includes-dir 1 err "quarnkit: sibling.json: [0].entity: cannot resolve the include url \"../outside/secret.json\": $outside" preview sibling.json --no-defaults
check url-through-symlink 1 err "quarnkit: through-link.json: [0].entity: cannot resolve the include url \"sub/out/secret.json\": $outside" preview through-link.json "${I[@]}"
check key-symlink 1 err "quarnkit: key-link.json: [0].entity: cannot resolve the include key \"escape\": $outside" preview key-link.json "${I[@]}"
check url-inside 0 out "1. card \"ok\"" preview inside.json "${I[@]}"
check explain-url-outside 0 out "  hidden  include_0 (include): cannot resolve the include url \"file:///etc/passwd\": $outside" explain passwd.json "${I[@]}"
check lint-url-outside 1 out "passwd.json: [0].entity: error: cannot resolve the include url \"file:///etc/passwd\": $outside" lint passwd.json "${I[@]}"
WAIT=2
check watch-url-outside 0 err "quarnkit: passwd.json: [0].entity: cannot resolve the include url \"file:///etc/passwd\": $outside" preview passwd.json "${I[@]}" --watch
WAIT=10
check explain-dev-zero 0 out "  hidden  include_0 (include): cannot resolve the include url \"file:///dev/zero\": $outside" explain zero.json "${I[@]}"

# The same include crosses the bound in every subcommand (a lower bound than
# the default keeps the check quick under sanitizers).
fan='more than 1000 included items (--max-included-items): fanout.json [0] -> fan/f0.json [0] -> fan/f1.json [0] -> fan/f2.json [0] -> fan/f3.json [0] -> fan/f4.json [0] -> fan/f5.json [1] -> fan/f6.json [0] -> fan/f7.json [1] -> fan/f8.json [0] -> fan/f9.json [0] -> fan/f10.json [1] -> fan/f11.json'
F=(--includes fan --max-included-items 1000)
check fanout-preview 1 err "quarnkit: fan/f10.json: [1].entity: $fan" preview fanout.json "${F[@]}"
check fanout-lint 1 out "fan/f10.json: [1].entity: error: $fan" lint fanout.json "${F[@]}"
check fanout-explain 0 out "                        hidden  include_1 (include): $fan  [fan/f10.json [1]]" explain fanout.json "${F[@]}"
deep='includes nest deeper than 16 (--max-include-depth): deeply.json [0] -> deep/d0.json [0] -> deep/d1.json [0] -> deep/d2.json [0] -> deep/d3.json [0] -> deep/d4.json [0] -> deep/d5.json [0] -> deep/d6.json [0] -> deep/d7.json [0] -> deep/d8.json [0] -> deep/d9.json [0] -> deep/d10.json [0] -> deep/d11.json [0] -> deep/d12.json [0] -> deep/d13.json [0] -> deep/d14.json [0] -> deep/d15.json [0] -> deep/d16.json'
check deep-preview 1 err "quarnkit: deep/d15.json: [0].entity: $deep" preview deeply.json --includes deep
check deep-lint 1 out "deep/d15.json: [0].entity: error: $deep" lint deeply.json --includes deep
cycle='include cycle: cycle.json [0] -> inc/a.json [0] -> inc/b.json [0] -> inc/a.json'
check cycle-preview 1 err "quarnkit: inc/b.json: [0].entity: $cycle" preview cycle.json "${I[@]}"
check cycle-lint 1 out "inc/b.json: [0].entity: error: $cycle" lint cycle.json "${I[@]}"

check predicate-budget 0 err "quarnkit: warning: [CompositeListFetcher] The predicate budget of 50000000 steps is spent: 951 predicates were not evaluated and hide nothing" preview regex.json --env regex-env.json --no-defaults
check predicate-budget-option 0 err "quarnkit: warning: [CompositeListFetcher] The predicate budget of 1000000 steps is spent: 1000 predicates were not evaluated and hide nothing" preview regex.json --env regex-env.json --no-defaults --predicate-budget 1000000
check predicate-budget-explain 0 out "  hidden  r0 (card): shown by the rules; no section: no entities; predicate could not be evaluated, which never hides an item (The evaluation budget of 1000000 steps is spent)" explain regex.json --env regex-env.json --no-defaults --predicate-budget 1000000
check predicate-budget-bad 2 err "--predicate-budget: expected a whole number from 0 to 18446744073709551615, not \"x\"" preview card.json --predicate-budget x
check lint-dev-zero 1 out "/dev/zero: error: not a regular file" lint /dev/zero
check template-directory 1 err "quarnkit: dir: is a directory" preview dir --no-defaults
check results-directory 1 err "quarnkit: dir: is a directory" preview card.json --results dir
check env-directory 1 err "quarnkit: dir: is a directory" explain card.json --env dir
check results-read-error 1 err "quarnkit: /proc/self/mem: read error: Input/output error" preview card.json --results /proc/self/mem
check results-fifo 1 err "quarnkit: fifo: not a regular file" preview card.json --results fifo
check template-too-large 1 err "quarnkit: big.json: larger than the 1 MiB limit (--max-file-size)" preview big.json --max-file-size 1
check lint-huge-number 1 out "huge.json: [0].data.maxItems: error: the number is out of range (larger than a double holds)" lint huge.json
check lint-huge-number-goes-on 1 out "huge.json: 2 errors, 0 warnings" lint huge.json
check results-huge-number 1 err "quarnkit: huge-results.json: [0].result[0].price: the number is out of range (larger than a double holds)" preview card.json --results huge-results.json --format json
check nul-in-key 1 err "quarnkit: nul-key.json: [0].entity: cannot resolve the include key \"a\\u0000b\": the key is not a plain file name" preview nul-key.json "${I[@]}"
check seed-too-large 2 err "--seed: expected a whole number from 0 to 18446744073709551615, not \"99999999999999999999999\"" preview card.json --seed 99999999999999999999999
check seed-negative 2 err "--seed: expected a whole number from 0 to 18446744073709551615, not \"-5\"" preview card.json --seed -5
# page and --server refuse what they cannot fetch before any connection.
check page-size-zero 2 err "--per-page: expected a whole number from 1 to 9223372036854775807, not \"0\"" page http://127.0.0.1/items --per-page 0
check page-not-http 2 err "URL: not an http or https URL: \"file:///etc/passwd\"" page file:///etc/passwd
check page-header-injection 2 err "--header: expected NAME:VALUE, not \"X: a  Injected: b\"" page http://127.0.0.1/items --header $'X: a\r\nInjected: b'
check page-ids-without-ids 1 err "quarnkit: --ids: the ids scheme needs the ids to page through" page http://127.0.0.1/items --scheme ids
# download refuses bad usage before any connection, and names the URL a
# destination fails for.
check download-no-url 2 err "URL is required" download
check download-not-http 2 err "URL: not an http or https URL: \"file:///etc/passwd\"" download file:///etc/passwd
check download-usage-with-url 2 err "URL: --usage and --clear take no URL" download --usage http://127.0.0.1/a.bin
check download-name-of-two 2 err "--name: names the file of one URL, not of 2" download http://127.0.0.1/a http://127.0.0.1/b --name x
check download-jobs-zero 2 err "--jobs: expected a whole number from 1 to 64, not \"0\"" download http://127.0.0.1/a --jobs 0
check download-name-escapes 1 err "quarnkit: http://127.0.0.1:1/a.bin: invalidFileName(\"../x\"): not a file name inside the destination directory" download http://127.0.0.1:1/a.bin --name ../x --to dl --quiet
check download-to-a-file 1 err "quarnkit: http://127.0.0.1:1/a.bin: filesystem error: cannot create the directory: Not a directory [$D/card.json]" download http://127.0.0.1:1/a.bin --to card.json --quiet
check download-names-clash 1 err "quarnkit: http://127.0.0.1:1/b/x.bin: the local file $D/dl/x.bin is also that of http://127.0.0.1:1/a/x.bin" download http://127.0.0.1:1/a/x.bin http://127.0.0.1:1/b/x.bin --to dl --quiet
check download-clear-here 1 err "quarnkit: $D/: holds the current directory; not removed" download --clear --to .
check download-usage-of-nothing 0 out "0 B (0 bytes) in $D/none" download --usage --to none
check download-clear-missing 1 err "quarnkit: $D/none: does not exist; nothing removed" download --clear --to none
check download-clear-a-file 1 err "quarnkit: $D/mine.txt: not a directory; nothing removed" download --clear --to mine.txt
tool=bash
check download-clear-kept-the-file 1 out "mine" -c '"$0" "$@"; s=$?; cat mine.txt; exit $s' "$real" download --clear --to mine.txt
tool="$real"
check server-and-results 2 err "--results excludes --server" preview card.json --results card.json --server http://127.0.0.1/c
check header-without-server 2 err "--header requires --server" preview card.json --header "A: b"
check output-full 1 err "quarnkit: /dev/full: cannot write: No space left on device" preview card.json -o /dev/full
check curve-zero-damping 1 err "quarnkit: curve: damping: Incorrect animation values: damping, mass and stiffness must be positive (damping 0, mass 1, stiffness 100)" curve spring -p damping=0
check curve-overflowing-rates 1 err "quarnkit: curve: mass: Incorrect animation values: the curve is not a finite number with these values (damping 10, mass 1e-320, stiffness 1e+308)" curve spring -p mass=1e-320 -p stiffness=1e308
check curve-tiny-mass 1 err "quarnkit: curve: mass: Incorrect animation values: the curve is not a finite number with these values (damping 10, mass 1e-300, stiffness 100)" curve spring -p mass=1e-300
check curve-key-values-overflow 1 err "quarnkit: curve: values: the curve is not a finite number at t = 0.5" curve keyvalues -p values=-1.7e308,1.7e308 -p function=spring --samples 5
check curve-plus-sign 0 out "0.5,1.0365507873893438" curve spring -p damping=+5 --samples +3 --format csv
check curve-huge-values-short 0 out "  0.500000   5.000000e+299" curve keyvalues -p values=0,1e300 --samples 3
check curve-svg-axis-title 0 out '    <text class="axis-title x" x="340.00" y="392" text-anchor="middle">t (time)</text>' curve spring --format svg
check curve-svg-round-ticks 0 out '    <text class="tick-label y" data-value="0.5" x="62" y="244.19" text-anchor="end">0.5</text>' curve spring -p damping=4 --format svg
check curve-svg-min-above-axis 0 out '    <text class="extreme min" x="118.60" y="342.00" text-anchor="middle">min -1.2648</text>' curve spring -p velocity=-30 --format svg
check curve-nan 1 err "quarnkit: curve: damping: expected a finite number, not \"nan\"" curve spring -p damping=nan
check curve-no-key-values 1 err "quarnkit: curve: values: expected a finite number, not \"\"" curve keyvalues -p values=
check curve-one-sample 2 err "--samples: expected a whole number from 2 to 100000, not \"1\"" curve spring --samples 1
check curve-unknown 2 err "NAME: bogus not in {linear,easeIn,easeOut,easeInOut,spring,keyvalues}" curve bogus
check curve-output-full 1 err "quarnkit: /dev/full: cannot write: No space left on device" curve spring --format svg -o /dev/full
check schema-output-full 1 err "quarnkit: /dev/full: cannot write: No space left on device" schema template -o /dev/full
check curve-one-key-value 0 out "1,7" curve keyvalues -p values=7 -p function=spring --format csv
# Standard output on a full device.
tool=bash
check stdout-full 1 err "quarnkit: standard output: cannot write: No space left on device" \
  -c 'exec "$0" "$@" >/dev/full' "$real" explain card.json
tool="$real"

# -o replaces a file only once the new one is whole: a run that fails on the
# file-size limit leaves the previous file as it was.
tool=bash
kept='trap "" XFSZ; ulimit -f 1; "$0" "$@"; s=$?; cmp -s keep keep.orig && echo kept; exit $s'
cp keep.orig keep
check preview-output-kept 1 out "kept" -c "$kept" "$real" preview cards.json --no-defaults -o keep
cp keep.orig keep
check explain-output-kept 1 out "kept" -c "$kept" "$real" explain cards.json --no-defaults -o keep
cp keep.orig keep
check form-output-kept 1 out "kept" -c "$kept" "$real" form long-form.json -o keep
cp keep.orig keep
check curve-output-kept 1 out "kept" -c "$kept" "$real" curve spring --format csv -o keep
check output-written 0 out "1. card \"card0\"" -c '"$0" "$@" && cat new' "$real" preview cards.json --no-defaults -o new
tool="$real"
# Control characters from the input arrive escaped, in every format.
check form-title-escaped 0 out 'T\u001b]0;pwned\u0007\u001b[2J' form ctl-form.json
check form-c1-escaped 0 out '1. Q\u009b31m' form ctl-form.json
check price-title-escaped 0 out 'p (P\u001b[2J)' price ctl-products.json
check route-name-escaped 0 out 'app://a -> line 1 app://a (x\u001b[2J)' route ctl-routes.txt app://a
# ... and so do those a server sends: items, headers, results, result keys.
check page-item-escaped 0 out '    {"id":1,"title":"T\u001b]0;pwned\u0007\u001b[2J"}' page "$web/items"
check page-header-escaped 0 out '  headers: X-Pagination-Current-Page: missing, X-Pagination-Page-Count: missing, X-Pagination-Per-Page: missing, X-Pagination-Total-Count: "7\u001b[2J" (not a number)' page "$web/header"
check server-result-escaped 0 out '   - Card: title="T\u001b]0;pwned\u0007\u001b[2J"' preview card.json --no-defaults --server "$web/results"
check server-key-escaped 0 err "quarnkit: warning: [CompositeListFetcher] Could not process the composite list result with key 'k\\u001b[2J'" preview card.json --no-defaults --server "$web/unknown"

# serve: only the template folder's own files; a template growing without
# end is refused by its size and the server stays small; event streams are
# capped, and pages load while 100 are held open.
tool=python3
WAIT=40
check serve-paths-outside 0 out "outside: 404 404 404 404 404 404 404 404 404 404" serve_client.py "$real" paths inc/ok.json --no-defaults
check serve-path-inside 0 out "inside: 200" serve_client.py "$real" paths inc/ok.json --no-defaults
check serve-grows-without-end 0 out "finding: grow.json: error: larger than the 1 MiB limit (--max-file-size)" serve_client.py "$real" grow grow.json --max-file-size 1 --no-defaults
check serve-grows-memory-bounded 0 out "page: 200 peak memory grew by less than 64 MiB" serve_client.py "$real" grow grow.json --max-file-size 1 --no-defaults
check serve-streams-capped 0 out "streams: 16 open, 84 refused; page 200, render 200" serve_client.py "$real" streams card.json --no-defaults
WAIT=10
tool="$real"

# route: standard input within the size limit, ties grouped, one reading of brackets.
tool=bash
check route-stdin-bounded 1 err "quarnkit: standard input: larger than the 1 MiB limit (--max-file-size)" \
  -c 'exec "$0" "$@" </dev/zero' "$real" route card.json - --max-file-size 1
tool="$real"
check route-ties-grouped 1 out "1 finding in 20 routes." route ties.txt --check
check route-byte-order-mark 0 out "app://a -> line 1 app://a (home)" route bom-routes.txt app://a
check route-brackets-before-query 0 out "No findings in 1 routes." route query-routes.txt --check

# price: one product per identifier; a locale changes conventions, not the currency.
check price-duplicate-identifier 1 err 'quarnkit: twice-products.json: [2].productIdentifier: the identifier "a" is also that of [0]' price twice-products.json
WAIT=5
check price-templates-linear 0 out '  "relativeProduct" : "w",' price six-products.json --templates many-placeholders.json --format json
WAIT=10
check price-locale-keeps-currency 0 out '  price                      $2.99' price usd-products.json --locale ja_JP
# A price is refused by its magnitude before its exact value is built, and
# messages quote at most 80 bytes of a price text.
WAIT=2
check price-huge-magnitude 0 err 'quarnkit: warning: [SKProductMetadataProvider] Product p has no usable price (1e+300000)' price huge-price.json
WAIT=10
check price-long-text-cut 1 err "quarnkit: long-price.json: [0]: Invalid price \"$(printf '9%.0s' $(seq 80))…\": expected decimal text like \"4.99\"" price long-price.json

# form: answer keys made from ids clash with explicit ones; one rule for whole numbers.
check form-lint-key-from-id-clash 0 out 'key-clash-form.json: items[1].id: warning: duplicate answer key "2" (first at items[0]); answers cannot tell the questions apart' form lint key-clash-form.json
check form-lint-big-whole-number 0 out 'big-id-form.json: 0 errors, 0 warnings' form lint big-id-form.json

echo "$((total - failures)) passed, $failures failed"
[ "$failures" = 0 ]
