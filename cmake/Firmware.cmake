# The firmware images the tool embeds and the catalogue source made from them.
#
# The images are generated stand-ins of the exact shape and length of the
# real ones, unless FIRMWARE_DIR names a folder that holds the real three
# files. Either way the files that were embedded are left in
# <build>/firmware/ under their names, and the catalogue source is generated
# into <build>/catalogue/. The generators run on the build host, so a cross
# build compiles them separately with the host's compiler.
#
# Sets RAVELIN_CATALOGUE_SOURCES (the generated source, for the library),
# RAVELIN_CATALOGUE_DEPENDS (the target that produces it) and
# RAVELIN_FIRMWARE_BUILD_DIR (where the embedded files are).

set(FIRMWARE_DIR "" CACHE PATH "Folder holding the real firmware image files; empty embeds generated stand-ins")

set(RAVELIN_FIRMWARE_NAMES
  M418260_MCU_61_1_02.hex
  M418260_TX_XC7A75_1_02.mcs
  M418260_RX_XC7A75_1_02.mcs)
set(RAVELIN_FIRMWARE_BUILD_DIR ${CMAKE_BINARY_DIR}/firmware)
set(ravelin_catalogue_dir ${CMAKE_BINARY_DIR}/catalogue)
set(ravelin_catalogue_source ${ravelin_catalogue_dir}/BinImage.c)

set(ravelin_firmware_files "")
foreach(name ${RAVELIN_FIRMWARE_NAMES})
  list(APPEND ravelin_firmware_files ${RAVELIN_FIRMWARE_BUILD_DIR}/${name})
endforeach()

if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  # CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER makes this find the host's compiler.
  find_program(RAVELIN_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(ravelin_gen_dir ${CMAKE_BINARY_DIR}/firmware-gen-host)
  set(ravelin_firmware_gen ${ravelin_gen_dir}/firmware-gen)
  set(ravelin_catalogue_gen ${ravelin_gen_dir}/catalogue-gen)
  ExternalProject_Add(firmware-gen-host
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/firmware-gen
    BINARY_DIR ${ravelin_gen_dir}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${RAVELIN_HOST_CXX} -DCMAKE_TOOLCHAIN_FILE=
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ravelin_firmware_gen} ${ravelin_catalogue_gen})
  set(ravelin_firmware_gen_depends firmware-gen-host ${ravelin_firmware_gen})
  set(ravelin_catalogue_gen_depends firmware-gen-host ${ravelin_catalogue_gen})
else()
  add_subdirectory(${CMAKE_SOURCE_DIR}/tools/firmware-gen ${CMAKE_BINARY_DIR}/firmware-gen)
  set(ravelin_firmware_gen $<TARGET_FILE:firmware-gen>)
  set(ravelin_catalogue_gen $<TARGET_FILE:catalogue-gen>)
  set(ravelin_firmware_gen_depends firmware-gen)
  set(ravelin_catalogue_gen_depends catalogue-gen)
endif()

# Rewritten only when the choice of images changes, so that switching
# FIRMWARE_DIR re-runs the step below even where a changed command alone
# would not (Makefiles).
set(ravelin_firmware_choice ${RAVELIN_FIRMWARE_BUILD_DIR}-source.txt)
file(CONFIGURE OUTPUT ${ravelin_firmware_choice} CONTENT "${FIRMWARE_DIR}\n")

if(FIRMWARE_DIR)
  set(ravelin_firmware_sources "")
  foreach(name ${RAVELIN_FIRMWARE_NAMES})
    if(NOT EXISTS ${FIRMWARE_DIR}/${name})
      message(FATAL_ERROR "FIRMWARE_DIR ${FIRMWARE_DIR} lacks the image file ${name}")
    endif()
    list(APPEND ravelin_firmware_sources ${FIRMWARE_DIR}/${name})
  endforeach()
  add_custom_command(
    OUTPUT ${ravelin_firmware_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${RAVELIN_FIRMWARE_BUILD_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${ravelin_firmware_sources} ${RAVELIN_FIRMWARE_BUILD_DIR}
    COMMAND ${CMAKE_COMMAND} -E touch ${ravelin_firmware_files}
    DEPENDS ${ravelin_firmware_sources} ${ravelin_firmware_choice}
    COMMENT "Taking the firmware images from ${FIRMWARE_DIR}"
    VERBATIM)
else()
  add_custom_command(
    OUTPUT ${ravelin_firmware_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${RAVELIN_FIRMWARE_BUILD_DIR}
    COMMAND ${ravelin_firmware_gen} ${RAVELIN_FIRMWARE_BUILD_DIR}
    DEPENDS ${ravelin_firmware_gen_depends} ${ravelin_firmware_choice}
    COMMENT "Generating the stand-in firmware images"
    VERBATIM)
endif()

add_custom_command(
  OUTPUT ${ravelin_catalogue_source}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ravelin_catalogue_dir}
  COMMAND ${ravelin_catalogue_gen} ${ravelin_catalogue_source} ${ravelin_firmware_files}
  DEPENDS ${ravelin_catalogue_gen_depends} ${ravelin_firmware_files}
  COMMENT "Generating the firmware catalogue source"
  VERBATIM)
add_custom_target(ravelin-catalogue DEPENDS ${ravelin_catalogue_source})

set(RAVELIN_CATALOGUE_SOURCES ${ravelin_catalogue_source})
set(RAVELIN_CATALOGUE_DEPENDS ravelin-catalogue)
