; The Windows installer: per user by default (no administrator rights asked, not even of an
; administrator), for all users on request (/AllUsers, or the choice on the first page, which
; then asks for elevation), Simplified Chinese throughout. An upgrade closes the running copy
; (WM_CLOSE to its window of class TorvekQuindleCountdown, then waits for the process), keeps
; the user's setting.ini, background.pic and Log, and starts the program again when it ran.
; The uninstaller ends a running copy first and returns only when everything is gone.
; UTF-8 with a byte-order mark: makensis reads it as such under Unicode true.
;
; Built by scripts/dist.sh, which passes VERSION, VERSION_DOTTED, PUBLISHER, STAGE (the folder
; holding the files to install) and OUTFILE.
Unicode true
SetCompressor /SOLID lzma
; --- Release: the same bytes from every build of a commit, and signing --------------------
; No file times are stored (the installed files take the time of their installation), so
; that two builds of one commit give the same installer whenever their files were written.
SetDateSave off
; With SIGN_SCRIPT (scripts/sign.sh, given by scripts/dist.sh when it signs) the uninstaller
; is signed as makensis generates it, before it is packed, and the installer once written; a
; signing that fails fails the build.
!ifdef SIGN_SCRIPT
    !uninstfinalize 'bash "${SIGN_SCRIPT}" "%1"' = 0
    !finalize 'bash "${SIGN_SCRIPT}" "%1"' = 0
!endif
; -------------------------------------------------------------------------------------------
ManifestDPIAware true

!define PRODUCT "TorvekQuindle"
!define EXE "TorvekQuindle.exe"
!define MAIN_WINDOW_CLASS "TorvekQuindleCountdown"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Countdown"
; How long a running copy has to close after WM_CLOSE (it may show a fade or a message box).
!define CLOSE_WAIT_MS 10000

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
; A file that cannot be replaced (a copy still running) fails the install instead of being
; skipped: an install never reports success with the old executable in place.
AllowSkipFiles off

VIProductVersion "${VERSION_DOTTED}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION_DOTTED}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION_DOTTED}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

; MultiUser: "Standard" asks Windows for no elevation at all ("Highest" would prompt every
; administrator); all users is reached by starting this installer again elevated.
!define MULTIUSER_EXECUTIONLEVEL Standard
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INIT_TEXT_ALLUSERSNOTPOSSIBLE "当前用户没有为所有用户安装 ${PRODUCT} 的权限。"
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODEPAGE  ; the language file's texts of the mode page
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define MUI_ICON "${STAGE}\TorvekQuindle.ico"
!define MUI_UNICON "${STAGE}\TorvekQuindle.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
Page custom InstallModePage InstallModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Var WasRunning
Var AllUsersRadio

; --- Shared by installer and uninstaller ------------------------------------------------

; Starts this program again elevated with the parameters in $0, waits for it and ends with its
; exit code.
!macro RELAUNCH_ELEVATED_FUNCTION PREFIX
Function ${PREFIX}RelaunchElevated  ; $0: the command line's parameters
    !if "${PREFIX}" == "un."
        StrCpy $0 "$0 _?=$INSTDIR"
    !endif
    ; SHELLEXECUTEINFOW: SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC, verb "runas".
    System::Call '*(i 60, i 0x140, p $HWNDPARENT, w "runas", w "$EXEPATH", w "$0", p 0, i 1, p 0, p 0, p 0, p 0, i 0, p 0, p 0) p .r1'
    System::Call 'shell32::ShellExecuteExW(p r1) i .r2'
    ${If} $2 = 0
        System::Free $1
        SetErrorLevel 5  ; ERROR_ACCESS_DENIED: elevation refused
        Quit
    ${EndIf}
    System::Call '*$1(i, i, p, p, p, p, p, i, p, p, p, p, i, p, p .r3)'
    System::Free $1
    System::Call 'kernel32::WaitForSingleObject(p r3, i -1)'
    System::Call 'kernel32::GetExitCodeProcess(p r3, *i .r4)'
    System::Call 'kernel32::CloseHandle(p r3)'
    SetErrorLevel $4
    Quit
FunctionEnd
!macroend
!insertmacro RELAUNCH_ELEVATED_FUNCTION ""
!insertmacro RELAUNCH_ELEVATED_FUNCTION "un."

; Closes the copy of the program that runs from $INSTDIR (a portable copy elsewhere is left
; alone): WM_CLOSE to its countdown window, then a wait for the process to end. A copy that
; does not end in time gives Retry/Cancel; Cancel (the answer in silent mode) ends this
; program with exit code 2 before anything was changed. $WasRunning becomes 1 when one ran.
!macro CLOSE_RUNNING_COPY_FUNCTION PREFIX
Function ${PREFIX}CloseRunningCopy
    StrCpy $WasRunning 0
    StrCpy $R0 0
    ${Do}
        FindWindow $R0 "${MAIN_WINDOW_CLASS}" "" 0 $R0
        ${If} $R0 = 0
            ${Break}
        ${EndIf}
        System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
        ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
        System::Call 'kernel32::OpenProcess(i 0x101000, i 0, i R1) p .R2'
        ${If} $R2 = 0
            ${Continue}
        ${EndIf}
        System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN})'
        ${If} $R3 == "$INSTDIR\${EXE}"
            StrCpy $WasRunning 1
            ask_again:
            System::Call 'user32::PostMessageW(p R0, i ${WM_CLOSE}, p 0, p 0)'
            System::Call 'kernel32::WaitForSingleObject(p R2, i ${CLOSE_WAIT_MS}) i .R4'
            ${If} $R4 <> 0
                MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
                    "${PRODUCT} 仍在运行，无法关闭。$\r$\n请先从通知区域图标的菜单退出 ${PRODUCT}，然后点击“重试”；点击“取消”放弃。" \
                    /SD IDCANCEL IDRETRY ask_again
                System::Call 'kernel32::CloseHandle(p R2)'
                SetErrorLevel 2
                Quit
            ${EndIf}
            StrCpy $R0 0  ; the window list changed: look again from the start
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p R2)'
    ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY_FUNCTION ""
!insertmacro CLOSE_RUNNING_COPY_FUNCTION "un."

; Removes a start-up value under the Run key of one root when it names this executable,
; quoted or not (the program writes it quoted when the path has a blank).
!macro REMOVE_RUN_VALUE ROOT
    ReadRegStr $0 ${ROOT} "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $0 == "$INSTDIR\${EXE}"
    ${OrIf} $0 == '"$INSTDIR\${EXE}"'
        DeleteRegValue ${ROOT} "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
!macroend

; --- Installer --------------------------------------------------------------------------

Function .onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AllUsers" $1
    ${IfNot} ${Errors}
        UserInfo::GetAccountType
        Pop $1
        ${If} $1 != "Admin"
            Call RelaunchElevated  ; with the same parameters
        ${EndIf}
    ${EndIf}
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function InstallModePage
    ${If} $MultiUser.InstallMode == "AllUsers"  ; already chosen on the command line
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "$(MULTIUSER_TEXT_INSTALLMODE_TITLE)" "$(MULTIUSER_TEXT_INSTALLMODE_SUBTITLE)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 30u "$(MULTIUSER_INNERTEXT_INSTALLMODE_TOP)"
    Pop $0
    ${NSD_CreateRadioButton} 15u 40u -15u 12u "$(MULTIUSER_INNERTEXT_INSTALLMODE_CURRENTUSER)"
    Pop $0
    ${NSD_Check} $0
    ${NSD_CreateRadioButton} 15u 58u -15u 12u "$(MULTIUSER_INNERTEXT_INSTALLMODE_ALLUSERS)（需要管理员权限）"
    Pop $AllUsersRadio
    nsDialogs::Show
FunctionEnd

Function InstallModePageLeave
    ${NSD_GetState} $AllUsersRadio $0
    ${If} $0 = ${BST_CHECKED}
        UserInfo::GetAccountType
        Pop $1
        ${If} $1 == "Admin"
            Call MultiUser.InstallMode.AllUsers
        ${Else}
            HideWindow
            ${GetParameters} $0
            StrCpy $0 "$0 /AllUsers"
            ; Started again elevated, with the choice made on its command line.
            System::Call '*(i 60, i 0x140, p 0, w "runas", w "$EXEPATH", w "$0", p 0, i 1, p 0, p 0, p 0, p 0, i 0, p 0, p 0) p .r1'
            System::Call 'shell32::ShellExecuteExW(p r1) i .r2'
            System::Free $1
            ${If} $2 = 0
                ShowWindow $HWNDPARENT ${SW_SHOW}
                Abort  ; elevation refused: stay on this page
            ${EndIf}
            Quit
        ${EndIf}
    ${Else}
        Call MultiUser.InstallMode.CurrentUser  ; back from the other choice
    ${EndIf}
FunctionEnd

Section "${PRODUCT}"
    SetOutPath "$INSTDIR"
    Call CloseRunningCopy
    ; setting.ini, background.pic and Log are the user's: nothing here touches them.
    File "${STAGE}\${EXE}"
    File "/oname=LICENSE.txt" "${STAGE}\LICENSE.txt"
    File "/oname=THIRD-PARTY-NOTICES.txt" "${STAGE}\THIRD-PARTY-NOTICES.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${EXE}",0'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    ; _?= runs the uninstaller in place, so that whoever started it waits until it is done
    ; (it takes itself away at the end); it must be the last argument.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" \
        '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode _?=$INSTDIR'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" \
        '"$INSTDIR\uninstall.exe" /S /$MultiUser.InstallMode _?=$INSTDIR'
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1

    ${If} $WasRunning = 1
        ${If} $MultiUser.InstallMode == "AllUsers"
            ; Through the shell, so that the program does not inherit this installer's
            ; elevation.
            Exec '"$WINDIR\explorer.exe" "$INSTDIR\${EXE}"'
        ${Else}
            Exec '"$INSTDIR\${EXE}"'
        ${EndIf}
    ${EndIf}
SectionEnd

; --- Uninstaller ------------------------------------------------------------------------

Function un.onInit
    ; Opened by hand (from the folder, without the entry's mode), the uninstaller takes the mode
    ; of the entry that names its folder.
    StrCpy $3 0  ; 1: all users
    ${un.GetParameters} $0
    ClearErrors
    ${un.GetOptions} $0 "/AllUsers" $1
    ${IfNot} ${Errors}
        StrCpy $3 1
    ${Else}
        ClearErrors
        ${un.GetOptions} $0 "/CurrentUser" $1
        ${If} ${Errors}
            ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
            ${If} $2 == $INSTDIR
                StrCpy $3 1
                StrCpy $0 "$0 /AllUsers"
            ${EndIf}
        ${EndIf}
    ${EndIf}
    ${If} $3 = 1
        UserInfo::GetAccountType
        Pop $1
        ${If} $1 != "Admin"
            Call un.RelaunchElevated
        ${EndIf}
    ${EndIf}
    !insertmacro MULTIUSER_UNINIT
    ${If} $3 = 1
        Call un.MultiUser.InstallMode.AllUsers
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.CloseRunningCopy
    !insertmacro REMOVE_RUN_VALUE HKCU
    !insertmacro REMOVE_RUN_VALUE HKLM  ; where this process may
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"

    ; The program's files and the user's settings beside them, by name: a folder the user
    ; chose may hold other files. %APPDATA%\TorvekQuindle (settings kept there when the
    ; program's folder was read-only) is profile data and stays.
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
    Delete "$INSTDIR\setting.ini"
    Delete "$INSTDIR\background.pic"
    RMDir /r "$INSTDIR\Log"
    ; Run in place (_?=), this uninstaller cannot delete its own file, but Windows lets a
    ; running executable move to another folder of the same volume, to go at the next restart.
    ; The one thing in the way is the installer's own handle on its file, held without
    ; FILE_SHARE_DELETE for reading its data, all of which has been read by now: it is closed.
    ${If} $EXEDIR == $INSTDIR
        StrCpy $1 4
        ${Do}
            System::Call 'kernel32::GetFileType(p r1) i .r2'
            ${If} $2 = 1  ; FILE_TYPE_DISK
                System::Call 'kernel32::GetFinalPathNameByHandleW(p r1, w .r3, i ${NSIS_MAX_STRLEN}, i 0)'
                ${If} $3 == "\\?\$EXEPATH"
                    System::Call 'kernel32::CloseHandle(p r1)'
                    ${Break}
                ${EndIf}
            ${EndIf}
            IntOp $1 $1 + 4
        ${LoopUntil} $1 > 8192
        System::Call 'kernel32::GetTickCount() i .r0'
        Rename "$EXEPATH" "$TEMP\${PRODUCT}-uninstall-$0.exe"
        Delete /REBOOTOK "$TEMP\${PRODUCT}-uninstall-$0.exe"
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ${If} ${FileExists} "$INSTDIR\uninstall.exe"  ; not moved: the temporary folder is elsewhere
        Delete /REBOOTOK "$INSTDIR\uninstall.exe"
        RMDir /REBOOTOK "$INSTDIR"
    ${EndIf}
SectionEnd
