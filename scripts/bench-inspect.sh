#!/usr/bin/env bash
# The benchmarks live in tests/bench/ beside their drivers; this name runs
# the same script, with the same arguments and environment.
exec "$(dirname "$0")/../tests/bench/bench-inspect.sh" "$@"
