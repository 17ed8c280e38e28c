#!/bin/sh
# Installs the Debian packages the build, the tests and the default data need, when missing;
# with the argument "engine", only those the engine alone needs (make EXE=<name>).
set -e
PACKAGES="g++ make cmake pkg-config libglib2.0-dev libgtest-dev libgaviotatb-dev gaviotatb libfathom-dev fathom gnuchess-book"
[ "${1:-}" = "engine" ] && PACKAGES="g++ make cmake pkg-config libglib2.0-dev"
missing=""
for package in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
