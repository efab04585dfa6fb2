#!/usr/bin/env bash
# Regenerates the firmware image shipped with the application. The image is deterministic: the
# same version and size always give the same bytes (format in docs/devsim.md).
# usage: resources/firmware/generate.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../../build/release}
"$build/tools/ovdevsim/ovdevsim" make-firmware --version 1.1.0 --size 24576 --output "$here/OVFW_1_1_0.hff"
