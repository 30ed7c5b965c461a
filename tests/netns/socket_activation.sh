#!/usr/bin/env bash
# The helper started the way its socket unit starts it, and the trust check
# against client programs laid out as an installation lays them out.
#
#   socket_activation.sh HELPER TESTCLIENT
#
#   the bed's client namespace: loopback only
#   +-------------------------------------------------------------------+
#   | bed_client_private: private PID namespace, private /run           |
#   |   systemd-socket-activate -l /run/torvane/helper.sock HELPER ...  |
#   |     with the unit's capability bounding set and no_new_privs      |
#   |     listens alone until the first client connects, then becomes   |
#   |     the helper, which adopts the listening socket                 |
#   |   clients: copies of TESTCLIENT under $W                          |
#   |     trusted/   root, 0755, trusted (as trusted-link) -> served    |
#   |     untrusted/ root, 0755, not trusted   -> refused               |
#   |     groupw/    root, 0775, trusted       -> refused               |
#   |     foreign/   nobody, 0755, trusted     -> refused               |
#   +-------------------------------------------------------------------+
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=testbed.sh
source "$here/testbed.sh"
bed_require systemd-socket-activate setpriv pgrep ss
HELPER=$(realpath "$1")
TC=$(realpath "$2")
# The helper runs with no more than the service unit allows it.
unit=$here/../../helper/platform/linux/systemd/torvane-helper.service.in
caps=$(sed -n 's/^CapabilityBoundingSet=//p' "$unit" | tr '[:upper:]' '[:lower:]' | sed 's/cap_/+/g; s/ /,/g')
[ -n "$caps" ] || { echo "no CapabilityBoundingSet in $unit" >&2; exit 1; }
export CAPS="-all,$caps"
trap bed_down EXIT
bed_ns_up
W=$BED_WORK
export HELPER W

# Clients in the namespace run as nobody too, so every folder on their way
# must be searchable (the bed's work folder is 0755).
for kind in trusted untrusted groupw foreign; do
    install -d -m 0755 "$W/$kind"
    install -m 0755 "$TC" "$W/$kind/torvane-testclient"
done
# The trusted program is named through a symbolic link, as a packaged path
# may be.
ln -s trusted/torvane-testclient "$W/trusted-link"
chmod 0775 "$W/groupw/torvane-testclient"
chown 65534 "$W/foreign/torvane-testclient"

inner() {
    set -u
    local S=/run/torvane/helper.sock passed=0 failed=0 activator first reply
    T() { "$W/$1/torvane-testclient" --socket "$S" --timeout 10 "${@:2}"; }
    helperPids() { pgrep -x torvane-helper || true; }
    # Client $1 asks for the version: it must fail, and the helper must log
    # the refusal with that client's pid.
    refused() {
        local kind=$1 cpid
        "$W/$kind/torvane-testclient" --socket "$S" --timeout 10 version >/dev/null 2>&1 &
        cpid=$!
        if wait "$cpid"; then
            echo "the $kind client was served" >&2
            return 1
        fi
        # The log line is written before the connection closes.
        grep -qF "rejected connection from untrusted client (pid $cpid)" "$W/helper.out"
    }

    mkdir -m 0755 /run/torvane
    setpriv --no-new-privs --bounding-set "$CAPS" systemd-socket-activate -l "$S" "$HELPER" \
        --trust-client "$W/trusted-link" \
        --trust-client "$W/groupw/torvane-testclient" \
        --trust-client "$W/foreign/torvane-testclient" >"$W/helper.out" 2>&1 &
    activator=$!
    bed_wait_for_socket "$S"
    # What the socket unit's SocketMode gives every user.
    chmod 0666 "$S"

    sleep 0.5
    check "the socket listens before the helper runs" test -S "$S"
    check "no helper runs before the first client" test -z "$(helperPids)"
    check "the activator is still waiting" kill -0 "$activator"
    check "the activator runs with no_new_privs and without CAP_SYS_ADMIN" \
        bash -c 'grep -q "^NoNewPrivs:[[:space:]]*1$" "/proc/$0/status" &&
                 bnd=$(sed -n "s/^CapBnd:[[:space:]]*//p" "/proc/$0/status") &&
                 (( ((16#$bnd) >> 21 & 1) == 0 ))' "$activator"

    reply=$(T trusted version)
    check "the first connection starts the helper and is answered ($reply)" \
        test "$reply" = "reply version 0.1.1"
    first=$(helperPids)
    check "one helper runs after the first client" test "$(echo "$first" | wc -l)" = 1 -a -n "$first"
    check "the helper listens on the socket it was handed" \
        bash -c 'ss -xlpn | grep -F "$1" | grep -q "pid=$2,"' ss "$S" "$first"

    reply=$(T trusted status | head -n 1)
    check "a second connection is served ($reply)" test -n "$reply"
    check "by the same helper process" test "$(helperPids)" = "$first"

    # An ordinary user running the installed client: the helper reads the
    # executable of a process of another user.
    reply=$(setpriv --reuid=65534 --regid=65534 --clear-groups \
        "$W/trusted/torvane-testclient" --socket "$S" --timeout 10 version 2>&1 || true)
    check "a trusted program run by another user is served ($reply)" \
        test "$reply" = "reply version 0.1.1"

    check "a program not on the trusted list is refused" refused untrusted
    check "a group-writable trusted program is refused" refused groupw
    check "a trusted program not owned by root is refused" refused foreign
    check "the helper survives the refusals" test "$(T trusted version)" = "reply version 0.1.1"

    check "terminate is answered" test "$(T trusted terminate)" = "reply terminate"
    eventually 10 fails kill -0 "$activator" 2>/dev/null || {
        echo "the helper did not exit after terminate" >&2
        kill -KILL "$activator"
    }
    local status=0
    wait "$activator" || status=$?
    check "the helper exits with status 0 after terminate (got $status)" test "$status" = 0
    check "no helper is left" test -z "$(helperPids)"

    daemon_summary socket_activation
}
export -f inner

bed_client_private bash -c inner
