# nlohmann/json, header-only, from Debian's nlohmann-json3-dev, as the target
# ravelin_json. The cross build must not see the host's /usr/include as a
# whole (its C library headers are not the target's), so the library's own
# folder is copied into the build tree and only that copy is searched.
if(CMAKE_CROSSCOMPILING)
  set(RAVELIN_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann/json's header folder on the build machine")
  if(NOT EXISTS ${RAVELIN_JSON_HEADERS}/json.hpp)
    message(FATAL_ERROR "No nlohmann/json in ${RAVELIN_JSON_HEADERS}: install Debian's nlohmann-json3-dev")
  endif()
  file(COPY ${RAVELIN_JSON_HEADERS} DESTINATION ${CMAKE_BINARY_DIR}/json-include)
  add_library(ravelin_json INTERFACE)
  target_include_directories(ravelin_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/json-include)
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  add_library(ravelin_json INTERFACE)
  target_link_libraries(ravelin_json INTERFACE nlohmann_json::nlohmann_json)
endif()
