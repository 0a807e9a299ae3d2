#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# CI: builds the Debian packages larkspur-cli and larkspur from the build
# folder and checks them with lintian; then, one package at a time, installs
# it the way a user would, runs what it holds (larkspur-cli on a small site,
# larkspur on the offscreen platform, manual pages, completion, desktop
# metadata), purges it again and checks that nothing of it is left in /usr.
# Needs root; refuses to touch a larkspur package installed before.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${LARKSPUR_BUILD_DIR:-build}
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -o DPkg::Lock::Timeout=600 -y -qq)
packages=(larkspur-cli larkspur)

for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q installed; then
    echo "package-check: the $package package is installed already; purge it first" >&2
    exit 1
  fi
done

./build.sh package
declare -A deb
for package in "${packages[@]}"; do
  debs=("$build_dir/${package}"_*_amd64.deb)
  [ ${#debs[@]} -eq 1 ] && [ -e "${debs[0]}" ] ||
    { echo "package-check: expected one $package package, found: ${debs[*]}" >&2; exit 1; }
  deb[$package]=$(realpath "${debs[0]}")
  echo "== ${deb[$package]}"
  dpkg-deb --info "${deb[$package]}" |
    grep -E '^ *(size [0-9]|(Package|Version|Depends|Recommends|Installed-Size|Section|Maintainer):)'
done
version=$(dpkg-deb -f "${deb[larkspur-cli]}" Version)

# The desktop program's test plugin, from the same build folder; it stays
# out of the packages.
cmake -S . -B "$build_dir" -DLARKSPUR_BUILD_TESTS=ON > /dev/null
cmake --build "$build_dir" --target larkspur_shown_probe

tmp=$(mktemp -d)
installed=()
cleanup() {
  [ ${#installed[@]} -eq 0 ] || "${apt[@]}" purge "${installed[@]}" > /dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! command -v lintian > /dev/null; then
  "${apt[@]}" update
  "${apt[@]}" install --no-install-recommends lintian > "$tmp/apt.log" || { cat "$tmp/apt.log"; exit 1; }
fi
echo "== lintian"
# Errors and warnings fail (a missing copyright file or changelog among
# them); of the informational tags, the hardening ones do.
lintian --display-info --fail-on error,warning "${deb[larkspur-cli]}" "${deb[larkspur]}" | tee "$tmp/lintian" ||
  fail "lintian"
! grep -q ' hardening-' "$tmp/lintian" || fail "lintian: not built with Debian's hardening flags"

for package in "${packages[@]}"; do
  [ "$(dpkg-deb -f "${deb[$package]}" Version)" = "$version" ] || fail "$package is not version $version"
done
# A server needs none of the desktop's libraries for the command line.
cli_depends=$(dpkg-deb -f "${deb[larkspur-cli]}" Depends)
if grep -qiE 'libqt6(gui|widgets)|libx11|libxcb|libgl' <<< "$cli_depends"; then
  fail "larkspur-cli depends on desktop libraries: $cli_depends"
fi

install_package() {  # package
  echo "== apt-get install $1"
  "${apt[@]}" install --no-install-recommends "${deb[$1]}" > "$tmp/apt.log" || { cat "$tmp/apt.log"; exit 1; }
  installed=("$1")
  dpkg -L "$1" > "$tmp/files"
  [ "$(man -w "$1")" = "/usr/share/man/man1/$1.1.gz" ] || fail "man does not find the page of $1"
}

purge_package() {  # package
  echo "== apt-get purge $1"
  "${apt[@]}" purge "$1" > "$tmp/apt.log" || { cat "$tmp/apt.log"; exit 1; }
  installed=()
  # Every file of the package is gone; a folder may stay only while another
  # package owns it.
  while read -r path; do
    if [ -d "$path" ] && [ ! -L "$path" ]; then
      dpkg-query -S "$path" > /dev/null 2>&1 || fail "left behind: $path/"
    elif [ -e "$path" ] || [ -L "$path" ]; then
      fail "left behind: $path"
    fi
  done < "$tmp/files"
  leftovers=$(find /usr -path /usr/local -prune -o -iname '*larkspur*' -print)
  [ -z "$leftovers" ] || fail "left behind: $leftovers"
}

install_package larkspur-cli
echo "== installed larkspur-cli"
[ "$(command -v larkspur-cli)" = /usr/bin/larkspur-cli ] || fail "larkspur-cli is not /usr/bin/larkspur-cli"
[ "$(/usr/bin/larkspur-cli --version)" = "larkspur-cli $version" ] || fail "larkspur-cli --version does not say $version"
mkdir -p "$tmp/site/docs" "$tmp/site/css"
printf '<html>home</html>\n' > "$tmp/site/index.html"
printf '<html>guide</html>\n' > "$tmp/site/docs/Guide.HTM"
: > "$tmp/site/docs/empty.html"
printf 'body{}\n' > "$tmp/site/css/site.css"
/usr/bin/larkspur-cli xml "$tmp/site" --url https://example.com/ || fail "larkspur-cli xml failed"
xmllint --noout --schema src/core/check/schemas/sitemap-0.84.xsd "$tmp/site/sitemap.xml" || fail "sitemap.xml is not valid"
locs=$(grep -o '<loc>[^<]*</loc>' "$tmp/site/sitemap.xml" | tr '\n' ' ' || true)
[ "$locs" = "<loc>https://example.com/docs/Guide.HTM</loc> <loc>https://example.com/index.html</loc> " ] ||
  fail "unexpected sitemap entries: $locs"
MANWIDTH=80 man larkspur-cli 2> /dev/null | grep -q 'larkspur-cli - write sitemaps' || fail "man larkspur-cli does not show the page"
# bash-completion loads the script on first use of the command.
loaded=$(bash -c '. /usr/share/bash-completion/bash_completion
                  _completion_loader larkspur-cli; complete -p larkspur-cli' 2>&1 || true)
[ "$loaded" = "complete -F _larkspur_cli larkspur-cli" ] || fail "bash-completion does not load the completion: $loaded"
purge_package larkspur-cli

# The desktop program on its own, without the command line it recommends.
install_package larkspur
echo "== installed larkspur"
desktop-file-validate /usr/share/applications/larkspur.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/org.example.larkspur.Larkspur.metainfo.xml || fail "appstreamcli validate"
for size in 16 32 48 64 128 256; do
  [ -f /usr/share/icons/hicolor/${size}x${size}/apps/larkspur.png ] || fail "no ${size}x${size} icon"
done
bash tests/dist/prints_and_exits.sh /usr/bin/larkspur "$version" || fail "larkspur --help and --version"
bash tests/dist/first_window.sh /usr/bin/larkspur "$build_dir/tests/probe" || fail "the desktop program"
purge_package larkspur

[ "$failures" -eq 0 ] || { echo "package-check: $failures failure(s)"; exit 1; }
echo "package-check: larkspur-cli and larkspur $version built, installed, run and purged cleanly"
