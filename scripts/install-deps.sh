#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing. Quiet unless it fails.
# `install-deps.sh fuzz` adds clang and its libFuzzer and sanitizer runtimes for `make fuzz`.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build ccache pkg-config
  libcurl4-openssl-dev libssl-dev duktape-dev libgumbo-dev nlohmann-json3-dev
  libutf8proc-dev libplist-dev libstb-dev libcpp-httplib-dev doctest-dev zlib1g-dev
  libjs-jquery
)
# Only where the distribution has them: the build works without (mold only links faster).
optional=(mold)
if [ "${1:-}" = "fuzz" ]; then
  pkgs+=(clang libclang-rt-14-dev)
fi
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
known() { apt-cache show "$1" >/dev/null 2>&1; }
missing=()
for p in "${pkgs[@]}"; do
  installed "$p" || missing+=("$p")
done
missing_optional=()
for p in "${optional[@]}"; do
  installed "$p" || missing_optional+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0
# With nothing required missing, the package lists are refreshed only for an optional package they
# already know, so that a distribution without it is not asked again on every run.
if [ ${#missing[@]} -eq 0 ]; then
  wanted=()
  for p in "${missing_optional[@]}"; do
    known "$p" && wanted+=("$p")
  done
  [ ${#wanted[@]} -eq 0 ] && exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
log=$(mktemp)
if ! { $SUDO apt-get update -qq &&
       { [ ${#missing[@]} -eq 0 ] ||
         DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"; }; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps: failed to install: ${missing[*]}" >&2
  exit 1
fi
for p in "${missing_optional[@]}"; do
  if known "$p"; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$p" >"$log" 2>&1 || true
  fi
done
rm -f "$log"
