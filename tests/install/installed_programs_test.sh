#!/usr/bin/env bash
# Installs the build into a throwaway prefix and runs the installed programs with
# nothing of the build tree on their search path: each must find the platform's
# libraries and the sink through its own RUNPATH.
# Usage: installed_programs_test.sh BUILD-DIR SAMPLE-MESSAGE
set -euo pipefail
build=$(cd "$1" && pwd)
sample=$2
work=$(mktemp -d /tmp/pellicor-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" || fail "cmake --install: $(tail -n 3 "$work/install.log")"
unset LD_LIBRARY_PATH
export PELLICOR_REGISTRY="$work/hive.sqlite"
bin=$work/prefix/bin
library=$(find "$work/prefix" -name libPellicor.so)
[ -n "$library" ] || fail "libPellicor.so was not installed"

# Every installed program and library: where it belongs, and nothing pointing into the build.
for file in bin/pellicor-reg bin/pellicor-regsvr bin/pellicor-submit sbin/pellicor-milter; do
    [ -x "$work/prefix/$file" ] || fail "$file was not installed"
done
while read -r elf; do
    runpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    case "$runpath" in
        *"$build"*) fail "$elf still searches the build tree: $runpath" ;;
        '$ORIGIN'*) ;;
        *) fail "$elf has no RUNPATH relative to itself: '$runpath'" ;;
    esac
done < <(find "$work/prefix/bin" "$work/prefix/sbin" "$(dirname "$library")" -type f)

key='HKLM\SOFTWARE\Orlenby\Pellicor\ExtOOFdisabledDomains'
"$bin/pellicor-reg" add "$key" /v @example.com /t REG_SZ /d "" /f >/dev/null || fail "pellicor-reg add"
"$bin/pellicor-reg" query "$key" | grep -q "@example.com" || fail "pellicor-reg query does not show what was added"
"$bin/pellicor-regsvr" "$library" >/dev/null || fail "pellicor-regsvr could not register $library"
verdict=$("$bin/pellicor-submit" --from '' --to carol@customer.example "$sample") || fail "pellicor-submit failed"
[ "$verdict" = deleted ] || fail "pellicor-submit said '$verdict', expected deleted"
"$bin/pellicor-regsvr" /u "$library" >/dev/null || fail "pellicor-regsvr /u could not unregister $library"
echo "installed programs ran from $work/prefix"
