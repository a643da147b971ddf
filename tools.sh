# Shared by ./test and ./run: install what is missing, configure and build.
# shellcheck shell=bash

qb_root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

qb_install_packages() {
  local missing=() pkg
  while read -r pkg; do
    [[ -z "$pkg" || "$pkg" == \#* ]] && continue
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done <"$qb_root/packages.txt"
  ((${#missing[@]} == 0)) && return 0
  if [[ $(id -u) -eq 0 ]]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || {
      echo "apt-get could not install: ${missing[*]}" >&2
      return 1
    }
  else
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
}

# qb_build DIR [cmake options...]
qb_build() {
  local dir=$1
  shift
  cmake -S "$qb_root" -B "$qb_root/$dir" -G Ninja "$@" >/dev/null || return 1
  cmake --build "$qb_root/$dir" -- -j"$(nproc)" || return 1
}
