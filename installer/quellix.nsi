; The Quellix Pop-Up Blocker installer. Per user, no administrator rights:
; the site lists live in the program's folder, which must stay writable by
; the user who runs the program.
;
; makensis -DEXE=<exe> -DBRIDGE=<QuellixBridge.exe> -DHOSTS=<host manifests folder> -DEXTENSION=<extension folder>
;          -DASSETS=<assets folder> -DPOLICY=<policy templates folder> -DOUTFILE=<setup exe> -DVERSION=1.0.0.0 quellix.nsi

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

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${ASSETS}\quellix.ico"
!define MUI_UNICON "${ASSETS}\quellix.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE_NAME}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Your site lists and settings are kept unless you tick the box below."
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
  File "${HOSTS}\${HOST_NAME}.chromium.json"
  File "${HOSTS}\${HOST_NAME}.firefox.json"
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
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE_NAME}"

  WriteRegStr HKCU "${CHROME_HOST_KEY}" "" "$INSTDIR\${HOST_NAME}.chromium.json"
  WriteRegStr HKCU "${EDGE_HOST_KEY}" "" "$INSTDIR\${HOST_NAME}.chromium.json"
  WriteRegStr HKCU "${FIREFOX_HOST_KEY}" "" "$INSTDIR\${HOST_NAME}.firefox.json"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "1.0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

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
  DeleteRegKey HKCU "${CHROME_HOST_KEY}"
  DeleteRegKey HKCU "${EDGE_HOST_KEY}"
  DeleteRegKey HKCU "${FIREFOX_HOST_KEY}"
  Delete "$INSTDIR\sounds\pop.wav"
  RMDir "$INSTDIR\sounds"
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; The start-up entry (per user or, when it could be written, machine-wide),
  ; the browser toolbar button and the installed-programs entry.
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKLM "${BUTTON_KEY}"
  DeleteRegKey HKCU "${BUTTON_KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Remove my site lists and settings" UnSecUserData
  Delete "$INSTDIR\allowed.txt"
  Delete "$INSTDIR\disallowed.txt"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  RMDir "$INSTDIR"
SectionEnd

; Silent uninstall (/S) keeps the user's data unless /REMOVEDATA is given.
Function un.onInit
  ${If} ${Silent}
    ClearErrors
    ${GetParameters} $0
    ${GetOptions} $0 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
      SectionSetFlags ${UnSecUserData} ${SF_SELECTED}
    ${EndIf}
  ${EndIf}
FunctionEnd
