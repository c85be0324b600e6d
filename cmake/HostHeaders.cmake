# Header-only libraries from the build machine's packages (nlohmann-json, CLI11) live in
# /usr/include, which a cross compiler must not search: it holds the build machine's C
# library. Their imported targets are pointed at a directory that holds only them.
function(vqx_use_host_headers_only)
  set(dir ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${dir})
  find_package(nlohmann_json 3 REQUIRED)
  find_package(CLI11 CONFIG REQUIRED)
  foreach(name nlohmann CLI)
    if(NOT EXISTS ${dir}/${name})
      file(CREATE_LINK /usr/include/${name} ${dir}/${name} SYMBOLIC)
    endif()
  endforeach()
  set_target_properties(nlohmann_json::nlohmann_json CLI11::CLI11 PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${dir})
endfunction()
