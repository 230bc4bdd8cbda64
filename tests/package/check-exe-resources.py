"""Usage: check-exe-resources.py EXE VERSION

Reads the resource section of the Windows exe back with pefile and checks
what Windows will make of it: an application manifest, under the ID the
loader takes for an exe, that asks to run as the invoking user without UI
access and names Windows 7 to 11 as supported; and a version resource whose
numbers and strings say VERSION, with the maker's and the file's names.
Prints every fault found; exit status 1 if any.
"""
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_VERSION = 16
RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
SUPPORTED_OS_IDS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
EXPECTED_STRINGS = {
    "CompanyName": "KorVan",
    "OriginalFilename": "RavelinFwUpgrade.exe",
}
NONEMPTY_STRINGS = ("ProductName", "FileDescription")

faults = []


def fault(text):
    faults.append(text)
    print("FAULT: " + text)


def resources_of_type(pe, type_id):
    """(name id, bytes) of every resource of type_id, all languages."""
    found = []
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in directory.entries if directory else []:
        if type_entry.id != type_id:
            continue
        for name_entry in type_entry.directory.entries:
            for language_entry in name_entry.directory.entries:
                data = language_entry.data.struct
                found.append((name_entry.id, pe.get_data(data.OffsetToData, data.Size)))
    return found


def local_name(tag):
    return tag.rsplit("}", 1)[-1]


def check_manifest(pe):
    manifests = resources_of_type(pe, RT_MANIFEST)
    if [name for name, _ in manifests] != [CREATEPROCESS_MANIFEST_RESOURCE_ID]:
        fault("expected one manifest with ID %d, found IDs %s"
              % (CREATEPROCESS_MANIFEST_RESOURCE_ID, [name for name, _ in manifests]))
        if not manifests:
            return
    try:
        root = ElementTree.fromstring(manifests[0][1])
    except ElementTree.ParseError as error:
        fault("the manifest is not well-formed XML: %s" % error)
        return
    levels = [element.attrib for element in root.iter()
              if local_name(element.tag) == "requestedExecutionLevel"]
    if levels != [{"level": "asInvoker", "uiAccess": "false"}]:
        fault("requested execution levels are %s, not one asInvoker without UI access" % levels)
    supported = {element.get("Id", "").lower() for element in root.iter()
                 if local_name(element.tag) == "supportedOS"}
    for os_id, os_name in SUPPORTED_OS_IDS.items():
        if os_id not in supported:
            fault("the manifest does not name %s (%s) as supported" % (os_name, os_id))
    print("manifest: execution level %s, supportedOS %s" % (levels, sorted(supported)))


def check_version(pe, version):
    if [name for name, _ in resources_of_type(pe, RT_VERSION)] != [1]:
        fault("expected one version resource with ID 1")
    numbers = [int(part) for part in version.split(".")] + [0]
    expected_ms = (numbers[0] << 16) | numbers[1]
    expected_ls = (numbers[2] << 16) | numbers[3]
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        fault("no fixed version information")
    else:
        for what in ("File", "Product"):
            got = (getattr(fixed[0], what + "VersionMS"), getattr(fixed[0], what + "VersionLS"))
            if got != (expected_ms, expected_ls):
                fault("%sVersion numbers are %d.%d.%d.%d, not %s.0" % (
                    what, got[0] >> 16, got[0] & 0xFFFF, got[1] >> 16, got[1] & 0xFFFF, version))

    tables = []
    translations = []
    for file_info in getattr(pe, "FileInfo", []):
        for entry in file_info:
            if entry.Key == b"StringFileInfo":
                tables.extend(entry.StringTable)
            elif entry.Key == b"VarFileInfo":
                translations.extend(var.entry.get(b"Translation") for var in entry.Var)
    if len(tables) != 1:
        fault("expected one string table, found %d" % len(tables))
        return
    table = tables[0]
    strings = {key.decode(): value.decode() for key, value in table.entries.items()}
    expected = dict(EXPECTED_STRINGS, FileVersion=version, ProductVersion=version)
    for key, value in expected.items():
        if strings.get(key) != value:
            fault("%s is %r, not %r" % (key, strings.get(key), value))
    for key in NONEMPTY_STRINGS:
        if not strings.get(key):
            fault("no %s" % key)
    # Windows looks the strings up by the language and code page of a translation.
    language_and_codepage = "0x%s 0x%s" % (table.LangID[:4].decode().lower(), table.LangID[4:].decode().lower())
    if translations != [language_and_codepage]:
        fault("translations %s do not name the string table %s" % (translations, table.LangID.decode()))
    print("version strings: " + ", ".join("%s=%s" % item for item in sorted(strings.items())))


def main():
    if len(sys.argv) != 3:
        print(__doc__.splitlines()[0], file=sys.stderr)
        return 2
    exe, version = sys.argv[1], sys.argv[2]
    try:
        pe = pefile.PE(exe, fast_load=True)
        pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    except (OSError, pefile.PEFormatError) as error:
        fault("cannot read %s: %s" % (exe, error))
        return 1
    check_manifest(pe)
    check_version(pe, version)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
