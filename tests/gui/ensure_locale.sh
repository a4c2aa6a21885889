#!/usr/bin/env bash
# Makes sure the locale LANG.CHARSET (for example de_DE UTF-8) exists, generating it if needed.
set -euo pipefail
lang=$1
charset=$2
if locale -a 2>/dev/null | grep -qix "${lang}.$(echo "$charset" | tr -d '-')"; then
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO localedef -i "$lang" -f "$charset" "${lang}.${charset}"
echo "Generated locale ${lang}.${charset}"
