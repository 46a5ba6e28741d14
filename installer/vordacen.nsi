; The installer of Vorda Cen (NSIS 3, Modern UI 2, Polish), made by installer/make-setup
; (the CMake target "installer", ./scripts/package). makensis is given, in UTF-8
; (-INPUTCHARSET UTF8):
;   -DVERSION=1.2.53 -DPROGRAM=<VordaCen.exe> -DICON=<vordacen.ico> -DOUTFILE=<setup.exe>
;   -DTARGET=<stub>   x86-unicode unless given: a 32-bit installer, so that 32-bit Windows
;                     shows its refusal instead of Windows' own "cannot run" box
;   -DSIGN=<command>  signs the uninstaller and the installer: the command gets the file
;
;   setup.exe            for the current user, no administrator rights:
;                        $LOCALAPPDATA\Programs\Vorda Cen
;   setup.exe /ALLUSERS  for all users, run as administrator: $PROGRAMFILES64\Vorda Cen
;   /S                   silent; /DESKTOP adds the desktop shortcut; /FORCE replaces a newer
;                        installed version; /D=<folder> (last) another program folder
;
; The program chooses its data folder itself (%LOCALAPPDATA%\Vorda Cen when started in its
; own folder), which neither the installer nor the uninstaller ever writes or removes; the
; shortcuts start it in the program folder. While the program runs (it holds the mutex
; "Local\VordaCen.Instance") both refuse to go on. Silent exit codes: 3 the program runs,
; 4 /ALLUSERS without administrator rights, 5 32-bit Windows, 6 a newer version installed.

!ifndef TARGET
    !define TARGET x86-unicode
!endif
Unicode true
Target ${TARGET}
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifdef SIGN
    !finalize '"${SIGN}" "%1"' = 0
    !uninstfinalize '"${SIGN}" "%1"' = 0
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include x64.nsh

!define NAME "Vorda Cen"
!define PUBLISHER "Vorda"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
; Left by earlier versions of all-users installs; removed.
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\${NAME}"

Name "${NAME}"
OutFile "${OUTFILE}"
; The default for the current user; .onInit settles the folder (see there).
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
BrandingText "${NAME} ${VERSION}"

; 1 when installed for all users.
Var AllUsers

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION RunFromShortcut

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"

LangString ProgramRunning ${LANG_POLISH} "Program ${NAME} jest uruchomiony.$\r$\n$\r$\nZamknij go i spróbuj ponownie albo anuluj."
LangString NeedAdmin ${LANG_POLISH} "Instalacja i odinstalowanie dla wszystkich użytkowników wymaga uprawnień administratora.$\r$\n$\r$\nUruchom program jako administrator."
LangString Need64Bit ${LANG_POLISH} "Program ${NAME} działa tylko w 64-bitowym systemie Windows, a na tym komputerze jest 32-bitowy Windows.$\r$\n$\r$\nInstalacja zostanie przerwana."
LangString NewerInstalled ${LANG_POLISH} "Zainstalowana jest nowsza wersja programu ${NAME} ($R1) niż ta (${VERSION}).$\r$\n$\r$\nInstalacja zostanie przerwana. Aby mimo to zainstalować starszą wersję, uruchom instalator z opcją /FORCE."
LangString DesktopShortcut ${LANG_POLISH} "Skrót na pulpicie"
LangString StartAtLogon ${LANG_POLISH} "Uruchamiaj po zalogowaniu"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductName" "${NAME}"
VIAddVersionKey /LANG=${LANG_POLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_POLISH} "FileDescription" "Instalator programu ${NAME}"
VIAddVersionKey /LANG=${LANG_POLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "LegalCopyright" "${PUBLISHER}"

Section "${NAME}" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    File "/oname=VordaCen.exe" "${PROGRAM}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    ${If} $AllUsers == 1
        DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
    ${EndIf}
    ; The shortcuts start the program in its own folder (the start directory of what
    ; SetOutPath set last).
    CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\VordaCen.exe"

    ; SHCTX: HKLM for all users, HKCU for the current user.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VordaCen.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The Startup folder: the user's, or for all users the common one.
Section "$(StartAtLogon)" SecStartup
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMSTARTUP\${NAME}.lnk" "$INSTDIR\VordaCen.exe"
SectionEnd

Section /o "$(DesktopShortcut)" SecDesktop
    SetOutPath "$INSTDIR"
    CreateShortcut "$DESKTOP\${NAME}.lnk" "$INSTDIR\VordaCen.exe"
SectionEnd

Section "Uninstall"
    Delete "$INSTDIR\VordaCen.exe"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    Delete "$SMSTARTUP\${NAME}.lnk"
    Delete "$DESKTOP\${NAME}.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

; Ends the installer or uninstaller, after asking, while the program runs: it holds its
; mutex in this session (one that cannot be opened is held by an elevated program).
!macro RefuseWhileRunning
    program_running:
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Local\VordaCen.Instance") p .r0 ?e'
    Pop $1
    ${If} $0 P<> 0
        System::Call 'kernel32::CloseHandle(p r0)'
    ${EndIf}
    ${If} $0 P<> 0
    ${OrIf} $1 = 5
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(ProgramRunning)" /SD IDCANCEL IDRETRY program_running
        SetErrorLevel 3
        Quit
    ${EndIf}
!macroend

; Ends with exit code 4 unless running as administrator.
!macro RequireAdmin
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        MessageBox MB_OK|MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
        SetErrorLevel 4
        Quit
    ${EndIf}
!macroend

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "$(Need64Bit)" /SD IDOK
        SetErrorLevel 5
        Quit
    ${EndIf}
    ; The 64-bit registry, as the 64-bit program and earlier installers see it.
    SetRegView 64
    ; $INSTDIR is the InstallDir default unless /D= gave another folder.
    ${If} $INSTDIR == "$LOCALAPPDATA\Programs\${NAME}"
        StrCpy $INSTDIR ""
    ${EndIf}
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R1
    ${IfNot} ${Errors}
        !insertmacro RequireAdmin
        StrCpy $AllUsers 1
        SetShellVarContext all
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/DESKTOP" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecDesktop}
    ${EndIf}
    ; A newer installed version stays unless /FORCE.
    ReadRegStr $R1 SHCTX "${UNINSTALL_KEY}" "DisplayVersion"
    ${VersionCompare} "$R1" "${VERSION}" $R2
    ClearErrors
    ${GetOptions} $R0 "/FORCE" $R3
    ${If} $R2 == 1
    ${AndIf} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "$(NewerInstalled)" /SD IDOK
        SetErrorLevel 6
        Quit
    ${EndIf}
    ; Without /D=: the folder of an earlier install, else the default of the mode.
    ${If} $INSTDIR == ""
        ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${EndIf}
    ${If} $INSTDIR == ""
    ${AndIf} $AllUsers == 1
        StrCpy $INSTDIR "$PROGRAMFILES64\${NAME}"
    ${ElseIf} $INSTDIR == ""
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${NAME}"
    ${EndIf}
    !insertmacro RefuseWhileRunning
FunctionEnd

; After an all-users install the installer runs elevated, and so would the program it
; started, out of reach of "/ceny" from the user's own programs: no "Uruchom" then.
Function FinishShow
    ${If} $AllUsers == 1
        SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${EndIf}
FunctionEnd

Function RunFromShortcut
    ExecShell "" "$SMPROGRAMS\${NAME}.lnk"
FunctionEnd

Function un.onInit
    SetRegView 64
    ; Installed for all users when the machine-wide entry names this folder.
    ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 == $INSTDIR
        !insertmacro RequireAdmin
        StrCpy $AllUsers 1
        SetShellVarContext all
    ${EndIf}
    !insertmacro RefuseWhileRunning
FunctionEnd
