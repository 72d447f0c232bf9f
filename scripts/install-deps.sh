#!/usr/bin/env bash
# install-deps.sh [extra...]
# Installs the Debian packages ekranik needs to build, test and run, and only those
# that are missing, so a second run costs a single dpkg query. "fuzz" adds clang and
# libFuzzer for `make fuzz`; "asan" adds clang and its sanitizer runtimes for `make asan`;
# "bench" adds the load tool of the portal's benchmark and valgrind for the tick's; "style"
# adds clang-format for `make style`.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
  libcurl4-openssl-dev libmicrohttpd-dev zlib1g-dev liblzma-dev xz-utils libbenchmark-dev
  libxcb1-dev
  # translations: Qt's CMake support for linguist (qt6-tools-dev), lupdate/lrelease/lconvert
  # (qt6-l10n-tools), and Qt's own texts in other languages for its dialogs
  # (qt6-translations-l10n)
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  # fonts: metric stand-ins for the Windows faces the layout names
  fontconfig fonts-dejavu-core fonts-liberation2 fonts-wine
  # desktop for the end-to-end tests and screenshots
  xvfb xauth icewm trayer xdotool x11-utils imagemagick
  # locales: the clock shows weekday names of the user's locale
  locales
  # the listings portal: XMLTV checker for the demo data; curl fetches its station list for
  # `make run XMLTV=...`
  xmltv-util curl
  # checks of the shell scripts (`make shellcheck`)
  shellcheck
  # the icon's PNG sizes are drawn from its SVG at build time
  librsvg2-bin
  # what `cmake --install` and `make package` put out: the launcher, metainfo, man pages and
  # the Debian package, checked by their own validators
  desktop-file-utils appstream mandoc man-db dpkg-dev file lintian
  # systemd-analyze checks the portal's user unit
  systemd
  # modern desktops: the widget follows a compositing manager (picom, xcompmgr) through the X
  # Fixes selection events; Wayland sessions with and without XWayland (weston headless, Qt's
  # Wayland platform); a StatusNotifierItem tray on a private session bus
  libxcb-xfixes0-dev libxcb-shape0-dev picom xcompmgr weston xwayland qt6-wayland dbus-daemon
  # a picture on the desktop under the translucent widget, as compositing managers draw it
  xwallpaper
  # a notification server, which reminders before the start go to where one runs; dbus-monitor
  # sees what it is sent
  dunst dbus-bin
  # many desktops on one portal: nginx as cache and balancer in front of portals (dist/nginx);
  # Debian 12's nginx has the proxy, cache, upstream and limit modules (nginx-light only adds
  # one module to it)
  nginx
)
for extra in "$@"; do
  case "$extra" in
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    asan) packages+=(clang libclang-rt-14-dev) ;;
    bench) packages+=(wrk valgrind) ;;
    style) packages+=(clang-format) ;;
    *) echo "install-deps.sh: unknown extra '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || missing+=("$p")
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "ekranik: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
