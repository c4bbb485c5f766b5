#!/usr/bin/env bash
# Installs every Debian package the project, its tests and its benchmarks need.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libosip2-dev libgsm1-dev libbcg729-dev libspeexdsp-dev libc-ares-dev libssl-dev libsrtp2-dev
  portaudio19-dev libasound2-dev libjack-jackd2-dev libsndfile1-dev qt6-base-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  sip-tester kamailio kamailio-tls-modules baresip baresip-core linphone-cli dnsmasq-base openssl
  iproute2 nftables coturn sox python3 python3-dev pybind11-dev
  libgsm-tools xvfb xauth clang libclang-rt-14-dev
  desktop-file-utils appstream lintian man-db file
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
