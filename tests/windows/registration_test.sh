#!/usr/bin/env bash
# regsvr32 Pellicor.dll writes exactly the class key, both program identifiers and
# the type library's registration (its dual interface included); regsvr32 /u removes them all and leaves CLSID.
# Ends registered again, for the tests that use the class. Runs in the Wine
# prefix that scripts/windows-test.sh prepares. Usage: registration_test.sh DLL
set -euo pipefail
dll=$1
module=$(winepath -w "$dll" | tr -d '\r')
folder=${module%\\*}
clsid='{3D0C9A61-7B2E-4F15-9C48-2A6E5B1F0D37}'
libid='{8A41E2C7-5F30-4B9D-A1E6-7C2D9F4B3E05}'
iid='{C5B7F013-2E94-4D6A-8B3F-61A0E9D2C784}'
psfactory='{00020424-0000-0000-C000-000000000046}'
failures=0

# The key with everything under it, without blank lines and carriage returns.
# The value of the type library's FLAGS is left out: Wine writes the flags of
# the loaded library, which include "has a disk image" (8).
dump() { wine reg query "$1" /s 2>/dev/null | tr -d '\r' | sed '/^$/d' | sed 's/^\(    (Default)    REG_SZ    \)[0-9]*$/\1N/'; }
exists() { wine reg query "$1" >/dev/null 2>&1; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_dump() {
  local key=$1 want got
  want=$(cat)
  got=$(dump "$key")
  if [ "$got" != "$want" ]; then
    fail "$key differs from what registration should write:"
    diff <(echo "$want") <(echo "$got") || true
  fi
}

wine regsvr32 /s "$module" || fail "regsvr32 returned $?"

expect_dump 'HKCR\Pellicor.Sink' <<END
HKEY_CLASSES_ROOT\\Pellicor.Sink
    (Default)    REG_SZ    Sink Class
HKEY_CLASSES_ROOT\\Pellicor.Sink\\CLSID
    (Default)    REG_SZ    $clsid
HKEY_CLASSES_ROOT\\Pellicor.Sink\\CurVer
    (Default)    REG_SZ    Pellicor.Sink.1
END
expect_dump 'HKCR\Pellicor.Sink.1' <<END
HKEY_CLASSES_ROOT\\Pellicor.Sink.1
    (Default)    REG_SZ    Sink Class
HKEY_CLASSES_ROOT\\Pellicor.Sink.1\\CLSID
    (Default)    REG_SZ    $clsid
END
expect_dump "HKCR\\CLSID\\$clsid" <<END
HKEY_CLASSES_ROOT\\CLSID\\$clsid
    (Default)    REG_SZ    Sink Class
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32
    (Default)    REG_SZ    $module
    ThreadingModel    REG_SZ    Free
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\ProgID
    (Default)    REG_SZ    Pellicor.Sink.1
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\Programmable
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\TypeLib
    (Default)    REG_SZ    $libid
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\VersionIndependentProgID
    (Default)    REG_SZ    Pellicor.Sink
END
expect_dump "HKCR\\TypeLib\\$libid" <<END
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0
    (Default)    REG_SZ    Pellicor 1.0 Type Library
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0\\0
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0\\0\\win64
    (Default)    REG_SZ    $module
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0\\FLAGS
    (Default)    REG_SZ    N
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0\\HELPDIR
    (Default)    REG_SZ    $folder
END
# The dual interface, marshalled by the automation marshaller.
expect_dump "HKCR\\Interface\\$iid" <<END
HKEY_CLASSES_ROOT\\Interface\\$iid
    (Default)    REG_SZ    ISink
HKEY_CLASSES_ROOT\\Interface\\$iid\\ProxyStubClsid
    (Default)    REG_SZ    $psfactory
HKEY_CLASSES_ROOT\\Interface\\$iid\\ProxyStubClsid32
    (Default)    REG_SZ    $psfactory
HKEY_CLASSES_ROOT\\Interface\\$iid\\TypeLib
    (Default)    REG_SZ    $libid
    Version    REG_SZ    1.0
END

wine regsvr32 /s /u "$module" || fail "regsvr32 /u returned $?"
for key in 'HKCR\Pellicor.Sink' 'HKCR\Pellicor.Sink.1' "HKCR\\CLSID\\$clsid" "HKCR\\TypeLib\\$libid" \
           "HKCR\\Interface\\$iid"; do
  exists "$key" && fail "$key is still there after unregistration"
done
exists 'HKCR\CLSID' || fail "HKCR\\CLSID was removed"

wine regsvr32 /s "$module" || fail "registering again returned $?"
[ "$failures" -eq 0 ] && echo "registration: all checks passed"
exit $((failures > 0))
