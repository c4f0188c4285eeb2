#!/usr/bin/env bash
# Installs the Debian packages Ormisk needs to build, run and test; does nothing when all are there.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config qt6-base-dev qt6-multimedia-dev libqt6svg6 libgtest-dev libgmock-dev
  libpulse-dev libsndfile1-dev qcoro-qt6-dev qtkeychain-qt6-dev
  # sanitizer build
  clang libclang-rt-14-dev
  # real POP3 servers for the tests
  dovecot-pop3d mailutils-pop3d openssl
  # sound tests and a headless desktop for end-to-end checks
  pulseaudio pulseaudio-utils sox xvfb xauth
  # a private session bus with a real keyring for the password tests
  dbus gnome-keyring libsecret-tools
  # checks the installed desktop entry
  desktop-file-utils
  # a private session bus and a fake notification service for the desktop notification tests
  dbus-daemon python3-dbus python3-gi
  # real-world mail for the corpus test, and Python's email package to read it independently:
  # installed rather than fetched by the test, so that tests need no network and no package index
  python3 libpython3.11-testsuite golang-github-jhillyerd-enmime-dev python3-flufl.bounce
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
