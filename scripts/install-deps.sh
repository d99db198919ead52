#!/bin/sh
# Installs, from Debian's archive, what building and checking ka720-optical needs.
set -eu
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
    cmake g++ make libcli11-dev libgtest-dev pciutils \
    libfuse3-dev fuse3 pkg-config util-linux systemd \
    clang libclang-rt-14-dev clang-tidy cppcheck valgrind \
    groff-base dpkg-dev file bash
