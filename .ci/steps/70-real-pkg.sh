#!/usr/bin/env bash
# The real-tool suite: builds pkg from its source (a few minutes), then runs
# leafsweep against it over scratch roots.
set -euo pipefail
make test-real
