#!/bin/bash
# The simulated host's boot: runs inside the sandbox as its first process.
# Brings up the loopback addresses, the certificate authority, the local
# proxies and the HTTPS stand-ins, loads the launchd jobs found in
# /Library/LaunchDaemons as launchd does at boot, then stays as the host's
# init. The sandbox (and everything in it) ends when this process ends.
set -euo pipefail

sim=/opt/tavlune-sim
db=/var/db/tavlune-sim
logs=/var/log/tavlune-sim
run=/var/run/tavlune-sim
mkdir -p "$db" "$logs" "$run" /run/sshd
chmod 755 /run/sshd
# /var/run does not survive a reboot; neither does launchd's record of running jobs.
find /var/run -mindepth 1 -maxdepth 1 ! -name tavlune-sim -exec rm -rf {} +
rm -rf "$run"/* "$db/launchd"

say() { echo "init: $*" >>"$logs/init.log"; }
say "booting (uid $(id -u), mode ${TAVLUNE_SIM_MODE:-?})"

# One loopback address per proxy, so that each proxy's exit address differs.
for n in 1 2 3 4 5 6 7 8 9; do ip addr add "127.0.1.$n/32" dev lo 2>/dev/null || true; done
ip link set lo up
# ::1 comes with lo unless the kernel has IPv6 off; the IPv6 proxies need it.
ipv6=false
for _ in $(seq 20); do ip -6 addr show dev lo | grep -q '::1/128' && { ipv6=true; break; }; sleep 0.1; done
$ipv6 || say "no IPv6 on lo: the proxies on [::1] do not start"

# The host's own certificate authority, trusted by nothing outside the host.
ca="$db/ca"
if [ ! -s "$ca/server.pem" ]; then
  mkdir -p "$ca"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$ca/ca.key" \
    -out "$ca/ca.pem" -days 3650 -subj "/CN=Tavlune simulated host CA" 2>>"$logs/init.log"
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$ca/server.key" \
    -out "$ca/server.csr" -subj "/CN=simulated services" 2>>"$logs/init.log"
  printf '%s\n' "subjectAltName=DNS:ipwho.is,DNS:ipapi.co,DNS:ipinfo.io,DNS:speed.cloudflare.com,DNS:proxy.sim,DNS:localhost,IP:127.0.0.1" \
    "basicConstraints=CA:FALSE" "keyUsage=digitalSignature" "extendedKeyUsage=serverAuth" >"$ca/server.ext"
  openssl x509 -req -in "$ca/server.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial \
    -out "$ca/server.pem" -days 3650 -extfile "$ca/server.ext" 2>>"$logs/init.log"
  chmod 644 "$ca/server.key"  # read by proxies that drop to nobody
fi
# The system store holds this authority only: nothing outside is reachable anyway.
cp "$ca/ca.pem" /etc/ssl/certs/ca-certificates.crt
ln -sf ca-certificates.crt "/etc/ssl/certs/$(openssl x509 -hash -noout -in "$ca/ca.pem").0"

root_mode=false
[ "${TAVLUNE_SIM_MODE:-}" = root ] && root_mode=true
user_lines=""
$root_mode && user_lines=$'User nobody\nGroup nogroup\n'

# start NAME PORT COMMAND...: in the background, output to its log.
start() {
  local name=$1 port=$2
  shift 2
  setsid "$@" </dev/null >>"$logs/$name.log" 2>&1 &
  echo "$name $port $!" >>"$run/services"
}

conf="$db/conf"
mkdir -p "$conf"
user=tavlune
password=proxy-secret

tinyproxy_conf() {  # PORT EXIT [BasicAuth]
  printf 'Port %s\nListen 127.0.0.1\nBind %s\nTimeout 30\nMaxClients 50\nAllow 127.0.0.1\nLogLevel Error\n%s%s' \
    "$1" "$2" "$user_lines" "${3:+BasicAuth $user $password$'\n'}"
}
tinyproxy_conf 3128 127.0.1.1 >"$conf/tinyproxy-http.conf"
tinyproxy_conf 3129 127.0.1.2 auth >"$conf/tinyproxy-http-auth.conf"
tinyproxy_conf 3130 127.0.1.7 >"$conf/tinyproxy-behind-tls.conf"
start http 3128 /usr/bin/tinyproxy -d -c "$conf/tinyproxy-http.conf"
start http-auth 3129 /usr/bin/tinyproxy -d -c "$conf/tinyproxy-http-auth.conf"
start http-behind-tls 3130 /usr/bin/tinyproxy -d -c "$conf/tinyproxy-behind-tls.conf"

start socks5 1080 /usr/bin/microsocks -i 127.0.0.1 -p 1080 -b 127.0.1.3
start socks5-auth 1081 /usr/bin/microsocks -i 127.0.0.1 -p 1081 -b 127.0.1.4 -u "$user" -P "$password"

# Proxies reached at an IPv6 address; their onward connections leave from IPv4 addresses of their own.
if $ipv6; then
  tinyproxy_conf 3131 127.0.1.8 | sed 's/^Listen .*/Listen ::1/; s/^Allow .*/Allow ::1/' >"$conf/tinyproxy-http-ipv6.conf"
  start http-ipv6 3131 /usr/bin/tinyproxy -d -c "$conf/tinyproxy-http-ipv6.conf"
  start socks5-ipv6 1084 /usr/bin/microsocks -i ::1 -p 1084 -b 127.0.1.9
fi

{
  echo "logoutput: stderr"
  echo "internal: 127.0.0.1 port = 1082"
  echo "external: 127.0.1.5"
  echo "clientmethod: none"
  echo "socksmethod: none"
  if $root_mode; then echo "user.privileged: root"; echo "user.unprivileged: nobody"; fi
  printf 'client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n'
  printf 'socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  protocol: tcp\n  log: error\n}\n'
} >"$conf/sockd.conf"
start dante 1082 /usr/sbin/danted -f "$conf/sockd.conf" -p "$run/sockd.pid"

# SOCKS4a: OpenSSH's dynamic forwarding. sshd makes the onward connections and
# has no option for their source address, so it gets a hosts file of its own
# that sends the service names to 127.0.1.6; a connection to that address
# leaves from it (its /32 local route carries it as the source).
if $root_mode; then
  ssh="$db/ssh"
  mkdir -p "$ssh"
  [ -s "$ssh/host_key" ] || ssh-keygen -q -t ed25519 -N "" -f "$ssh/host_key"
  [ -s "$ssh/client_key" ] || ssh-keygen -q -t ed25519 -N "" -f "$ssh/client_key"
  cp "$ssh/client_key.pub" "$ssh/authorized_keys"
  printf '127.0.0.1\tlocalhost\n127.0.1.6\tipwho.is ipapi.co ipinfo.io speed.cloudflare.com\n' >"$ssh/hosts"
  printf '%s\n' "ListenAddress 127.0.0.1" "Port 2222" "HostKey $ssh/host_key" \
    "AuthorizedKeysFile $ssh/authorized_keys" "PasswordAuthentication no" "KbdInteractiveAuthentication no" \
    "UsePAM no" "PermitRootLogin prohibit-password" "StrictModes no" "AllowTcpForwarding yes" "PidFile none" \
    >"$ssh/sshd_config"
  start sshd 2222 unshare --mount --propagation private \
    /bin/sh -c 'mount --bind "$1" /etc/hosts && exec /usr/sbin/sshd -D -e -f "$2"' sh "$ssh/hosts" "$ssh/sshd_config"
else
  say "no SOCKS4a proxy: sshd needs other user ids than the one mapped into an unprivileged sandbox"
fi

printf 'foreground = yes\npid =\n[proxy]\naccept = 127.0.0.1:8443\nconnect = 127.0.0.1:3130\ncert = %s\nkey = %s\n' \
  "$ca/server.pem" "$ca/server.key" >"$conf/stunnel.conf"
start https-proxy 8443 /usr/bin/stunnel4 "$conf/stunnel.conf"

start endpoints 443 /usr/bin/python3 "$sim/endpoints.py" "$ca/server.pem" "$ca/server.key" /etc/tavlune-sim/exits.json

listening() { (exec 3<>"/dev/tcp/${2:-127.0.0.1}/$1") 2>/dev/null; }
wait_for() {  # PORT [ADDRESS]
  for _ in $(seq 100); do listening "$@" && return 0; sleep 0.1; done
  return 1
}
for port in 2222 443 3128 3129 3130 1080 1081 1082 8443; do
  [ "$port" = 2222 ] && ! $root_mode && continue
  wait_for "$port" || { say "port $port did not open"; echo "port $port did not open" >"$run/failed"; }
done
if $ipv6; then
  for port in 3131 1084; do
    wait_for "$port" ::1 || { say "port [::1]:$port did not open"; echo "port [::1]:$port did not open" >"$run/failed"; }
  done
fi

if $root_mode; then
  start socks4 1083 /usr/bin/ssh -F /dev/null -N -D 127.0.0.1:1083 -i "$ssh/client_key" -p 2222 \
    -o BatchMode=yes -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o ExitOnForwardFailure=yes \
    -o LogLevel=ERROR root@127.0.0.1
  wait_for 1083 || { say "port 1083 did not open"; echo "port 1083 did not open" >"$run/failed"; }
fi

# launchd at boot: every job in /Library/LaunchDaemons comes back.
for job in /Library/LaunchDaemons/*.plist; do
  [ -e "$job" ] || continue
  if /bin/launchctl bootstrap system "$job" >>"$logs/init.log" 2>&1; then say "loaded $job"; else say "could not load $job"; fi
done

say "ready"
touch "$run/ready"
# The host's init: reap orphans until the host is stopped.
trap 'exit 0' TERM INT
while :; do sleep 3600 & wait $! || true; done
