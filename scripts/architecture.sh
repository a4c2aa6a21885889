#!/usr/bin/env bash
# Draws docs/architecture.svg, the pipeline picture of docs/architecture.md, from its Graphviz
# source docs/architecture.dot (Graphviz comes with scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
dot -Tsvg docs/architecture.dot -o docs/architecture.svg
echo "wrote docs/architecture.svg"
