#!/usr/bin/env bash
# The same table of scenarios through both builds: for each row the rule lists
# are written (pellicor-reg in a throwaway hive for the Linux build, `wine reg`
# in the Wine prefix for the Windows build), the sample message is handed to the
# sink by each build's pellicor-submit, and both verdicts must equal the row's.
# Usage: verdict_scenarios_test.sh LINUX_BIN WINDOWS_BIN (Pellicor.dll registered)
set -euo pipefail
linux_bin=$1
windows_bin=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
table=$root/tests/windows/verdict_scenarios.txt
samples=$root/docs/samples
key='HKLM\SOFTWARE\Orlenby\Pellicor'
lists=(ExtOOFdisabledDomains ExtOOFEnabledRecipientDomains ExtOOFEnabledSenderAddresses)

for tool in "$linux_bin/pellicor-reg" "$linux_bin/pellicor-regsvr" "$linux_bin/pellicor-submit" \
            "$linux_bin/../lib/libPellicor.so" "$windows_bin/pellicor-submit.exe" "$windows_bin/pellicor-cdo.dll"; do
  [ -e "$tool" ] || { echo "FAIL: $tool is missing (build both the Linux and the Windows build first)"; exit 1; }
done

# Runs a set-up step quietly; when it fails, says which step and what it printed.
step() {
  local out
  out=$("$@" 2>&1) && return 0
  echo "FAIL: $* (exit $?): $(tr -d '\r' <<<"$out")"
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PELLICOR_REGISTRY=$work/registry.sqlite
step "$linux_bin/pellicor-regsvr" "$linux_bin/../lib/libPellicor.so"
step wine regsvr32 /s "$(winepath -w "$windows_bin/pellicor-cdo.dll")"

trim() { local text=$1; text=${text#"${text%%[! ]*}"}; echo "${text%"${text##*[! ]}"}"; }

# Replaces the three lists whole in both registries.
write_lists() {
  "$linux_bin/pellicor-reg" delete "$key" /f >/dev/null 2>&1 || true
  wine reg delete "$key" /f >/dev/null 2>&1 || true
  local list entry
  for list in 0 1 2; do
    IFS=',' read -r -a entries <<<"${rules[$list]}"
    for entry in "${entries[@]}"; do
      entry=$(trim "$entry")
      [ -n "$entry" ] || continue
      step "$linux_bin/pellicor-reg" add "$key\\${lists[$list]}" /v "$entry" /t REG_SZ /d "" /f
      step wine reg add "$key\\${lists[$list]}" /v "$entry" /t REG_SZ /d "" /f
    done
  done
}

failures=0
rows=0
while IFS="|" read -r -u 3 list0 list1 list2 sample from to want; do
  [[ "$list0" =~ ^[[:space:]]*# ]] && continue
  [ -n "$(trim "$sample")" ] || continue
  rules=("$list0" "$list1" "$list2")
  sample=$(trim "$sample") from=$(trim "$from") to=$(trim "$to") want=$(trim "$want")
  write_lists
  linux=$("$linux_bin/pellicor-submit" --from "$from" --to "$to" "$samples/$sample" 2>&1 || true)
  windows=$(wine "$windows_bin/pellicor-submit.exe" --from "$from" --to "$to" "$(winepath -w "$samples/$sample")" 2>&1 | tr -d '\r' || true)
  rows=$((rows + 1))
  if [ "$linux" != "$want" ] || [ "$windows" != "$want" ]; then
    echo "FAIL: row $rows ($sample, lists [$list0|$list1|$list2]): want $want, Linux $linux, Windows $windows"
    failures=$((failures + 1))
  fi
done 3<"$table"
wine reg delete "$key" /f >/dev/null 2>&1 || true

[ "$rows" -gt 0 ] || { echo "FAIL: no scenarios read from $table"; exit 1; }
echo "verdicts: $rows scenarios, $failures differing"
exit $((failures > 0))
