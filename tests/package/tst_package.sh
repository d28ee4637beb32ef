#!/usr/bin/env bash
# Installs the engine from this build into a scratch prefix, then builds and
# runs a separate project that finds it with find_package and links it.
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source_dir" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
# An empty registry: the viewer is not installed, so nothing is registered.
out=$(PELLVARIN_REGISTRY="$work/registry.sqlite" QT_QPA_PLATFORM=offscreen "$work/consumer/consumer")
echo "$out"
grep -q '^consumer: [0-9]* formats, [0-9]* filters, 0 registered, all 0$' <<<"$out"
