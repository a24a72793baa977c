#!/usr/bin/env bash
# The real-tool suite: builds each release of pkg the target systems run
# from its source (a few minutes each), then runs leafsweep against each of
# them over scratch roots.
set -euo pipefail
make test-real
