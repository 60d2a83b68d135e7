#!/usr/bin/env bash
# sign.sh FILE...: Authenticode-signs PE files in place (SHA-256) when
# scripts/package --sign has set VX_SIGN_CERT (a .pfx); without it nothing
# happens, so a build without --sign stays as it was. The password comes from
# VX_SIGN_PASSWORD and reaches osslsigncode through a private file that is
# deleted at once, never through a command line (ps) or a log.
# VX_SIGN_TIMESTAMP: RFC 3161 time-stamp servers (space-separated, tried in
# turn); without one the signature is valid only as long as the certificate.
set -euo pipefail
[ -n "${VX_SIGN_CERT:-}" ] || exit 0
[ -n "${VX_SIGN_PASSWORD+set}" ] || { echo "sign: VX_SIGN_PASSWORD is not set" >&2; exit 2; }
passfile=$(mktemp)  # mode 0600
out=""
trap 'rm -f "$passfile" "$out"' EXIT
printf '%s' "$VX_SIGN_PASSWORD" >"$passfile"
ts=()
for url in ${VX_SIGN_TIMESTAMP:-}; do ts+=(-ts "$url"); done
for f in "$@"; do
  out="$f.signing"
  rm -f "$out"
  osslsigncode sign -pkcs12 "$VX_SIGN_CERT" -readpass "$passfile" -h sha256 \
    -n "Vantor Gaming Mouse Driver" "${ts[@]}" -in "$f" -out "$out" >/dev/null ||
    { echo "sign: could not sign $f" >&2; exit 1; }
  chmod --reference="$f" "$out"
  mv "$out" "$f"
  out=""
  echo "signed $(basename "$f")"
done
