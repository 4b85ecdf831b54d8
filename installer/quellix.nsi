; The Quellix Pop-Up Blocker installer.
;
; Per user (the default, no administrator rights): the program in
; %LOCALAPPDATA%\Programs, the site lists beside it, the browsers' native
; messaging host registered under HKEY_CURRENT_USER.
; For all users (/ALLUSERS, as an administrator): the program in Program Files,
; which users cannot write; the installer records that folder under
; HKEY_LOCAL_MACHINE, so the program keeps each user's lists in the user's
; %APPDATA%\Orlavent\Quellix Pop-Up Blocker; the host is registered under
; HKEY_LOCAL_MACHINE (64-bit view), which browsers read even where policy makes
; them ignore user-level hosts. No start-up entry of its own: each user's
; run-at-start switch writes that user's entry.
; /EXTENSIONIDS=id,id and /FIREFOXIDS=id,id name the extensions the host
; trusts (written into the host manifests; the browser reads them before it
; starts the host), in place of the repository's own IDs.
;
; makensis -DEXE=<exe> -DBRIDGE=<QuellixBridge.exe> -DEXTENSION=<extension folder>
;          -DASSETS=<assets folder> -DPOLICY=<policy templates folder>
;          -DOUTFILE=<setup exe> -DVERSION=1.0.0.0
;          [-DSIGN=<command that signs the file named as its last argument>] quellix.nsi

Unicode true
; 64-bit stubs: the program is 64-bit, and a 64-bit-only Wine runs them too.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "Quellix Pop-Up Blocker"
!define PUBLISHER "Orlavent"
!define EXE_NAME "QuellixPopUpBlocker.exe"
!define MAIN_TITLE "${PRODUCT} by ${PUBLISHER}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define BUTTON_KEY "Software\Microsoft\Internet Explorer\Extensions\{ECC5777A-6E88-BFCE-13CE-81F134789E7B}"
!define SETTINGS_KEY "Software\VB and VBA Program Settings\${PRODUCT}"
; The browsers' native messaging host, registered for the user in each browser.
!define BRIDGE_NAME "QuellixBridge.exe"
!define HOST_NAME "quellix.popup_blocker"
!define CHROME_HOST_KEY "Software\Google\Chrome\NativeMessagingHosts\${HOST_NAME}"
!define EDGE_HOST_KEY "Software\Microsoft\Edge\NativeMessagingHosts\${HOST_NAME}"
!define FIREFOX_HOST_KEY "Software\Mozilla\NativeMessagingHosts\${HOST_NAME}"
; The extension IDs trusted unless the command line names others.
!define DEFAULT_CHROMIUM_IDS "noijcdbfplaphlbdbflmcfdnmabmdahp"
!define DEFAULT_FIREFOX_IDS "popup-blocker@quellix.example"
; The all-users installation's record, which the program reads.
!define INSTALLATION_KEY "Software\${PUBLISHER}\${PRODUCT}"
!define ALL_USERS_FOLDER_VALUE "AllUsersFolder"
!define USER_LISTS_FOLDER "${PUBLISHER}\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
!ifdef SIGN
  ; The installer once written, the uninstaller before it is packed into it.
  !finalize '"${SIGN}" "%1"'
  !uninstfinalize '"${SIGN}" "%1"'
!endif
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

!define MUI_ICON "${ASSETS}\quellix.ico"
!define MUI_UNICON "${ASSETS}\quellix.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE_NAME}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"

Var AllUsers         ; 1: installed for all users
Var ChromiumOrigins  ; the items of the Chromium host manifest's allowed_origins
Var FirefoxIds       ; the items of the Firefox host manifest's allowed_extensions

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Your site lists and settings are kept unless you tick the box below. Other users' lists and settings are always kept."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Asks a running copy to close (it saves its settings on the way out) and,
; if it is still there after a few seconds, ends it.
!macro CloseRunningCopy un
Function ${un}CloseRunningCopy
  FindWindow $0 "" "${MAIN_TITLE}"
  ${If} $0 <> 0
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $1 0
    ${Do}
      Sleep 200
      IntOp $1 $1 + 1
      FindWindow $0 "" "${MAIN_TITLE}"
      ${IfThen} $0 = 0 ${|} ${Break} ${|}
      ${IfThen} $1 >= 25 ${|} ${Break} ${|}
    ${Loop}
  ${EndIf}
  nsExec::Exec 'taskkill /F /IM "${EXE_NAME}"'
  Pop $0
  ; A browser's host holds its exe open; the extension leaves windows alone without it.
  nsExec::Exec 'taskkill /F /IM "${BRIDGE_NAME}"'
  Pop $0
FunctionEnd
!macroend
!insertmacro CloseRunningCopy ""
!insertmacro CloseRunningCopy "un."

Section "Program" SecProgram
  SectionIn RO
  Call CloseRunningCopy
  SetOutPath "$INSTDIR"
  File "/oname=${EXE_NAME}" "${EXE}"
  File "${ASSETS}\Help.rtf"
  File "${ASSETS}\icon.ico"
  File "${ASSETS}\hoticon.ico"
  File "/oname=${BRIDGE_NAME}" "${BRIDGE}"
  Call WriteHostManifests
  SetOutPath "$INSTDIR\extension"
  File /r "${EXTENSION}\*"
  SetOutPath "$INSTDIR\sounds"
  File "${ASSETS}\sounds\pop.wav"
  ; Group Policy templates, for an administrator to copy into PolicyDefinitions.
  SetOutPath "$INSTDIR\policy"
  File /r "${POLICY}\*"
  ; allowed.txt and disallowed.txt are the user's: the program creates them,
  ; and installing over an existing copy leaves them alone.
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; SHCTX and $SMPROGRAMS are the user's, or the machine's for all users.
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE_NAME}"

  WriteRegStr SHCTX "${CHROME_HOST_KEY}" "" "$INSTDIR\${HOST_NAME}.chromium.json"
  WriteRegStr SHCTX "${EDGE_HOST_KEY}" "" "$INSTDIR\${HOST_NAME}.chromium.json"
  WriteRegStr SHCTX "${FIREFOX_HOST_KEY}" "" "$INSTDIR\${HOST_NAME}.firefox.json"
  ${If} $AllUsers = 1
    WriteRegStr HKLM "${INSTALLATION_KEY}" "${ALL_USERS_FOLDER_VALUE}" "$INSTDIR"
  ${EndIf}

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "1.0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The host manifests, with the extension IDs that .onInit checked.
Function WriteHostManifests
  FileOpen $0 "$INSTDIR\${HOST_NAME}.chromium.json" w
  FileWrite $0 '{$\r$\n  "name": "${HOST_NAME}",$\r$\n  "description": "${PRODUCT}",$\r$\n'
  FileWrite $0 '  "path": "${BRIDGE_NAME}",$\r$\n  "type": "stdio",$\r$\n'
  FileWrite $0 '  "allowed_origins": [$ChromiumOrigins]$\r$\n}$\r$\n'
  FileClose $0
  FileOpen $0 "$INSTDIR\${HOST_NAME}.firefox.json" w
  FileWrite $0 '{$\r$\n  "name": "${HOST_NAME}",$\r$\n  "description": "${PRODUCT}",$\r$\n'
  FileWrite $0 '  "path": "${BRIDGE_NAME}",$\r$\n  "type": "stdio",$\r$\n'
  FileWrite $0 '  "allowed_extensions": [$FirefoxIds]$\r$\n}$\r$\n'
  FileClose $0
FunctionEnd

; A comma-separated list of IDs as the items of a JSON array, each ID between
; a prefix and a suffix. Every ID must be made of the given characters only
; (so nothing can break out of its JSON string) and be 1 to 80 long, or
; exactly the given length; blanks around commas are ignored.
; In: $R0 the list, $R1 the characters, $R2 the length (0: any), $R3 prefix,
; $R4 suffix. Out: $R5 the items, or "" for an empty list or a bad ID.
Function JsonIdItems
  StrCpy $R5 ""
  StrCpy $R6 ""  ; the ID being read
  StrCpy $R7 0   ; where in the list
  StrLen $R8 $R0
  ${Do}
    StrCpy $0 $R0 1 $R7
    ${If} $R7 >= $R8
    ${OrIf} $0 == ","
      StrLen $1 $R6
      ${IfThen} $1 = 0 ${|} Goto bad ${|}
      ${IfThen} $1 > 80 ${|} Goto bad ${|}
      ${If} $R2 <> 0
      ${AndIf} $1 <> $R2
        Goto bad
      ${EndIf}
      ${IfThen} $R5 != "" ${|} StrCpy $R5 "$R5, " ${|}
      StrCpy $R5 '$R5"$R3$R6$R4"'
      StrCpy $R6 ""
      ${IfThen} $R7 >= $R8 ${|} ${Break} ${|}
    ${ElseIf} $0 != " "
      StrLen $2 $R1
      StrCpy $3 0
      ${Do}
        ${IfThen} $3 >= $2 ${|} Goto bad ${|}
        StrCpy $4 $R1 1 $3
        ${IfThen} $4 S== $0 ${|} ${Break} ${|}
        IntOp $3 $3 + 1
      ${Loop}
      StrCpy $R6 "$R6$0"
    ${EndIf}
    IntOp $R7 $R7 + 1
  ${Loop}
  Return
bad:
  StrCpy $R5 ""
FunctionEnd

; Stops the installer before it changes anything.
!macro RefuseToInstall message
  MessageBox MB_ICONSTOP "${message}" /SD IDOK
  SetErrorLevel 2
  Quit
!macroend

Function .onInit
  SetRegView 64
  ${GetParameters} $R9
  ClearErrors
  ${GetOptions} $R9 "/ALLUSERS" $0
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      !insertmacro RefuseToInstall "Installing for all users needs an administrator (an elevated command prompt)."
    ${EndIf}
    ; Program Files unless /D= chose a folder (the per-user folder is never taken).
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $INSTDIR == "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${OrIf} $INSTDIR == $0
      ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
      ${IfThen} $INSTDIR == "" ${|} StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}" ${|}
    ${EndIf}
    SetShellVarContext all
  ${EndIf}

  ; Quotes are no part of an ID: "/EXTENSIONIDS=a, b" and /EXTENSIONIDS="a, b" read as a, b.
  ${WordReplace} $R9 '"' "" "+" $R9
  StrCpy $R0 "${DEFAULT_CHROMIUM_IDS}"
  ClearErrors
  ${GetOptions} $R9 "/EXTENSIONIDS=" $0
  ${IfNot} ${Errors}
    StrCpy $R0 $0
  ${EndIf}
  StrCpy $R1 "abcdefghijklmnop"
  StrCpy $R2 32
  StrCpy $R3 "chrome-extension://"
  StrCpy $R4 "/"
  Call JsonIdItems
  ${If} $R5 == ""
    !insertmacro RefuseToInstall "/EXTENSIONIDS= needs extension IDs of 32 letters a to p, separated by commas."
  ${EndIf}
  StrCpy $ChromiumOrigins $R5

  StrCpy $R0 "${DEFAULT_FIREFOX_IDS}"
  ClearErrors
  ${GetOptions} $R9 "/FIREFOXIDS=" $0
  ${IfNot} ${Errors}
    StrCpy $R0 $0
  ${EndIf}
  StrCpy $R1 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_@{}+"
  StrCpy $R2 0
  StrCpy $R3 ""
  StrCpy $R4 ""
  Call JsonIdItems
  ${If} $R5 == ""
    !insertmacro RefuseToInstall "/FIREFOXIDS= needs add-on IDs (letters, digits and . - _ @ { } +), separated by commas."
  ${EndIf}
  StrCpy $FirefoxIds $R5
FunctionEnd

Section "un.Program" UnSecProgram
  SectionIn RO
  Call un.CloseRunningCopy
  Delete "$INSTDIR\${EXE_NAME}"
  Delete "$INSTDIR\Help.rtf"
  Delete "$INSTDIR\icon.ico"
  Delete "$INSTDIR\hoticon.ico"
  Delete "$INSTDIR\${BRIDGE_NAME}"
  Delete "$INSTDIR\${HOST_NAME}.chromium.json"
  Delete "$INSTDIR\${HOST_NAME}.firefox.json"
  RMDir /r "$INSTDIR\extension"
  RMDir /r "$INSTDIR\policy"
  DeleteRegKey SHCTX "${CHROME_HOST_KEY}"
  DeleteRegKey SHCTX "${EDGE_HOST_KEY}"
  DeleteRegKey SHCTX "${FIREFOX_HOST_KEY}"
  Delete "$INSTDIR\sounds\pop.wav"
  RMDir "$INSTDIR\sounds"
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Entries the program writes are removed only when they start this copy:
  ; another installation of the program on the machine keeps its own.
  StrCpy $1 "$INSTDIR\${EXE_NAME}"
  ReadRegStr $0 HKLM "${BUTTON_KEY}" "Exec"
  ${IfThen} $0 == $1 ${|} DeleteRegKey HKLM "${BUTTON_KEY}" ${|}
  ${If} $AllUsers = 1
    ; Users' start-up entries are theirs.
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegValue HKLM "${INSTALLATION_KEY}" "${ALL_USERS_FOLDER_VALUE}"
    DeleteRegKey /ifempty HKLM "${INSTALLATION_KEY}"
    DeleteRegKey /ifempty HKLM "Software\${PUBLISHER}"
    DetailPrint "Kept: each user's site lists (%APPDATA%\${USER_LISTS_FOLDER}), settings and start-up entry."
  ${Else}
    ; The start-up entry (per user or, when it could be written, machine-wide;
    ; the path is quoted when it holds a blank) and the installed-programs entry.
    ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 == $1
    ${OrIf} $0 == '"$1"'
      DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    ReadRegStr $0 HKLM "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 == $1
    ${OrIf} $0 == '"$1"'
      DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    DeleteRegKey HKCU "${BUTTON_KEY}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; The machine-wide installed-programs entry is the all-users installation's when there is one.
    ReadRegStr $0 HKLM "${INSTALLATION_KEY}" "${ALL_USERS_FOLDER_VALUE}"
    ${IfThen} $0 == "" ${|} DeleteRegKey HKLM "${UNINSTALL_KEY}" ${|}
  ${EndIf}
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Remove my site lists and settings" UnSecUserData
  ${If} $AllUsers = 1
    ; The lists of the user running the uninstaller; $APPDATA is the machine's here.
    ReadEnvStr $0 APPDATA
    ${If} $0 != ""
      Delete "$0\${USER_LISTS_FOLDER}\allowed.txt"
      Delete "$0\${USER_LISTS_FOLDER}\disallowed.txt"
      RMDir "$0\${USER_LISTS_FOLDER}"
      RMDir "$0\${PUBLISHER}"
    ${EndIf}
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ${Else}
    Delete "$INSTDIR\allowed.txt"
    Delete "$INSTDIR\disallowed.txt"
  ${EndIf}
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  SetRegView 64
  ; The all-users installation is the one recorded for this folder.
  ReadRegStr $0 HKLM "${INSTALLATION_KEY}" "${ALL_USERS_FOLDER_VALUE}"
  ${If} $0 != ""
  ${AndIf} $0 == $INSTDIR
    StrCpy $AllUsers 1
    SetShellVarContext all
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      MessageBox MB_ICONSTOP "Removing the installation for all users needs an administrator." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  ; Silent uninstall (/S) keeps the user's data unless /REMOVEDATA is given.
  ${If} ${Silent}
    ClearErrors
    ${GetParameters} $0
    ${GetOptions} $0 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
      SectionSetFlags ${UnSecUserData} ${SF_SELECTED}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onUninstSuccess
  ${If} $AllUsers = 1
    MessageBox MB_ICONINFORMATION "${PRODUCT} is removed for all users. Each user's site lists (in %APPDATA%\${USER_LISTS_FOLDER}), settings and start-up entry are kept." /SD IDOK
  ${EndIf}
FunctionEnd
