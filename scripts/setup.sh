#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Quick when everything is already there: it only checks and returns.
#
# A package mirror can be briefly inconsistent: one index that fails to
# download, or a security suite whose amd64 and i386 halves are out of step,
# so that multi-arch twins (needed for 32-bit Wine) cannot get equal versions.
# Set-up rides that out: it goes on with the indexes it has, and retries an
# install that cannot be resolved once with the security suite pinned below
# the main suite. Any other failure stops it with apt's own message.
set -euo pipefail

need_pkgs=(cmake g++ make git g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest
           libbenchmark-dev clang libclang-rt-14-dev clang-format clang-tidy
           wine wine64 wine32:i386 qemu-user-static xvfb xauth x11-utils imagemagick osslsigncode openssl locales
           libcli11-dev nlohmann-json3-dev libssl-dev
           icoutils  # wrestool: the resource tests read rewritten images with it
           fonts-ipafont-gothic)  # Japanese text on the Wine screenshots

# The preferences entry the retry adds, and removes again whatever happens.
security_pin=/etc/apt/preferences.d/lumv-setup-security-below-main
update_tries=3

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# apt-get update, a few times; when an index still fails, say so and go on
# with what apt has.
update_indexes() {
  local log try
  log=$(mktemp)
  for try in $(seq 1 "$update_tries"); do
    if apt-get update -qq >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    [ "$try" -lt "$update_tries" ] && sleep $((try * 5))
  done
  local first
  first=$(grep -m1 -E '^(E|W|Err):' "$log" || head -n 1 "$log")
  echo "setup: package indexes still failing after $update_tries tries, going on with the ones apt has ($first)" >&2
  rm -f "$log"
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
}

# The failures a security suite out of step with the main one gives.
unresolvable() {
  grep -qE 'held broken packages|Unable to correct problems|unmet dependencies|but it is not going to be installed' "$1"
}

remove_security_pin() {
  rm -f "$security_pin"
}

# Installs the packages named; on an unresolvable install, tries once more
# with the security suite lowered. Prints apt's message and fails otherwise.
install_packages() {
  local log status=0
  log=$(mktemp)
  apt_install "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ] && unresolvable "$log"; then
    echo "setup: the install could not be resolved; trying once more with the security suite pinned below the main suite" >&2
    trap remove_security_pin EXIT
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$security_pin"
    status=0
    apt_install "$@" >"$log" 2>&1 || status=$?
    remove_security_pin
    trap - EXIT
  fi
  if [ "$status" -ne 0 ]; then
    cat "$log" >&2
    echo "setup: installing packages failed (apt-get exit $status)" >&2
  fi
  rm -f "$log"
  return "$status"
}

# 32-bit Linux programs (the 32-bit Wine loader) run only through qemu on this kernel.
register_qemu_i386() {
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  fi
  if [ -e /proc/sys/fs/binfmt_misc/register ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::${magic}:${mask}:/usr/bin/qemu-i386-static:F" > /proc/sys/fs/binfmt_misc/register || true
  fi
}

main() {
  local missing
  mapfile -t missing < <(missing_packages "${need_pkgs[@]}")
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "setup: installing ${missing[*]}" >&2
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
    fi
    update_indexes
    install_packages "${missing[@]}"
  fi
  register_qemu_i386
}

# Sourcing the script only defines its functions (for trying them by hand).
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  main "$@"
fi
