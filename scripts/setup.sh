#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need,
# and the npm packages of js/ (the TypeScript compiler of the typings check).
# Node 20 with its headers and npm is expected to be there already.
# Safe to run repeatedly: what is already present is left alone.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build ccache g++ clang lld libclang-rt-14-dev pkg-config
  libfmt-dev libgoogle-glog-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libspdlog-dev
  libsystemd-dev dbus dbus-daemon python3-dbusmock
  systemd  # busctl: the JavaScript desktop test drives its bus with it
  valgrind linux-perf  # the profiles of docs/benchmarks.md
)

install_debian_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return
  fi
  echo "setup: installing ${missing[*]}"
  local sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  if ! "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
    "${sudo_cmd[@]}" apt-get update
    "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# The versions js/package-lock.json pins; again whenever the lock file changes.
install_npm_packages() {
  local installed=js/node_modules/.package-lock.json
  if [ -f "$installed" ] && [ "$installed" -nt js/package-lock.json ]; then
    return
  fi
  echo "setup: installing the npm packages of js/ (npm ci)"
  (cd js && npm ci --no-audit --no-fund --loglevel=error)
}

install_debian_packages
install_npm_packages
