#!/usr/bin/env bash
# The release as a user or a package manager checks it: what `make dist` published agrees with
# itself (SHA256SUMS, the Scoop and winget manifests' hashes, the bill of materials, the zip's
# one folder and texts); the same sources built again in another folder, later, in another
# time zone and with another umask give the same bytes (the libraries in build/deps are
# reused); and a build signed with a certificate authority made here verifies with
# osslsigncode: the program, the installer and the uninstaller it writes (installed under Wine).
# Usage: release_check.sh <build/dist> <the built TorvekQuindle.exe>
set -uo pipefail
dist=$(realpath "$1")
built=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/tq-release.XXXXXX)
other="$work/another folder/TorvekQuindle"
trap 'declare -F tq_wine_cleanup >/dev/null && tq_wine_cleanup; rm -rf "$work"' EXIT

source "$root/tests/dist/checks.sh"
version=$(sed -n 's/^#define TQ_VERSION_TEXT "\(.*\)"$/\1/p' "$root/src/resources/version.h")
setup=TorvekQuindle-$version-setup.exe
zip=TorvekQuindle-$version-win32.zip
sums_match() { (cd "$1" && [ "$(cut -d' ' -f3 SHA256SUMS | tr '\n' ' ')" = "$setup $zip " ] &&
    sha256sum --strict --quiet -c SHA256SUMS); }

# --- What is published agrees with itself -------------------------------------------------
check "SHA256SUMS holds the setup's and the zip's hashes" sums_match "$dist"
python3 - "$dist" "$version" "$built" "$root/build/deps/src" <<'EOF' || failures=$((failures + $?))
import glob, hashlib, json, re, sys, zipfile
dist, version, built, deps = sys.argv[1:]
sha = lambda data: hashlib.sha256(data).hexdigest()
read = lambda name: open(f"{dist}/{name}", "rb").read()
setup, zipname = f"TorvekQuindle-{version}-setup.exe", f"TorvekQuindle-{version}-win32.zip"
folder = f"TorvekQuindle-{version}/"
failed = 0
def check(what, ok):
    global failed
    print(("ok: " if ok else "FAILED: ") + what)
    failed += not ok
archive = zipfile.ZipFile(f"{dist}/{zipname}")
check("the zip holds one folder, the program in it",
      all(n.startswith(folder) for n in archive.namelist())
      and archive.read(folder + "TorvekQuindle.exe") == open(built, "rb").read())
notices = archive.read(folder + "THIRD-PARTY-NOTICES.txt").decode("utf-8-sig")
readme = archive.read(folder + "README.txt").decode("utf-8-sig")
check("the readme names the version", f"TorvekQuindle {version}" in readme and "@" not in readme)
check("the notices name no Linux path", not re.search(r"/usr/|/share/", notices))

scoop = json.loads(read("manifests/scoop/torvekquindle.json"))
check("Scoop: the zip's hash, name and folder", scoop["hash"] == sha(read(zipname))
      and scoop["url"].endswith("/" + zipname) and scoop["extract_dir"] == folder[:-1]
      and scoop["version"] == version and scoop["bin"] == "TorvekQuindle.exe")
hooks = " ".join(scoop["pre_install"] + scoop["pre_uninstall"])
check("Scoop: the user's files are kept", "Log" in scoop["persist"]
      and "setting.ini" in hooks and "background.pic" in hooks)

winget = {path.split(".", 2)[-1]: open(path, encoding="utf-8").read()
          for path in glob.glob(f"{dist}/manifests/winget/*.yaml")}
field = lambda text, key: re.findall(rf'^\s*-? *{key}: "?([^"\n]*)"?$', text, re.M)
check("winget: three files of manifest version 1.6.0",
      sorted(winget) == ["installer.yaml", "locale.zh-CN.yaml", "yaml"]
      and all(field(text, "ManifestVersion") == ["1.6.0"] for text in winget.values()))
installer = winget["installer.yaml"]
check("winget: both scopes, each with the setup's hash and its switch",
      field(installer, "Scope") == ["user", "machine"]
      and field(installer, "Custom") == ["/CurrentUser", "/AllUsers"]
      and field(installer, "InstallerSha256") == [sha(read(setup)).upper()] * 2
      and all(url.endswith("/" + setup) for url in field(installer, "InstallerUrl")))
check("winget: nullsoft, the uninstall entry's key, zh-CN",
      field(installer, "InstallerType") == ["nullsoft"]
      and set(field(installer, "ProductCode")) == {"TorvekQuindle"}
      and field(winget["yaml"], "DefaultLocale") == ["zh-CN"])

spdx = json.loads(read(f"TorvekQuindle-{version}.spdx.json"))
packages = {p["name"]: p for p in spdx["packages"]}
dsc = lambda name: re.search(r"^Version: (\S+)",
                             open(glob.glob(f"{deps}/{name}_*.dsc")[0]).read(), re.M)[1]
linked = {"libjpeg-turbo", "giflib", "MinGW-w64 runtime", "winpthreads", "libssp"}
check("SPDX 2.3: the program and each library linked into it, with a licence and a version",
      spdx["spdxVersion"] == "SPDX-2.3" and linked | {"TorvekQuindle"} <= set(packages)
      and all(p["versionInfo"] and p["licenseDeclared"] for p in packages.values()))
check("SPDX: the libraries' versions are the source packages built",
      packages["libjpeg-turbo"]["versionInfo"] == dsc("libjpeg-turbo")
      and packages["giflib"]["versionInfo"] == dsc("giflib")
      and packages["TorvekQuindle"]["versionInfo"] == version)
check("SPDX: the program's hash, and every library has its notice",
      spdx["files"][0]["checksums"][1]["checksumValue"] == sha(open(built, "rb").read())
      and all(name.split()[0] in notices for name in packages))
ids = {e["SPDXID"] for e in spdx["packages"] + spdx["files"]} | {"SPDXRef-DOCUMENT"}
refs = {ref for p in packages.values()
        for ref in re.findall(r"LicenseRef-[\w.-]+", p["licenseDeclared"])}
check("SPDX: every relationship and licence reference resolves",
      refs <= {e["licenseId"] for e in spdx["hasExtractedLicensingInfos"]}
      and all({r["spdxElementId"], r["relatedSpdxElement"]} <= ids
              for r in spdx["relationships"]))
sys.exit(failed)
EOF

# --- The same sources built again: another folder, time, time zone and umask ---------------
mkdir -p "$other/build"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
    tar -c --ignore-failed-read --null -T - -f - 2>/dev/null) |
    (cd "$other" && umask 077 && tar -x -m -f -)
ln -s "$root/build/deps" "$other/build/deps"
export SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)  # what dist.sh took from git
sleep 1
(cd "$other" && umask 077 && export TZ=Pacific/Chatham &&
    cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$other/cmake/mingw-i686.cmake" &&
    cmake --build build/win32 --target TorvekQuindle -j1 &&
    bash scripts/dist.sh) >"$work/build.log" 2>&1 ||
    { cat "$work/build.log"; echo "FAILED: the second build"; exit 1; }
check "the program built again is the same bytes" \
    cmp "$other/build/win32/TorvekQuindle.exe" "$built"
for f in $(cd "$dist" && find . -type f | sort); do
    check "built again: $f is the same bytes" cmp "$dist/$f" "$other/build/dist/$f"
done

# --- Signed with a throwaway certificate authority ------------------------------------------
cd "$work"
password=throwaway-$$
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj "/CN=TorvekQuindle Test CA" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "/CN=TorvekQuindle Test Signer" 2>/dev/null
printf '%s\n' basicConstraints=CA:FALSE keyUsage=critical,digitalSignature \
    extendedKeyUsage=codeSigning >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile signer.ext -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
    -passout "pass:$password" -out signer.pfx
verify() { osslsigncode verify -CAfile "$work/ca.pem" -in "$1" >"$work/verify.log" 2>&1; }
signed=$other/build/dist
check "an unsigned installer does not verify" not verify "$signed/$setup"
SIGN_PFX=signer.pfx SIGN_PASSWORD=wrong bash "$other/scripts/dist.sh" >/dev/null 2>&1
check "a wrong password fails the build" [ $? -ne 0 ]
SIGN_PFX=signer.pfx SIGN_PASSWORD=$password bash "$other/scripts/dist.sh" >sign.log 2>&1 ||
    cat sign.log
check "the signed installer verifies" verify "$signed/$setup"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall("unzipped")' "$signed/$zip"
check "the signed zip's program verifies" verify "unzipped/TorvekQuindle-$version/TorvekQuindle.exe"
# Without its signature, the signed program is the built one but for the PE checksum, which
# signing recomputes, and the zeros that aligned the signature.
osslsigncode remove-signature -in "unzipped/TorvekQuindle-$version/TorvekQuindle.exe" \
    -out unsigned.exe >/dev/null 2>&1
same_but_checksum() {
    python3 - "$@" <<'EOF'
import sys
built, unsigned = (bytearray(open(path, "rb").read()) for path in sys.argv[1:])
for image in built, unsigned:
    at = int.from_bytes(image[0x3C:0x40], "little") + 88
    image[at:at + 4] = bytes(4)
sys.exit(unsigned[:len(built)] != built or any(unsigned[len(built):]))
EOF
}
check "and is the built program but for its signature" same_but_checksum "$built" unsigned.exe
check "SHA256SUMS holds the signed files' hashes" sums_match "$signed"
export WINEPREFIX=$work/wineprefix
source "$root/scripts/wine-env.sh"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d" wine "$signed/$setup" /S
local_app_data=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
installed=$(winepath -u "$local_app_data\\Programs\\TorvekQuindle" 2>/dev/null)
check "the uninstaller the installer writes verifies" verify "$installed/uninstall.exe"

checks_end
