#!/usr/bin/env bash
# PellicorSetup.exe on a seeded prefix, in a framed window on a Wine desktop of
# the Xvfb display: it shows the three rule lists in order with Edit and Delete
# disabled (nothing selected after loading), its screenshot is written; the input
# box, the confirmation and the export's file dialog behave as the window expects
# of them; F5 shows another program's change, typing and Delete work in a list;
# and Exit closes it.
# Usage: setup_window_test.sh PellicorSetup.exe setup_window_probe.exe OUT.png
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

# Edit and cancel (the caret after the default text, nothing selected), Add (Wine
# 8 lacks the transacted registry, so the save is refused whole, with a message),
# Delete answered No, Export through the file dialog.
exported=$(mktemp --suffix=.txt)
rm -f "$exported"
commands=$(wine "$probe" "$desktop" --commands "$(winepath -w "$exported")" | tr -d '\r' | sed -n '/^input box/,$p')
expected='input box: "@headoffice.example", caret at 19 of 19, nothing selected; buttons OK Cancel
list 1 after Cancel: @headoffice.example @partner.example
input box: "@", caret at 1 of 1, nothing selected; buttons OK Cancel
save refused with a message box
list 1 after Add: @headoffice.example @partner.example
message box: Yes and No, default No, with an icon
list 2 after No: boss@example.com help-desk@example.com
file dialog: titled for export, 1 type "Text (*.txt)"'
if [ "$commands" != "$expected" ]; then
  echo "FAIL: the commands went otherwise:"
  diff <(echo "$expected") <(echo "$commands") || true
  failures=1
fi
if [ "$(cat "$exported" 2>/dev/null)" != $'@headoffice.example\r\n@partner.example\r' ]; then
  echo "FAIL: the exported file holds something else:"
  od -c "$exported" 2>&1 | head -5
  failures=1
fi
rm -f "$exported"

# Another program adds to list 1 while the window is open; F5 shows it.
seed ExtOOFEnabledRecipientDomains @added.example
keys=$(wine "$probe" "$desktop" --keys | tr -d '\r' | sed -n '/^list 1 after F5/,$p' || true)
expected='list 1 after F5: @added.example @headoffice.example @partner.example
typed @pa: @partner.example selected
Delete key asks: Are you sure you want to delete the selected item from the list?
list 1 after No: @added.example @headoffice.example @partner.example'
if [ "$keys" != "$expected" ]; then
  echo "FAIL: the keys went otherwise:"
  diff <(echo "$expected") <(echo "$keys") || true
  failures=1
fi

closed=$(wine "$probe" "$desktop" --exit | tr -d '\r' | tail -n 1)
[ "$closed" = "closed by Exit" ] || { echo "FAIL: $closed"; failures=1; }
wine reg delete "$key" /f >/dev/null 2>&1 || true
exit $failures
