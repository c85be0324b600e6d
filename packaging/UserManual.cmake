# The manual pages, from their one source (the scdoc pages in man/): roff for man(1), and
# the same pages as plain text that both packages ship with the programs they describe.
# Windows has no man: there the text is the manual (doc\vqxctl.txt, named by
# vqxctl.exe --help), with Windows line ends so that every editor shows its lines; the
# Debian package keeps it in its doc folder, compressed as Debian wants its documents.
#
# Sets vqx_manual_roff_<page> and vqx_manual_text_<page> (the files made) for each page
# of a program this build makes, and adds them to the target user_manual (in ALL).
# Each tool that is missing leaves the manual out with a warning; scripts/install-deps
# installs them, and the package tests refuse a package without it.
set(here ${CMAKE_CURRENT_SOURCE_DIR})
set(out ${CMAKE_CURRENT_BINARY_DIR})
set(vqx_manual_files "")

find_program(VQX_SCDOC scdoc)
find_program(VQX_GROFF groff)
if(NOT VQX_SCDOC OR NOT VQX_GROFF)
  message(WARNING "scdoc or groff not found: the manual is not made (scripts/install-deps installs scdoc and groff-base)")
  return()
endif()

set(vqx_manual_pages "")
foreach(page vqxsu vqxctl vqxsim)
  if(TARGET ${page})
    list(APPEND vqx_manual_pages ${page})
  endif()
endforeach()

foreach(page ${vqx_manual_pages})
  configure_file(${here}/man/${page}.1.scd ${out}/man/${page}.1.scd @ONLY)
  set(roff ${out}/man/${page}.1)
  add_custom_command(OUTPUT ${roff}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VQX_RELEASE_EPOCH}
            sh -c [["$0" < "$1" > "$2"]] ${VQX_SCDOC} ${out}/man/${page}.1.scd ${roff}
    DEPENDS ${here}/man/${page}.1.scd ${out}/man/${page}.1.scd
    COMMENT "Writing the manual page ${page}(1)"
    VERBATIM)
  # Plain ASCII, 78 columns, without the bold and underline a terminal shows and without
  # hyphenation: a hyphen is the minus sign of an option or in the word, so the examples
  # and the words can be copied and searched.
  set(text ${out}/doc/${page}.txt)
  if(WIN32)
    set(line_ends COMMAND ${CMAKE_COMMAND} -DFROM=${text} -DTO=${text} -P ${here}/windows/crlf.cmake)
  else()
    set(line_ends "")
  endif()
  add_custom_command(OUTPUT ${text}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}/doc
    COMMAND sh -c [["$0" -man -rHY=0 -Tascii -P-cbou "$1" > "$2"]] ${VQX_GROFF} ${roff} ${text}
    ${line_ends}
    DEPENDS ${roff} ${here}/windows/crlf.cmake
    COMMENT "Writing the manual ${page}.txt"
    VERBATIM)
  set(vqx_manual_roff_${page} ${roff})
  set(vqx_manual_text_${page} ${text})
  list(APPEND vqx_manual_files ${roff} ${text})
endforeach()

add_custom_target(user_manual ALL DEPENDS ${vqx_manual_files})
