#!/usr/bin/env bash
# PellicorSetup.exe on a seeded prefix, in a framed window on a Wine desktop of
# the Xvfb display: it shows the three rule lists in order with Edit and Delete
# disabled (nothing selected after loading), its screenshot is written, and Exit
# closes it. Usage: setup_window_test.sh PellicorSetup.exe setup_window_probe.exe OUT.png
set -euo pipefail
setup=$1
probe=$2
out=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
key='HKLM\SOFTWARE\Orlenby\Pellicor'
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no DISPLAY (run under scripts/windows-test.sh)"; exit 1; }

seed() {
  local list=$1; shift
  for entry in "$@"; do wine reg add "$key\\$list" /v "$entry" /t REG_SZ /d "" /f >/dev/null; done
}
wine reg delete "$key" /f >/dev/null 2>&1 || true
seed ExtOOFdisabledDomains @competitor.example @newsletters.example @lists.example.org
seed ExtOOFEnabledRecipientDomains @partner.example @headoffice.example
seed ExtOOFEnabledSenderAddresses help-desk@example.com boss@example.com

desktop=pellicor-setup-$$
wine explorer "/desktop=$desktop,640x560" "$(winepath -w "$setup")" >/dev/null 2>&1 &
shown=$(wine "$probe" "$desktop" | tr -d '\r')

expected='list 0: @competitor.example @lists.example.org @newsletters.example
disabled: Edit
disabled: Delete
list 1: @headoffice.example @partner.example
disabled: Edit
disabled: Delete
list 2: boss@example.com help-desk@example.com
disabled: Edit
disabled: Delete'
failures=0
if [ "$shown" != "$expected" ]; then
  echo "FAIL: the window shows something else:"
  diff <(echo "$expected") <(echo "$shown") || true
  failures=1
fi

shot=$(mktemp --suffix=.xwd)
xwd -root -silent >"$shot"
python3 "$root/scripts/xwd_to_png.py" "$shot" "$out" 640x560+0+0
rm -f "$shot"
echo "screenshot: $out"

closed=$(wine "$probe" "$desktop" --exit | tr -d '\r' | tail -n 1)
[ "$closed" = "closed by Exit" ] || { echo "FAIL: $closed"; failures=1; }
wine reg delete "$key" /f >/dev/null 2>&1 || true
exit $failures
