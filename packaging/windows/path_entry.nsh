; vqxctl on PATH, done here instead of by CPack's own functions: those write an empty
; PATH value when they take out the only entry, even where the install found no value,
; and cannot tell an entry they added from one that was there before. The installer
; records in the Apps & Features key what it added (the folder, whose PATH, and whether it
; created the value); the uninstaller takes out exactly that entry and deletes the value
; when the install created it and nothing else has been put in since. An entry the user
; had made before stays.
;
; NSIS strings hold at most 1023 characters: a longer PATH cannot be read whole, and a
; value that cannot be read whole is left as it is (the details say so) rather than
; rewritten from a part of it.

!define VQX_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VQX Setup Utility"

Var VqxPathExists     ; 1 when the PATH value is there (even empty)
Var VqxPathReadable   ; 1 when it is there and was read whole
Var VqxPathValue
Var VqxPathCreated
Var VqxPathEntry
Var VqxPathScope
Var VqxIndex
Var VqxScratch
Var VqxLength

; Whether ROOT\SUBKEY has a value PATH (any case), and its text. ReadRegStr alone cannot
; tell a missing value from one too long for NSIS: both set the error flag.
!macro VqxReadPath ROOT SUBKEY
  StrCpy $VqxPathExists 0
  StrCpy $VqxPathReadable 0
  StrCpy $VqxPathValue ""
  StrCpy $VqxIndex 0
  ${Do}
    ClearErrors
    EnumRegValue $VqxScratch ${ROOT} "${SUBKEY}" $VqxIndex
    ${If} ${Errors}
    ${OrIf} $VqxScratch == ""
      ${Break}
    ${EndIf}
    ${If} $VqxScratch == "PATH"  ; StrCmp ignores case, as the registry does
      StrCpy $VqxPathExists 1
      ${Break}
    ${EndIf}
    IntOp $VqxIndex $VqxIndex + 1
  ${Loop}
  ${If} $VqxPathExists == 1
    ClearErrors
    ReadRegStr $VqxPathValue ${ROOT} "${SUBKEY}" "PATH"
    ${IfNot} ${Errors}
      StrCpy $VqxPathReadable 1
    ${EndIf}
  ${EndIf}
!macroend

!macro VqxAppendEntry ROOT SUBKEY
  !insertmacro VqxReadPath ${ROOT} "${SUBKEY}"
  ${If} $VqxPathExists == 1
  ${AndIf} $VqxPathReadable == 0
    DetailPrint "PATH is too long to change safely: $INSTDIR\bin is not added to it"
  ${Else}
    ; Already on it (with or without the closing backslash): nothing to add, nothing to
    ; take out again at the uninstall.
    Push ";$VqxPathValue;"
    Push ";$INSTDIR\bin;"
    Call StrStr
    Pop $VqxScratch
    ${If} $VqxScratch == ""
      Push ";$VqxPathValue;"
      Push ";$INSTDIR\bin\;"
      Call StrStr
      Pop $VqxScratch
    ${EndIf}
    ${If} $VqxScratch == ""
      ${If} $VqxPathValue != ""
        StrCpy $VqxScratch $VqxPathValue 1 -1
        ${If} $VqxScratch != ";"
          StrCpy $VqxPathValue "$VqxPathValue;"
        ${EndIf}
      ${EndIf}
      StrCpy $VqxPathValue "$VqxPathValue$INSTDIR\bin"
      StrLen $VqxLength $VqxPathValue
      ${If} $VqxLength >= 1023
        DetailPrint "PATH would be too long: $INSTDIR\bin is not added to it"
      ${Else}
        WriteRegExpandStr ${ROOT} "${SUBKEY}" "PATH" $VqxPathValue
        WriteRegStr SHCTX "${VQX_UNINSTALL_KEY}" "VqxPathEntry" "$INSTDIR\bin"
        WriteRegStr SHCTX "${VQX_UNINSTALL_KEY}" "VqxPathScope" $VqxPathScope
        ${If} $VqxPathExists == 1
          WriteRegDWORD SHCTX "${VQX_UNINSTALL_KEY}" "VqxPathCreated" 0
        ${Else}
          WriteRegDWORD SHCTX "${VQX_UNINSTALL_KEY}" "VqxPathCreated" 1
        ${EndIf}
        SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

; In the "-Core installation" section, after the Install Options were read and recorded.
!macro VqxAddToPath
  ${If} $DO_NOT_ADD_TO_PATH != "1"
    ${If} $ADD_TO_PATH_ALL_USERS == "1"
      StrCpy $VqxPathScope "all"
      !insertmacro VqxAppendEntry HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
    ${Else}
      StrCpy $VqxPathScope "user"
      !insertmacro VqxAppendEntry HKCU "Environment"
    ${EndIf}
  ${EndIf}
  ; CPack's "-Add to path" section, which runs next, is left nothing to do.
  StrCpy $DO_NOT_ADD_TO_PATH "1"
!macroend

!macro VqxDropEntry ROOT SUBKEY
  !insertmacro VqxReadPath ${ROOT} "${SUBKEY}"
  ${If} $VqxPathReadable == 1
    Push ";$VqxPathValue;"
    Push ";$VqxPathEntry;"
    Call un.StrStr
    Pop $VqxScratch  ; from the entry to the end
    ${If} $VqxScratch != ""
      StrLen $VqxLength $VqxScratch
      StrCpy $VqxPathValue ";$VqxPathValue;" -$VqxLength  ; before the entry, from ";"
      StrLen $VqxLength ";$VqxPathEntry"
      StrCpy $VqxScratch $VqxScratch "" $VqxLength         ; after it, from ";"
      StrCpy $VqxPathValue "$VqxPathValue$VqxScratch"
      StrCpy $VqxPathValue $VqxPathValue "" 1
      StrCpy $VqxPathValue $VqxPathValue -1
      ${If} $VqxPathValue == ""
      ${AndIf} $VqxPathCreated == 1
        DeleteRegValue ${ROOT} "${SUBKEY}" "PATH"
      ${Else}
        WriteRegExpandStr ${ROOT} "${SUBKEY}" "PATH" $VqxPathValue
      ${EndIf}
      SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${ElseIf} $VqxPathExists == 1
    DetailPrint "PATH is too long to change safely: remove $VqxPathEntry from it by hand"
  ${EndIf}
!macroend

; What both PATH values hold once the uninstaller took out its entry; CPack's own removal,
; which runs at the end of the uninstall, takes out the folder wherever it finds it, also
; an entry that was there before the install: un.onUninstSuccess gives such a value back.
Var VqxUserReadable
Var VqxUserValue
Var VqxSystemReadable
Var VqxSystemValue

!macro VqxKeepPath ROOT SUBKEY SLOT
  !insertmacro VqxReadPath ${ROOT} "${SUBKEY}"
  StrCpy $Vqx${SLOT}Readable $VqxPathReadable
  StrCpy $Vqx${SLOT}Value $VqxPathValue
!macroend

!macro VqxRestorePath ROOT SUBKEY SLOT
  ${If} $Vqx${SLOT}Readable == 1
    !insertmacro VqxReadPath ${ROOT} "${SUBKEY}"
    ${If} $VqxPathReadable == 1
    ${AndIf} $VqxPathValue S!= $Vqx${SLOT}Value
      WriteRegExpandStr ${ROOT} "${SUBKEY}" "PATH" $Vqx${SLOT}Value
      SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}
!macroend

Function un.onUninstSuccess
  !insertmacro VqxRestorePath HKCU "Environment" User
  !insertmacro VqxRestorePath HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" System
FunctionEnd

; First in the uninstaller, while the Apps & Features key still holds the record.
!macro VqxRemoveFromPath
  ReadRegStr $VqxPathEntry SHCTX "${VQX_UNINSTALL_KEY}" "VqxPathEntry"
  ReadRegStr $VqxPathScope SHCTX "${VQX_UNINSTALL_KEY}" "VqxPathScope"
  ReadRegDWORD $VqxPathCreated SHCTX "${VQX_UNINSTALL_KEY}" "VqxPathCreated"
  ${If} $VqxPathEntry != ""
    ${If} $VqxPathScope == "all"
      !insertmacro VqxDropEntry HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
    ${Else}
      !insertmacro VqxDropEntry HKCU "Environment"
    ${EndIf}
  ${EndIf}
  !insertmacro VqxKeepPath HKCU "Environment" User
  !insertmacro VqxKeepPath HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" System
!macroend
