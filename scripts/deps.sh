#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that the named groups need (see
# packages.txt) and only those that are missing: nothing installed is
# upgraded or removed, and the package lists are refreshed only when
# something has to be installed.
#
#   scripts/deps.sh [-n] GROUP...    -n: say what would be installed, change nothing
#   scripts/deps.sh -l               list the groups
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list=${NORVEK_PACKAGES:-$here/packages.txt}
dry_run=0

die() { echo "deps: $*" >&2; exit 1; }

group_line() { sed -n "s/^$1:[[:space:]]*//p" "$list"; }

# Packages of a group, its included groups first.
expand() {
  local g=$1 line word
  line=$(group_line "$g")
  [ -n "$line" ] || die "unknown group '$g' (groups: $(groups_known))"
  for word in $line; do
    case $word in
      @*) expand "${word#@}" ;;
      *) echo "$word" ;;
    esac
  done
}

groups_known() { sed -n 's/^\([a-z0-9_-]*\):.*/\1/p' "$list" | tr '\n' ' '; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'; }

# The runtime package of the clang on PATH (libFuzzer and the sanitizers),
# named after its major version: libclang-rt-14-dev for clang 14.
clang_rt() {
  local major
  if ! major=$(clang -dumpversion 2>/dev/null); then
    [ "$dry_run" = 1 ] && { echo "libclang-rt-<clang's major version>-dev"; return; }
    die "clang is not installed, cannot tell which runtime it needs"
  fi
  echo "libclang-rt-${major%%.*}-dev"
}

install_missing() {
  local -a missing=() pkg
  for pkg in "$@"; do installed "$pkg" || missing+=("$pkg"); done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "deps: present: $*"
    return 0
  fi
  local -a sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || die "missing: ${missing[*]}; as root run:
  apt-get update && apt-get install -y --no-install-recommends --no-upgrade ${missing[*]}"
    sudo=(sudo)
  fi
  local cmd="${sudo[*]:+${sudo[*]} }apt-get install -y --no-install-recommends --no-upgrade ${missing[*]}"
  if [ "$dry_run" = 1 ]; then
    echo "deps: would run: ${sudo[*]:+${sudo[*]} }apt-get update && $cmd"
    return 0
  fi
  echo "deps: installing ${missing[*]}"
  # env after sudo: sudo would drop the variable.
  local -a apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
  if ! "${apt[@]}" update -qq ||
     ! "${apt[@]}" install -y -qq --no-install-recommends --no-upgrade "${missing[@]}"; then
    die "could not install; run:
  ${sudo[*]:+${sudo[*]} }apt-get update && $cmd"
  fi
  for pkg in "${missing[@]}"; do installed "$pkg" || die "$pkg still missing; run: $cmd"; done
}

while getopts nl opt; do
  case $opt in
    n) dry_run=1 ;;
    l) groups_known; echo; exit 0 ;;
    *) die "usage: $0 [-n] GROUP... | -l" ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || die "usage: $0 [-n] GROUP... (groups: $(groups_known))"
[ -r "$list" ] || die "no package list $list"
if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
  die "needs Debian or Ubuntu (dpkg-query, apt-get); install the packages of groups '$*' by hand (see $list)"
fi

# Plain packages first: the computed ones (clang-rt) ask an installed tool.
declare -a plain=() computed=()
for g in "$@"; do
  pkgs=$(expand "$g")
  for pkg in $pkgs; do
    case $pkg in
      clang-rt) computed+=("$pkg") ;;
      *) plain+=("$pkg") ;;
    esac
  done
done
mapfile -t plain < <(printf '%s\n' "${plain[@]}" | awk 'NF && !seen[$0]++')
install_missing "${plain[@]}"
if [ ${#computed[@]} -gt 0 ]; then install_missing "$(clang_rt)"; fi
