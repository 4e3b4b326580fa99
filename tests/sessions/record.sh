#!/usr/bin/env bash
# Records what the built program does with tests/sessions/NAME/stdin, for a
# new session or after a deliberate change of output. Read the result before
# committing it: the session tests trust it byte for byte.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$here/../../build/duolocus"
for name in "$@"; do
  dir="$here/$name"
  work="$(mktemp -d)"
  (cd "$work" && "$bin" < "$dir/stdin" > "$dir/stdout")
  rm -rf "$dir/files"
  mkdir -p "$dir/files"
  cp -r "$work"/. "$dir/files/"
  rm -rf "$work"
  [ -n "$(ls -A "$dir/files")" ] || rmdir "$dir/files"
done
