#!/usr/bin/env bash
# signed_package.sh: a signed release as CI can prove it. Makes a throwaway
# code-signing certificate, runs scripts/package --sign, verifies every PE
# file against that certificate as the only trusted root, shows that an
# unsigned program fails the check, checks SHA256SUMS and the winget manifest,
# then installs, upgrades and uninstalls the signed installer under wine.
# Run from scripts/test after the windows build (WINEPREFIX set).
set -euo pipefail
cd "$(dirname "$0")/../.."
pkg=build/windows/package
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL [signed package]: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=VXMon CI throwaway/O=Vantor" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
VX_SIGN_PASSWORD=$(openssl rand -hex 16)
export VX_SIGN_PASSWORD
openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/key.pem" -passout env:VX_SIGN_PASSWORD \
  -out "$work/cert.pfx"

scripts/package --sign "$work/cert.pfx" </dev/null 2>&1 | tee "$work/package.log" ||
  fail "scripts/package --sign failed"
grep -q 'WARNING: no --timestamp' "$work/package.log" || fail "no warning about the missing time-stamp"
! grep -qF "$VX_SIGN_PASSWORD" "$work/package.log" || fail "the password is in the log"
packaging/verify_signed.sh "$pkg" "$work/cert.pem" || fail "the signed package does not verify"

# A wrong password stops the run before the build: exit 2, the reason, and
# the finished package left as it was.
sums_before=$(cd "$pkg" && find . -type f -printf '%p %s %T@\n' | sort)
rc=0
VX_SIGN_PASSWORD=wrong-$VX_SIGN_PASSWORD scripts/package --sign "$work/cert.pfx" </dev/null >"$work/wrong.log" 2>&1 || rc=$?
[ "$rc" = 2 ] || fail "scripts/package with a wrong password exited with $rc, not 2: $(tail -3 "$work/wrong.log")"
grep -q 'cannot open .*wrong VX_SIGN_PASSWORD' "$work/wrong.log" || fail "no reason given: $(cat "$work/wrong.log")"
[ "$(cd "$pkg" && find . -type f -printf '%p %s %T@\n' | sort)" = "$sums_before" ] ||
  fail "a wrong password still touched the package folder"
echo "a wrong signing password stops scripts/package before the build (exit 2)"

# What Properties and the elevation prompt show: every PE file of the package
# names the product, the company, this version and what it is.
zip=$(basename "$pkg"/VXMon-*-portable.zip)
version=${zip#VXMon-}; version=${version%-portable.zip}
7z x -y -o"$work/setup" "$pkg"/VXMon-*-setup.exe >/dev/null
7z x -y -o"$work/unzip" "$pkg/$zip" >/dev/null
for f in "$pkg"/VXMon-*-setup.exe "$work/setup"/{VXMon.exe,kwHook.dll,LangDesigner.exe,vxprofile.exe,Uninstall.exe} \
         "$work/unzip/VXMon"/{VXMon.exe,kwHook.dll,LangDesigner.exe,vxprofile.exe}; do
  res=$(x86_64-w64-mingw32-windres -J coff -O rc -i "$f" 2>/dev/null)
  for want in '"CompanyName", "Vantor"' '"ProductName", "Vantor Gaming Mouse Driver"' \
              "\"ProductVersion\", \"$version.0\"" '"FileDescription", "Vantor Gaming Mouse '; do
    grep -qF "$want" <<<"$res" || fail "$(basename "$f") has no $want in its version resource"
  done
done
echo "every program, the uninstaller and the installer carry the version resource of $version"

# The same check on a package whose zip holds the unsigned build of VXMon.exe.
mkdir -p "$work/bad"
cp "$pkg"/VXMon-*-setup.exe "$work/bad/"
cp build/windows/bin/VXMon.exe "$work/unzip/VXMon/VXMon.exe"
(cd "$work/unzip" && zip -q -r "$work/bad/$zip" VXMon)
if packaging/verify_signed.sh "$work/bad" "$work/cert.pem" >"$work/bad.log" 2>&1; then
  fail "an unsigned VXMon.exe in the zip passed the check"
fi
grep -q '^UNSIGNED  zip/VXMon/VXMon.exe' "$work/bad.log" || fail "the check did not name VXMon.exe: $(cat "$work/bad.log")"
[ "$(grep -c '^UNSIGNED' "$work/bad.log")" = 1 ] || fail "the check flagged more than VXMon.exe: $(cat "$work/bad.log")"
echo "an unsigned program fails the check: $(grep '^UNSIGNED' "$work/bad.log")"

# The manifest check of the package step, on a zip whose LangDesigner.exe
# lost its resources.
mkdir -p "$work/nomanifest"
cp "$pkg"/VXMon-*-setup.exe "$work/nomanifest/"
x86_64-w64-mingw32-objcopy --remove-section .rsrc "$pkg/files/LangDesigner.exe" "$work/unzip/VXMon/LangDesigner.exe"
(cd "$work/unzip" && zip -q -r "$work/nomanifest/$zip" VXMon)
if packaging/verify_manifests.sh "$work/nomanifest" >"$work/nomanifest.log" 2>&1; then
  fail "a LangDesigner.exe without a manifest passed the check"
fi
grep -q '^NO MANIFEST  zip/VXMon/LangDesigner.exe' "$work/nomanifest.log" ||
  fail "the check did not name LangDesigner.exe: $(cat "$work/nomanifest.log")"
[ "$(grep -c '^NO MANIFEST\|^INCOMPLETE' "$work/nomanifest.log")" = 1 ] ||
  fail "the check flagged more than LangDesigner.exe: $(cat "$work/nomanifest.log")"
echo "a windowed program without its manifest fails the check: $(grep '^NO MANIFEST' "$work/nomanifest.log")"

(cd "$pkg" && sha256sum -c SHA256SUMS) || fail "SHA256SUMS does not match"

python3 - "$pkg" <<'PY' || fail "the winget manifest is incomplete or wrong"
import glob, hashlib, os, re, sys, yaml
pkg = sys.argv[1]
setup = glob.glob(os.path.join(pkg, "VXMon-*-setup.exe"))[0]
version = re.search(r"VXMon-(.+)-setup\.exe$", setup).group(1)
sha = hashlib.sha256(open(setup, "rb").read()).hexdigest()
files = glob.glob(os.path.join(pkg, "winget/manifests/v/*/VXMon", version, "*.yaml"))
docs = {yaml.safe_load(open(f))["ManifestType"]: yaml.safe_load(open(f)) for f in files}
assert len(files) == 3 and set(docs) == {"version", "installer", "defaultLocale"}, files
# The required fields of each file in the 1.10.0 schema.
required = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                      "License", "ShortDescription", "ManifestType", "ManifestVersion"],
}
for kind, doc in docs.items():
    for field in required[kind]:
        assert doc.get(field) not in (None, "", []), f"{kind}: no {field}"
    assert doc["ManifestVersion"] == "1.10.0", doc["ManifestVersion"]
    assert doc["PackageIdentifier"] == docs["version"]["PackageIdentifier"]
    assert str(doc["PackageVersion"]) == version, (kind, doc["PackageVersion"])
assert docs["version"]["DefaultLocale"] == docs["defaultLocale"]["PackageLocale"]
inst = docs["installer"]
assert inst["InstallerType"] == "nullsoft" and inst["Scope"] == "user", inst
assert inst["InstallerSwitches"]["Silent"] == "/S", inst
(one,) = inst["Installers"]
for field in ["Architecture", "InstallerUrl", "InstallerSha256"]:
    assert one.get(field), f"installer: no {field}"
assert one["InstallerSha256"].lower() == sha, (one["InstallerSha256"], sha)
assert re.match(r"^https?://.+/" + re.escape(os.path.basename(setup)) + "$", one["InstallerUrl"]), one
print(f"winget manifest {docs['version']['PackageIdentifier']} {version}: required fields present, "
      f"InstallerSha256 {sha[:16]}... is the installer's")
PY

# The signed installer under wine: install, upgrade, uninstall.
VX_E2E_SIGNING_CA="$work/cert.pem" xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows -R '^installer_lifecycle$' --output-on-failure ||
  fail "the signed installer failed the installer e2e"
