#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. The real POP3 servers, the keyring and the
# sound tests must run here: they fail rather than skip when their tools are missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$@"
export ORMISK_REQUIRE_DOVECOT=1 ORMISK_REQUIRE_MAILUTILS=1 ORMISK_REQUIRE_AUDIO=1 ORMISK_REQUIRE_KEYRING=1 QT_QPA_PLATFORM=offscreen
cd "${ORMISK_BUILD_DIR:-$root/build}"
ctest --output-on-failure -j "$(nproc)" --timeout 600
