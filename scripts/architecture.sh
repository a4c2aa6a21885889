#!/usr/bin/env bash
# Draws the pictures of docs/architecture.md from their Graphviz sources: docs/architecture.svg
# (the pipeline) and docs/band-receiver.svg (the SDR receiver for a band). Graphviz comes with
# scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
for picture in architecture band-receiver; do
  dot -Tsvg "docs/$picture.dot" -o "docs/$picture.svg"
  echo "wrote docs/$picture.svg"
done
