# The program's version lives in one place, the project() call of the top CMakeLists.txt:
# MAJOR.MINOR is what the About box calls "Version", PATCH its "Build". The programs'
# --version, the About box and the packages take it from the generated header.
configure_file(${CMAKE_CURRENT_LIST_DIR}/vqx_version.h.in ${CMAKE_BINARY_DIR}/generated/vqx_version.h @ONLY)
add_library(vqxversion INTERFACE)
target_include_directories(vqxversion INTERFACE ${CMAKE_BINARY_DIR}/generated)
