#!/usr/bin/env bash
# The real charon with the base strongswan.conf, started through the
# Resources symlink as the helper starts it: it must load the planned plugins
# (and none that would touch DNS or run scripts), make the userspace-ESP TUN
# device and its routing rule, and stop on SIGTERM. Against a real gateway it
# must then authenticate in the ways the daemon's own end-to-end tests leave
# out: an IKEv1 certificate with an RSA key in PKCS#1 form, IKEv1 mutual PSK,
# and EAP-TLS with an EC key in SEC1 form. The client's files have the shape
# the helper stages; each case must install a virtual IP and carry a ping
# through the tunnel.
#
#   tva-ac-PID                         tva-ag-PID
#   [client charon]  tva-c0 ---- tva-g0  [gateway charon, pool 10.99.0.0/24]
#   10.251.0.2/24                      10.251.0.1/24, lo 10.200.0.1
#
# Both charons use the base file and run in their own PID namespaces with a
# private /run. The client's only route to 10.200.0.0/24 goes via ipsec0, so
# the ping to 10.200.0.1 answers only through the tunnel.
#
# Usage: base_config_auth_methods.sh HELPER_DIR
set -uo pipefail

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root (network namespaces, TUN devices)"
    exit 77
fi
helper_dir=$(cd "$1" && pwd)
charon=$helper_dir/Resources/strongswan/libexec/ipsec/charon
swanctl=$helper_dir/Resources/strongswan/sbin/swanctl
BASE=$helper_dir/Resources/strongswan/etc/strongswan.conf
cn=tva-ac-$$
gn=tva-ag-$$
D=$(mktemp -d /tmp/tva-auth.XXXXXX)
P=$D/pki
CU= GU=
cleanup() {
    for u in $CU $GU; do kill -KILL "$u" 2>/dev/null; done
    ip netns del "$cn" 2>/dev/null
    ip netns del "$gn" 2>/dev/null
    rm -rf "$D"
}
trap cleanup EXIT

# Test PKI, made fresh: an ECDSA and an RSA CA, each with a gateway and a
# client certificate.
mkdir -p "$P"
(
    cd "$P" || exit 1
    ca() {
        openssl req -x509 -newkey $2 -nodes -keyout $1.key -out $1.crt -subj "/CN=TVA $1" -days 2 \
            -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
    }
    leaf() {
        openssl req -newkey $2 -nodes -keyout $1.key -out $1.csr -subj "/CN=$1"
        printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth,clientAuth\n' "$4" >ext.$1
        openssl x509 -req -in $1.csr -CA $3.crt -CAkey $3.key -CAcreateserial -out $1.crt -days 2 \
            -extfile ext.$1
    }
    ec="ec -pkeyopt ec_paramgen_curve:prime256v1"
    ca ecca "$ec" && ca rsaca rsa:2048 &&
        leaf gw-ec "$ec" ecca DNS:gw.tva.test && leaf client-ec "$ec" ecca DNS:client.tva.test &&
        leaf gw-rsa rsa:2048 rsaca DNS:gw.tva.test &&
        leaf client-rsa rsa:2048 rsaca DNS:client.tva.test &&
        openssl ec -in client-ec.key -out client-ec.sec1.key &&
        openssl rsa -in client-rsa.key -traditional -out client-rsa.pkcs1.key
) >"$D/pki.log" 2>&1 || { echo "FAIL: could not make the test PKI"; cat "$D/pki.log"; exit 1; }

ip netns add "$cn"
ip netns add "$gn"
ip link add tva-c0 netns "$cn" type veth peer name tva-g0 netns "$gn"
ip -n "$cn" addr add 10.251.0.2/24 dev tva-c0
ip -n "$gn" addr add 10.251.0.1/24 dev tva-g0
ip -n "$gn" addr add 10.200.0.1/32 dev lo
for n in "$cn" "$gn"; do
    ip -n "$n" link set lo up
done
ip -n "$cn" link set tva-c0 up
ip -n "$gn" link set tva-g0 up

for s in c g; do
    mkdir -p $D/$s/swanctl/{x509,x509ca,x509aa,x509ac,x509crl,x509ocsp,private,rsa,ecdsa,pkcs8,pkcs12,pubkey,conf.d}
    printf 'include %s\ncharon {\n    install_routes = no\n    plugins {\n        vici {\n            socket = unix://%s/charon.vici\n        }\n    }\n}' "$BASE" "$D/$s" >$D/$s/strongswan.conf
    echo 'include conf.d/*.conf' >$D/$s/swanctl/swanctl.conf
done
start() { # namespace, folder; prints the launcher's pid
    STRONGSWAN_CONF=$2/strongswan.conf ip netns exec "$1" unshare --pid --fork --mount-proc \
        --kill-child sh -c 'mount -t tmpfs tmpfs /run && exec "$0"' "$charon" >"$2/charon.log" 2>&1 &
    echo $!
}
CU=$(start "$cn" $D/c)
GU=$(start "$gn" $D/g)
# The VICI plugin makes its socket while the plugins load; the plugin list
# is logged once all have loaded.
for _ in $(seq 200); do
    [ -S $D/c/charon.vici ] && [ -S $D/g/charon.vici ] && grep -q "loaded plugins" $D/c/charon.log &&
        break
    sleep 0.1
done
[ -S $D/c/charon.vici ] && [ -S $D/g/charon.vici ] || {
    echo "FAIL: charon did not start"
    cat $D/c/charon.log $D/g/charon.log
    exit 1
}
base_fail() { echo "FAIL: $*"; echo "--- client charon output:"; cat $D/c/charon.log; exit 1; }

# The client charon comes up as the helper expects: the planned plugins, the
# userspace-ESP TUN device ipsec0, and kernel-libipsec's routing rule after
# the main table.
plugins=$(sed -n 's/.*loaded plugins: //p' $D/c/charon.log)
for plugin in nonce openssl kdf pem pkcs1 pkcs8 x509 pubkey revocation constraints \
    kernel-libipsec kernel-netlink socket-default vici attr eap-identity eap-mschapv2 eap-tls \
    xauth-generic; do
    [[ " $plugins " == *" $plugin "* ]] || base_fail "plugin $plugin not loaded"
done
# The first kernel-ipsec backend wins: userspace ESP must come first.
[[ "$plugins" == *kernel-libipsec*kernel-netlink* ]] || base_fail "kernel-netlink loaded before kernel-libipsec"
for unwanted in resolve stroke updown; do
    [[ " $plugins " != *" $unwanted "* ]] || base_fail "plugin $unwanted loaded"
done
grep -q "created TUN device: ipsec0" $D/c/charon.log || base_fail "no TUN device in the log"
ip -n "$cn" link show ipsec0 >/dev/null || base_fail "no ipsec0 device"
ip -n "$cn" rule show | grep -q '^32800:' || base_fail "no routing rule at priority 32800"
sw() {
    local s=$1
    shift
    STRONGSWAN_CONF=$D/$s/strongswan.conf SWANCTL_DIR=$D/$s/swanctl "$swanctl" "$@" --uri unix://$D/$s/charon.vici
}

pass=0
fail=0
run_case() {
    local name=$1
    rm -f $D/{c,g}/swanctl/{x509,x509ca,private,conf.d}/*
    eval "$2"
    sw g --load-all >$D/g.load 2>&1 || { echo "$name: gateway load failed"; cat $D/g.load; }
    sw c --load-creds --clear >$D/c.creds 2>&1 || { echo "$name: --load-creds failed"; cat $D/c.creds; }
    sw c --load-conns >$D/c.conns 2>&1 || { echo "$name: --load-conns failed"; cat $D/c.conns; }
    # No plugin noise in what the helper reads back from swanctl.
    if grep -q "failed to load" $D/c.creds $D/c.conns; then
        echo "$name: swanctl printed plugin load failures"
        cat $D/c.creds
    fi
    out=$(sw c --initiate --child ov-t 2>&1)
    st=$?
    vip=$(echo "$out" | grep 'installing new virtual IP' | awk '{print $NF}')
    if [ $st -eq 0 ] && [ -n "$vip" ] && ip netns exec "$cn" sh -c \
        "ip route add 10.200.0.0/24 dev ipsec0 src $vip && ping -c1 -W5 10.200.0.1" >/dev/null 2>&1; then
        echo "PASS $name (virtual IP $vip)"
        pass=$((pass + 1))
    else
        echo "FAIL $name (status $st, virtual IP '$vip')"
        echo "$out" | tail -15
        fail=$((fail + 1))
    fi
    sw c --terminate --ike ov-t >/dev/null 2>&1
    ip -n "$cn" route del 10.200.0.0/24 2>/dev/null
}
gwconn() { # version localauth-block remote-blocks
cat > $D/g/swanctl/conf.d/gw.conf <<X
connections {
    gw {
        local_addrs = 10.251.0.1
        pools = pool4
        version = $1
        proposals = aes256-sha512-ecp384
        send_cert = always
$2
$3
        children {
            net {
                local_ts = 10.200.0.0/24
                esp_proposals = aes256-sha512-ecp384
            }
        }
    }
}
pools {
    pool4 {
        addrs = 10.99.0.0/24
        dns = 10.200.0.53
    }
}
secrets {
$4
}
X
}
clconn() { # version sendcert local remote secrets  (shape of the helper's generated file)
cat > $D/c/swanctl/conf.d/t.conf <<X
connections {
    ov-t {
        remote_addrs = 10.251.0.1
        fragmentation = yes
        encap = no
        aggressive = no
        keyingtries = 1
        local_addrs = %any
                vips = %any
        version = $1
        proposals = aes256-sha512-ecp384
        rekey_time = 14400
$2
$3
$4
        children {
            ov-t {
                mode = tunnel
                start_action = none
                remote_ts = 10.200.0.0/24
                esp_proposals = aes256-sha512-ecp384
                rekey_time = 3600
                life_time = 3960
            }
        }
    }
}

secrets {
$5
}
X
}
gwcert() { cp $P/gw-$1.crt $D/g/swanctl/x509/gw.crt; cp $P/gw-$1.key $D/g/swanctl/private/gw.key; cp $P/${1}ca.crt $D/g/swanctl/x509ca/ca.pem; cp $P/${1}ca.crt $D/c/swanctl/x509ca/ca-t.pem; }
GWLOCAL_CERT='        local {
            auth = pubkey
            certs = gw.crt
            id = gw.tva.test
        }'
CLREMOTE_CERT='            remote {
                auth = pubkey
                cacerts = ca-t.pem
                id = "gw.tva.test"
            }'

# Every method also runs through the daemon itself in tests/netns/helper_e2e.sh
# with PKCS#8 keys; here the key forms and the IKEv1 PSK it does not use.
run_case "ikev1 certificate (RSA, PKCS#1 key)" "gwcert rsa; cp $P/client-rsa.crt $D/c/swanctl/x509/client-t.crt; cp $P/client-rsa.pkcs1.key $D/c/swanctl/private/client-t.key
gwconn 1 \"\$GWLOCAL_CERT\" '        remote {
            auth = pubkey
            cacerts = ca.pem
        }' ''
clconn 1 '            send_cert = always' '            local {
                auth = pubkey
                certs = client-t.crt
            }' \"\$CLREMOTE_CERT\" '        private-t {
            file = client-t.key
        }'"
run_case "ikev1 pskMutual" "gwconn 1 '        local {
            auth = psk
            id = gw.tva.test
        }' '        remote {
            auth = psk
            id = client1
        }' '        ike-1 {
            id = client1
            secret = \"s3cret psk\"
        }'
clconn 1 '' '            local {
                auth = psk
                    id = \"client1\"
            }' '            remote {
                auth = psk
                id = \"gw.tva.test\"
            }' '        ike-t {
            id = \"client1\"
            id-remote = \"gw.tva.test\"
            secret = \"s3cret psk\"
        }'"
run_case "ikev2 eap-tls (EC cert, SEC1 key)" "gwcert ec; cp $P/client-ec.crt $D/c/swanctl/x509/client-t.crt; cp $P/client-ec.sec1.key $D/c/swanctl/private/client-t.key
gwconn 2 \"\$GWLOCAL_CERT\" '        remote {
            auth = eap-tls
            cacerts = ca.pem
            eap_id = %any
        }' ''
clconn 2 '            send_cert = always' '            local {
                auth = eap-tls
                certs = client-t.crt
                    id = \"client.tva.test\"
            }' \"\$CLREMOTE_CERT\" '        private-t {
            file = client-t.key
        }'"

# The helper stops charon with SIGTERM.
charon_pid=$(tr -d " " <"/proc/$CU/task/$CU/children")
[ "$(cat "/proc/$charon_pid/comm")" = charon ] || base_fail "pid $charon_pid is not charon"
kill -TERM "$charon_pid"
for _ in $(seq 100); do
    grep -q "SIGTERM received, shutting down" $D/c/charon.log && break
    sleep 0.1
done
grep -q "SIGTERM received, shutting down" $D/c/charon.log || base_fail "charon did not stop on SIGTERM"
echo "auth methods: $pass passed, $fail failed (plugins: $plugins)"
[ $fail -eq 0 ] && [ $pass -gt 0 ]
