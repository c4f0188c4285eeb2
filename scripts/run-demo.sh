#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ormisk on the built-in demo mailboxes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "${ORMISK_BUILD_DIR:-$root/build}/src/ormisk" --demo "$@"
