#!/usr/bin/env python3
"""Writes what a release publishes beside the installer and the zip, from the files
themselves: SHA256SUMS, the SPDX 2.3 bill of materials (the program and what is linked into
it, with the versions this build used) and the package managers' manifests (Scoop for the
zip, a winget multi-file set for the installer). Everything written depends only on its
inputs and SOURCE_DATE_EPOCH, so that two builds of one commit write the same bytes.
Called by scripts/dist.sh."""

import argparse
import hashlib
import json
import os
import re
import subprocess
import time
from urllib.parse import quote

MINGW = "i686-w64-mingw32-gcc-posix"
PRODUCT = "TorvekQuindle"
WINGET_ID = "Torvek.TorvekQuindle"
WINGET_MANIFEST_VERSION = "1.6.0"
DESCRIPTION = "桌面倒计时小工具：在桌面上的小窗口里显示距目标时间还剩多少天、小时、分钟和秒。"
GCC_RUNTIME_LICENCE = "GPL-3.0-or-later WITH GCC-exception-3.1"
PUBLIC_DOMAIN = "LicenseRef-MinGW-w64-public-domain"
GDTOA = "LicenseRef-gdtoa"
# Licences without an SPDX identifier, quoted from their copyright statements.
EXTRACTED_LICENCES = {
    PUBLIC_DOMAIN: "This file has no copyright assigned and is placed in the Public Domain.",
    GDTOA: "Permission to use, copy, modify, and distribute this software and its documentation "
    "for any purpose and without fee is hereby granted, provided that the above copyright "
    "notice appear in all copies and that both that the copyright notice and this permission "
    "notice and warranty disclaimer appear in supporting documentation, and that the name of "
    "Lucent or any of its entities not be used in advertising or publicity pertaining to "
    "distribution of the software without specific, written prior permission.",
}


def digest(path, algorithm="sha256"):
    h = hashlib.new(algorithm)
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def debian_source_version(deps_src, package):
    """The version of the Debian source package the libraries were built from (its .dsc)."""
    for name in sorted(os.listdir(deps_src)):
        if name.startswith(package + "_") and name.endswith(".dsc"):
            with open(os.path.join(deps_src, name), encoding="utf-8") as f:
                match = re.search(r"^Version: (\S+)$", f.read(), re.M)
            if match:
                return match.group(1)
    raise SystemExit(f"no {package} source package in {deps_src}: scripts/build-win-deps.sh")


def toolchain_package(library):
    """The Debian package, with its version, that holds the library the compiler links."""
    path = subprocess.run([MINGW, f"-print-file-name={library}"], check=True,
                          capture_output=True, text=True).stdout.strip()
    owner = subprocess.run(["dpkg-query", "-S", os.path.realpath(path)], check=True,
                           capture_output=True, text=True).stdout.split(":")[0]
    version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", owner], check=True,
                             capture_output=True, text=True).stdout
    return owner, re.sub(r"\+b\d+$", "", version)  # a rebuild's suffix is no source version


def upstream(debian_version):
    """1:2.1.5-2 -> 2.1.5; 12.2.0-14+deb12u1+25.2+b1 -> 12.2.0."""
    return re.sub(r"-[^-]*$", "", debian_version.split(":", 1)[-1])


def components(deps_src):
    """What the program links statically: name, version, Debian source, licence, copyright."""
    jpeg = debian_source_version(deps_src, "libjpeg-turbo")
    gif = debian_source_version(deps_src, "giflib")
    mingw = toolchain_package("libmingwex.a")[1]
    threads = toolchain_package("libwinpthread.a")[1]
    result = [
        ("libjpeg-turbo", jpeg, "libjpeg-turbo", jpeg, "IJG AND BSD-3-Clause AND Zlib",
         "Copyright (C) 1991-2020 Thomas G. Lane, Guido Vollbeding; "
         "Copyright (C) 2009-2022 D. R. Commander", "https://libjpeg-turbo.org/"),
        ("giflib", gif, "giflib", gif, "MIT AND ISC",
         "Copyright (C) 1989 Gershon Elber; Copyright (C) 1997 Eric S. Raymond",
         "https://giflib.sourceforge.net/"),
        ("MinGW-w64 runtime", upstream(mingw), "mingw-w64", mingw,
         f"ZPL-2.1 AND {PUBLIC_DOMAIN} AND {GDTOA}",
         "Copyright (c) 2009-2016 the mingw-w64 project", "https://www.mingw-w64.org/"),
        ("winpthreads", upstream(threads), "mingw-w64", threads, "MIT AND BSD-3-Clause",
         "Copyright (c) 2011-2016 mingw-w64 project; Copyright (c) 2010 Lockless Inc.",
         "https://www.mingw-w64.org/"),
    ]
    for library in ("libssp", "libstdc++", "libgcc"):
        version = toolchain_package(library + ".a")[1]
        result.append((library, upstream(version), "gcc-mingw-w64", version,
                       GCC_RUNTIME_LICENCE, "Copyright (C) Free Software Foundation, Inc.",
                       "https://gcc.gnu.org/"))
    return result


def spdx_id(name):
    return "SPDXRef-Package-" + re.sub(r"[^A-Za-z0-9.]+", "-", name).strip("-")


def write_spdx(path, args, exe, zip_url):
    program = spdx_id(PRODUCT)
    exe_id = "SPDXRef-File-TorvekQuindle.exe"
    packages = [{
        "SPDXID": program,
        "name": PRODUCT,
        "versionInfo": args.version,
        "packageFileName": os.path.basename(zip_url),
        "supplier": f"Organization: {args.publisher}",
        "downloadLocation": zip_url,
        "filesAnalyzed": True,
        "packageVerificationCode": {"packageVerificationCodeValue": hashlib.sha1(
            digest(exe, "sha1").encode()).hexdigest()},
        "licenseConcluded": "MIT",
        "licenseDeclared": "MIT",
        "licenseInfoFromFiles": ["MIT"],
        "copyrightText": f"Copyright (c) {args.years} {args.publisher}",
        "primaryPackagePurpose": "APPLICATION",
        "hasFiles": [exe_id],
    }]
    relationships = [
        {"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
         "relatedSpdxElement": program},
        {"spdxElementId": program, "relationshipType": "CONTAINS", "relatedSpdxElement": exe_id},
    ]
    for name, version, source, source_version, licence, copyright, home in components(
            args.deps_src):
        packages.append({
            "SPDXID": spdx_id(name),
            "name": name,
            "versionInfo": source_version if source in ("libjpeg-turbo", "giflib") else version,
            "supplier": "Organization: Debian",
            "downloadLocation": "NOASSERTION",
            "homepage": home,
            "sourceInfo": f"built from the Debian 12 source package {source} {source_version}",
            "filesAnalyzed": False,
            "licenseConcluded": licence,
            "licenseDeclared": licence,
            "copyrightText": copyright,
            "primaryPackagePurpose": "LIBRARY",
            "externalRefs": [{
                "referenceCategory": "PACKAGE-MANAGER",
                "referenceType": "purl",
                "referenceLocator": f"pkg:deb/debian/{source}@{quote(source_version, safe='')}"
                                    "?arch=source&distro=debian-12",
            }],
        })
        relationships.append({"spdxElementId": exe_id, "relationshipType": "STATIC_LINK",
                              "relatedSpdxElement": spdx_id(name)})
    document = {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": f"{PRODUCT}-{args.version}",
        # Unique for each release's content, and the same for every rebuild of it.
        "documentNamespace": f"{args.base_url}spdx/{PRODUCT}-{args.version}-{digest(exe)}",
        "creationInfo": {
            "created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(args.epoch)),
            "creators": [f"Organization: {args.publisher}", "Tool: scripts/dist.sh"],
        },
        "packages": packages,
        "files": [{
            "SPDXID": exe_id,
            "fileName": "./TorvekQuindle.exe",
            "fileTypes": ["BINARY", "APPLICATION"],
            "checksums": [{"algorithm": "SHA1", "checksumValue": digest(exe, "sha1")},
                          {"algorithm": "SHA256", "checksumValue": digest(exe)}],
            "licenseConcluded": "NOASSERTION",
            "licenseInfoInFiles": ["NOASSERTION"],
            "copyrightText": "NOASSERTION",
        }],
        "hasExtractedLicensingInfos": [
            {"licenseId": key, "extractedText": text} for key, text in EXTRACTED_LICENCES.items()
        ],
        "relationships": relationships,
    }
    write_json(path, document)


def write_json(path, value):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        json.dump(value, f, ensure_ascii=False, indent=4)
        f.write("\n")


def write_scoop(path, args, zip_path, zip_url):
    # Scoop keeps a persisted file as a hard link into its persist folder. The program keeps a
    # hard-linked setting.ini one file when it saves, but 默认设置 deletes setting.ini and
    # background.pic (the persisted copies would come back at the next update), the picture is
    # replaced in one step, and a persisted file that does not exist yet is made a folder (which
    # the program cannot read, and so never saves over). So the two files are carried over by the
    # hooks, by copy: into the new version's folder at install, back into the persist folder at
    # uninstall (which an update runs first); a file the user deleted is deleted there too. Log
    # is a folder, linked.
    files = "'setting.ini', 'background.pic'"
    manifest = {
        "version": args.version,
        "description": DESCRIPTION,
        "homepage": args.homepage,
        "license": "MIT",
        "url": zip_url,
        "hash": digest(zip_path),
        "extract_dir": f"{PRODUCT}-{args.version}",
        "bin": "TorvekQuindle.exe",
        "shortcuts": [["TorvekQuindle.exe", PRODUCT]],
        "##": "setting.ini and background.pic are carried over by the hooks rather than "
              "persisted: restoring the defaults deletes them, and a persisted file that does "
              "not exist yet would be made a folder.",
        "persist": ["Log"],
        "pre_install": [
            f"foreach ($f in {files}) {{",
            "    if (Test-Path \"$persist_dir\\$f\" -PathType Leaf) {"
            " Copy-Item \"$persist_dir\\$f\" \"$dir\\$f\" }",
            "}",
        ],
        "pre_uninstall": [
            "New-Item -ItemType Directory -Force \"$persist_dir\" | Out-Null",
            f"foreach ($f in {files}) {{",
            "    $item = Get-Item \"$dir\\$f\" -ErrorAction SilentlyContinue",
            "    if (!$item) { Remove-Item \"$persist_dir\\$f\" -Force -ErrorAction SilentlyContinue }",
            "    elseif ($item.LinkType -ne 'HardLink') {"
            " Copy-Item $item.FullName \"$persist_dir\\$f\" -Force }",
            "}",
        ],
    }
    write_json(path, manifest)


def yaml_text(fields):
    """Flat YAML from (key, value) pairs and nested lists of them; strings always quoted."""
    lines = []

    def emit(pairs, indent, first_prefix=""):
        for index, (key, value) in enumerate(pairs):
            prefix = first_prefix if index == 0 else " " * len(first_prefix)
            pad = " " * indent + prefix
            if isinstance(value, list) and value and isinstance(value[0], list):
                lines.append(f"{pad}{key}:")
                for item in value:
                    emit(item, indent, "- ")
            elif isinstance(value, list) and value and isinstance(value[0], tuple):
                lines.append(f"{pad}{key}:")
                emit(value, indent + len(prefix) + 2)
            elif isinstance(value, list):
                lines.append(f"{pad}{key}:")
                lines.extend(f"{' ' * (indent + len(prefix))}- {json.dumps(v, ensure_ascii=False)}"
                             for v in value)
            else:
                lines.append(f"{pad}{key}: {json.dumps(value, ensure_ascii=False)}")

    emit(fields, 0)
    return "\n".join(lines) + "\n"


def write_winget(folder, args, setup_path, setup_url):
    sha = digest(setup_path).upper()
    common = [("PackageIdentifier", WINGET_ID), ("PackageVersion", args.version)]
    footer = lambda kind: [("ManifestType", kind), ("ManifestVersion", WINGET_MANIFEST_VERSION)]
    schema = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.{}.1.6.0.schema.json\n\n"
    installer = lambda scope, switch, extra: [
        ("Architecture", "x86"), ("Scope", scope), ("InstallerUrl", setup_url),
        ("InstallerSha256", sha), ("InstallerSwitches", [("Custom", switch)])] + extra
    files = {
        f"{WINGET_ID}.yaml": ("version", common + [("DefaultLocale", "zh-CN")] + footer("version")),
        f"{WINGET_ID}.installer.yaml": ("installer", common + [
            ("InstallerType", "nullsoft"),
            ("InstallModes", ["interactive", "silent", "silentWithProgress"]),
            ("UpgradeBehavior", "install"),
            # The uninstall entry's key, under HKCU or HKLM by the scope.
            ("ProductCode", PRODUCT),
            ("ReleaseDate", time.strftime("%Y-%m-%d", time.gmtime(args.epoch))),
            ("AppsAndFeaturesEntries", [[("DisplayName", PRODUCT), ("Publisher", args.publisher),
                                         ("DisplayVersion", args.version),
                                         ("ProductCode", PRODUCT)]]),
            ("Installers", [
                installer("user", "/CurrentUser", []),
                # Not elevated by winget: the installer starts itself again elevated.
                installer("machine", "/AllUsers", [("ElevationRequirement", "elevatesSelf")]),
            ]),
        ] + footer("installer")),
        f"{WINGET_ID}.locale.zh-CN.yaml": ("defaultLocale", common + [
            ("PackageLocale", "zh-CN"), ("Publisher", args.publisher),
            ("PublisherUrl", args.homepage), ("PackageName", PRODUCT),
            ("PackageUrl", args.homepage), ("License", "MIT"),
            ("Copyright", f"版权所有 (C) {args.years} {args.publisher}"),
            ("ShortDescription", DESCRIPTION),
            ("Tags", ["countdown", "timer", "倒计时"]),
        ] + footer("defaultLocale")),
    }
    os.makedirs(folder, exist_ok=True)
    for name, (kind, fields) in files.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(schema.format(kind) + yaml_text(fields))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--dist", required=True)
    parser.add_argument("--exe", required=True, help="the program as shipped")
    parser.add_argument("--setup", required=True)
    parser.add_argument("--zip", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--publisher", required=True)
    parser.add_argument("--years", required=True)
    parser.add_argument("--base-url", required=True, help="the release's folder, ending in /")
    parser.add_argument("--homepage", required=True)
    parser.add_argument("--deps-src", required=True)
    parser.add_argument("--epoch", type=int, required=True)
    args = parser.parse_args()
    setup_path = os.path.join(args.dist, args.setup)
    zip_path = os.path.join(args.dist, args.zip)

    with open(os.path.join(args.dist, "SHA256SUMS"), "w", newline="\n") as f:
        for name in (args.setup, args.zip):
            f.write(f"{digest(os.path.join(args.dist, name))}  {name}\n")
    write_spdx(os.path.join(args.dist, f"{PRODUCT}-{args.version}.spdx.json"), args, args.exe,
               args.base_url + args.zip)
    manifests = os.path.join(args.dist, "manifests")
    os.makedirs(os.path.join(manifests, "scoop"), exist_ok=True)
    write_scoop(os.path.join(manifests, "scoop", "torvekquindle.json"), args, zip_path,
                args.base_url + args.zip)
    write_winget(os.path.join(manifests, "winget"), args, setup_path, args.base_url + args.setup)


if __name__ == "__main__":
    main()
