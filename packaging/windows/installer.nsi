; The Windows installer of Quorvalinthexa, one script for both programs. packaging/dist.sh
; runs it as
;   makensis -INPUTCHARSET UTF8 -DARCH=32|64 -DVERSION=3.2 -DPROGRAM_DIR=<the three files> \
;            -DICON=<program.ico> -DSIDE_BITMAP=<164x314 BMP> -DOUTFILE=<setup.exe> installer.nsi
; ARCH 32 takes NSIS's x86 stubs and installs into the 32-bit Program Files; ARCH 64 takes
; the amd64 stubs and installs into the 64-bit one.
;
; Command line: /S installs (or, for the uninstaller, removes) silently; /D=FOLDER picks
; the folder. The uninstaller keeps the user's settings unless its "My settings" box is
; ticked, or, silently, /RemoveSettings is given.
Unicode true
!if ${ARCH} == 64
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
  !define DISPLAY_NAME "Quorvalinthexa (64-bit)"
!else
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
  !define DISPLAY_NAME "Quorvalinthexa"
!endif

!define PRODUCT "Quorvalinthexa"
!define PUBLISHER "The Quorvalinthexa authors"
; The settings key keeps the vendor name it has always had: stored settings rely on it.
!define SETTINGS_VENDOR "Kelvadro"
!define EXE "Quorvalinthexa.exe"
!define UNINSTALLER "uninstall.exe"
!define LOG "install.log"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${SETTINGS_VENDOR}\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define TRANSFER_PORT 2904
!define PRIVATE_PORT 2906  ; the private channel between our own copies, TCP only

SetCompressor /SOLID lzma
Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ManifestDPIAware true
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIFileVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}, MIT License"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include StrFunc.nsh
${StrStr}

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SIDE_BITMAP}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"

Var previousVersion  ; DisplayVersion of the copy being replaced, "" for a first install

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE skipDirectoryOnUpdate
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the fallback; the others are the program's own two.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SpanishInternational"
!insertmacro MUI_LANGUAGE "Russian"
!include /CHARSET=UTF8 "installer_texts.nsh"

; ---------------------------------------------------------------------------------------
; Pieces the installer and the uninstaller share (NSIS wants "un." names in the latter).

; The installer's language, chosen as the program chooses its own texts: the user's
; locale 0c0a takes Spanish, 0419 Russian, anything else English.
!macro chooseLanguage
  System::Call 'kernel32::GetUserDefaultLCID() i .r0'
  ${If} $0 = 0x0C0A
    StrCpy $LANGUAGE ${LANG_SPANISHINTERNATIONAL}
  ${ElseIf} $0 = 0x0419
    StrCpy $LANGUAGE ${LANG_RUSSIAN}
  ${Else}
    StrCpy $LANGUAGE ${LANG_ENGLISH}
  ${EndIf}
!macroend

!macro sharedFunctions UN
; Asks a running copy (its window: class #32770, title "Quorvalinthexa") to close and
; waits for its process to end, so that its files can be replaced or removed. When it
; does not end, an interactive run asks the user to close it; a silent run gives up.
Function ${UN}closeRunningCopy
  Push $0
  Push $1
  Push $2
  Push $3
  retry:
  FindWindow $0 "#32770" "${PRODUCT}"
  ${If} $0 <> 0
    DetailPrint "$(closingRunningCopy)"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'  ; SYNCHRONIZE
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $2 != 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 10000) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      Sleep 2000
    ${EndIf}
    FindWindow $0 "#32770" "${PRODUCT}"
    ${If} $0 <> 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(stillRunning)" /SD IDCANCEL IDRETRY retry
      Abort "$(stillRunning)"
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Removes the inbound rules this installer adds (quietly: they may not exist).
Function ${UN}removeFirewallRules
  nsExec::ExecToStack '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${PRODUCT} TCP ${TRANSFER_PORT}"'
  Pop $0
  Pop $0
  nsExec::ExecToStack '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${PRODUCT} UDP ${TRANSFER_PORT}"'
  Pop $0
  Pop $0
  nsExec::ExecToStack '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${PRODUCT} TCP ${PRIVATE_PORT}"'
  Pop $0
  Pop $0
FunctionEnd
!macroend
!insertmacro sharedFunctions ""
!insertmacro sharedFunctions "un."

; Appends a line to the details list and to install.log in the program's folder.
Function logLine
  Exch $0
  Push $1
  DetailPrint "$0"
  ClearErrors
  FileOpen $1 "$INSTDIR\${LOG}" a
  ${IfNot} ${Errors}
    FileSeek $1 0 END
    FileWrite $1 "$0$\r$\n"
    FileClose $1
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; addFirewallRule PROTOCOL PORT (pushed in that order): one inbound rule for the
; installed program on the port. The rule counts as added only when netsh then lists it: a netsh that is missing,
; fails, or answers without doing anything (as under Wine) is logged, and the install
; goes on.
Function addFirewallRule
  Exch $4  ; the port
  Exch
  Exch $0  ; the protocol
  Push $1
  Push $2
  Push $3
  StrCpy $3 "${PRODUCT} $0 $4"
  nsExec::ExecToStack '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="$3" dir=in action=allow program="$INSTDIR\${EXE}" protocol=$0 localport=$4 enable=yes profile=any'
  Pop $1  ; the exit code, or "error" when netsh could not be started
  Pop $2  ; what it printed
  ${If} $1 == "error"
    StrCpy $1 "could not be started"
  ${ElseIf} $1 != "0"
    StrCpy $1 "exit code $1"
  ${Else}
    nsExec::ExecToStack '"$SYSDIR\netsh.exe" advfirewall firewall show rule name="$3"'
    Pop $1
    Pop $2
    ${StrStr} $2 $2 $3
    ${If} $2 == ""
      StrCpy $1 "the rule is not listed after adding it"
    ${Else}
      StrCpy $1 ""
    ${EndIf}
  ${EndIf}
  ${If} $1 == ""
    Push "$(firewallAdded) ($0 $4)"
  ${Else}
    Push "$(firewallFailed) ($0 $4): netsh: $1"
  ${EndIf}
  Call logLine
  Pop $3
  Pop $2
  Pop $1
  Pop $0
  Pop $4
FunctionEnd

; ---------------------------------------------------------------------------------------
; The installer.

Function .onInit
  !insertmacro chooseLanguage
  !if ${ARCH} == 64
    SetRegView 64
  !endif
  ReadRegStr $previousVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
FunctionEnd

; An update goes where the copy it replaces is (InstallDirRegKey), without asking.
Function skipDirectoryOnUpdate
  ${If} $previousVersion != ""
    Abort
  ${EndIf}
FunctionEnd

Section "-${PRODUCT}"
  SetShellVarContext all
  Call closeRunningCopy
  SetOutPath "$INSTDIR"
  Delete "$INSTDIR\${LOG}"
  ${If} $previousVersion != ""
    Push "$(replacing) $previousVersion"
    Call logLine
  ${EndIf}
  Push "${PRODUCT} ${VERSION} -> $INSTDIR"
  Call logLine
  File "${PROGRAM_DIR}\${EXE}"
  File "${PROGRAM_DIR}\${EXE}.0c0a.mui"
  File "${PROGRAM_DIR}\${EXE}.0419.mui"
  File "${PROGRAM_DIR}\LICENSE.txt"
  File "${PROGRAM_DIR}\NOTICES.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
  ; Explorer's "Send to" menu: Windows has a SendTo folder per user only, so the shortcut
  ; goes to that of the user who installs. Explorer starts it with the chosen paths, which
  ; a running copy takes over.
  SetShellVarContext current
  CreateShortcut "$SENDTO\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
  SetShellVarContext all

  Call removeFirewallRules  ; an update must not leave two of each
  Push TCP
  Push ${TRANSFER_PORT}
  Call addFirewallRule
  Push UDP
  Push ${TRANSFER_PORT}
  Call addFirewallRule
  Push TCP
  Push ${PRIVATE_PORT}
  Call addFirewallRule

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; ---------------------------------------------------------------------------------------
; The uninstaller.

Section "un.$(programSection)" unProgram
  SectionIn RO
  SetShellVarContext all
  Call un.closeRunningCopy
  Call un.removeFirewallRules
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  SetShellVarContext current
  Delete "$SENDTO\${PRODUCT}.lnk"
  SetShellVarContext all
  ; The autostart value names this copy; left behind it would start nothing.
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${EXE}.0c0a.mui"
  Delete "$INSTDIR\${EXE}.0419.mui"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\NOTICES.txt"
  Delete "$INSTDIR\${LOG}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.$(settingsSection)" unSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${SETTINGS_VENDOR}"
SectionEnd

Function un.onInit
  !insertmacro chooseLanguage
  !if ${ARCH} == 64
    SetRegView 64
  !endif
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RemoveSettings" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${unSettings} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
