#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Safe to run repeatedly: packages already present are left alone.
set -euo pipefail

packages=(
  cmake ninja-build ccache g++ clang lld libclang-rt-14-dev pkg-config
  libfmt-dev libgoogle-glog-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libspdlog-dev
  libsystemd-dev dbus dbus-daemon python3-dbusmock
  systemd  # busctl: the JavaScript desktop test drives its bus with it
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
