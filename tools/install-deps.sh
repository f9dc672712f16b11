#!/usr/bin/env bash
# Installs the Debian packages peltra2 needs to build, test and run its tools,
# only those that are missing. Run as root on Debian 12.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  time
  parallel libhts-dev zlib1g-dev
  openssh-server openssh-client
  python3 python3-matplotlib python3-scipy python3-numpy
  snakemake
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
