"""Usage: check-release-files.py DIR FIRMWARE_DIR

Checks what the packaging step puts beside the packages in DIR. SHA256SUMS
lists every package (.zip, .deb) and bill of materials (.spdx.json) in DIR,
and nothing else, in the form `sha256sum -c` reads (the hashes themselves
are for sha256sum to check). Every package has its NAME.spdx.json, an SPDX
2.3 JSON document that is well-formed and complete: the document's own
fields; every package named, with an SPDX id, a version, a download
location, both licence fields and a copyright text; the tool at the
package's version, described by the document; nlohmann/json under MIT with
its version; and each firmware image in FIRMWARE_DIR (the images the build
embedded) as firmware with its SHA-256. Licences of our own are defined in
the document, and every relationship joins packages it has. Prints every
fault found; exit status 1 if any.
"""
import hashlib
import json
import pathlib
import re
import sys

PACKAGE_FIELDS = ("SPDXID", "name", "versionInfo", "downloadLocation", "licenseConcluded",
                  "licenseDeclared", "copyrightText")
DOCUMENT_FIELDS = ("spdxVersion", "dataLicense", "SPDXID", "name", "documentNamespace",
                   "creationInfo", "packages", "relationships")

faults = []


def fault(text):
    faults.append(text)
    print(f"FAULT: {text}")


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def check_sums(folder, release_names):
    sums = folder / "SHA256SUMS"
    if not sums.is_file():
        fault("no SHA256SUMS")
        return
    listed = []
    for number, line in enumerate(sums.read_text(encoding="ascii").splitlines(), 1):
        match = re.fullmatch(r"[0-9a-f]{64}  (\S+)", line)
        if not match:
            fault(f"SHA256SUMS line {number} is not 'HASH  NAME': {line!r}")
            continue
        listed.append(match.group(1))
    if listed != sorted(set(listed)):
        fault(f"SHA256SUMS names are not each once, in order: {listed}")
    if sorted(set(listed)) != release_names:
        fault(f"SHA256SUMS lists {sorted(set(listed))}, the folder has {release_names}")


def check_licence(where, value, defined):
    if not isinstance(value, str) or not value:
        fault(f"{where}: no licence")
        return
    for ref in re.findall(r"LicenseRef-[A-Za-z0-9.-]+", value):
        if ref not in defined:
            fault(f"{where}: {ref} is not defined in hasExtractedLicensingInfos")


def check_sbom(path, package_name, firmware):
    try:
        document = json.loads(path.read_text(encoding="utf-8"))
    except (OSError, ValueError) as error:
        fault(f"{path.name} is not JSON: {error}")
        return
    missing = [field for field in DOCUMENT_FIELDS if field not in document]
    if missing:
        fault(f"{path.name}: no {', '.join(missing)}")
        return
    if document["spdxVersion"] != "SPDX-2.3" or document["dataLicense"] != "CC0-1.0":
        fault(f"{path.name}: {document['spdxVersion']}, data licence {document['dataLicense']}")
    if document["SPDXID"] != "SPDXRef-DOCUMENT":
        fault(f"{path.name}: the document's id is {document['SPDXID']}")
    if not re.fullmatch(r"[a-z]+://[^#\s]+", document["documentNamespace"]):
        fault(f"{path.name}: the namespace {document['documentNamespace']} is not a URI without '#'")
    creation = document["creationInfo"]
    if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", creation.get("created", "")):
        fault(f"{path.name}: created is {creation.get('created')!r}, not YYYY-MM-DDThh:mm:ssZ")
    if not creation.get("creators"):
        fault(f"{path.name}: no creators")
    defined = {info.get("licenseId") for info in document.get("hasExtractedLicensingInfos", [])
               if info.get("extractedText")}

    by_id = {}
    for package in document["packages"]:
        where = f"{path.name}: package {package.get('name', '?')}"
        for field in PACKAGE_FIELDS:
            if not isinstance(package.get(field), str) or not package.get(field):
                fault(f"{where}: no {field}")
        if not re.fullmatch(r"SPDXRef-[A-Za-z0-9.-]+", package.get("SPDXID", "")):
            fault(f"{where}: the id {package.get('SPDXID')!r} is not SPDXRef-[A-Za-z0-9.-]+")
        if package.get("SPDXID") in by_id:
            fault(f"{where}: the id {package['SPDXID']} is there twice")
        by_id[package.get("SPDXID")] = package
        check_licence(f"{where}, licenseConcluded", package.get("licenseConcluded"), defined)
        check_licence(f"{where}, licenseDeclared", package.get("licenseDeclared"), defined)
    by_name = {package.get("name"): package for package in document["packages"]}

    version = re.search(r"\d+\.\d+\.\d+", package_name).group(0)
    tool = by_name.get("RavelinFwUpgrade", {})
    if tool.get("versionInfo") != version or tool.get("packageFileName") != package_name:
        fault(f"{path.name}: the tool is {tool.get('versionInfo')} in {tool.get('packageFileName')}, "
              f"not {version} in {package_name}")
    json_library = by_name.get("nlohmann-json", {})
    if json_library.get("licenseDeclared") != "MIT" or \
            not re.fullmatch(r"\d+\.\d+\.\d+", json_library.get("versionInfo", "")):
        fault(f"{path.name}: nlohmann-json is {json_library.get('versionInfo')!r} "
              f"under {json_library.get('licenseDeclared')!r}, not X.Y.Z under MIT")
    for image in firmware:
        package = by_name.get(image.name, {})
        hashes = {c.get("algorithm"): c.get("checksumValue") for c in package.get("checksums", [])}
        if package.get("primaryPackagePurpose") != "FIRMWARE" or hashes.get("SHA256") != sha256(image):
            fault(f"{path.name}: the image {image.name} is not there as firmware with SHA-256 {sha256(image)}")

    related = set()
    for relationship in document["relationships"]:
        ends = (relationship.get("spdxElementId"), relationship.get("relatedSpdxElement"))
        for end in ends:
            if end != "SPDXRef-DOCUMENT" and end not in by_id:
                fault(f"{path.name}: a relationship names {end}, which is no package")
        related.update(ends)
        if relationship.get("relationshipType") == "DESCRIBES" and ends[0] == "SPDXRef-DOCUMENT" and \
                by_id.get(ends[1]) is tool:
            related.add("described")
    if "described" not in related:
        fault(f"{path.name}: the document does not DESCRIBE the tool")
    for package_id in by_id:
        if package_id not in related:
            fault(f"{path.name}: {package_id} is in no relationship")
    print(f"{path.name}: {len(by_id)} packages: "
          + ", ".join(f"{p['name']} {p['versionInfo']}" for p in document["packages"]))


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    folder = pathlib.Path(sys.argv[1])
    firmware = sorted(pathlib.Path(sys.argv[2]).glob("*.*"))
    if not firmware:
        fault(f"no firmware images in {sys.argv[2]}")
    names = sorted(p.name for p in folder.iterdir()
                   if p.is_file() and p.name.endswith((".zip", ".deb", ".spdx.json")))
    check_sums(folder, names)
    packages = [name for name in names if name.endswith((".zip", ".deb"))]
    if not packages:
        fault(f"no package in {folder}")
    for name in packages:
        sbom = folder / (name.rsplit(".", 1)[0] + ".spdx.json")
        if sbom.is_file():
            check_sbom(sbom, name, firmware)
        else:
            fault(f"{name} has no bill of materials {sbom.name}")
    if not faults:
        print(f"{folder}: SHA256SUMS and the bills of materials are right")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
