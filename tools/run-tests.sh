#!/usr/bin/env bash
# The whole test suite from a bare Debian 12 machine: installs the packages,
# builds the 32-bit product and the 64-bit test build, inspects the product,
# and runs every test under Wine. Leaves no process running.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh

cmake --preset release-x86 >/dev/null
cmake --build --preset release-x86
cmake --preset test-x64 >/dev/null
cmake --build --preset test-x64

echo "== The 32-bit product"
python3 tools/inspect_exe.py --machine i386 build/release-x86/varnel_setup.exe

trap 'tools/test-env.sh stop build/test-x64' EXIT
tools/test-env.sh start build/test-x64
ctest --preset test-x64 "$@"
