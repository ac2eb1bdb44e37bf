#!/usr/bin/env bash
# cppcheck over the plugin's sources.
set -euo pipefail
cd "$(dirname "$0")/.."
cppcheck --quiet --enable=warning,style,performance,portability --std=c++20 \
    --error-exitcode=1 --inline-suppr -I sdk -I host/linux -I src src
echo "cppcheck: clean"
