; What the Windows installer does beyond copying the folder: the file types that open in the
; window, and the command line's folder on the PATH. CPack's installer includes this file
; (packaging/Windows.cmake) and runs the three macros at its end:
;   PacksmithPreinstall   before any file is copied: the PATH option of a silent install
;   PacksmithInstall      after the files and the uninstall entry are in place
;   PacksmithUninstall    first thing in the uninstaller, while its uninstall entry is there
;
; Everything written goes under SHCTX: the machine's keys when installed for all users (as
; the installer does for an administrator), the user's own otherwise.

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define PACKSMITH_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PACKSMITH_REGISTRY_KEY}"
!define PACKSMITH_MACHINE_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; The Explorer's note that file types changed (SHCNE_ASSOCCHANGED).
!define PACKSMITH_ASSOCIATIONS_CHANGED "System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'"

Var PacksmithOption
Var PacksmithScope
Var PacksmithPath
Var PacksmithPathState
Var PacksmithRest
Var PacksmithEntry
Var PacksmithKept
Var PacksmithFound
Var PacksmithFirst
Var PacksmithAdded
Var PacksmithChar
Var PacksmithValue

;--------------------------------
; The PATH. NSIS holds at most 1024 characters in a string, and a PATH can be longer: one
; that cannot be read whole is left exactly as it is (and the log says so), never cut.

!macro PacksmithPathFunctions UN
; In: $PacksmithScope ("all" or "user"). Out: $PacksmithPath, and $PacksmithPathState
; "read", "absent" or "too long".
Function ${UN}PacksmithReadPath
  ClearErrors
  ${If} $PacksmithScope == "all"
    ReadRegStr $PacksmithPath HKLM "${PACKSMITH_MACHINE_ENVIRONMENT}" "Path"
  ${Else}
    ReadRegStr $PacksmithPath HKCU "Environment" "Path"
  ${EndIf}
  ${IfNot} ${Errors}
    StrCpy $PacksmithPathState "read"
    Return
  ${EndIf}
  ; Either there is no such value or it is too long to read: only its name tells which.
  StrCpy $PacksmithPathState "absent"
  StrCpy $PacksmithPath ""
  StrCpy $0 0
  ${Do}
    ${If} $PacksmithScope == "all"
      EnumRegValue $PacksmithValue HKLM "${PACKSMITH_MACHINE_ENVIRONMENT}" $0
    ${Else}
      EnumRegValue $PacksmithValue HKCU "Environment" $0
    ${EndIf}
    ${If} $PacksmithValue == ""
      ${Break}
    ${EndIf}
    ${If} $PacksmithValue == "Path" ; StrCmp ignores case, as the registry does
      StrCpy $PacksmithPathState "too long"
      ${Break}
    ${EndIf}
    IntOp $0 $0 + 1
  ${Loop}
FunctionEnd

; In: $PacksmithPath. Out: $PacksmithKept, the same entries (empty ones too) but those naming
; $INSTDIR, with or without a "\" at its end, in any case; $PacksmithFound 1 when there was one.
Function ${UN}PacksmithPathWithoutUs
  StrCpy $PacksmithKept ""
  StrCpy $PacksmithFound 0
  StrCpy $PacksmithFirst 1
  StrCpy $PacksmithRest "$PacksmithPath;"
  StrCpy $PacksmithEntry ""
  ${Do}
    StrCpy $PacksmithChar $PacksmithRest 1
    StrCpy $PacksmithRest $PacksmithRest "" 1
    ${If} $PacksmithChar == ";"
      ${If} $PacksmithEntry == "$INSTDIR"
      ${OrIf} $PacksmithEntry == "$INSTDIR\"
        StrCpy $PacksmithFound 1
      ${ElseIf} $PacksmithFirst == 1
        StrCpy $PacksmithKept $PacksmithEntry
        StrCpy $PacksmithFirst 0
      ${Else}
        StrCpy $PacksmithKept "$PacksmithKept;$PacksmithEntry"
      ${EndIf}
      StrCpy $PacksmithEntry ""
    ${Else}
      StrCpy $PacksmithEntry "$PacksmithEntry$PacksmithChar"
    ${EndIf}
  ${LoopUntil} $PacksmithRest == ""
FunctionEnd

; In: $PacksmithScope, $PacksmithKept: the new PATH, told to the programs running.
Function ${UN}PacksmithWritePath
  ${If} $PacksmithScope == "all"
    WriteRegExpandStr HKLM "${PACKSMITH_MACHINE_ENVIRONMENT}" "Path" $PacksmithKept
  ${ElseIf} $PacksmithKept == ""
    ; A user's PATH that held only this folder was made by the installer.
    DeleteRegValue HKCU "Environment" "Path"
  ${Else}
    WriteRegExpandStr HKCU "Environment" "Path" $PacksmithKept
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd
!macroend
!insertmacro PacksmithPathFunctions ""
!insertmacro PacksmithPathFunctions "un."

; The option page's choice (fields 2 to 4 of CPack's page: not, for all users, for the
; current user), or what /ADD_TO_PATH said in its place: $PacksmithScope "all", "user" or "".
!macro PacksmithChosenScope
  StrCpy $PacksmithScope ""
  !insertmacro MUI_INSTALLOPTIONS_READ $0 "NSIS.InstallOptions.ini" "Field 3" "State"
  !insertmacro MUI_INSTALLOPTIONS_READ $1 "NSIS.InstallOptions.ini" "Field 4" "State"
  ${If} $0 == 1
    StrCpy $PacksmithScope "all"
  ${ElseIf} $1 == 1
    StrCpy $PacksmithScope "user"
  ${EndIf}
!macroend

;--------------------------------
; The file types: one ProgID of our own for each, which the extension points to. The
; extension's earlier ProgID is kept in ours and given back on uninstall.

!macro PacksmithAssociate EXT DESCRIPTION
  ReadRegStr $0 SHCTX "Software\Classes\.${EXT}" ""
  ${If} $0 != ""
  ${AndIf} $0 != "Packsmith.${EXT}"
    WriteRegStr SHCTX "Software\Classes\Packsmith.${EXT}" "PreviousProgID" $0
  ${EndIf}
  WriteRegStr SHCTX "Software\Classes\Packsmith.${EXT}" "" "${DESCRIPTION}"
  WriteRegStr SHCTX "Software\Classes\Packsmith.${EXT}\DefaultIcon" "" "$INSTDIR\packsmith.exe,0"
  WriteRegStr SHCTX "Software\Classes\Packsmith.${EXT}\shell\open\command" "" '"$INSTDIR\packsmith.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\.${EXT}" "" "Packsmith.${EXT}"
  WriteRegStr SHCTX "Software\Classes\.${EXT}\OpenWithProgids" "Packsmith.${EXT}" ""
!macroend

; Only what still names this installation goes: a type another copy of Packsmith (elsewhere)
; has taken over since stays that copy's.
!macro PacksmithUnassociate EXT
  ReadRegStr $0 SHCTX "Software\Classes\Packsmith.${EXT}\shell\open\command" ""
  ${If} $0 == '"$INSTDIR\packsmith.exe" "%1"'
    ReadRegStr $0 SHCTX "Software\Classes\.${EXT}" ""
    ${If} $0 == "Packsmith.${EXT}"
      ReadRegStr $1 SHCTX "Software\Classes\Packsmith.${EXT}" "PreviousProgID"
      ${If} $1 != ""
        WriteRegStr SHCTX "Software\Classes\.${EXT}" "" $1
      ${Else}
        DeleteRegValue SHCTX "Software\Classes\.${EXT}" ""
      ${EndIf}
    ${EndIf}
    DeleteRegValue SHCTX "Software\Classes\.${EXT}\OpenWithProgids" "Packsmith.${EXT}"
    DeleteRegKey /ifempty SHCTX "Software\Classes\.${EXT}\OpenWithProgids"
    DeleteRegKey /ifempty SHCTX "Software\Classes\.${EXT}"
    DeleteRegKey SHCTX "Software\Classes\Packsmith.${EXT}"
  ${EndIf}
!macroend

;--------------------------------
; The three steps.

; /ADD_TO_PATH=all (or 1), =user or =no stands for the choice on the options page, which a
; silent install (/S) never shows. Anything else ends the installer before it copies a file.
!macro PacksmithPreinstall
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ADD_TO_PATH=" $PacksmithOption
  ${IfNot} ${Errors}
    ${If} $PacksmithOption == "all"
    ${OrIf} $PacksmithOption == "1"
      StrCpy $1 "0|1|0"
    ${ElseIf} $PacksmithOption == "user"
      StrCpy $1 "0|0|1"
    ${ElseIf} $PacksmithOption == "no"
    ${OrIf} $PacksmithOption == "0"
      StrCpy $1 "1|0|0"
    ${Else}
      MessageBox MB_OK|MB_ICONSTOP "Unknown /ADD_TO_PATH=$PacksmithOption: give all, user or no." /SD IDOK
      ; The folder CPack's installer has just made for the files, if it is still empty.
      SetOutPath $TEMP
      RMDir $INSTDIR
      SetErrorLevel 2
      Quit
    ${EndIf}
    StrCpy $2 $1 1 0
    !insertmacro MUI_INSTALLOPTIONS_WRITE "NSIS.InstallOptions.ini" "Field 2" "State" $2
    StrCpy $2 $1 1 2
    !insertmacro MUI_INSTALLOPTIONS_WRITE "NSIS.InstallOptions.ini" "Field 3" "State" $2
    StrCpy $2 $1 1 4
    !insertmacro MUI_INSTALLOPTIONS_WRITE "NSIS.InstallOptions.ini" "Field 4" "State" $2
  ${EndIf}
!macroend

!macro PacksmithInstall
  !insertmacro PacksmithAssociate "wac" "Packed game sound"
  !insertmacro PacksmithAssociate "was" "Packed game music"
  !insertmacro PacksmithAssociate "at3" "Game image pack"
  ${PACKSMITH_ASSOCIATIONS_CHANGED}

  ; The PATH entry is recorded in the uninstall entry only when this installer added it, so
  ; that the uninstaller takes away nothing that was there before.
  !insertmacro PacksmithChosenScope
  ${If} $PacksmithScope != ""
    Call PacksmithReadPath
    ${If} $PacksmithPathState == "too long"
      DetailPrint "The PATH is too long for this installer to change: add $INSTDIR to it by hand."
    ${Else}
      Call PacksmithPathWithoutUs
      ; NSIS cuts what does not fit its strings: the length is weighed before joining.
      StrLen $0 $PacksmithPath
      StrLen $1 $INSTDIR
      IntOp $0 $0 + $1
      IntOp $0 $0 + 1 ; the ";" between
      ${If} $PacksmithFound == 0
      ${AndIf} $0 >= ${NSIS_MAX_STRLEN}
        DetailPrint "The PATH is too long for this installer to change: add $INSTDIR to it by hand."
      ${ElseIf} $PacksmithFound == 0
        ; The PATH as it is, with the new entry last (and no empty entry before it, which
        ; some programs take for the end of the PATH).
        StrCpy $0 $PacksmithPath 1 -1
        ${If} $PacksmithPath == ""
        ${OrIf} $0 == ";"
          StrCpy $PacksmithAdded "$INSTDIR"
        ${Else}
          StrCpy $PacksmithAdded ";$INSTDIR"
        ${EndIf}
        StrCpy $PacksmithKept "$PacksmithPath$PacksmithAdded"
        Call PacksmithWritePath
        WriteRegStr SHCTX "${PACKSMITH_UNINSTALL_KEY}" "PacksmithPathScope" $PacksmithScope
        WriteRegStr SHCTX "${PACKSMITH_UNINSTALL_KEY}" "PacksmithPathAdded" $PacksmithAdded
        DetailPrint "Added $INSTDIR to the PATH ($PacksmithScope)."
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

!macro PacksmithUninstall
  !insertmacro PacksmithUnassociate "wac"
  !insertmacro PacksmithUnassociate "was"
  !insertmacro PacksmithUnassociate "at3"
  ${PACKSMITH_ASSOCIATIONS_CHANGED}

  ReadRegStr $PacksmithScope SHCTX "${PACKSMITH_UNINSTALL_KEY}" "PacksmithPathScope"
  ReadRegStr $PacksmithAdded SHCTX "${PACKSMITH_UNINSTALL_KEY}" "PacksmithPathAdded"
  ${If} $PacksmithScope != ""
    Call un.PacksmithReadPath
    ${If} $PacksmithPathState == "read"
      ; What the installer appended comes off as it was put on, where it is still last;
      ; else the entry goes from wherever it has been moved to.
      StrLen $0 $PacksmithAdded
      StrCpy $1 $PacksmithPath "" -$0
      ${If} $0 > 0
      ${AndIf} $1 == $PacksmithAdded
        StrCpy $PacksmithKept $PacksmithPath -$0
        StrCpy $PacksmithFound 1
      ${Else}
        Call un.PacksmithPathWithoutUs
      ${EndIf}
      ${If} $PacksmithFound == 1
        Call un.PacksmithWritePath
      ${EndIf}
    ${ElseIf} $PacksmithPathState == "too long"
      DetailPrint "The PATH is too long for this uninstaller to change: take $INSTDIR out of it by hand."
    ${EndIf}
  ${EndIf}
!macroend
