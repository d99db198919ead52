#!/bin/sh
# Runs a program on the fake host kept in a bench directory. Started as
# `unshare -m --propagation private sh enter_fake_host.sh ...`, so every mount
# below is private to this run: the fake PCI tree covers /sys/bus/pci, and
# tmpfs cover /usr/local (seeded from the bench) and /dev (with /dev/null).
# Usage: enter_fake_host.sh <bench> <root|nobody> <program> [arguments...]
# The program's process id goes to <bench>/tool.pid; /usr/local is copied to
# <bench>/usr_local_after when it has ended.
set -eu
bench=$1
user=$2
shift 2

mount --bind "$bench/sys_bus_pci" /sys/bus/pci
if [ -n "${BENCH_READ_ONLY_TREE:-}" ]; then
    mount -o remount,bind,ro /sys/bus/pci
fi
mount -t tmpfs -o mode=0755 bench-usr-local /usr/local
cp -a "$bench/usr_local/." /usr/local/
mount --bind /dev/null "$bench/dev_null"
mount -t tmpfs -o mode=0755 bench-dev /dev
touch /dev/null
mount --bind "$bench/dev_null" /dev/null

if [ -n "${BENCH_TOOL_PATH:-}" ]; then
    PATH=$BENCH_TOOL_PATH
fi
set +e
if [ "$user" = nobody ]; then
    /usr/bin/setpriv --reuid 65534 --regid 65534 --clear-groups "$@" &
else
    "$@" &
fi
echo $! > "$bench/tool.pid"
wait $!
status=$?
/bin/cp -a /usr/local/. "$bench/usr_local_after/"
exit $status
