# The files a Linux desktop and shell look for: the menu entry and its icon in every
# size, the manual pages (made by UserManual.cmake, installed here with the manual as
# text) and vqxctl's bash completion.
# Each tool that is missing leaves its files out with a warning; scripts/install-deps
# installs them all, and the package test refuses a package without them.
set(here ${CMAKE_CURRENT_SOURCE_DIR})
set(out ${CMAKE_CURRENT_BINARY_DIR})
set(generated_files "")

install(FILES ${here}/vqxsu.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${here}/vqxsu.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${here}/vqxctl.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME vqxctl)

find_program(VQX_RSVG_CONVERT rsvg-convert)
if(VQX_RSVG_CONVERT)
  foreach(size 16 24 32 48 64 128 256)
    set(png ${out}/icons/${size}x${size}/vqxsu.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out}/icons/${size}x${size}
      COMMAND ${VQX_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${here}/vqxsu.svg
      DEPENDS ${here}/vqxsu.svg
      COMMENT "Drawing the ${size}x${size} icon")
    list(APPEND generated_files ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(WARNING "rsvg-convert not found: the PNG icons are not made (scripts/install-deps installs librsvg2-bin)")
endif()

# The manual (UserManual.cmake): each page for man(1), and as text in the doc folder.
find_program(VQX_GZIP gzip)
if(VQX_GZIP)
  foreach(page vqxsu vqxctl vqxsim)
    if(NOT DEFINED vqx_manual_roff_${page})
      continue()
    endif()
    foreach(made "${vqx_manual_roff_${page}}|${out}/man/${page}.1.gz|${CMAKE_INSTALL_MANDIR}/man1"
                 "${vqx_manual_text_${page}}|${out}/doc/${page}.txt.gz|${CMAKE_INSTALL_DATADIR}/doc/${VQX_PACKAGE_NAME}")
      string(REPLACE "|" ";" made "${made}")
      list(GET made 0 from)
      list(GET made 1 gz)
      list(GET made 2 destination)
      add_custom_command(OUTPUT ${gz}
        COMMAND sh -c [["$0" -9n < "$1" > "$2"]] ${VQX_GZIP} ${from} ${gz}
        DEPENDS ${from}
        VERBATIM)
      list(APPEND generated_files ${gz})
      install(FILES ${gz} DESTINATION ${destination})
    endforeach()
  endforeach()
else()
  message(WARNING "gzip not found: the manual is not installed (scripts/install-deps installs it)")
endif()

if(VQX_GZIP)
  configure_file(${here}/changelog.in ${out}/changelog @ONLY)
  add_custom_command(OUTPUT ${out}/changelog.gz
    COMMAND sh -c [["$0" -9n < "$1" > "$2"]] ${VQX_GZIP} ${out}/changelog ${out}/changelog.gz
    DEPENDS ${out}/changelog
    VERBATIM)
  list(APPEND generated_files ${out}/changelog.gz)
  install(FILES ${out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VQX_PACKAGE_NAME})
endif()
install(FILES ${here}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VQX_PACKAGE_NAME})

add_custom_target(desktop_files ALL DEPENDS ${generated_files})
