#!/usr/bin/env bash
# The main job's demo: a throwaway hive with a small rule set written by
# pellicor-reg, the sink library registered in it by pellicor-regsvr, then a
# handful of sample messages (docs/samples/) handed to the sink through
# pellicor-submit, one line per message: sender, recipient, kind and verdict.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${PELLICOR_BIN:-build/bin}
samples=docs/samples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root='HKLM\SOFTWARE\Orlenby\Pellicor'

# The rule set: replies from example.com are deleted, except those to
# partner.example and those from the help desk.
export PELLICOR_REGISTRY=$work/registry.sqlite
"$bin/pellicor-reg" add "$root\\ExtOOFdisabledDomains" /v "@example.com" /t REG_SZ /d "" /f >/dev/null
"$bin/pellicor-reg" add "$root\\ExtOOFenabledRecipientDomains" /v "@partner.example" /t REG_SZ /d "" /f >/dev/null
"$bin/pellicor-reg" add "$root\\ExtOOFEnabledSenderAddresses" /v "helpdesk@example.com" /t REG_SZ /d "" /f >/dev/null
echo "Rule lists:"
"$bin/pellicor-reg" query "$root" /s
echo

# The sink library registers itself in the hive, as an installer would have it
# do; pellicor-submit then creates the sink by "Pellicor.Sink".
library=${PELLICOR_LIBRARY:-$bin/../lib/libPellicor.so}
"$bin/pellicor-regsvr" "$library" >/dev/null
echo "Sink class:"
"$bin/pellicor-reg" query 'HKCR\CLSID\{3D0C9A61-7B2E-4F15-9C48-2A6E5B1F0D37}' /s
echo

# A second hive whose list 0 holds only "*": there every message the marker
# component recognises as an out-of-office reply is deleted, which gives the kind.
probe=$work/probe.sqlite
PELLICOR_REGISTRY=$probe "$bin/pellicor-reg" add "$root\\ExtOOFdisabledDomains" /v "*" /t REG_SZ /d "" /f >/dev/null
PELLICOR_REGISTRY=$probe "$bin/pellicor-regsvr" "$library" >/dev/null

# sample file | envelope sender ('' is the null sender <>) | envelope recipient
messages=(
  "ann-away-to-customer.eml||carol@customer.example"
  "ann-away-to-partner.eml||bob@partner.example"
  "helpdesk-autoreply.eml||carol@customer.example"
  "frank-vacation.eml|frank@example.com|dave@customer.example"
  "erin-away-from-elsewhere.eml||carol@customer.example"
  "bounce.eml||carol@customer.example"
  "read-receipt.eml|ann@example.com|carol@customer.example"
  "newsletter.eml|news@example.com|carol@customer.example"
  "human-reply.eml|ann@example.com|carol@customer.example"
)

format='%-28s %-30s %-24s %-14s %s\n'
printf "$format" "MESSAGE" "SENDER" "RECIPIENT" "KIND" "VERDICT"
for entry in "${messages[@]}"; do
  IFS='|' read -r file from to <<<"$entry"
  verdict=$("$bin/pellicor-submit" --from "$from" --to "$to" "$samples/$file")
  probed=$(PELLICOR_REGISTRY=$probe "$bin/pellicor-submit" --from "$from" --to "$to" "$samples/$file")
  kind=other
  [ "$probed" = deleted ] && kind=out-of-office
  # The sender the sink judges: the envelope's, or for <> the From: field's address.
  sender=$from
  if [ -z "$sender" ]; then
    sender=$(sed -n 's/^From:.*<\([^>]*\)>.*/\1/p; T; q' "$samples/$file" | tr -d '\r')
    sender="<> ${sender}"
  fi
  printf "$format" "$file" "$sender" "$to" "$kind" "$verdict"
done
