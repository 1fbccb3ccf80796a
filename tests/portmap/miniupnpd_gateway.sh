#!/bin/sh
# The port mapping against a real gateway: Debian's miniupnpd with its nftables rules in a
# network namespace of its own (WAN side 45.33.10.2, LAN 192.168.77.0/24), and the real
# dedicated host in a second namespace behind it. The host must say what the world sees,
# the gateway must hold its forwarding rule while it runs and drop it once it stopped.
# Usage: miniupnpd_gateway.sh GAME
set -eu
if [ -z "${NETDUEL_GATEWAY_INSIDE:-}" ]; then
    for program in miniupnpd nft; do
        if ! command -v $program >/dev/null 2>&1 && [ ! -x /usr/sbin/$program ]; then
            echo "skipped: $program is not installed (scripts/install-deps installs it)"
            exit 77
        fi
    done
    NETDUEL_GATEWAY_INSIDE=1 exec unshare -rn "$0" "$@"
fi
PATH=$PATH:/usr/sbin
game=$1
work=$(mktemp -d)
host=
gateway=
trap 'kill $host $gateway 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM

# Waits up to 20 s for the command to succeed.
await() {
    tries=0
    until "$@" >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ "$tries" -gt 200 ]; then echo "gave up waiting for: $*" >&2; return 1; fi
        sleep 0.1
    done
}

ip link set lo up
ip link add wan0 type veth peer name wan1
ip addr add 45.33.10.2/24 dev wan0
ip link set wan1 up
ip link set wan0 up
ip route add default via 45.33.10.1 dev wan0
nft -f - <<'NFT'
table inet filter {
    chain forward { type filter hook forward priority 0; policy drop; jump miniupnpd; }
    chain miniupnpd { }
    chain prerouting { type nat hook prerouting priority -100; policy accept; jump prerouting_miniupnpd; }
    chain postrouting { type nat hook postrouting priority 100; policy accept; jump postrouting_miniupnpd; }
    chain prerouting_miniupnpd { }
    chain postrouting_miniupnpd { }
}
NFT

# The host's namespace takes its end of the LAN, then waits for the gateway to listen.
unshare -n sh -c "touch '$work/unshared'; until [ -e '$work/go' ]; do sleep 0.05; done
    ip link set lo up && ip addr add 192.168.77.2/24 dev lan1 && ip link set lan1 up &&
    ip route add default via 192.168.77.1 && exec '$game' --dedicated --port 43069" >"$work/host.log" 2>&1 &
host=$!
await test -e "$work/unshared"  # else the link would land in this namespace
ip link add lan0 type veth peer name lan1 netns $host
ip addr add 192.168.77.1/24 dev lan0
ip link set lan0 up
miniupnpd -d -4 -i wan0 -a lan0 -p 5000 -P "$work/miniupnpd.pid" \
    -A "allow 1024-65535 192.168.77.0/24 1024-65535" -A "deny 0-65535 0.0.0.0/0 0-65535" >"$work/miniupnpd.log" 2>&1 &
gateway=$!
await grep -q 'HTTP listening on port 5000' "$work/miniupnpd.log"
touch "$work/go"

fail() { echo "FAIL: $*" >&2; cat "$work/host.log" >&2; grep -i 'PortMapping\|Error' "$work/miniupnpd.log" >&2; exit 1; }
await grep -qxF 'The world reaches this host at 45.33.10.2:43069 (UDP, mapped by UPnP IGD).' "$work/host.log" ||
    fail "the host did not say what the world sees"
nft list ruleset | grep -q 'dnat ip to 192.168.77.2:43069' || fail "the gateway holds no rule for the host"
kill -TERM $host
wait $host || fail "the host did not stop cleanly"
host=
nft list ruleset | grep -q 43069 && fail "the rule outlived the host"
echo "mapped, forwarded and removed again"
