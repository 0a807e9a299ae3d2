#!/usr/bin/env bash
# CI: builds the Debian package from the build folder, installs it the way a
# user would, runs both installed programs, validates the installed desktop
# metadata, and purges the package again, checking that nothing of it is left
# in /usr. Needs root; refuses to touch a larkspur package installed before.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${LARKSPUR_BUILD_DIR:-build}
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -o DPkg::Lock::Timeout=600 -y -qq)

if dpkg-query -W -f='${Status}' larkspur 2>/dev/null | grep -q installed; then
  echo "package-check: a larkspur package is installed already; purge it first" >&2
  exit 1
fi

./build.sh package
debs=("$build_dir"/larkspur_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] || { echo "package-check: expected one package, found: ${debs[*]}" >&2; exit 1; }
deb=$(realpath "${debs[0]}")
version=$(dpkg-deb -f "$deb" Version)
echo "== $deb"
dpkg-deb --info "$deb" | grep -E '^ *(size [0-9]|(Package|Version|Depends|Installed-Size|Section|Maintainer):)'

tmp=$(mktemp -d)
installed=no
cleanup() {
  [ "$installed" = no ] || "${apt[@]}" purge larkspur > /dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

echo "== apt-get install $deb"
"${apt[@]}" install "$deb" > "$tmp/apt.log" || { cat "$tmp/apt.log"; exit 1; }
installed=yes
dpkg -L larkspur > "$tmp/files"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ "$(command -v larkspur-cli)" = /usr/bin/larkspur-cli ] || fail "larkspur-cli is not /usr/bin/larkspur-cli"

echo "== installed larkspur-cli"
if /usr/bin/larkspur-cli --help | grep -q -- '--version'; then
  /usr/bin/larkspur-cli --version | tee "$tmp/version"
  grep -qF "$version" "$tmp/version" || fail "--version does not say $version"
else
  /usr/bin/larkspur-cli --help > /dev/null || fail "larkspur-cli --help failed"
fi
mkdir -p "$tmp/site/docs" "$tmp/site/css"
printf '<html>home</html>\n' > "$tmp/site/index.html"
printf '<html>guide</html>\n' > "$tmp/site/docs/Guide.HTM"
: > "$tmp/site/docs/empty.html"
printf 'body{}\n' > "$tmp/site/css/site.css"
/usr/bin/larkspur-cli xml "$tmp/site" --url https://example.com/ || fail "larkspur-cli xml failed"
xmllint --noout --schema tests/data/sitemap-0.84.xsd "$tmp/site/sitemap.xml" || fail "sitemap.xml is not valid"
locs=$(grep -o '<loc>[^<]*</loc>' "$tmp/site/sitemap.xml" | tr '\n' ' ' || true)
[ "$locs" = "<loc>https://example.com/docs/Guide.HTM</loc> <loc>https://example.com/index.html</loc> " ] ||
  fail "unexpected sitemap entries: $locs"

echo "== manual page and completion"
for page in larkspur-cli larkspur; do
  [ "$(man -w $page)" = /usr/share/man/man1/$page.1.gz ] || fail "man does not find the page of $page"
done
MANWIDTH=80 man larkspur-cli 2> /dev/null | grep -q 'larkspur-cli - write sitemaps' || fail "man larkspur-cli does not show the page"
# bash-completion loads the script on first use of the command.
loaded=$(bash -c '. /usr/share/bash-completion/bash_completion
                  _completion_loader larkspur-cli; complete -p larkspur-cli' 2>&1 || true)
[ "$loaded" = "complete -F _larkspur_cli larkspur-cli" ] || fail "bash-completion does not load the completion: $loaded"

echo "== desktop metadata"
desktop-file-validate /usr/share/applications/larkspur.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/org.example.larkspur.Larkspur.metainfo.xml || fail "appstreamcli validate"
for size in 16 32 48 64 128 256; do
  [ -f /usr/share/icons/hicolor/${size}x${size}/apps/larkspur.png ] || fail "no ${size}x${size} icon"
done

echo "== installed larkspur"
bash tests/dist/first_window.sh /usr/bin/larkspur "$build_dir/tests/probe" || fail "the desktop program"

echo "== apt-get purge larkspur"
"${apt[@]}" purge larkspur > "$tmp/apt.log" || { cat "$tmp/apt.log"; exit 1; }
installed=no
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

[ "$failures" -eq 0 ] || { echo "package-check: $failures failure(s)"; exit 1; }
echo "package-check: larkspur $version built, installed, run and purged cleanly"
