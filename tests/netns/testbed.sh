# shellcheck shell=bash
# A throw-away IPsec test network: a client, a strongSwan gateway and a host
# behind it, each in its own network namespace. Source this file, then:
#
#     bed_require_root          # exits 77 (skip) without root
#     trap bed_down EXIT
#     bed_up
#
#   client ns $BED_NS_CLIENT     gateway ns $BED_NS_GW               lan ns $BED_NS_LAN
#  +----------------------+     +--------------------------------+   +----------------------+
#  |  <p>-c 10.10.0.2/24  |-----|  <p>-g 10.10.0.1/24            |   |                      |
#  |  default via .1      |veth |  gw-charon (kernel-libipsec,   |   |                      |
#  |                      |     |    ipsec0, pool 10.99.0.0/24)  |   |                      |
#  |  daemon under test,  |     |  <p>-gl 10.200.0.1/24          |---| <p>-l 10.200.0.10/24 |
#  |  its charon          |     |  forwards only ipsec0 <-> LAN  |veth  default via .1    |
#  +----------------------+     +--------------------------------+   +----------------------+
#
# <p> is $BED_PREFIX ("tvc-<pid of the sourcing shell>" unless set before
# bed_up, at most 12 characters), so parallel runs never share a name.
#
# The gateway hands out virtual IPs from 10.99.0.0/24 and offers 0.0.0.0/0 as
# its traffic selector, which a client narrows to what it asks for (usually
# 10.200.0.0/24). The kernel here has no ESP, so the gateway runs userspace
# ESP: decrypted traffic appears on its TUN device ipsec0. An nftables forward
# chain with policy drop lets through only ipsec0 <-> LAN traffic of the pool,
# so the client reaches 10.200.0.10 through a tunnel and never in the clear
# (its default route points at the gateway, which drops that traffic).
#
# The gateway's charon is a copy of Debian's named gw-charon, so that a
# test's `pgrep -x charon` finds only the client's; it runs with a private
# /run and its own strongswan.conf. The client namespace's /etc/resolv.conf is
# "nameserver 10.10.0.1" (from /etc/netns/$BED_NS_CLIENT/resolv.conf).
#
# Gateway connections (all accept the default proposals aes256-sha512-ecp384):
#   xauth        IKEv1, RSA client certificate + XAuth user/password
#   certificate  IKEv1 (RSA client cert) and IKEv2 (ECDSA client cert)
#   eapMSCHAPv2  IKEv2, EAP-MSCHAPv2 user/password, gateway by certificate
#   eapTLS       IKEv2, EAP-TLS with the ECDSA client certificate
#   psk          IKEv2, client PSK with an identity "<user>@psk.torvane.test",
#                gateway by certificate
#   pskMutual    IKEv2 with an identity "<user>"; IKEv1 with one group PSK
#                (main mode must pick the key before it learns the client's
#                identity, so per-user IKEv1 keys cannot work)
# Gateway identities: $BED_GW_ID (certificate DN, SAN IP 10.10.0.1) and
# $BED_GW_PSK_ID (PSK). Users user01..user20 exist; bed_add_user adds more.
# Secrets of user U: password "pw-U" (XAuth, EAP), PSK "psk-U"; IKEv1 group
# PSK $BED_IKEV1_PSK.
#
# Files under $BED_WORK (a fresh directory per run):
#   pki/ca.crt                         the CA every gateway/client cert chains to
#   pki/client-ecdsa.{crt,key}         ECDSA client (IKEv2 certificate, EAP-TLS)
#   pki/client-rsa.{crt,key}           RSA client (IKEv1 certificate, XAuth)
#   profiles/<name>.{profile,secrets}.json   written by bed_make_profile
#   gw/charon.log                      the gateway's charon log
#
# A test of one program that needs a machine of its own but no tunnel calls
# bed_require and bed_ns_up in place of bed_require_root and bed_up: the
# client namespace alone, or with a peer namespace joined by veth links.
#
# Functions: bed_up, bed_ns_up, bed_down, bed_client_exec, bed_client_private,
# bed_private_with_outside, bed_gateway_exec, bed_lan_exec, bed_gw_swanctl,
# bed_gateway_kill, bed_gateway_restart, bed_add_user, bed_make_profile,
# bed_track_pid, bed_wait_for_socket; the counted checks and the machine
# snapshot below; bed_daemon_up and its helpers at the end. Each is described
# where it is defined.

# --- Counted checks -----------------------------------------------------------
#   check "what is checked" COMMAND...   counts COMMAND's success or failure
#   fails COMMAND...                     succeeds when COMMAND fails
#   checks_summary NAME                  prints "NAME: N passed, M failed";
#                                        fails when any check failed
# The counters live in the calling shell; the functions are exported for
# checks run in another bash.
passed=0
failed=0

check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what" >&2
    fi
}

fails() { ! "$@"; }

checks_summary() {
    echo "$1: ${passed:-0} passed, ${failed:-0} failed"
    [ "${failed:-0}" -eq 0 ]
}

export -f check fails checks_summary

# --- The machine's state -------------------------------------------------------
#   eventually SECONDS COMMAND...   retries COMMAND every 0.1 s until it succeeds
#   machine_snapshot                routes of every table, rules, resolv.conf,
#                                   IPv6 sysctls, the whole nftables ruleset
#   restored WHAT BASELINE-FILE     a counted check: the snapshot equals the
#                                   baseline within 15 s (prints the diff if not)
#   leak_counter_add LINK GATEWAY   counts, after the kill switch, every packet
#                                   leaving LINK that is not IKE/ESP to GATEWAY,
#                                   the host's own and those it forwards
#   leak_count / leak_counter_remove
eventually() {
    local limit=$1 i
    shift
    for ((i = 0; i < limit * 10; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

machine_snapshot() {
    ip route show table all
    echo "--- rules"
    ip rule
    echo "--- resolv.conf"
    cat /etc/resolv.conf
    echo "--- ipv6"
    sysctl net.ipv6.conf 2>/dev/null | sort
    echo "--- nft"
    nft list ruleset
}

# Turning IPv6 back on re-adds the link-local addresses at once, but their
# local routes only once duplicate address detection is done.
machine_settled() { [ -z "$(ip -6 addr show tentative)" ]; }

machine_same_as() { # machine_same_as BASELINE-FILE
    machine_settled && [ "$(machine_snapshot)" = "$(cat "$1")" ]
}

restored() {
    if eventually 15 machine_same_as "$2"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1 restores the client namespace:" >&2
        diff "$2" <(machine_snapshot) >&2 || true
    fi
}

leak_counter_add() {
    nft -f - <<EOF
table inet torvane_test_leak {
    counter leak {}
    chain out {
        type filter hook postrouting priority 10; policy accept;
        oifname != "$1" return
        ip daddr $2 udp dport { 500, 4500 } return
        ip daddr $2 ip protocol esp return
        counter name leak
    }
}
EOF
}
leak_count() { nft list counter inet torvane_test_leak leak | awk '/packets/ {print $2}'; }
leak_counter_remove() { nft delete table inet torvane_test_leak; }

export -f eventually machine_snapshot machine_settled machine_same_as restored
export -f leak_counter_add leak_count leak_counter_remove

BED_CLIENT_ADDR=10.10.0.2
BED_GW_ADDR=10.10.0.1
BED_GW_LAN_ADDR=10.200.0.1
BED_LAN_ADDR=10.200.0.10
BED_LAN_NET=10.200.0.0/24
BED_POOL=10.99.0.0/24
BED_GW_ID="C=CH, O=Torvane Test, CN=gw.torvane.test"
BED_GW_PSK_ID=gw.torvane.test
BED_PSK_DOMAIN=psk.torvane.test
BED_CLIENT_DN_PATTERN="C=CH, O=Torvane Test, CN=*"
BED_IKEV1_PSK=bed-ikev1-group-psk
BED_CLIENT_RESOLV="nameserver 10.10.0.1"
BED_USER_COUNT=20

# Debian's strongSwan; a test may point these elsewhere before bed_up.
: "${BED_CHARON:=/usr/lib/ipsec/charon}"
: "${BED_SWANCTL:=/usr/sbin/swanctl}"

BED_PIDS=()
BED_ACTIVE=0

bed_log() { printf 'bed: %s\n' "$*" >&2; }
bed_fail() { bed_log "$*" && return 1; }

# Exits with 77 (the skip code of ctest) when the bed cannot be built here,
# or when one of the TOOLs a test needs besides the bed's own is missing.
#   bed_require_root [TOOL...]     for bed_up
#   bed_require [TOOL...]          for bed_ns_up
bed_require_root() { bed_require nft openssl ping "$BED_CHARON" "$BED_SWANCTL" "$@"; }
bed_require() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "SKIP: the network-namespace test bed needs root" >&2
        exit 77
    fi
    local tool
    for tool in ip unshare "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed (scripts/setup-deps.sh installs it)" >&2
            exit 77
        fi
    done
}

# Runs CMD... in the client namespace.
bed_client_exec() { ip netns exec "$BED_NS_CLIENT" "$@"; }
bed_gateway_exec() { ip netns exec "$BED_NS_GW" "$@"; }
bed_lan_exec() { ip netns exec "$BED_NS_LAN" "$@"; }

# Runs CMD... in the client namespace, in a PID namespace of its own (CMD is
# its init: when CMD ends, everything it started is killed) and with a private
# tmpfs on /run. A daemon started there, its charon and a `pgrep charon` see
# only this test's processes, and charon's /var/run/charon.pid stays private.
# A client of a daemon that checks its peer's pid must run inside the same
# invocation (a process outside the PID namespace shows up with pid 0). Shell
# functions reach CMD with `export -f NAME` and `bed_client_private bash -c NAME`.
bed_client_private() {
    ip netns exec "$BED_NS_CLIENT" unshare --pid --fork --kill-child --mount-proc \
        bash -c 'mount -t tmpfs -o mode=0755 bed-run /run && exec "$@"' bed-private "$@"
}

# The daemon under test runs in bed_client_private, where the gateway's and
# LAN's namespaces and processes cannot be reached. Such steps go to the
# shell that called bed_private_with_outside: inside, `outside COMMAND-LINE`
# runs COMMAND-LINE there and hands back its output and status.
outside() {
    printf '%s\n' "$*" >"$BED_WORK/req"
    local rc out
    {
        read -r rc
        out=$(cat)
    } <"$BED_WORK/ack"
    [ -z "$out" ] || printf '%s\n' "$out"
    return "$rc"
}
export -f outside

# Runs the exported function NAME in bed_client_private and serves its
# `outside` requests until it ends; returns its status.
bed_private_with_outside() {
    mkfifo "$BED_WORK/req" "$BED_WORK/ack"
    local reqfd inner_pid line="" part rc
    exec {reqfd}<>"$BED_WORK/req"
    bed_client_private bash -c "$1" &
    inner_pid=$!
    while kill -0 "$inner_pid" 2>/dev/null; do
        # A read that times out keeps what it got so far: glue it on.
        part=""
        if ! IFS= read -r -t 1 -u "$reqfd" part; then
            line+=$part
            continue
        fi
        line+=$part
        # In this shell, not a subshell, so that it can reap what it kills.
        rc=0
        eval "$line" >"$BED_WORK/reply" 2>&1 || rc=$?
        { printf '%s\n' "$rc"; cat "$BED_WORK/reply"; } >"$BED_WORK/ack"
        line=""
    done
    wait "$inner_pid"
}

# Runs swanctl against the gateway's charon.
bed_gw_swanctl() {
    STRONGSWAN_CONF="$BED_WORK/gw/strongswan.conf" SWANCTL_DIR="$BED_WORK/gw/swanctl" \
        "$BED_SWANCTL" "$@" --uri "unix://$BED_WORK/gw/charon.vici"
}

# Waits until PATH is a socket, for at most SECONDS (default 10). Exported, so
# it also works inside bed_client_private.
bed_wait_for_socket() {
    eventually "${2:-10}" test -S "$1" && return 0
    echo "bed: no socket at $1 after ${2:-10} s" >&2
    return 1
}
export -f bed_wait_for_socket

# Registers a background process for bed_down to end.
bed_track_pid() { BED_PIDS+=("$@"); }

bed_user_password() { printf 'pw-%s' "$1"; }
bed_user_psk() { printf 'psk-%s' "$1"; }

# Adds a gateway user NAME with the secrets above (or PASSWORD and PSK when
# given): XAuth and EAP-MSCHAPv2 with NAME, PSK with NAME and
# NAME@psk.torvane.test. Reloads the gateway's credentials when it runs.
bed_add_user() {
    local name=$1 password=${2:-$(bed_user_password "$1")} psk=${3:-$(bed_user_psk "$1")}
    [[ $name =~ ^[A-Za-z0-9._-]+$ ]] || bed_fail "bed_add_user: bad user name '$name'" || return 1
    cat >"$BED_WORK/gw/swanctl/conf.d/user-$name.conf" <<EOF
secrets {
    xauth-$name {
        id = $name
        secret = "$password"
    }
    eap-$name {
        id = $name
        secret = "$password"
    }
    ike-$name {
        id-a = $name
        id-b = $name@$BED_PSK_DOMAIN
        secret = "$psk"
    }
}
EOF
    if [ -S "$BED_WORK/gw/charon.vici" ]; then
        bed_gw_swanctl --load-creds --noprompt >/dev/null || bed_fail "gateway: loading credentials failed"
    fi
}

bed_json_string() {
    local s=$1
    s=${s//\\/\\\\}
    s=${s//\"/\\\"}
    s=${s//$'\n'/\\n}
    s=${s//$'\r'/\\r}
    s=${s//$'\t'/\\t}
    printf '"%s"' "$s"
}

bed_json_list() {
    local IFS=, item out=""
    for item in $1; do out+=,$(bed_json_string "$item"); done
    printf '[%s]' "${out#,}"
}

# Writes $BED_WORK/profiles/NAME.profile.json and NAME.secrets.json for METHOD
# and prints the profile's id: user01's identities and secrets, then the
# FIELD=VALUE overrides. "user=NAME" switches every identity and secret to
# that user; lists (routes, dnsServers, searchDomains) take comma-separated
# values; xauthPassword and privateKeyPEM go to the secrets file.
#   bed_make_profile NAME METHOD [FIELD=VALUE...]
declare -gA BED_P=()
bed_make_profile() {
    local name=$1 method=$2 user=user01 arg given="" pki=$BED_WORK/pki
    shift 2
    for arg in "$@"; do
        [[ $arg == user=* ]] && user=${arg#user=}
    done
    BED_P=(
        [id]=$(tr a-f A-F </proc/sys/kernel/random/uuid) [name]="bed $method" [authMethod]=$method
        [xauthID]="" [localID]="" [clientCertPEM]="" [caCertPEM]="$(<"$pki/ca.crt")"
        [remoteAddr]=$BED_GW_ADDR [remoteID]="" [ikeProposals]=aes256-sha512-ecp384
        [ikeVersion]=2 [fragmentation]=true [encap]=true [rekeyTimeIKE]=86400s
        [espProposals]=aes256-sha512-ecp384 [remoteTS]=$BED_LAN_NET [rekeyTimeChild]=6500s
        [lifeTimeChild]=7200s [requestVIP]=true [routes]="" [dnsServers]="" [searchDomains]=""
        [dnsmasqEnabled]=false [dnsmasqConfig]="" [preventIPv6Leak]=false
        [killSwitchEnabled]=false [priority]=0 [connectOnLaunch]=false [keepaliveIP]=""
        [keepaliveInterval]=30 [xauthPassword]="" [privateKeyPEM]=""
    )
    case $method in
    xauth) BED_P+=([ikeVersion]=1 [xauthID]=$user [xauthPassword]=$(bed_user_password "$user")
        [clientCertPEM]=$(<"$pki/client-rsa.crt") [privateKeyPEM]=$(<"$pki/client-rsa.key")) ;;
    certificate | eapTLS)
        BED_P+=([clientCertPEM]=$(<"$pki/client-ecdsa.crt") [privateKeyPEM]=$(<"$pki/client-ecdsa.key")) ;;
    eapMSCHAPv2) BED_P+=([xauthID]=$user [xauthPassword]=$(bed_user_password "$user")) ;;
    psk) BED_P+=([localID]=$user@$BED_PSK_DOMAIN [xauthPassword]=$(bed_user_psk "$user")) ;;
    pskMutual) BED_P+=([caCertPEM]="" [localID]=$user [xauthPassword]=$(bed_user_psk "$user")) ;;
    *) bed_fail "unknown auth method '$method'" || return 1 ;;
    esac
    for arg in "$@"; do
        [[ $arg == user=* ]] && continue
        [[ $arg == xauthPassword=* ]] && given=1
        [ -n "${BED_P[${arg%%=*}]+set}" ] || bed_fail "bed_make_profile: unknown field in '$arg'" || return 1
        BED_P[${arg%%=*}]=${arg#*=}
    done
    # IKEv1 main mode picks the PSK before the client's identity is known.
    if [[ $method == pskMutual && ${BED_P[ikeVersion]} == 1 && -z $given ]]; then
        BED_P[xauthPassword]=$BED_IKEV1_PSK
    fi
    local json="" f v
    for f in "${!BED_P[@]}"; do
        v=${BED_P[$f]}
        case $f in
        xauthPassword | privateKeyPEM) continue ;;
        ikeVersion | priority | keepaliveInterval | fragmentation | encap | requestVIP) ;;
        dnsmasqEnabled | preventIPv6Leak | killSwitchEnabled | connectOnLaunch) ;;
        routes | dnsServers | searchDomains) v=$(bed_json_list "$v") ;;
        *) v=$(bed_json_string "$v") ;;
        esac
        json+=,\"$f\":$v
    done
    local dir=$BED_WORK/profiles
    mkdir -p "$dir"
    printf '{%s}\n' "${json#,}" >"$dir/$name.profile.json"
    printf '{"xauthPassword":%s,"privateKeyPEM":%s}\n' "$(bed_json_string "${BED_P[xauthPassword]}")" \
        "$(bed_json_string "${BED_P[privateKeyPEM]}")" >"$dir/$name.secrets.json"
    chmod 0600 "$dir/$name.secrets.json"
    printf '%s\n' "${BED_P[id]}"
}

# The gateway's charon SIGKILLed (bed_gateway_kill), or SIGKILLed and started
# again with its connections and users (bed_gateway_restart).
bed_gateway_kill() {
    kill -KILL "$BED_GW_PID" || return 1
    # Reaping it here keeps the shell's "Killed" job notice out of the output.
    wait "$BED_GW_PID" 2>/dev/null || true
}
bed_gateway_restart() {
    bed_gateway_kill 2>/dev/null
    rm -f "$BED_WORK/gw/charon.vici"
    bed_start_gateway
}

bed_make_pki() {
    local pki=$BED_WORK/pki
    mkdir -p "$pki"
    cat >"$pki/openssl.cnf" <<EOF
[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[ca]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[gw]
basicConstraints = CA:false
keyUsage = digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth,1.3.6.1.5.5.8.2.2
subjectAltName = IP:$BED_GW_ADDR,DNS:$BED_GW_PSK_ID
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[client]
basicConstraints = CA:false
keyUsage = digitalSignature,keyEncipherment
extendedKeyUsage = clientAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
    # RSA key generation dominates the bed's start-up: run it in parallel.
    # IKEv1 signs with the key type both sides share, and strongSwan's XAuth
    # needs RSA there, so the gateway and the IKEv1 client use RSA keys.
    local jobs=() job ok=1
    bed_make_key ca EC -pkeyopt ec_paramgen_curve:P-256 &
    jobs+=($!)
    bed_make_key gw RSA -pkeyopt rsa_keygen_bits:2048 &
    jobs+=($!)
    bed_make_key client-rsa RSA -pkeyopt rsa_keygen_bits:2048 &
    jobs+=($!)
    bed_make_key client-ecdsa EC -pkeyopt ec_paramgen_curve:P-256 &
    jobs+=($!)
    for job in "${jobs[@]}"; do wait "$job" || ok=0; done
    [ $ok = 1 ] || bed_fail "openssl: making the keys failed" || return 1
    openssl req -x509 -new -config "$pki/openssl.cnf" -extensions ca -key "$pki/ca.key" \
        -subj "/C=CH/O=Torvane Test/CN=Torvane Test CA" -days 3650 -out "$pki/ca.crt" ||
        bed_fail "openssl: making the CA failed" || return 1
    bed_make_cert gw "/C=CH/O=Torvane Test/CN=$BED_GW_PSK_ID" gw &&
        bed_make_cert client-rsa "/C=CH/O=Torvane Test/CN=client-rsa" client &&
        bed_make_cert client-ecdsa "/C=CH/O=Torvane Test/CN=client-ecdsa" client
}

bed_make_key() {
    local name=$1
    shift
    openssl genpkey -algorithm "$@" -out "$BED_WORK/pki/$name.key" 2>/dev/null
}

bed_make_cert() {
    local name=$1 subject=$2 section=$3
    local pki=$BED_WORK/pki
    openssl req -new -config "$pki/openssl.cnf" -key "$pki/$name.key" -subj "$subject" \
        -out "$pki/$name.csr" &&
        openssl x509 -req -in "$pki/$name.csr" -CA "$pki/ca.crt" -CAkey "$pki/ca.key" \
            -set_serial "0x$(openssl rand -hex 8)" -days 365 -extfile "$pki/openssl.cnf" \
            -extensions "$section" -out "$pki/$name.crt" 2>/dev/null ||
        bed_fail "openssl: making the $name certificate failed"
}

# bed_gw_conn NAME VERSION cert|psk SECTION...: one gateway connection, its
# own side authenticated by the gateway's certificate or by PSK, with the
# remote SECTIONs given as "name|setting|setting...". Uses the caller's
# $common and $child.
bed_gw_conn() {
    local name=$1 version=$2 side=$3 section parts
    shift 3
    printf '    %s {\n        version = %s\n        %s\n' "$name" "$version" "$common"
    if [ "$side" = cert ]; then
        printf '        send_cert = always\n        local {\n            auth = pubkey\n'
        printf '            certs = gw.crt\n            id = "%s"\n        }\n' "$BED_GW_ID"
    else
        printf '        local {\n            auth = psk\n            id = %s\n        }\n' "$BED_GW_PSK_ID"
    fi
    for section in "$@"; do
        IFS='|' read -r -a parts <<<"$section"
        printf '        %s {\n' "${parts[0]}"
        printf '            %s\n' "${parts[@]:1}"
        printf '        }\n'
    done
    printf '        children {\n            %s {\n                %s\n            }\n        }\n    }\n' \
        "$name" "$child"
}

bed_write_gateway_config() {
    local gw=$BED_WORK/gw sw=$BED_WORK/gw/swanctl d
    for d in x509 x509ca private conf.d; do mkdir -p "$sw/$d"; done
    cp "$BED_WORK/pki/ca.crt" "$sw/x509ca/ca.crt"
    cp "$BED_WORK/pki/gw.crt" "$sw/x509/gw.crt"
    cp "$BED_WORK/pki/gw.key" "$sw/private/gw.key"
    chmod 0600 "$sw/private/gw.key"

    cat >"$gw/strongswan.conf" <<EOF
charon {
    load_modular = no
    load = random nonce openssl pem pkcs1 pkcs8 x509 pubkey revocation constraints kdf sha1 sha2 hmac aes gcm kernel-libipsec kernel-netlink socket-default vici attr eap-identity eap-mschapv2 eap-tls xauth-generic
    install_routes = yes
    plugins {
        vici {
            socket = unix://$gw/charon.vici
        }
    }
    filelog {
        gw {
            path = $gw/charon.log
            time_format = %T
            append = no
            default = 1
        }
    }
    syslog {
        daemon {
            default = -1
        }
    }
}
swanctl {
    load = random nonce openssl pem pkcs1 pkcs8 x509 pubkey
}
EOF

    local ike="aes256-sha512-ecp384,aes256-sha256-modp2048,aes128-sha256-ecp256,default"
    local esp="aes256-sha512-ecp384,aes256-sha512,aes256gcm16,aes128-sha256,default"
    local common="local_addrs = $BED_GW_ADDR
        pools = bed-pool
        proposals = $ike
        fragmentation = yes"
    # One CHILD config for every connection: the client narrows 0.0.0.0/0 to
    # the traffic selector it proposes.
    local child="local_ts = 0.0.0.0/0
                esp_proposals = $esp"
    {
        echo "connections {"
        bed_gw_conn bed-xauth 1 cert "remote-pubkey|round = 1|auth = pubkey|cacerts = ca.crt" \
            "remote-xauth|round = 2|auth = xauth"
        bed_gw_conn bed-cert-v1 1 cert "remote|auth = pubkey|cacerts = ca.crt"
        bed_gw_conn bed-psk-mutual-v1 1 psk "remote|auth = psk"
        bed_gw_conn bed-cert-v2 2 cert \
            "remote|auth = pubkey|cacerts = ca.crt|id = \"$BED_CLIENT_DN_PATTERN\""
        bed_gw_conn bed-eap-mschapv2 2 cert "remote|auth = eap-mschapv2|eap_id = %any"
        bed_gw_conn bed-eap-tls 2 cert \
            "remote|auth = eap-tls|cacerts = ca.crt|id = \"$BED_CLIENT_DN_PATTERN\""
        bed_gw_conn bed-psk 2 cert "remote|auth = psk|id = *@$BED_PSK_DOMAIN"
        bed_gw_conn bed-psk-mutual-v2 2 psk "remote|auth = psk"
        cat <<EOF
}

pools {
    bed-pool {
        addrs = $BED_POOL
    }
}

secrets {
    private-gw {
        file = gw.key
    }
    ike-v1-group {
        id = $BED_GW_PSK_ID
        secret = "$BED_IKEV1_PSK"
    }
}

include conf.d/*.conf
EOF
    } >"$sw/swanctl.conf"
    local i
    for ((i = 1; i <= BED_USER_COUNT; i++)); do
        bed_add_user "$(printf 'user%02d' "$i")" || return 1
    done
}

bed_start_gateway() {
    local gw=$BED_WORK/gw
    cp "$BED_CHARON" "$gw/gw-charon"
    # `ip netns exec` gives the gateway a mount namespace of its own, so the
    # tmpfs hides only its /run (charon's compiled-in /var/run/charon.pid).
    STRONGSWAN_CONF="$gw/strongswan.conf" ip netns exec "$BED_NS_GW" \
        sh -c 'mount -t tmpfs -o mode=0755 bed-gw-run /run && exec "$1"' bed-gw "$gw/gw-charon" \
        >"$gw/charon.out" 2>&1 &
    BED_GW_PID=$!
    bed_track_pid "$BED_GW_PID"
    bed_wait_for_socket "$gw/charon.vici" 10 ||
        bed_fail "the gateway's charon did not start: $(cat "$gw/charon.out")" || return 1
    bed_gw_swanctl --load-all --noprompt >"$gw/load.out" 2>&1 ||
        bed_fail "gateway: swanctl --load-all failed: $(cat "$gw/load.out")"
}

# Namespaces of beds whose shell died without cleaning up (e.g. killed by a
# test timeout) are removed, with whatever still runs inside them.
bed_reap_stale() {
    local ns owner
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
        [[ $ns =~ ^tv[a-z]-([0-9]+)-[cgl]$ ]] || continue
        owner=${BASH_REMATCH[1]}
        [ "$owner" = $$ ] && continue
        kill -0 "$owner" 2>/dev/null && continue
        bed_remove_ns "$ns"
        # A namespace that outlives its reaping would pile up run after run.
        ! ip netns list | awk '{print $1}' | grep -qx -- "$ns" ||
            bed_fail "the stale namespace $ns cannot be removed" || return 1
    done
    local dir
    for dir in "${TMPDIR:-/tmp}"/tv?-*-bed.*; do
        [[ $dir =~ /tv[a-z]-([0-9]+)-bed\.[A-Za-z0-9]+$ ]] || continue
        owner=${BASH_REMATCH[1]}
        [ "$owner" = $$ ] && continue
        kill -0 "$owner" 2>/dev/null || rm -rf "$dir"
    done
}

bed_remove_ns() {
    local ns=$1 pid
    local -
    set +e
    if ip netns list | awk '{print $1}' | grep -qx -- "$ns"; then
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
        ip netns del "$ns" 2>/dev/null
    fi
    rm -rf "/etc/netns/$ns"
}

# Names the namespaces, reaps stale beds and makes $BED_WORK.
bed_begin() {
    if [ "$BED_ACTIVE" = 1 ]; then
        bed_fail "the bed is already up"
        return 1
    fi
    : "${BED_PREFIX:=tvc-$$}"
    [[ $BED_PREFIX =~ ^[a-z0-9-]{1,12}$ ]] ||
        bed_fail "BED_PREFIX '$BED_PREFIX' must be 1-12 characters of a-z, 0-9, -" || return 1
    BED_NS_CLIENT=$BED_PREFIX-c
    BED_NS_GW=$BED_PREFIX-g
    BED_NS_LAN=$BED_PREFIX-l
    export BED_PREFIX BED_NS_CLIENT BED_NS_GW BED_NS_LAN BED_CLIENT_ADDR BED_GW_ADDR \
        BED_GW_LAN_ADDR BED_LAN_ADDR BED_LAN_NET BED_POOL BED_GW_ID BED_GW_PSK_ID \
        BED_PSK_DOMAIN BED_IKEV1_PSK BED_CHARON BED_SWANCTL
    bed_reap_stale || return 1
    # Without these an interrupted test would skip its EXIT trap.
    [ -n "$(trap -p INT)" ] || trap 'exit 130' INT
    [ -n "$(trap -p TERM)" ] || trap 'exit 143' TERM
    BED_ACTIVE=1
    BED_WORK=$(mktemp -d "${TMPDIR:-/tmp}/$BED_PREFIX-bed.XXXXXX") || return 1
    chmod 0755 "$BED_WORK"
    export BED_WORK
    mkdir -p "$BED_WORK/gw" "$BED_WORK/profiles"
}

# bed_add_ns NS...: namespaces with loopback up; the client's gets its
# resolv.conf.
bed_add_ns() {
    local ns
    for ns in "$@"; do
        ip netns add "$ns" || bed_fail "cannot create namespace $ns" || return 1
        ip -n "$ns" link set lo up
    done
    mkdir -p "/etc/netns/$BED_NS_CLIENT"
    printf '%s\n' "$BED_CLIENT_RESOLV" >"/etc/netns/$BED_NS_CLIENT/resolv.conf"
}

# A bare bed, for tests of one program on a machine of its own: the client
# namespace only, or with LINKS > 0 also $BED_NS_GW as its peer, joined by
# LINKS veth pairs $p-c<i> 10.10.<i>.2/24 <-> $p-g<i> 10.10.<i>.1/24 (i from
# 0), the client's default route via 10.10.0.1. No firewall, PKI or charon;
# bed_down removes it like the full bed, and it is reaped the same way.
#   bed_ns_up [LINKS]
bed_ns_up() {
    local links=${1:-0} i p
    bed_begin || return 1
    if [ "$links" = 0 ]; then
        bed_add_ns "$BED_NS_CLIENT" || return 1
        return 0
    fi
    bed_add_ns "$BED_NS_CLIENT" "$BED_NS_GW" || return 1
    p=$BED_PREFIX
    for ((i = 0; i < links; i++)); do
        ip link add "$p-c$i" netns "$BED_NS_CLIENT" type veth peer name "$p-g$i" netns "$BED_NS_GW" &&
            ip -n "$BED_NS_CLIENT" addr add "10.10.$i.2/24" dev "$p-c$i" &&
            ip -n "$BED_NS_CLIENT" link set "$p-c$i" up &&
            ip -n "$BED_NS_GW" addr add "10.10.$i.1/24" dev "$p-g$i" &&
            ip -n "$BED_NS_GW" link set "$p-g$i" up ||
            bed_fail "cannot configure link $i" || return 1
    done
    ip -n "$BED_NS_CLIENT" route add default via 10.10.0.1 dev "$p-c0"
}

# Builds the bed: namespaces, links, addresses, the gateway's firewall, the
# PKI, the gateway's charon with every connection and user. Exported variables: BED_PREFIX, BED_NS_CLIENT, BED_NS_GW, BED_NS_LAN,
# BED_WORK and the addresses above.
bed_up() {
    bed_begin && bed_add_ns "$BED_NS_CLIENT" "$BED_NS_GW" "$BED_NS_LAN" || return 1

    local p=$BED_PREFIX
    # Both ends are created directly inside their namespaces.
    ip link add "$p-c" netns "$BED_NS_CLIENT" type veth peer name "$p-g" netns "$BED_NS_GW" &&
        ip link add "$p-gl" netns "$BED_NS_GW" type veth peer name "$p-l" netns "$BED_NS_LAN" ||
        bed_fail "cannot create the veth links" || return 1
    ip -n "$BED_NS_CLIENT" addr add "$BED_CLIENT_ADDR/24" dev "$p-c" &&
        ip -n "$BED_NS_CLIENT" link set "$p-c" up &&
        ip -n "$BED_NS_CLIENT" route add default via "$BED_GW_ADDR" &&
        ip -n "$BED_NS_GW" addr add "$BED_GW_ADDR/24" dev "$p-g" &&
        ip -n "$BED_NS_GW" link set "$p-g" up &&
        ip -n "$BED_NS_GW" addr add "$BED_GW_LAN_ADDR/24" dev "$p-gl" &&
        ip -n "$BED_NS_GW" link set "$p-gl" up &&
        ip -n "$BED_NS_LAN" addr add "$BED_LAN_ADDR/24" dev "$p-l" &&
        ip -n "$BED_NS_LAN" link set "$p-l" up &&
        ip -n "$BED_NS_LAN" route add default via "$BED_GW_LAN_ADDR" ||
        bed_fail "cannot configure the links" || return 1

    bed_gateway_exec sysctl -qw net.ipv4.ip_forward=1 &&
        bed_gateway_exec nft -f - <<EOF || bed_fail "cannot load the gateway's firewall" || return 1
table inet bed-gw {
    chain forward {
        type filter hook forward priority filter; policy drop;
        iifname "ipsec0" ip saddr $BED_POOL accept
        oifname "ipsec0" ip daddr $BED_POOL accept
    }
}
EOF

    bed_make_pki && bed_write_gateway_config && bed_start_gateway
}

# Removes everything bed_up made; safe to call more than once and after a
# partial bed_up. Keeps the exit status of the caller. On failure it prints
# the end of the gateway's log first.
bed_down() {
    local status=$?
    # Cleanup must run to the end even in a caller's `set -e`.
    local -
    set +e
    [ "$BED_ACTIVE" = 1 ] || return "$status"
    BED_ACTIVE=0
    if [ "$status" -ne 0 ] && [ -f "$BED_WORK/gw/charon.log" ]; then
        bed_log "exit status $status; the gateway's log ends with:"
        tail -n 40 "$BED_WORK/gw/charon.log" >&2
    fi
    local pid i
    for pid in "${BED_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    for ((i = 0; i < 40; i++)); do
        local alive=0
        for pid in "${BED_PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
        [ $alive = 0 ] && break
        sleep 0.05
    done
    for pid in "${BED_PIDS[@]}"; do kill -KILL "$pid" 2>/dev/null; done
    BED_PIDS=()
    local ns
    for ns in "$BED_NS_CLIENT" "$BED_NS_GW" "$BED_NS_LAN"; do bed_remove_ns "$ns"; done
    [ -n "${BED_WORK:-}" ] && [ -d "$BED_WORK" ] && rm -rf "$BED_WORK"
    return "$status"
}

# --- Tests of the daemon ------------------------------------------------------
# A daemon test calls, in place of bed_require_root and bed_up,
#     bed_daemon_up HELPER TESTCLIENT [TOOL...]
# which skips without root or a TOOL, exports HELPER and TC (absolute paths),
# builds the bed with bed_down as EXIT trap, and exports W ($BED_WORK), P (its
# profiles), S (the daemon's socket) and p ($BED_PREFIX). Its checks run in
# bed_client_private or bed_private_with_outside, where these work:
#   T ARG...             the test client against the daemon
#   start_profile NAME   starts the profile P/NAME.{profile,secrets}.json
#   id_of NAME           that profile's id
#   launch [ARG...]      starts the daemon (with ARGs), its output appended to
#                        W/helper.out; sets hp and waits for the socket
#   connects NAME [LABEL]  a counted check that NAME's start is answered
#                        "Connected"; its reply stays in $reply
#   daemon_stop          SIGTERM to the daemon, and waits for it
#   logged TEXT          W/helper.out has TEXT
#   ping_ok ADDRESS      one ping is answered within 3 s
#   daemon_summary NAME  checks_summary NAME, after the end of the daemon's
#                        output when a check failed
bed_daemon_up() {
    bed_require_root "${@:3}"
    HELPER=$(realpath "$1")
    TC=$(realpath "$2")
    export HELPER TC
    trap bed_down EXIT
    bed_up
    W=$BED_WORK P=$BED_WORK/profiles S=$BED_WORK/helper.sock p=$BED_PREFIX
    export W P S p
}
T() { "$TC" --socket "$S" "$@"; }
start_profile() { T start "$P/$1.profile.json" "$P/$1.secrets.json"; }
id_of() { sed -n 's/.*"id":"\([^"]*\)".*/\1/p' "$P/$1.profile.json"; }
launch() {
    "$HELPER" --socket "$S" --trust-client "$TC" "$@" >>"$W/helper.out" 2>&1 &
    hp=$!
    bed_wait_for_socket "$S"
}
connects() {
    reply=$(start_profile "$1")
    check "${2:-$1} connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
}
daemon_stop() {
    kill -TERM "$hp"
    wait "$hp" 2>/dev/null || true
}
logged() { grep -qF -- "$1" "$W/helper.out"; }
ping_ok() { ping -c 1 -W 3 "$1" >/dev/null 2>&1; }
daemon_summary() {
    if [ "${failed:-0}" -ne 0 ]; then
        echo "--- the daemon's output:" >&2
        tail -n 80 "$W/helper.out" >&2
    fi
    checks_summary "$1"
}
export -f T start_profile id_of launch connects daemon_stop logged ping_ok daemon_summary
