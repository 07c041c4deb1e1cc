#!/usr/bin/env bash
# Fails when the shared library exports anything besides the exported classes
# (with their tables and type information), the records, CKSUtilityClasses,
# KsUtils_getVersion and the ktuSet* host hooks.
set -euo pipefail
# grep -q stops reading at the first match, and the program writing into the
# pipe may then die of SIGPIPE, which pipefail reports as a failure: read the
# whole input instead.
matches() { grep "$@" >/dev/null; }
lib=$1
symbols=$(nm -DC --defined-only "$lib" | cut -d' ' -f3-)
unexpected=$(printf '%s\n' "$symbols" |
  grep -vE '^(ktu[A-Za-z0-9_]*::|iKS[A-Za-z0-9_]*::|CKSUtilityClasses::|(typeinfo|typeinfo name|vtable) for (ktu|iKS)|KsUtils_getVersion$|ktuSet[A-Za-z]*$)' || true)
for required in KsUtils_getVersion 'ktuLibVersionManagerUtils::validateVersion(char*)' 'CKSUtilityClasses::CKSUtilityClasses()'; do
  if ! printf '%s\n' "$symbols" | matches -xF "$required"; then
    echo "missing export: $required"; exit 1
  fi
done
if [ -n "$unexpected" ]; then
  echo "unexpected exports:"; printf '%s\n' "$unexpected"; exit 1
fi
echo "exports ok ($(printf '%s\n' "$symbols" | wc -l) symbols)"
