#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Pellicor need,
# and only those still missing. Run as root (or through sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev sqlite3
  libpq-dev postgresql
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev fonts-dejavu-core libncurses-dev tmux
  libmilter-dev postfix swaks miltertest scdoc man-db
  debhelper lintian
  mingw-w64-tools libwine-dev libwine
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine64 fonts-wine xvfb x11-apps python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
# Postfix must not ask how to configure the machine's own mail system: the tests run
# private instances of their own.
echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
$sudo apt-get update -qq
had_clusters=$(pg_lsclusters -h 2>/dev/null || true)
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
# Installing postgresql makes and starts a cluster of the machine's own; the tests run
# private servers, so a cluster the install just made is dropped again.
if [ -z "$had_clusters" ] && command -v pg_lsclusters >/dev/null; then
  pg_lsclusters -h | while read -r version cluster _; do $sudo pg_dropcluster --stop "$version" "$cluster"; done
fi
