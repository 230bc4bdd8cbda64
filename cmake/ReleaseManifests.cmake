# Run by CPack once it has made the packages: beside each, its SPDX 2.3 bill
# of materials in JSON (NAME.spdx.json for NAME.zip or NAME.deb), then the
# folder's SHA256SUMS over them all. Everything in them comes from the
# build, the package time included, so two builds of one commit write the
# same bytes.
include(${CMAKE_CURRENT_LIST_DIR}/Sha256Sums.cmake)

set(proprietary LicenseRef-KorVan-Proprietary)

# json_quote(OUT TEXT): TEXT as a JSON string.
function(json_quote out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# json_object(OUT KEY VALUE ...): an object of string members; a VALUE that
# starts with [ or { is taken as JSON already.
function(json_object out)
  set(object "{}")
  set(pairs ${ARGN})
  list(LENGTH pairs count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET pairs ${i} key)
    list(GET pairs ${j} value)
    if(NOT value MATCHES "^[[{]")
      json_quote(value "${value}")
    endif()
    string(JSON object SET "${object}" "${key}" "${value}")
  endforeach()
  set(${out} "${object}" PARENT_SCOPE)
endfunction()

# json_append(ARRAY_VAR ITEM): ITEM appended to the JSON array in ARRAY_VAR.
function(json_append array_var item)
  string(JSON length LENGTH "${${array_var}}")
  string(JSON array SET "${${array_var}}" ${length} "${item}")
  set(${array_var} "${array}" PARENT_SCOPE)
endfunction()

# sbom_package(ARRAY_VAR ID NAME VERSION LICENCE KEY VALUE ...): one package of
# what the tool is made of, with the fields every package carries.
function(sbom_package array_var id name version licence)
  json_object(package
    SPDXID SPDXRef-${id} name "${name}" versionInfo "${version}" downloadLocation NOASSERTION
    licenseConcluded "${licence}" licenseDeclared "${licence}" ${ARGN})
  string(JSON package SET "${package}" filesAnalyzed false)
  json_append(${array_var} "${package}")
  set(${array_var} "${${array_var}}" PARENT_SCOPE)
endfunction()

function(sbom_relationship array_var from type to)
  json_object(relationship spdxElementId ${from} relationshipType ${type} relatedSpdxElement ${to})
  json_append(${array_var} "${relationship}")
  set(${array_var} "${${array_var}}" PARENT_SCOPE)
endfunction()

# write_sbom(PACKAGE_FILE DIR): the bill of materials of PACKAGE_FILE, in DIR.
function(write_sbom package_file dir)
  get_filename_component(package_name ${package_file} NAME)
  get_filename_component(stem ${package_file} NAME_WLE)
  string(TIMESTAMP created "%Y-%m-%dT%H:%M:%SZ" UTC)
  set(version ${CPACK_RAVELIN_TOOL_VERSION})

  set(packages "[]")
  set(relationships "[]")
  sbom_package(packages Package-RavelinFwUpgrade RavelinFwUpgrade ${version} ${proprietary}
    supplier "Organization: KorVan" copyrightText "2026 KorVan" packageFileName ${package_name}
    primaryPackagePurpose APPLICATION
    summary "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
  sbom_relationship(relationships SPDXRef-DOCUMENT DESCRIBES SPDXRef-Package-RavelinFwUpgrade)

  set(json_version ${CPACK_RAVELIN_JSON_VERSION})
  json_object(purl referenceCategory PACKAGE-MANAGER referenceType purl
    referenceLocator pkg:github/nlohmann/json@v${json_version})
  sbom_package(packages Package-nlohmann-json nlohmann-json ${json_version} MIT
    supplier "Person: Niels Lohmann" copyrightText "2013-2022 Niels Lohmann"
    downloadLocation https://github.com/nlohmann/json primaryPackagePurpose LIBRARY
    externalRefs "[${purl}]"
    comment "Header-only, compiled into the tool from Debian's nlohmann-json3-dev.")
  sbom_relationship(relationships SPDXRef-Package-RavelinFwUpgrade CONTAINS SPDXRef-Package-nlohmann-json)

  if(CPACK_RAVELIN_GCC_PACKAGE)
    # "PACKAGE VERSION", or NOASSERTION for both.
    string(REGEX REPLACE "^.* " "" gcc_version "${CPACK_RAVELIN_GCC_PACKAGE}")
    string(REGEX REPLACE " .*$" "" gcc_package "${CPACK_RAVELIN_GCC_PACKAGE}")
    sbom_package(packages Package-gcc-runtime "GCC runtime libraries (libstdc++, libgcc)" ${gcc_version}
      "GPL-3.0-or-later WITH GCC-exception-3.1" copyrightText "Free Software Foundation, Inc."
      primaryPackagePurpose LIBRARY
      comment "Linked statically into the exe, from Debian's ${gcc_package}.")
    sbom_relationship(relationships SPDXRef-Package-RavelinFwUpgrade STATIC_LINK SPDXRef-Package-gcc-runtime)
    string(REGEX REPLACE "^.* " "" mingw_version "${CPACK_RAVELIN_MINGW_PACKAGE}")
    string(REGEX REPLACE " .*$" "" mingw_package "${CPACK_RAVELIN_MINGW_PACKAGE}")
    sbom_package(packages Package-mingw-w64-runtime "mingw-w64 runtime (CRT, winpthreads)" ${mingw_version}
      NOASSERTION copyrightText NOASSERTION primaryPackagePurpose LIBRARY
      comment "Linked statically into the exe, from Debian's ${mingw_package}. Its parts carry several licences (ZPL-2.1, MIT, public domain and others), which /usr/share/doc/mingw-w64-common/copyright lists.")
    sbom_relationship(relationships SPDXRef-Package-RavelinFwUpgrade STATIC_LINK SPDXRef-Package-mingw-w64-runtime)
  endif()

  set(index 0)
  foreach(image ${CPACK_RAVELIN_FIRMWARE_FILES})
    get_filename_component(image_name ${image} NAME)
    # The image's version closes its name, and reads as the tool shows it:
    # M418260_MCU_61_1_02.hex is 61.01.02, M418260_TX_XC7A75_1_02.mcs 1.02.
    set(image_version NOASSERTION)
    if(image_name MATCHES "_MCU_([0-9]+)_([0-9]+)_([0-9]+)\\.hex$")
      set(numbers ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
    elseif(image_name MATCHES "_[TR]X_[A-Za-z0-9]+_([0-9]+)_([0-9]+)\\.mcs$")
      set(numbers ${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
    else()
      set(numbers "")
    endif()
    if(numbers)
      list(POP_FRONT numbers image_version)
      math(EXPR image_version "${image_version}")
      foreach(number ${numbers})
        math(EXPR number "${number}")
        if(number LESS 10)
          set(number 0${number})
        endif()
        string(APPEND image_version .${number})
      endforeach()
    endif()
    file(SHA256 ${image} image_hash)
    json_object(checksum algorithm SHA256 checksumValue ${image_hash})
    math(EXPR index "${index} + 1")
    sbom_package(packages Firmware-${index} ${image_name} ${image_version} ${proprietary}
      supplier "Organization: KorVan" copyrightText "2026 KorVan" packageFileName ${image_name}
      primaryPackagePurpose FIRMWARE checksums "[${checksum}]"
      comment "Embedded in the tool, which streams it to the unit: ${CPACK_RAVELIN_FIRMWARE_ORIGIN}.")
    sbom_relationship(relationships SPDXRef-Package-RavelinFwUpgrade CONTAINS SPDXRef-Firmware-${index})
  endforeach()

  json_object(licence licenseId ${proprietary} name "KorVan proprietary licence"
    extractedText "All rights reserved by KorVan.")
  json_object(creation created ${created}
    creators "[\"Organization: KorVan\", \"Tool: RavelinFwUpgrade packaging ${version}\"]")
  json_object(document
    spdxVersion SPDX-2.3 dataLicense CC0-1.0 SPDXID SPDXRef-DOCUMENT name ${stem}
    documentNamespace https://korvan.invalid/spdx/${stem}-${CPACK_RAVELIN_SOURCE_DATE_EPOCH}
    creationInfo "${creation}" packages "${packages}" relationships "${relationships}"
    hasExtractedLicensingInfos "[${licence}]")
  file(WRITE ${dir}/${stem}.spdx.json "${document}\n")
endfunction()

# string(TIMESTAMP) reads this for the package time.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_RAVELIN_SOURCE_DATE_EPOCH})
# The packages are still in CPack's work folder; they go here next.
if(CPACK_OUTPUT_FILE_PREFIX)
  set(release_dir ${CPACK_OUTPUT_FILE_PREFIX})
else()
  set(release_dir ${CPACK_PACKAGE_DIRECTORY})
endif()
foreach(package_file ${CPACK_PACKAGE_FILES})
  write_sbom(${package_file} ${release_dir})
endforeach()
ravelin_write_sha256sums(${release_dir} ${CPACK_PACKAGE_FILES})
