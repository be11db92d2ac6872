# shellcheck shell=bash
# Sourced by the scripts in scripts/: ensure_packages pkg... installs the Debian packages that
# are missing (as root, with apt-get), and otherwise names them and exits 1. Progress goes to
# stderr, so that a script's own output stays clean.

ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "Installing: ${missing[*]}" >&2
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  else
    echo "Missing packages (install them as root): ${missing[*]}" >&2
    exit 1
  fi
}
