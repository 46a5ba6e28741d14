; The installer of Vorda Cen (NSIS 3, Modern UI 2, Polish), built by the CMake target
; "installer" (./scripts/package). makensis is given, in UTF-8 (-INPUTCHARSET UTF8):
;   -DVERSION=1.2.53 -DPROGRAM=<VordaCen.exe> -DICON=<vordacen.ico> -DOUTFILE=<setup.exe>
;
;   setup.exe            for the current user, no administrator rights:
;                        $LOCALAPPDATA\Programs\Vorda Cen
;   setup.exe /ALLUSERS  for all users, run as administrator: $PROGRAMFILES64\Vorda Cen
;   /S                   silent; /DESKTOP adds the desktop shortcut; /D=<folder> (last)
;                        another program folder
;
; The program keeps its settings file, logs and price history in its start directory.
; Its shortcuts start it in the user's $LOCALAPPDATA\Vorda Cen, which the installer
; creates and which neither the installer nor the uninstaller ever writes or removes.
; While the program runs (a window of class "TTYWndClass") both refuse to go on; in
; silent mode they end with exit code 3.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define NAME "Vorda Cen"
!define PUBLISHER "Vorda"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
; Creates each user's working folder at that user's next logon (all-users installs).
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\${NAME}"

!searchreplace VERSION_COMMAS "${VERSION}.0" "." ","

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
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"

LangString ProgramRunning ${LANG_POLISH} "Program ${NAME} jest uruchomiony.$\r$\n$\r$\nZamknij go i spróbuj ponownie albo anuluj."
LangString NeedAdmin ${LANG_POLISH} "Instalacja i odinstalowanie dla wszystkich użytkowników wymaga uprawnień administratora.$\r$\n$\r$\nUruchom program jako administrator."
LangString DesktopShortcut ${LANG_POLISH} "Skrót na pulpicie"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductName" "${NAME}"
VIAddVersionKey /LANG=${LANG_POLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_POLISH} "FileDescription" "Instalator programu ${NAME}"
VIAddVersionKey /LANG=${LANG_POLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "LegalCopyright" "${PUBLISHER}"

; Sets the working folder as $OUTDIR, the start directory of the shortcuts created next.
; For all users it is "%LOCALAPPDATA%\Vorda Cen", which Windows expands for each user.
!macro WorkingFolderAsOutPath
    ${If} $AllUsers == 1
        StrCpy $OUTDIR "%LOCALAPPDATA%\${NAME}"
    ${Else}
        SetOutPath "$LOCALAPPDATA\${NAME}"
    ${EndIf}
!macroend

Section "${NAME}" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    File "/oname=VordaCen.exe" "${PROGRAM}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ${If} $AllUsers == 1
        SetShellVarContext current
        CreateDirectory "$LOCALAPPDATA\${NAME}"
        SetShellVarContext all
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "${NAME}"
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "${VERSION_COMMAS}"
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" '"$SYSDIR\cmd.exe" /d /c if not exist "%LOCALAPPDATA%\${NAME}\" md "%LOCALAPPDATA%\${NAME}"'
    ${EndIf}
    !insertmacro WorkingFolderAsOutPath
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

Section /o "$(DesktopShortcut)" SecDesktop
    !insertmacro WorkingFolderAsOutPath
    CreateShortcut "$DESKTOP\${NAME}.lnk" "$INSTDIR\VordaCen.exe"
SectionEnd

Section "Uninstall"
    Delete "$INSTDIR\VordaCen.exe"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    Delete "$DESKTOP\${NAME}.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ${If} $AllUsers == 1
        DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
    ${EndIf}
SectionEnd

; Ends the installer or uninstaller, after asking, while the program runs.
!macro RefuseWhileRunning
    program_running:
    FindWindow $0 "TTYWndClass" ""
    ${If} $0 <> 0
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

Function RunFromShortcut
    ExecShell "" "$SMPROGRAMS\${NAME}.lnk"
FunctionEnd

Function un.onInit
    ; Installed for all users when the machine-wide entry names this folder.
    ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 == $INSTDIR
        !insertmacro RequireAdmin
        StrCpy $AllUsers 1
        SetShellVarContext all
    ${EndIf}
    !insertmacro RefuseWhileRunning
FunctionEnd
