#!/usr/bin/env bash
# The main job's demo: a throwaway hive with the rule lists, shown with pellicor-reg.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
hive=$(mktemp -d)
trap 'rm -rf "$hive"' EXIT
export PELLICOR_REGISTRY=$hive/registry.sqlite
root='HKLM\SOFTWARE\Orlenby\Pellicor'
"$bin/pellicor-reg" add "$root\\ExtOOFdisabledDomains" /v "@example.com" /d "" /f >/dev/null
"$bin/pellicor-reg" add "$root\\ExtOOFEnabledRecipientDomains" /v "@partner.example" /d "" /f >/dev/null
"$bin/pellicor-reg" add "$root\\ExtOOFEnabledSenderAddresses" /v "helpdesk@example.com" /d "" /f >/dev/null
"$bin/pellicor-reg" query "$root" /s
