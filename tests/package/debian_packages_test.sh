#!/usr/bin/env bash
# Builds the Debian packages from a copy of the tree, checks them with lintian,
# installs them with dpkg, runs the Postfix end-to-end test against the installed
# milter and sink (the test's own private Postfix instance), purges them and checks
# that nothing is left. Whatever happens, the machine is left as it was found.
# Usage: debian_packages_test.sh [OUTPUT-DIR]   (as root; keeps the .debs there)
set -euo pipefail
source_tree=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-}
[ "$(id -u)" -eq 0 ] || { echo "needs root to install the packages" >&2; exit 1; }
for p in pellicor pellicor-setup; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q installed; then
        echo "$p is already installed here; not touching it" >&2; exit 1
    fi
done
getent passwd pellicor >/dev/null && { echo "a pellicor user exists already; not touching it" >&2; exit 1; }
[ -e /var/lib/pellicor ] && { echo "/var/lib/pellicor exists already; not touching it" >&2; exit 1; }

work=$(mktemp -d /tmp/pellicor-packages-XXXXXX)
cleanup() {
    dpkg --purge pellicor-setup-dbgsym pellicor-dbgsym pellicor-setup pellicor >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== building the packages"
mkdir "$work/src"
(cd "$source_tree" && git ls-files -z --cached --others --exclude-standard | tar -c --null -T - -f -) | tar -x -C "$work/src"
(cd "$work/src" && DEB_BUILD_OPTIONS="nocheck noautodbgsym parallel=$(nproc)" dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1) \
    || { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed"; }
debs=("$work"/*.deb)
for deb in "${debs[@]}"; do echo "$(basename "$deb"):"; dpkg-deb -c "$deb" | awk '{print "  " $6}'; done

echo "== lintian"
lintian --fail-on error "$work"/*.changes || fail "lintian found errors"

echo "== installing"
dpkg -i "${debs[@]}" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "dpkg -i failed"; }
library=$(ls /usr/lib/*/pellicor/libPellicor.so)
getent passwd pellicor >/dev/null || fail "no pellicor user after installing"
[ "$(stat -c '%U %a' /var/lib/pellicor)" = "root 755" ] || fail "/var/lib/pellicor is not root's with mode 0755"
PELLICOR_REGISTRY=/var/lib/pellicor/registry.sqlite pellicor-reg query 'HKCR\Pellicor.Sink' >/dev/null \
    || fail "the sink is not registered in the machine hive"
if getent passwd postfix >/dev/null; then
    id -nG postfix | grep -qw pellicor || fail "postfix is not in the pellicor group"
fi
# Until the man pages are installed, the unit's Documentation= cannot be found.
systemd-analyze verify /lib/systemd/system/pellicor-milter.service >"$work/verify.log" 2>&1 || true
if ! ls /usr/share/man/man8/pellicor-milter.8* >/dev/null 2>&1; then
    sed -i "/Command 'man pellicor-milter(8)' failed/d" "$work/verify.log"
fi
[ ! -s "$work/verify.log" ] || { cat "$work/verify.log" >&2; fail "systemd-analyze verify complained about the unit"; }

echo "== Postfix end to end with the installed milter and sink"
CI=true bash "$source_tree/tests/milter/postfix_e2e_test.sh" \
    /usr/sbin/pellicor-milter /usr/bin/pellicor-reg /usr/bin/pellicor-regsvr "$library"

echo "== rule lists survive a remove and a reinstall"
rules='HKLM\SOFTWARE\Orlenby\Pellicor\ExtOOFdisabledDomains'
PELLICOR_REGISTRY=/var/lib/pellicor/registry.sqlite pellicor-reg add "$rules" /v @kept.example /t REG_SZ /d "" /f >/dev/null
dpkg --remove pellicor-setup pellicor >/dev/null
[ -e /var/lib/pellicor/registry.sqlite ] || fail "removing the package deleted the hive"
dpkg -i "${debs[@]}" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "reinstalling failed"; }
PELLICOR_REGISTRY=/var/lib/pellicor/registry.sqlite pellicor-reg query "$rules" | grep -q @kept.example \
    || fail "the rule lists did not survive a remove and a reinstall"

echo "== purging"
dpkg --purge pellicor-setup pellicor >/dev/null
left=()
for deb in "${debs[@]}"; do
    while read -r path; do
        path=${path#.}
        [ -d "$path" ] && continue   # folders shared with other packages stay
        [ -e "$path" ] && left+=("$path")
    done < <(dpkg-deb -c "$deb" | awk '{print $6}')
done
[ ${#left[@]} -eq 0 ] || fail "purging left: ${left[*]}"
getent passwd pellicor >/dev/null && fail "purging left the pellicor user"
getent group pellicor >/dev/null && fail "purging left the pellicor group"
[ ! -e /var/lib/pellicor ] || fail "purging left /var/lib/pellicor"
[ ! -e /var/spool/postfix/pellicor ] || fail "purging left /var/spool/postfix/pellicor"
[ -z "$out" ] || { mkdir -p "$out" && cp "${debs[@]}" "$out/"; }
echo "packages built, installed, used and purged cleanly"
