#!/usr/bin/env bash
# build/netduel-link as a person runs it: usage errors exit 2 before anything opens, a
# datagram crosses (to a python3 receiver as the host), and SIGTERM ends it with status 0
# and the counts. UDP ports 49030–49031.
set -u
exe=$1
fail() { echo "FAIL: $*"; exit 1; }

"$exe" --loss 101 2>/dev/null; [[ $? -eq 2 ]] || fail "--loss 101 must exit 2"
"$exe" --profile nope 2>/dev/null; [[ $? -eq 2 ]] || fail "unknown profile must exit 2"
"$exe" stray 2>/dev/null; [[ $? -eq 2 ]] || fail "a stray argument must exit 2"
"$exe" --version | grep -q '^netduel-link ' || fail "--version"
"$exe" --help | grep -q -- '--profile NAME' || fail "--help"

out=$(mktemp)
got=$(mktemp)
trap 'rm -f "$out" "$got"' EXIT
# The host: takes one datagram, gives up after 20 s.
python3 -c 'import socket,sys
s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM); s.bind(("127.0.0.1",49031)); s.settimeout(20)
print("ready",flush=True); sys.stdout.write(s.recv(100).decode())' >"$got" &
host=$!
for _ in $(seq 200); do grep -q '^ready$' "$got" && break; sleep 0.05; done
"$exe" --listen 127.0.0.1:49030 --host 127.0.0.1:49031 --profile good --seed 3 >"$out" &
pid=$!
trap 'kill "$pid" "$host" 2>/dev/null; rm -f "$out" "$got"' EXIT
for _ in $(seq 200); do grep -q '^host->client: 25 ms' "$out" && break; sleep 0.05; done
echo probe >/dev/udp/127.0.0.1/49030
wait "$host"
grep -q '^probe$' "$got" || fail "the datagram did not cross"
for _ in $(seq 200); do
    kill -TERM "$pid"
    sleep 0.05
    kill -0 "$pid" 2>/dev/null || break
done
wait "$pid"; status=$?
[[ $status -eq 0 ]] || fail "SIGTERM must exit 0, got $status"
grep -q '^client->host: sent 1, dropped 0, duplicated 0, delivered 1$' "$out" || { cat "$out"; fail "counts"; }
echo ok
