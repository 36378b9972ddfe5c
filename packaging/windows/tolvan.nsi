; TolvanSetup.exe: installs the agent for the current user only, without
; administrator rights, into %LOCALAPPDATA%\Tolvan (the settings file and the
; "Log" directory then lie beside the agent, where it looks for them). It adds
; a Start-menu entry, starts the agent at logon through the user's Run key and
; registers its uninstaller in the user's list of programs. Both run silently
; with /S.
;
; Built by the Windows build (packaging/windows/CMakeLists.txt), which passes
; with -D: OUT_FILE, VERSION (major.minor), AGENT_EXE, DAEMON_EXE, CARD_DLL,
; AGENT_ICON, README_FILE, DEMO_PAGE.
;
; A running agent is ended before its files are replaced or removed, the way
; its tray menu's exit item ends it (quit event for the watchdog, icon removed,
; loop ended): its hidden window, found by class and title, gets the agent's
; exit message, and the setup program waits for the process to end.

Unicode true
; The agent is an x86-64 program; so is its setup program.
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"

!macro RequireDefine NAME
  !ifndef ${NAME}
    !error "${NAME} must be defined (makensis -D${NAME}=...)"
  !endif
!macroend
!insertmacro RequireDefine OUT_FILE
!insertmacro RequireDefine VERSION
!insertmacro RequireDefine AGENT_EXE
!insertmacro RequireDefine DAEMON_EXE
!insertmacro RequireDefine CARD_DLL
!insertmacro RequireDefine AGENT_ICON
!insertmacro RequireDefine README_FILE
!insertmacro RequireDefine DEMO_PAGE

!define PRODUCT "Tolvan"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The agent's hidden window: class and title are its display title.
!define AGENT_WINDOW "Kaltor Client 5.0"
; WM_APP + 1: the agent ends as by its tray menu's exit item (agent/AgentHost.h).
!define AGENT_EXIT_MESSAGE 0x8001
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0
; Longest wait for the agent to end: it stops its listener within 10 s.
!define AGENT_END_WAIT_MS 30000
; A program that has just ended may hold its file a moment longer: deletes are
; tried again every 100 ms, this many times.
!define DELETE_TRIES 100

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "LegalCopyright" ""

!define MUI_ICON "${AGENT_ICON}"
!define MUI_UNICON "${AGENT_ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tolvan.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The same routines for the installer and, with the "un." prefix, for the
; uninstaller.
!macro DefineRoutines UN

; Ends a running agent through its exit message and waits for its process
; to end. The error flag is set when it still runs afterwards.
Function ${UN}endRunningAgent
  Push $0
  Push $1
  Push $2
  Push $3
  ClearErrors
  FindWindow $0 "${AGENT_WINDOW}" "${AGENT_WINDOW}"
  ${If} $0 <> 0
    DetailPrint "Ending the running ${PRODUCT} agent"
    StrCpy $1 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i ${AGENT_EXIT_MESSAGE}, p 0, p 0) i'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${AGENT_END_WAIT_MS}) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
      ${If} $3 <> ${WAIT_OBJECT_0}
        SetErrors
      ${EndIf}
    ${Else}
      ; No handle to wait on: wait for the window, which goes with the process.
      StrCpy $1 0
      ${Do}
        System::Call 'user32::IsWindow(p r0) i .r3'
        ${IfThen} $3 = 0 ${|} ${Break} ${|}
        IntOp $1 $1 + 100
        ${If} $1 >= ${AGENT_END_WAIT_MS}
          SetErrors
          ${Break}
        ${EndIf}
        Sleep 100
      ${Loop}
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Deletes the file named on the stack, trying again while a program that is
; ending still holds it. The error flag is set when the file stays.
Function ${UN}deleteWhenFree
  Exch $0
  Push $1
  StrCpy $1 0
  ${Do}
    ClearErrors
    Delete $0
    ${IfNot} ${FileExists} $0
      ClearErrors
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 >= ${DELETE_TRIES}
      SetErrors
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd

; Ends the agent and frees its programs' files; aborts with a message when
; that cannot be done, before anything has been changed.
Function ${UN}freeAgentFiles
  Call ${UN}endRunningAgent
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is still running. End it from its icon in the notification area and try again." /SD IDOK
    Abort
  ${EndIf}
  ; The agent's file first: it is held only while an agent runs, so nothing
  ; else is touched when another copy still runs from here. The watchdog
  ; leaves once the agent has ended.
  Push "$INSTDIR\Tolvan.exe"
  Call ${UN}deleteWhenFree
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR\Tolvan.exe is in use. End ${PRODUCT} and try again." /SD IDOK
    Abort
  ${EndIf}
  Push "$INSTDIR\TolvanDaemon.exe"
  Call ${UN}deleteWhenFree
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR\TolvanDaemon.exe is in use. Try again in a moment." /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

!macroend
!insertmacro DefineRoutines ""
!insertmacro DefineRoutines "un."

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "${PRODUCT}" SecAgent
  SectionIn RO
  Call freeAgentFiles

  SetOutPath "$INSTDIR"
  File "/oname=Tolvan.exe" "${AGENT_EXE}"
  File "/oname=TolvanDaemon.exe" "${DAEMON_EXE}"
  File "/oname=pkiCard.dll" "${CARD_DLL}"
  File "/oname=README.txt" "${README_FILE}"
  SetOutPath "$INSTDIR\Demo"
  File "/oname=index.html" "${DEMO_PAGE}"
  SetOutPath "$INSTDIR"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Tolvan.exe"
  WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Tolvan.exe"'

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tolvan.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecAgent} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what the setup program put here and what the agent wrote beside
; itself (settings, cloud key state, logs), file by file: a directory chosen
; by the user keeps whatever else it holds.
Section "Uninstall"
  Call un.freeAgentFiles
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  Delete "$INSTDIR\pkiCard.dll"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Demo\index.html"
  RMDir "$INSTDIR\Demo"
  Delete "$INSTDIR\TolvanService.ini"
  Delete "$INSTDIR\Cloud_Key.ini"
  Delete "$INSTDIR\pkiCard.ini"
  Delete "$INSTDIR\Log\Tolvan*.log"
  RMDir "$INSTDIR\Log"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
