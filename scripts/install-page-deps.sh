#!/usr/bin/env bash
# Installs the report page's npm packages (tools/replay/page/node_modules)
# from the committed lock file, with `npm ci`: uPlot, which the build
# inlines into every report page, and playwright-core, which drives
# Debian's Chromium in the page's tests. Does nothing when they are there
# already from the current lock file.
set -euo pipefail
cd "$(dirname "$0")/../tools/replay/page"

installed=node_modules/.package-lock.json
if [ -f "$installed" ] && [ "$installed" -nt package-lock.json ] && [ -f node_modules/uplot/dist/uPlot.iife.min.js ]; then
    exit 0
fi
if ! command -v npm >/dev/null; then
    echo "error: npm is missing: run scripts/install-deps.sh (as root)" >&2
    exit 1
fi
npm ci --no-audit --no-fund --loglevel=error
