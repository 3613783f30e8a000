; The Tidewell setup: installs the agent and the programs beside it, keeps
; the news and the settings of an earlier installation, starts the agent at
; logon, and removes it all again. Built by scripts/package, which passes:
;   /DBIN=dir          the 32-bit programs
;   /DDATAFILE=file    the initial news database (made with twldata)
;   /DINIFILE=file     the initial settings
;   /DICON=file        the product's icon
;   /DOUTFILE=file     the setup to write
;   /DHAVE_GLANCER /DHAVE_CONFIG_DLL   for the programs that were built

Unicode true
SetCompressor /SOLID lzma

!define PRODUCT "Tidewell News"
!define VERSION "1.1.1043.1"
!define ENGINE_CLASS "Tidewell ${VERSION} Engine Window"
!define OWN_KEY "Software\Tidewell"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewell"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Tidewell Agent"
!define MENU_FOLDER "$SMPROGRAMS\Tidewell"
; How long the agent may take to save and exit after WM_CLOSE.
!define AGENT_EXIT_MS 20000

; Administrators install for everyone under Program Files; other users for
; themselves under their own programs folder.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_INSTALLMODE_INSTDIR "Tidewell"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${OWN_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include WinMessages.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Tidewell"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Tidewell"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Engine.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start the Tidewell Agent"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Closes a running agent as its own menu does (WM_CLOSE) and waits for its
; process to end, so that it has saved the news database before files are
; replaced.
!macro CloseAgent un
Function ${un}CloseAgent
    FindWindow $1 "${ENGINE_CLASS}"
    ${If} $1 == 0
        Return
    ${EndIf}
    System::Call "user32::GetWindowThreadProcessId(p r1, *i .r2)"
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r2) p .r3"  ; SYNCHRONIZE
    SendMessage $1 ${WM_CLOSE} 0 0 /TIMEOUT=${AGENT_EXIT_MS}
    ${If} $3 P<> 0
        System::Call "kernel32::WaitForSingleObject(p r3, i ${AGENT_EXIT_MS}) i"
        System::Call "kernel32::CloseHandle(p r3)"
    ${EndIf}
FunctionEnd
!macroend
!insertmacro CloseAgent ""
!insertmacro CloseAgent "un."

Function .onInit
    ; MultiUser picks the default folder; a folder given with /D= wins.
    StrCpy $R9 $INSTDIR
    !insertmacro MULTIUSER_INIT
    ${If} $R9 != ""
        StrCpy $INSTDIR $R9
    ${EndIf}
FunctionEnd

Function un.onInit
    !insertmacro MULTIUSER_UNINIT
    ; An installation for one user is removed from that user's registry and
    ; Start menu, also when an administrator runs the uninstaller.
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "UninstallString"
    ${If} $0 != ""
        SetShellVarContext current
    ${EndIf}
FunctionEnd

Section "Tidewell" SecMain
    Call CloseAgent

    SetOutPath "$INSTDIR"
    File "${BIN}\Engine.exe"
    File "${BIN}\install.exe"
    File "${BIN}\twl.exe"
    File "${BIN}\twldata.exe"
    !ifdef HAVE_GLANCER
        File "${BIN}\Glancer.exe"
    !endif
    !ifdef HAVE_CONFIG_DLL
        File "${BIN}\CONFIG.DLL"
    !endif

    ; The user's settings and news stay; a first installation gets settings
    ; that keep ten messages a topic and a few subscriptions.
    SetOverwrite off
    File "/oname=Tidewell.ini" "${INIFILE}"
    SetOutPath "$INSTDIR\Data"
    File "/oname=Msg.dat" "${DATAFILE}"
    SetOverwrite on
    SetOutPath "$INSTDIR"
    ; Without MsgPurge every topic is emptied at the first purge.
    ReadINIStr $0 "$INSTDIR\Tidewell.ini" "Tidewell Settings" "MsgPurge"
    ${If} $0 == ""
        WriteINIStr "$INSTDIR\Tidewell.ini" "Tidewell Settings" "MsgPurge" "10"
    ${EndIf}

    CreateDirectory "${MENU_FOLDER}"
    CreateShortcut "${MENU_FOLDER}\Tidewell Ticker.lnk" "$INSTDIR\Glancer.exe" "" "$INSTDIR\Engine.exe" 0
    ; twl asks the running agent to open its preferences dialog.
    CreateShortcut "${MENU_FOLDER}\Tidewell Preferences.lnk" "$INSTDIR\twl.exe" "prefs" "$INSTDIR\Engine.exe" 0 \
        SW_SHOWMINIMIZED
    CreateShortcut "${MENU_FOLDER}\Tidewell Agent.lnk" "$INSTDIR\Engine.exe"
    CreateShortcut "${MENU_FOLDER}\Uninstall Tidewell.lnk" "$INSTDIR\uninstall.exe"

    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\Engine.exe"'
    WriteRegStr SHCTX "${OWN_KEY}" "InstallDir" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Tidewell"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Engine.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; With pages the finish page starts it (ticked by default); starting it
    ; here as well would make two agents.
    ${If} ${Silent}
        Exec '"$INSTDIR\Engine.exe"'
    ${EndIf}
SectionEnd

Section "Uninstall"
    Call un.CloseAgent

    Delete "$INSTDIR\Engine.exe"
    Delete "$INSTDIR\Glancer.exe"
    Delete "$INSTDIR\CONFIG.DLL"
    Delete "$INSTDIR\install.exe"
    Delete "$INSTDIR\twl.exe"
    Delete "$INSTDIR\twldata.exe"
    Delete "$INSTDIR\uninstall.exe"

    Delete "${MENU_FOLDER}\Tidewell Ticker.lnk"
    Delete "${MENU_FOLDER}\Tidewell Preferences.lnk"
    Delete "${MENU_FOLDER}\Tidewell Agent.lnk"
    Delete "${MENU_FOLDER}\Uninstall Tidewell.lnk"
    RMDir "${MENU_FOLDER}"

    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    DeleteRegKey SHCTX "${OWN_KEY}"

    ; The news and the settings stay unless the user lets them go.
    MessageBox MB_YESNO|MB_ICONQUESTION "Keep your news and settings (the Data folder and Tidewell.ini) for a later installation?" \
        /SD IDYES IDYES keep
    RMDir /r "$INSTDIR\Data"
    Delete "$INSTDIR\Tidewell.ini"
keep:
    RMDir "$INSTDIR"
SectionEnd
