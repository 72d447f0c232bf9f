# shellcheck shell=bash
# nginx with the site file of dist/nginx in front of portals on this machine, run unprivileged
# with everything under a folder of its own; sourced by the tests and benchmarks that use it.
#
# start_nginx PREFIX SITE WORKERS PORTAL_PORT...: starts nginx in the background on a free port
# of 127.0.0.1 with SITE (dist/nginx/ekranik-portal.conf) adapted to the portals on
# 127.0.0.1:PORTAL_PORT...: its cache and temporary files in the folder PREFIX, its error and
# access logs beside it in PREFIX.error.log and PREFIX.access.log (what it prints in
# PREFIX.stderr.log). Unprivileged or as root (its workers then stay root). nginx reaches the
# portals from 127.0.0.2, so that a portal tells a client on 127.0.0.1 from nginx. Sets
# nginx_port and nginx_pid; returns 1 when nginx did not start (its error log says why).

nginx_program=$(command -v nginx || echo /usr/sbin/nginx)

# nginx_site SITE PREFIX PORT PORTAL_PORT...: prints SITE listening on 127.0.0.1:PORT, with
# the portals of its upstream replaced by these and its paths under PREFIX. Fails when SITE
# no longer has the lines this changes.
nginx_site() {
  local site=$1 prefix=$2 port=$3 servers="" p adapted
  shift 3
  for p in "$@"; do
    servers+="    server 127.0.0.1:$p max_fails=1 fail_timeout=10s;\\"$'\n'
  done
  adapted=$(sed -e "s|^\( *listen\) 80;|\1 127.0.0.1:$port;|" \
    -e "s|/var/cache/nginx/ekranik-portal|$prefix/cache|" \
    -e "s|/var/log/nginx/ekranik-portal.access.log|$prefix.access.log|" \
    -e '/^ *server 127\.0\.0\.1:808[0-9] /d' \
    -e "/^upstream ekranik_portals {/a\\
${servers%\\$'\n'}" \
    -e '/^ *proxy_pass http:\/\/ekranik_portals;/a\
        proxy_bind 127.0.0.2;' "$site") || return 1
  local want
  for want in "listen 127.0.0.1:$port;" "$prefix/cache " "$prefix.access.log " \
    "server 127.0.0.1:$1 " "proxy_bind 127.0.0.2;"; do
    grep -qF -- "$want" <<<"$adapted" || {
      echo "nginx_site: $site has changed: no '$want' made of it" >&2
      return 1
    }
  done
  [ "$(grep -c '^ *server 127\.0\.0\.1:' <<<"$adapted")" -eq $# ] || {
    echo "nginx_site: $site has changed: other portals left in its upstream" >&2
    return 1
  }
  echo "$adapted"
}

start_nginx() {
  local prefix=$1 site=$2 workers=$3 deadline user=""
  shift 3
  mkdir -p "$prefix/temp"
  # As root, nginx would hand its workers to "nobody", who may not enter the scratch folder.
  [ "$(id -u)" -ne 0 ] || user="user root;"
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    # Below the kernel's range for outgoing connections; taken ports fail the bind, and the
    # next try takes another.
    nginx_port=$((20000 + (RANDOM * 32768 + RANDOM) % 12000))
    nginx_site "$site" "$prefix" "$nginx_port" "$@" >"$prefix/site.conf" || return 1
    cat >"$prefix/nginx.conf" <<EOF
$user
worker_processes $workers;
daemon off;
pid $prefix/nginx.pid;
error_log $prefix.error.log warn;
events { worker_connections 4096; }
http {
    access_log off;
    client_body_temp_path $prefix/temp/body;
    proxy_temp_path $prefix/temp/proxy;
    fastcgi_temp_path $prefix/temp/fastcgi;
    uwsgi_temp_path $prefix/temp/uwsgi;
    scgi_temp_path $prefix/temp/scgi;
    include $prefix/site.conf;
}
EOF
    rm -f "$prefix/nginx.pid"
    "$nginx_program" -p "$prefix" -e "$prefix.error.log" -c "$prefix/nginx.conf" \
      >>"$prefix.stderr.log" 2>&1 &
    nginx_pid=$!
    # nginx writes its pid file once it listens; it ends at once when it cannot.
    deadline=$((${EPOCHREALTIME//[!0-9]/} + 30000000))
    until [ -s "$prefix/nginx.pid" ] || ! kill -0 "$nginx_pid" 2>/dev/null; do
      [ "${EPOCHREALTIME//[!0-9]/}" -lt "$deadline" ] || break
      sleep 0.05
    done
    [ -s "$prefix/nginx.pid" ] && kill -0 "$nginx_pid" 2>/dev/null && return 0
    kill "$nginx_pid" 2>/dev/null
    wait "$nginx_pid" 2>/dev/null
    grep -q 'Address already in use' "$prefix.error.log" || return 1
  done
  return 1
}
