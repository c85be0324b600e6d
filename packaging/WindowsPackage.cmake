# The Windows installer vqx-setup-<version>-win64.exe (NSIS, 64-bit) and the same files
# as a portable vqx-setup-<version>-win64.zip. The installer puts vqxsu.exe and
# vqxctl.exe into "Program Files\VQX Setup Utility\bin", adds the Start menu shortcut
# "VQX Setup Utility" and registers its uninstaller under Apps & Features.
#
# vqxsu keeps its preferences in its working directory. Program Files is not writable for
# a user, so the shortcuts start it in the user's profile folder (%USERPROFILE%, the
# home folder of the Linux menu entry): the preferences are %USERPROFILE%\VQXSU_Prefs.cfg.
# The shell expands the variable at each start, so one shortcut serves every user.
#
# vqxctl on PATH: the installer's "Install Options" page offers none (the default), all
# users or the current user. A silent install (/S) leaves PATH alone unless given
# /PATH=all or /PATH=user (below); the uninstaller takes the entry out again, and only
# that one (windows/path_entry.nsh).

# Beside bin, in the installation folder and at the top of the .zip: README.txt, the
# licence as LICENSE.txt, and the manual in doc (UserManual.cmake), all with Windows line
# ends. vqxctl.exe --help names doc\vqxctl.txt.
set(windows_files "")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/windows/README.txt ${CMAKE_CURRENT_BINARY_DIR}/windows/README.lf @ONLY)
foreach(made "${CMAKE_CURRENT_BINARY_DIR}/windows/README.lf|README.txt"
             "${CMAKE_CURRENT_SOURCE_DIR}/copyright|LICENSE.txt")
  string(REPLACE "|" ";" made "${made}")
  list(GET made 0 from)
  list(GET made 1 name)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/windows/${name}
    COMMAND ${CMAKE_COMMAND} -DFROM=${from} -DTO=${CMAKE_CURRENT_BINARY_DIR}/windows/${name}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/crlf.cmake
    DEPENDS ${from} ${CMAKE_CURRENT_SOURCE_DIR}/windows/crlf.cmake
    VERBATIM)
  list(APPEND windows_files ${CMAKE_CURRENT_BINARY_DIR}/windows/${name})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/windows/${name} DESTINATION .)
endforeach()
add_custom_target(windows_files ALL DEPENDS ${windows_files})
foreach(page vqxsu vqxctl)
  if(DEFINED vqx_manual_text_${page})
    install(FILES ${vqx_manual_text_${page}} DESTINATION doc)
  endif()
endforeach()

set(CPACK_PACKAGE_FILE_NAME "${VQX_PACKAGE_NAME}-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "VQX Setup Utility")
# Without the version, so a newer installer finds and replaces an older installation.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "VQX Setup Utility")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/copyright)

set(CPACK_NSIS_PACKAGE_NAME "VQX Setup Utility")
set(CPACK_NSIS_DISPLAY_NAME "VQX Setup Utility")
set(CPACK_NSIS_CONTACT "${VQX_MAINTAINER}")
# The programs are 64-bit, and so is the installer: it sees the 64-bit Program Files and
# registry, and Wine without its 32-bit part runs it in the tests.
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DEFINES [[
  Target amd64-unicode
  !include LogicLib.nsh
  !include FileFunc.nsh]])
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/src/desktop-win32/vqxsu.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/src/desktop-win32/vqxsu.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\vqxsu.exe")
set(CPACK_NSIS_MODIFY_PATH ON)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)

# /PATH=all, /PATH=user or /PATH=none chooses the PATH option of a silent install; the
# Install Options page reads its choice from this file, also when it is not shown. Any
# other value stops the install with exit code 2 before a file is written, rather than
# leave out the PATH entry the caller asked for without a word.
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS [[
  ${If} ${Silent}
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/PATH=" $R1
    ${IfNot} ${Errors}
      ${If} $R1 == "all"
        StrCpy $R2 "0 1 0"
      ${ElseIf} $R1 == "user"
        StrCpy $R2 "0 0 1"
      ${ElseIf} $R1 == "none"
        StrCpy $R2 "1 0 0"
      ${Else}
        SetOutPath "$TEMP"  ; a process's current folder cannot be removed
        RMDir "$INSTDIR"
        SetErrorLevel 2
        Abort "/PATH= takes all, user or none, not $R1"
      ${EndIf}
      StrCpy $R3 $R2 1 0
      WriteINIStr "$PLUGINSDIR\NSIS.InstallOptions.ini" "Field 2" "State" $R3
      StrCpy $R3 $R2 1 2
      WriteINIStr "$PLUGINSDIR\NSIS.InstallOptions.ini" "Field 3" "State" $R3
      StrCpy $R3 $R2 1 4
      WriteINIStr "$PLUGINSDIR\NSIS.InstallOptions.ini" "Field 4" "State" $R3
    ${EndIf}
  ${EndIf}]])

# The shortcuts start vqxsu in the user's profile folder ($OUTDIR is the working
# directory CreateShortCut records; set directly, SetOutPath would make a folder of it).
set(CPACK_NSIS_CREATE_ICONS_EXTRA [[
  StrCpy $OUTDIR "%USERPROFILE%"
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\VQX Setup Utility.lnk" "$INSTDIR\bin\vqxsu.exe" "" "$INSTDIR\bin\vqxsu.exe" 0
  ${If} $INSTALL_DESKTOP == "1"
    CreateShortCut "$DESKTOP\VQX Setup Utility.lnk" "$INSTDIR\bin\vqxsu.exe" "" "$INSTDIR\bin\vqxsu.exe" 0
  ${EndIf}
  StrCpy $OUTDIR "$INSTDIR"]])
# The uninstaller removes the program's own registry key but leaves its parent, the
# vendor's, which nothing else uses: removed when empty (this runs after that key is gone).
set(CPACK_NSIS_DELETE_ICONS_EXTRA [[
  Delete "$SMPROGRAMS\$MUI_TEMP\VQX Setup Utility.lnk"
  ${If} $INSTALL_DESKTOP == "1"
    Delete "$DESKTOP\VQX Setup Utility.lnk"
  ${EndIf}]])
string(APPEND CPACK_NSIS_DELETE_ICONS_EXTRA "\n  DeleteRegKey /ifempty SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\"")

# Apps & Features shows the size, opens the folder and lets a deployment tool uninstall
# without a question (QuietUninstallString). The size counts what the install wrote, the
# uninstaller included; Windows expects it in KB as a DWORD.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [[
  ${GetSize} "$INSTDIR" "/S=0K" $R0 $R1 $R2
  WriteRegDWORD SHCTX "${VQX_UNINSTALL_KEY}" "EstimatedSize" $R0
  WriteRegStr SHCTX "${VQX_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${VQX_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  !insertmacro VqxAddToPath]])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [[
  !insertmacro VqxRemoveFromPath]])
string(APPEND CPACK_NSIS_DEFINES "\n  !include \"${CMAKE_CURRENT_SOURCE_DIR}/windows/path_entry.nsh\"")
# The NSIS lines above reach the installer script as written.
set(CPACK_VERBATIM_VARIABLES ON)
