#!/usr/bin/env bash
# The whole suite against the dialog library at the target systems' own
# versions, each built from its source first (make test-dialogs).
set -euo pipefail
make test-dialogs
