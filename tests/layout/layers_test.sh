#!/usr/bin/env bash
# Each folder of src/ includes only from the folders below it (ARCHITECTURE.md draws
# them); the virtual modem includes nothing of the program. Usage: layers_test.sh ROOT
set -euo pipefail
root=$1
declare -A below=(
  [serial]=""
  [setup]="serial"
  [modem]="setup serial"
  [sound]="serial"
  [calls]="modem sound setup serial"
  [recording]="calls modem sound setup serial"
  [export]="calls sound setup"
  [app]="export recording calls modem sound setup serial"
)
bad=0
for dir in "$root"/src/*/; do
  room=$(basename "$dir")
  if [ -z "${below[$room]+set}" ]; then
    echo "src/$room is not in the map of rooms" >&2
    bad=1
    continue
  fi
  allowed=" $room ${below[$room]} "
  while IFS=: read -r file line text; do
    used=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$text")
    if [[ "$allowed" != *" $used "* ]]; then
      echo "${file#"$root"/}:$line: src/$room includes from src/$used" >&2
      bad=1
    fi
  done < <(grep -rnE '^#include "[a-z]+/' "$dir" || true)
done
if grep -rnE '^#include "(serial|setup|modem|sound|calls|recording|export|app)/' "$root/tools" >&2; then
  echo "tools/ includes the program" >&2
  bad=1
fi
exit $bad
