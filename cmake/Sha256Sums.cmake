# ravelin_write_sha256sums(DIR [FILE ...]) writes DIR/SHA256SUMS, the SHA-256
# of every package (.zip, .deb) and bill of materials (.spdx.json) in DIR, by
# name, in the form `sha256sum -c SHA256SUMS` checks. A FILE counts as in
# DIR under its name: CPack hands its packages over before it copies them
# there.
#
# As a script: cmake -DRAVELIN_RELEASE_DIR=DIR -P Sha256Sums.cmake, which
# scripts/sign-exe runs once it has remade the zips.
function(ravelin_write_sha256sums dir)
  file(GLOB paths LIST_DIRECTORIES false ${dir}/*.zip ${dir}/*.deb ${dir}/*.spdx.json)
  set(names "")
  foreach(path ${paths} ${ARGN})
    get_filename_component(name ${path} NAME)
    set(path_of_${name} ${path})
    list(APPEND names ${name})
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  set(text "")
  foreach(name ${names})
    file(SHA256 ${path_of_${name}} hash)
    string(APPEND text "${hash}  ${name}\n")
  endforeach()
  file(WRITE ${dir}/SHA256SUMS "${text}")
endfunction()

if(DEFINED RAVELIN_RELEASE_DIR)
  ravelin_write_sha256sums(${RAVELIN_RELEASE_DIR})
endif()
