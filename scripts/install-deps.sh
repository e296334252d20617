#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing. Quiet unless it fails.
# `install-deps.sh fuzz` adds clang and its libFuzzer and sanitizer runtimes for `make fuzz`.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build ccache mold pkg-config
  libcurl4-openssl-dev libssl-dev duktape-dev libgumbo-dev nlohmann-json3-dev
  libutf8proc-dev libplist-dev libstb-dev libcpp-httplib-dev doctest-dev zlib1g-dev
  libjs-jquery
)
if [ "${1:-}" = "fuzz" ]; then
  pkgs+=(clang libclang-rt-14-dev)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
log=$(mktemp)
if ! { $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps: failed to install: ${missing[*]}" >&2
  exit 1
fi
rm -f "$log"
