; The Windows installer: per user by default (no administrator rights asked, not even of an
; administrator), for all users on request (/AllUsers, or the choice on the mode page, which
; then starts this installer again elevated and waits for it), Simplified Chinese throughout.
; An install already on the machine gives the mode and the folder, so a new setup upgrades it
; in place; another folder moves it. An upgrade closes the running copy, keeps the user's
; setting.ini and background.pic, and starts the program again when it ran, never from an
; elevated process. The uninstaller removes only what is the product's, from its own folder.
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
; How long a closed copy's executable may stay locked (a virus scanner reading the file that
; has just been closed) before the user is asked.
!define WRITE_WAIT_MS 5000
; Exit code of an elevated child that leaves the start of the program to its unelevated parent.
!define EXIT_START_PROGRAM 64
; Exit code of an elevated child whose user pressed 上一步 on its first page: the parent shows
; its mode page again.
!define EXIT_BACK_TO_MODE 65
; Restart Manager: room for this many processes holding the executable, each an RM_PROCESS_INFO
; of 668 bytes (RM_UNIQUE_PROCESS 12, strAppName 256 and strServiceShortName 64 WCHARs, four
; 32-bit fields).
!define RM_MAX_HOLDERS 8
!define RM_PROCESS_INFO_SIZE 668
!define LOGPIXELSY 90

; Command line, besides NSIS's own /S and /D=<folder> (which must come last):
;   /AllUsers, /CurrentUser  the mode, instead of the mode of an install already present;
;   /ElevatedChild  internal: added by an unelevated copy of this installer that started this
;       one elevated and waits for it. This process starts no program: when the program is to
;       run now (the finish page's 运行, or the restart after an upgrade) it ends with exit code
;       EXIT_START_PROGRAM, and the parent starts the program as the user who ran the setup;
;   /FromModePage  internal, with /ElevatedChild: the parent showed the welcome, licence and
;       mode pages, so this child starts at the folder page, and its 上一步 there ends it with
;       exit code EXIT_BACK_TO_MODE;
;   /AsParent  internal: an all-users install goes through an elevated child even when this
;       process could do it itself, as an unelevated process must (the hand-over can thus be
;       seen where every process is an administrator).

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
RequestExecutionLevel user
; Only its last part counts: a folder picked with 浏览 gets "\TorvekQuindle" appended. The
; folder itself is set at start-up from the mode, /D= and an install already present.
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; A drive root is refused on the folder page with a word, rather than by a greyed-out button.
AllowRootDirInstall true
; A file that cannot be replaced fails the install instead of being skipped: an install never
; reports success with the old executable in place.
AllowSkipFiles off

VIProductVersion "${VERSION_DOTTED}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION_DOTTED}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION_DOTTED}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include nsDialogs.nsh

Var Mode          ; "CurrentUser" or "AllUsers"
Var ModeFixed     ; 1: the mode came from the command line
Var DirGiven      ; 1: /D= named the folder
Var HasParent     ; 1: /ElevatedChild
Var AsParent      ; 1: /AsParent
Var FromModePage  ; 1: /FromModePage
Var FolderShown   ; 1: the folder page was shown
Var OldDir        ; the folder of an install of the chosen mode already present, else empty
Var OldVersion
Var OtherDir      ; the folder of an install of the other mode, else empty
Var WasRunning    ; 1: a running copy was closed
Var ClosedExe     ; the executable of the copy that was closed
Var Moving        ; 1: the install moves from $OldDir to another folder
Var StartPending  ; 1: the program is to start again when the installer ends
Var Target        ; the folder or file the shared functions below work on
Var AllUsersRadio
Var WelcomeText
Var DirTopText
Var FinishText
Var ConfirmText

!define MUI_ICON "${STAGE}\TorvekQuindle.ico"
!define MUI_UNICON "${STAGE}\TorvekQuindle.ico"
!define MUI_ABORTWARNING
; makensis works in this script's folder: the pictures beside it are found by their names.
!define MUI_WELCOMEFINISHPAGE_BITMAP "installer_art.bmp"
!define MUI_CUSTOMFUNCTION_GUIINIT PickArtForScale

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipInElevatedChild
!define MUI_WELCOMEPAGE_TITLE "欢迎安装 ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipInElevatedChild
!define MUI_PAGE_HEADER_TEXT "许可证"
!define MUI_PAGE_HEADER_SUBTEXT "${PRODUCT} 按 MIT 许可证发布，使用它无需接受任何条款。"
!define MUI_LICENSEPAGE_TEXT_TOP "下面是 MIT 许可证的全文。"
; The click line on a line of its own: run on, it broke inside "[下一步(N)]".
!define MUI_LICENSEPAGE_TEXT_BOTTOM "MIT 许可证允许你自由使用、复制、修改和分发本软件，只需保留版权和许可声明。$\r$\n$_CLICK"
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
Page custom ModePage ModePageLeave
!define MUI_PAGE_CUSTOMFUNCTION_PRE DirectoryPagePre
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryPageLeave
!define MUI_DIRECTORYPAGE_TEXT_TOP "$DirTopText"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "安装文件夹"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_PRE FinishPagePre
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FinishPageLeave
!define MUI_FINISHPAGE_TITLE "${PRODUCT} ${VERSION} 已安装好"
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "现在运行 ${PRODUCT}(&R)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_HEADER_TEXT "卸载 ${PRODUCT}"
!define MUI_PAGE_HEADER_SUBTEXT "从这台电脑上删除 ${PRODUCT}。"
!define MUI_UNCONFIRMPAGE_TEXT_TOP "$ConfirmText"
!define MUI_UNCONFIRMPAGE_TEXT_LOCATION "卸载的文件夹："
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; NSIS's own Chinese texts that these pages still show, in the punctuation Chinese text uses.
LangString ^DirBrowseText ${LANG_SIMPCHINESE} "选择一个文件夹，安装程序会在其中建立 ${PRODUCT} 文件夹："
LangString ^SpaceRequired ${LANG_SIMPCHINESE} "所需空间："
LangString ^SpaceAvailable ${LANG_SIMPCHINESE} "可用空间："
; The box for a file that stays locked (NSIS's own names the buttons in English).
LangString ^FileError_NoIgnore ${LANG_SIMPCHINESE} "无法写入文件：$\r$\n$\r$\n$0$\r$\n$\r$\n点击“重试”再试一次，或点击“取消”停止安装。"
; The lines of "显示详情", with the colon Chinese text uses.
LangString ^OutputFolder ${LANG_SIMPCHINESE} "输出目录："
LangString ^Extract ${LANG_SIMPCHINESE} "解压缩："
LangString ^CreateShortcut ${LANG_SIMPCHINESE} "创建快捷方式："
LangString ^CreatedUninstaller ${LANG_SIMPCHINESE} "创建卸载程序："
LangString ^CopyTo ${LANG_SIMPCHINESE} "复制到："
LangString ^Delete ${LANG_SIMPCHINESE} "删除文件："
LangString ^RemoveFolder ${LANG_SIMPCHINESE} "删除目录："
LangString ^Exec ${LANG_SIMPCHINESE} "运行："

; --- Shared by installer and uninstaller ------------------------------------------------

; Finds the countdown window of a copy running from the folder $Target (a portable copy
; elsewhere is not this install's): $R0 is its window, 0 when none runs in this session.
!macro FIND_RUNNING_COPY_FUNCTION PREFIX
Function ${PREFIX}FindRunningCopy
    StrCpy $R0 0
    ${Do}
        FindWindow $R0 "${MAIN_WINDOW_CLASS}" "" 0 $R0
        ${If} $R0 = 0
            Return
        ${EndIf}
        System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
        System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i R1) p .R2'  ; PROCESS_QUERY_LIMITED_INFORMATION
        ${If} $R2 P<> 0
            System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN})'
            System::Call 'kernel32::CloseHandle(p R2)'
            ${If} $R3 == "$Target\${EXE}"
                Return
            ${EndIf}
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro FIND_RUNNING_COPY_FUNCTION ""
!insertmacro FIND_RUNNING_COPY_FUNCTION "un."

; Ends the program or the installation after the user gave up, saying that nothing changed.
!macro GIVE_UP_FUNCTION PREFIX
Function ${PREFIX}GiveUp
    !if "${PREFIX}" == ""
        ; A copy closed for the upgrade runs again, as it was, after the message: its window
        ; would cover the message box.
        ${If} $WasRunning = 1
        ${AndIf} $Mode == "CurrentUser"
            MessageBox MB_OK|MB_ICONINFORMATION "安装已取消，${PRODUCT} 没有任何改动。$\r$\n原先运行的 ${PRODUCT} 会重新启动。" /SD IDOK
            Exec '"$ClosedExe"'
        ${Else}
            MessageBox MB_OK|MB_ICONINFORMATION "安装已取消，${PRODUCT} 没有任何改动。" /SD IDOK
        ${EndIf}
    !else
        MessageBox MB_OK|MB_ICONINFORMATION "卸载已取消，${PRODUCT} 没有任何改动。" /SD IDOK
    !endif
    SetErrorLevel 2
    Quit
FunctionEnd
!macroend
!insertmacro GIVE_UP_FUNCTION ""
!insertmacro GIVE_UP_FUNCTION "un."

; Closes the copy of the program that runs from the folder $Target: WM_CLOSE to its countdown
; window, then a wait for the process to end. A copy that does not end in time gives
; Retry/Cancel; Cancel (the answer in silent mode) gives up before anything was changed.
; $WasRunning becomes 1 when one was closed.
!macro CLOSE_RUNNING_COPY_FUNCTION PREFIX
Function ${PREFIX}CloseRunningCopy
    ${Do}
        Call ${PREFIX}FindRunningCopy
        ${If} $R0 = 0
            Return
        ${EndIf}
        DetailPrint "正在关闭运行中的 ${PRODUCT}……"
        System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
        System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i R1) p .R2'  ; SYNCHRONIZE
        System::Call 'user32::PostMessageW(p R0, i ${WM_CLOSE}, p 0, p 0)'
        System::Call 'kernel32::WaitForSingleObject(p R2, i ${CLOSE_WAIT_MS}) i .R4'
        System::Call 'kernel32::CloseHandle(p R2)'
        ${If} $R4 = 0
            StrCpy $WasRunning 1
            StrCpy $ClosedExe "$Target\${EXE}"
        ${Else}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
                "${PRODUCT} 仍在运行，无法关闭。$\r$\n$\r$\n请从通知区域图标的菜单退出 ${PRODUCT}，然后点击“重试”；点击“取消”则放弃，什么也不改动。" \
                /SD IDCANCEL IDRETRY +2
            Call ${PREFIX}GiveUp
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY_FUNCTION ""
!insertmacro CLOSE_RUNNING_COPY_FUNCTION "un."

; Names the processes that hold the file $Target, in any user's session, through the Restart
; Manager: $R9 gets one line per process ("  <name>（进程 <id>，会话 <session>）"), empty when
; none or when the Restart Manager is not there.
!macro LIST_HOLDERS_FUNCTION PREFIX
Function ${PREFIX}ListHolders
    StrCpy $R9 ""
    System::Call 'rstrtmgr::RmStartSession(*i .R3, i 0, w .R4) i .R0'
    ${If} $R0 <> 0
        Return
    ${EndIf}
    System::Call '*(w "$Target") p .R5'  ; an array of one file name
    System::Call 'rstrtmgr::RmRegisterResources(i R3, i 1, p R5, i 0, p 0, i 0, p 0) i .R0'
    ${If} $R0 = 0
        IntOp $R6 ${RM_MAX_HOLDERS} * ${RM_PROCESS_INFO_SIZE}
        System::Alloc $R6
        Pop $R6
        System::Call 'rstrtmgr::RmGetList(i R3, *i .R7, *i ${RM_MAX_HOLDERS} R8, p R6, *i .R0) i .R0'
        ${If} $R0 = 234  ; ERROR_MORE_DATA: too many to name
            StrCpy $R9 "  $R7 个进程$\r$\n"
        ${ElseIf} $R0 = 0
            StrCpy $R1 0
            ${DoWhile} $R1 < $R8
                IntOp $R0 $R1 * ${RM_PROCESS_INFO_SIZE}
                IntOp $R0 $R0 + $R6
                ; dwProcessId, ProcessStartTime, strAppName, strServiceShortName,
                ; ApplicationType, AppStatus, TSSessionId, bRestartable
                System::Call '*$R0(i .R2, i, i, &w256 .R4, &w64, i, i, i .R7, i)'
                StrCpy $R9 "$R9  $R4（进程 $R2，会话 $R7）$\r$\n"
                IntOp $R1 $R1 + 1
            ${Loop}
        ${EndIf}
        System::Free $R6
    ${EndIf}
    System::Free $R5
    System::Call 'rstrtmgr::RmEndSession(i R3)'
FunctionEnd
!macroend
!insertmacro LIST_HOLDERS_FUNCTION ""
!insertmacro LIST_HOLDERS_FUNCTION "un."

; Waits until the file $Target can be opened for writing: a copy that has just ended may leave
; it locked for a moment. After WRITE_WAIT_MS, Retry/Cancel naming what holds it (for all
; users, copies in other users' sessions too); Cancel gives up. Uses $R0 to $R9.
!macro WAIT_FOR_WRITABLE_FUNCTION PREFIX
Function ${PREFIX}WaitForWritable
    ${IfNot} ${FileExists} $Target
        Return
    ${EndIf}
    ${Do}
        StrCpy $R1 0
        ${Do}
            ; GENERIC_WRITE, no sharing, OPEN_EXISTING: fails while a process runs the file.
            System::Call 'kernel32::CreateFileW(w "$Target", i 0x40000000, i 0, p 0, i 3, i 0x80, p 0) i .R0'
            ${If} $R0 <> -1
                System::Call 'kernel32::CloseHandle(i R0)'
                Return
            ${EndIf}
            ${If} $R1 >= ${WRITE_WAIT_MS}
                ${Break}
            ${EndIf}
            ${If} $R1 = 0
                DetailPrint "正在等待其他程序释放 ${EXE}……"
            ${EndIf}
            Sleep 250
            IntOp $R1 $R1 + 250
        ${Loop}
        StrCpy $R9 ""
        ${If} $Mode == "AllUsers"
            Call ${PREFIX}ListHolders
        ${EndIf}
        ; Named holders can be asked to quit; an unnamed one is most often a virus scanner.
        ${If} $R9 != ""
            StrCpy $R9 "正在使用它的程序：$\r$\n$R9$\r$\n请退出这些程序（其他用户的 ${PRODUCT} 请他们从通知区域图标的菜单退出），然后点击“重试”；"
        ${Else}
            StrCpy $R9 "可能是安全软件正在检查它。请稍等片刻，或关闭占用它的程序，然后点击“重试”；"
        ${EndIf}
        !if "${PREFIX}" == ""
            StrCpy $R8 "无法替换"
        !else
            StrCpy $R8 "无法删除"
        !endif
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "$R8下面的文件，它仍被其他程序占用：$\r$\n$Target$\r$\n$\r$\n$R9点击“取消”则放弃，什么也不改动。" \
            /SD IDCANCEL IDRETRY +2
        Call ${PREFIX}GiveUp
    ${Loop}
FunctionEnd
!macroend
!insertmacro WAIT_FOR_WRITABLE_FUNCTION ""
!insertmacro WAIT_FOR_WRITABLE_FUNCTION "un."

; $R2 becomes 1 when the file name $R1 is one the program gives its debug logs (month.day-
; hour_minute_second.log, numbers without leading zeros), else 0. Uses $R3 to $R7.
!macro IS_LOG_NAME_FUNCTION PREFIX
Function ${PREFIX}IsLogName
    StrCpy $R2 0
    StrCpy $R3 ""     ; the number being read
    StrCpy $R4 0      ; position in the name
    StrCpy $R5 ".-__."  ; what ends each of the five numbers
    ${Do}
        StrCpy $R6 $R1 1 $R4
        IntOp $R4 $R4 + 1
        ${If} $R6 == ""
            Return
        ${EndIf}
        StrCpy $R7 $R5 1
        ${If} $R6 != $R7
            StrCpy $R3 "$R3$R6"
            ${Continue}
        ${EndIf}
        ; A number: one or two digits, as IntOp reads them back.
        IntOp $R7 $R3 + 0
        StrLen $R6 $R3
        ${If} "$R7" != "$R3"
        ${OrIf} $R6 > 2
            Return
        ${EndIf}
        StrCpy $R3 ""
        StrCpy $R5 $R5 "" 1
    ${LoopUntil} $R5 == ""
    StrCpy $R6 $R1 "" $R4
    ${If} $R6 == "log"
        StrCpy $R2 1
    ${EndIf}
FunctionEnd
!macroend
!insertmacro IS_LOG_NAME_FUNCTION ""
!insertmacro IS_LOG_NAME_FUNCTION "un."

; Removes from the folder $Target what is the product's: the files the installer put there,
; setting.ini and background.pic, the logs the program named, then Log and the folder when
; they are empty. Whatever else the folder holds is the user's and stays.
!macro REMOVE_PRODUCT_FILES_FUNCTION PREFIX
Function ${PREFIX}RemoveProductFiles
    Delete "$Target\${EXE}"
    Delete "$Target\LICENSE.txt"
    Delete "$Target\THIRD-PARTY-NOTICES.txt"
    Delete "$Target\setting.ini"
    Delete "$Target\background.pic"
    FindFirst $R0 $R1 "$Target\Log\*.log"
    ${DoWhile} $R1 != ""
        Call ${PREFIX}IsLogName
        ${If} $R2 = 1
            Delete "$Target\Log\$R1"
        ${EndIf}
        FindNext $R0 $R1
    ${Loop}
    FindClose $R0
    RMDir "$Target\Log"
    Delete "$Target\uninstall.exe"
    RMDir "$Target"
FunctionEnd
!macroend
!insertmacro REMOVE_PRODUCT_FILES_FUNCTION ""
!insertmacro REMOVE_PRODUCT_FILES_FUNCTION "un."

; Starts this program again elevated with the parameters in $R0 and waits for it; $R4 gets its
; exit code, or 5 (ERROR_ACCESS_DENIED) when elevation was refused.
!macro RUN_ELEVATED_FUNCTION PREFIX
Function ${PREFIX}RunElevated
    ; SHELLEXECUTEINFOW: SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC, verb "runas".
    System::Call '*(i 60, i 0x140, p $HWNDPARENT, w "runas", w "$EXEPATH", w "$R0", p 0, i 1, p 0, p 0, p 0, p 0, i 0, p 0, p 0) p .R1'
    System::Call 'shell32::ShellExecuteExW(p R1) i .R2'
    StrCpy $R4 5
    ${If} $R2 <> 0
        System::Call '*$R1(i, i, p, p, p, p, p, i, p, p, p, p, i, p, p .R3)'
        System::Call 'kernel32::WaitForSingleObject(p R3, i -1)'
        System::Call 'kernel32::GetExitCodeProcess(p R3, *i .R4)'
        System::Call 'kernel32::CloseHandle(p R3)'
    ${EndIf}
    System::Free $R1
FunctionEnd
!macroend
!insertmacro RUN_ELEVATED_FUNCTION ""
!insertmacro RUN_ELEVATED_FUNCTION "un."

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
    StrCpy $Mode "CurrentUser"
    StrCpy $WasRunning 0
    StrCpy $StartPending 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/ElevatedChild" $R1
    ${IfNot} ${Errors}
        StrCpy $HasParent 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/AsParent" $R1
    ${IfNot} ${Errors}
        StrCpy $AsParent 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/FromModePage" $R1
    ${IfNot} ${Errors}
        StrCpy $FromModePage 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/CurrentUser" $R1
    ${IfNot} ${Errors}
        StrCpy $ModeFixed 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/AllUsers" $R1
    ${IfNot} ${Errors}
        StrCpy $ModeFixed 1
        StrCpy $Mode "AllUsers"
    ${EndIf}
    ; NSIS takes /D= out of $CMDLINE; the process's own command line still has it.
    System::Call 'kernel32::GetCommandLineW() w .R1'
    ClearErrors
    ${GetOptionsS} $R1 "/D=" $R2
    ${IfNot} ${Errors}
        StrCpy $DirGiven 1
    ${EndIf}
    ; Without a switch, the mode of the install already present: the current user's first
    ; (it needs no elevation), then the one for all users.
    ${If} $ModeFixed != 1
        ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
        ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        ${If} $R1 == ""
        ${AndIf} $R2 != ""
        ${AndIf} ${FileExists} "$R2\${EXE}"
            StrCpy $Mode "AllUsers"
        ${EndIf}
    ${EndIf}
    Call ApplyMode

    StrCpy $WelcomeText "${PRODUCT} 是一个桌面倒计时小工具：桌面上的小窗口显示离你选定的时刻还有多少时间，通知区域的图标用来开始、暂停和打开设置。$\r$\n$\r$\n"
    ${If} $OldDir != ""
        Call DescribeChange
        StrCpy $WelcomeText "$WelcomeText这台电脑上已装有 $R0，这次将$R1，你的设置和背景图片都会保留。$\r$\n$\r$\n"
    ${EndIf}
    StrCpy $WelcomeText "$WelcomeText$(^ClickNext)"

    ${If} ${Silent}
        Call IsDriveRoot
        ${If} $R0 = 1
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
    ; Chosen before any page (by a switch, or silently from the install present): the elevated
    ; child takes over at once.
    ${If} $Mode == "AllUsers"
    ${AndIf} $HasParent != 1
        ${If} ${Silent}
        ${OrIf} $ModeFixed = 1
            Call RelaunchForAllUsers
            ${If} $R4 = 5  ; elevation refused
                SetErrorLevel 5
                Quit
            ${EndIf}
        ${EndIf}
    ${EndIf}
FunctionEnd

; Sets the shell context, the install present in this mode and in the other one, and the
; folder: /D='s, else that of the install present, else the mode's own.
Function ApplyMode
    ${If} $Mode == "AllUsers"
        SetShellVarContext all
        ReadRegStr $OldDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
        ReadRegStr $OldVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
        ReadRegStr $OtherDir HKCU "${UNINSTALL_KEY}" "InstallLocation"
        StrCpy $R0 "$PROGRAMFILES\${PRODUCT}"
    ${Else}
        SetShellVarContext current
        ReadRegStr $OldDir HKCU "${UNINSTALL_KEY}" "InstallLocation"
        ReadRegStr $OldVersion HKCU "${UNINSTALL_KEY}" "DisplayVersion"
        ReadRegStr $OtherDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
        StrCpy $R0 "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${EndIf}
    ; An entry whose program is gone is no install: the new one replaces the entry.
    ${If} $OldDir != ""
    ${AndIfNot} ${FileExists} "$OldDir\${EXE}"
        StrCpy $OldDir ""
    ${EndIf}
    ${If} $OtherDir != ""
    ${AndIfNot} ${FileExists} "$OtherDir\${EXE}"
        StrCpy $OtherDir ""
    ${EndIf}
    ${If} $DirGiven != 1
        ${If} $OldDir != ""
            StrCpy $INSTDIR $OldDir
        ${Else}
            StrCpy $INSTDIR $R0
        ${EndIf}
    ${EndIf}
FunctionEnd

; Names the change this setup makes to the install present, for the welcome and folder pages:
; $R0 is that copy ("TorvekQuindle 1.9"), $R1 what happens to it: an upgrade, a reinstall of the
; same version, or a return to an older one.
Function DescribeChange
    StrCpy $R0 "${PRODUCT} $OldVersion"
    ${If} $OldVersion == ""
        StrCpy $R0 "${PRODUCT}"
    ${EndIf}
    ${VersionCompare} "$OldVersion" "${VERSION}" $R1
    ${If} $R1 = 0
        StrCpy $R1 "重新安装它"
    ${ElseIf} $R1 = 1
        StrCpy $R1 "把它换成较早的 ${VERSION} 版"
    ${Else}
        StrCpy $R1 "把它升级到 ${VERSION}"
    ${EndIf}
FunctionEnd

; $R0 becomes 1 when $INSTDIR is a drive's root ("D:\" or "D:").
Function IsDriveRoot
    StrCpy $R0 0
    StrLen $R1 $INSTDIR
    StrCpy $R2 $INSTDIR 1 1
    ${If} $R1 <= 3
    ${AndIf} $R2 == ":"
        StrCpy $R0 1
    ${EndIf}
FunctionEnd

; For all users: an unelevated process (or one told /AsParent) starts this installer again
; elevated as its child, waits, starts the program when the child asks it to (the child's
; exit code), and ends with the child's outcome. An administrator's process returns and
; installs itself ($R4 = 0); $R4 = 5 when elevation was refused, EXIT_BACK_TO_MODE when the
; user went back from the child's folder page: both return to the mode page.
Function RelaunchForAllUsers
    StrCpy $R4 0
    UserInfo::GetAccountType
    Pop $R0
    ${If} $R0 == "Admin"
    ${AndIf} $AsParent != 1
        Return
    ${EndIf}
    ${GetParameters} $R0
    StrCpy $R0 "$R0 /AllUsers /ElevatedChild"
    ; Called from .onInit only when silent or with a mode switch, else from the mode page.
    ${IfNot} ${Silent}
    ${AndIf} $ModeFixed != 1
        StrCpy $R0 "$R0 /FromModePage"
    ${EndIf}
    ${If} $DirGiven = 1
        StrCpy $R0 "$R0 /D=$INSTDIR"
    ${EndIf}
    HideWindow
    Call RunElevated
    ${If} $R4 = 5
    ${OrIf} $R4 = ${EXIT_BACK_TO_MODE}
        ShowWindow $HWNDPARENT ${SW_SHOW}
        BringToFront
        Return
    ${EndIf}
    ${If} $R4 = ${EXIT_START_PROGRAM}
        ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        Exec '"$R1\${EXE}"'
        StrCpy $R4 0
    ${EndIf}
    SetErrorLevel $R4
    Quit
FunctionEnd

Function PickArtForScale
    ; The page shrinks its picture to fit: above 100 % the 150 % picture keeps it sharp.
    System::Call 'user32::GetDC(p 0) p .R0'
    System::Call 'gdi32::GetDeviceCaps(p R0, i ${LOGPIXELSY}) i .R1'
    System::Call 'user32::ReleaseDC(p 0, p R0)'
    ${If} $R1 > 96
        File "/oname=$PLUGINSDIR\modern-wizard.bmp" "installer_art_150.bmp"
    ${EndIf}
FunctionEnd

; The elevated child started from the mode page goes straight to the folder: its parent showed
; these pages before.
Function SkipInElevatedChild
    ${If} $FromModePage = 1
        Abort
    ${EndIf}
FunctionEnd

Function ModePage
    ; 上一步 on the folder page of the child started from this page: the child ends, and its
    ; parent shows this page again (the choice can be changed, not skipped for good).
    ${If} $FromModePage = 1
    ${AndIf} $FolderShown = 1
        SetErrorLevel ${EXIT_BACK_TO_MODE}
        Quit
    ${EndIf}
    ${If} $ModeFixed = 1
    ${OrIf} $HasParent = 1
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "选择安装方式" "为你自己安装 ${PRODUCT}，还是为这台电脑的所有用户安装。"
    nsDialogs::Create 1018
    Pop $R0
    ${NSD_CreateLabel} 0 0 100% 36u "只为你自己安装时不需要管理员权限，程序和你的设置都放在你的用户文件夹中。为所有用户安装时程序放在 Program Files 中，每个用户的设置各自保存，安装时需要管理员权限。"
    Pop $R0
    ${NSD_CreateRadioButton} 15u 44u -15u 12u "只为我安装(&M)"
    Pop $R0
    ${NSD_CreateRadioButton} 15u 62u -15u 12u "为这台电脑的所有用户安装（需要管理员权限）(&A)"
    Pop $AllUsersRadio
    ${If} $Mode == "AllUsers"
        ${NSD_Check} $AllUsersRadio
    ${Else}
        ${NSD_Check} $R0
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ModePageLeave
    ${NSD_GetState} $AllUsersRadio $R0
    ${If} $R0 = ${BST_CHECKED}
        StrCpy $Mode "AllUsers"
    ${Else}
        StrCpy $Mode "CurrentUser"
    ${EndIf}
    Call ApplyMode
    ; Told here, before elevation: the elevated process may read another account's registry.
    Call ConfirmOtherMode
    ${If} $R0 = 1
        Abort
    ${EndIf}
    ${If} $Mode == "AllUsers"
        Call RelaunchForAllUsers  ; returns when this process installs, was refused, or came back
        ${If} $R4 = 5
            MessageBox MB_OK|MB_ICONEXCLAMATION "没有取得管理员权限，无法为所有用户安装。你可以选择“只为我安装”。"
            Abort
        ${ElseIf} $R4 = ${EXIT_BACK_TO_MODE}
            Abort
        ${EndIf}
    ${EndIf}
FunctionEnd

; With a copy installed in the other mode only, asks whether to install a second one; $R0
; becomes 1 when the user declines. The way back to one copy depends on whether the mode page
; was shown. Where both modes have a copy already, this setup adds none.
Function ConfirmOtherMode
    StrCpy $R0 0
    ${If} $OtherDir == ""
    ${OrIf} $OldDir != ""
        Return
    ${EndIf}
    ${If} $Mode == "AllUsers"
        StrCpy $R1 "这台电脑上已有一份只为你安装的 ${PRODUCT}：$\r$\n$OtherDir$\r$\n$\r$\n继续将再为所有用户安装一份，开始菜单中会有两个 ${PRODUCT}。"
    ${Else}
        StrCpy $R1 "这台电脑上已有一份为所有用户安装的 ${PRODUCT}：$\r$\n$OtherDir$\r$\n$\r$\n继续将再为你自己安装一份，开始菜单中会有两个 ${PRODUCT}。"
    ${EndIf}
    ${If} $ModeFixed = 1
        StrCpy $R2 "要只保留一份，请点击“取消”并退出安装程序，先卸载已有的那一份。"
    ${Else}
        StrCpy $R2 "要只保留一份，请点击“取消”，然后选择另一种安装方式。"
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "$R1$\r$\n$\r$\n$R2" IDOK +2
    StrCpy $R0 1
FunctionEnd

Function DirectoryPagePre
    StrCpy $FolderShown 1
    ${If} $OldDir == ""
        StrCpy $DirTopText "${PRODUCT} 将安装到下面的文件夹。要装到别处，请点击“浏览”选择一个文件夹，安装程序会在其中建立 ${PRODUCT} 文件夹。"
        Return
    ${EndIf}
    Call DescribeChange
    StrCpy $DirTopText "$R0 已装在下面的文件夹中，这次将$R1，设置和背景图片保留。换一个文件夹则把它移过去。"
    StrCpy $Target $OldDir
    Call FindRunningCopy
    ${If} $R0 <> 0
        ${If} $Mode == "CurrentUser"
        ${OrIf} $HasParent = 1
            StrCpy $DirTopText "$DirTopText正在运行的 ${PRODUCT} 将被关闭，装好后重新启动。"
        ${Else}
            StrCpy $DirTopText "$DirTopText正在运行的 ${PRODUCT} 将被关闭，装好后请从开始菜单启动它。"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function DirectoryPageLeave
    Call IsDriveRoot
    ${If} $R0 = 1
        ; NSIS has trimmed "C:\" to "C:": the drive letter and colon, with the backslash put back.
        StrCpy $R1 $INSTDIR 2
        MessageBox MB_OK|MB_ICONEXCLAMATION "不能直接安装到驱动器的根目录 $R1\。$\r$\n请选择或新建一个文件夹，例如 $R1\${PRODUCT}。"
        Abort
    ${EndIf}
    ; A mode from the command line: no mode page asked about the other mode's copy.
    ${If} $ModeFixed = 1
    ${AndIf} $FromModePage != 1
        Call ConfirmOtherMode
        ${If} $R0 = 1
            Abort
        ${EndIf}
    ${EndIf}
    ${If} $OldDir != ""
        ${If} $OldDir != $INSTDIR
            MessageBox MB_YESNO|MB_ICONQUESTION "${PRODUCT} 现在装在：$\r$\n$OldDir$\r$\n$\r$\n要把它移到：$\r$\n$INSTDIR$\r$\n$\r$\n旧文件夹中的 ${PRODUCT} 将被删除，你的设置和背景图片随它一起移到新文件夹。要继续吗？" IDYES +2
            Abort
        ${EndIf}
        Return
    ${EndIf}
    ; A folder that already holds other things and no earlier copy: the user's own files.
    ${If} ${FileExists} "$INSTDIR\*.*"
    ${AndIfNot} ${FileExists} "$INSTDIR\${EXE}"
        ${DirState} "$INSTDIR" $R0
        ${If} $R0 = 1
            MessageBox MB_YESNO|MB_ICONEXCLAMATION "文件夹 $INSTDIR 中已有其他文件。${PRODUCT} 将和它们放在一起，卸载时只删除 ${PRODUCT} 自己的文件。$\r$\n$\r$\n仍要安装到这个文件夹吗？" IDYES +2
            Abort
        ${EndIf}
    ${EndIf}
FunctionEnd

; Starts the installed program as the user who ran the setup: directly when this process is
; theirs (the current user's mode), through the waiting parent when this is the elevated
; child, and not at all from an elevated process that has no parent.
Function StartProgram
    ${If} $HasParent = 1
        SetErrorLevel ${EXIT_START_PROGRAM}
    ${ElseIf} $Mode == "CurrentUser"
        Exec '"$INSTDIR\${EXE}"'
    ${EndIf}
FunctionEnd

; Rewrites a start-up value that named the executable in the folder the install moves from.
!macro MOVE_RUN_VALUE ROOT
    ReadRegStr $R0 ${ROOT} "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $R0 == "$OldDir\${EXE}"
    ${OrIf} $R0 == '"$OldDir\${EXE}"'
        WriteRegStr ${ROOT} "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${EXE}"'
    ${EndIf}
!macroend

Section "${PRODUCT}"
    StrCpy $Target $INSTDIR
    Call CloseRunningCopy
    ; Not in a register: the shared functions called below use $R0 to $R9.
    StrCpy $Moving 0
    ${If} $OldDir != ""
    ${AndIf} $OldDir != $INSTDIR
        StrCpy $Moving 1
        StrCpy $Target $OldDir
        Call CloseRunningCopy
        StrCpy $Target "$OldDir\${EXE}"
        Call WaitForWritable
    ${EndIf}
    StrCpy $Target "$INSTDIR\${EXE}"
    Call WaitForWritable

    ; Made only now: an install given up above leaves no new folder behind.
    SetOutPath "$INSTDIR"
    ; setting.ini, background.pic and Log in this folder are the user's: nothing here touches
    ; them.
    File "${STAGE}\${EXE}"
    File "/oname=LICENSE.txt" "${STAGE}\LICENSE.txt"
    File "/oname=THIRD-PARTY-NOTICES.txt" "${STAGE}\THIRD-PARTY-NOTICES.txt"
    ${If} $Moving = 1
        ; The user's settings and picture go with the program; the earlier copy goes.
        ${If} ${FileExists} "$OldDir\setting.ini"
            CopyFiles /SILENT "$OldDir\setting.ini" "$INSTDIR"
        ${EndIf}
        ${If} ${FileExists} "$OldDir\background.pic"
            CopyFiles /SILENT "$OldDir\background.pic" "$INSTDIR"
        ${EndIf}
        !insertmacro MOVE_RUN_VALUE HKCU
        !insertmacro MOVE_RUN_VALUE HKLM
        StrCpy $Target $OldDir
        Call RemoveProductFiles
    ${EndIf}
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${EXE}",0'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    ; Without _?=, NSIS runs a copy of the uninstaller from %TEMP%, so that the folder with
    ; uninstall.exe can go whole.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$Mode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S /$Mode'
    ; What this install put there, not the folder: it may hold the user's pictures and logs.
    SectionGetSize 0 $R0
    ${GetSize} "$INSTDIR" "/M=uninstall.exe /S=0K /G=0" $R1 $R2 $R3
    IntOp $R0 $R0 + $R1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $R0
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1

    ; A copy that ran starts again: at once when silent, else when the finish page is left,
    ; so that its window does not cover the page.
    ${If} $WasRunning = 1
        StrCpy $StartPending 1
        ${If} ${Silent}
            Call StartProgram
        ${EndIf}
    ${EndIf}
SectionEnd

Function FinishPagePre
    ${If} $Mode == "CurrentUser"
    ${OrIf} $HasParent = 1
        ${If} $StartPending = 1
            StrCpy $FinishText "原先运行的 ${PRODUCT} 已关闭并更新，点击“完成”后它将重新启动。"
        ${ElseIf} $Mode == "AllUsers"
            StrCpy $FinishText "${PRODUCT} 已为这台电脑的所有用户装好。它运行时在桌面上显示倒计时窗口，并在通知区域显示图标，右键点击图标可以打开设置。"
        ${Else}
            StrCpy $FinishText "${PRODUCT} 已装好。它运行时在桌面上显示倒计时窗口，并在通知区域显示图标，右键点击图标可以打开设置。"
        ${EndIf}
    ${ElseIf} $StartPending = 1
        StrCpy $FinishText "原先运行的 ${PRODUCT} 已关闭并更新，请从开始菜单重新启动它。"
    ${Else}
        StrCpy $FinishText "${PRODUCT} 已为这台电脑的所有用户装好。请从开始菜单启动 ${PRODUCT}。"
    ${EndIf}
FunctionEnd

Function FinishPageShow
    ; No 运行 when the program starts again anyway, nor where nothing may start it.
    StrCpy $R0 $StartPending
    ${If} $Mode == "AllUsers"
    ${AndIf} $HasParent != 1
        StrCpy $R0 1
    ${EndIf}
    ${If} $R0 = 1
        SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${EndIf}
FunctionEnd

Function FinishPageLeave
    ${If} $StartPending = 1
        Call StartProgram
    ${EndIf}
FunctionEnd

; --- Uninstaller ------------------------------------------------------------------------

Function un.onInit
    ; $INSTDIR is the uninstaller's own folder. Without a switch, the mode is that of the
    ; entry naming this folder; an uninstaller of a folder no entry names is the current user's.
    StrCpy $Mode "CurrentUser"
    ${un.GetParameters} $R0
    ClearErrors
    ${un.GetOptions} $R0 "/AllUsers" $R1
    ${IfNot} ${Errors}
        StrCpy $Mode "AllUsers"
    ${Else}
        ClearErrors
        ${un.GetOptions} $R0 "/CurrentUser" $R1
        ${If} ${Errors}
            ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
            ${If} $R1 == $INSTDIR
                StrCpy $Mode "AllUsers"
            ${EndIf}
        ${EndIf}
    ${EndIf}
    ${If} $Mode == "AllUsers"
        SetShellVarContext all
        UserInfo::GetAccountType
        Pop $R1
        ${If} $R1 != "Admin"
            StrCpy $R0 "$R0 /AllUsers _?=$INSTDIR"
            Call un.RunElevated
            SetErrorLevel $R4
            Quit
        ${EndIf}
    ${EndIf}
    ; What goes besides the program, and what stays. For one user the folder holds that user's
    ; settings and picture; for all users it holds at most a preset, and each user's own files
    ; are in that user's application data, which no uninstaller of the machine's copy touches.
    ${If} $Mode == "AllUsers"
        StrCpy $ConfirmText "将为这台电脑的所有用户删除下面文件夹中的 ${PRODUCT}，连同其中的设置（setting.ini）和背景图片（background.pic）。每个用户自己的设置和背景图片不会删除。"
    ${Else}
        StrCpy $ConfirmText "将从下面的文件夹中删除 ${PRODUCT}，连同你的设置（setting.ini）、背景图片（background.pic）和调试日志。你自己放在这个文件夹中的其他文件会保留。"
        ${If} ${FileExists} "$APPDATA\${PRODUCT}\*.*"
            StrCpy $ConfirmText "$ConfirmText$\r$\n保存在 $APPDATA\${PRODUCT} 中的设置和背景图片会保留。"
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    StrCpy $Target $INSTDIR
    Call un.CloseRunningCopy
    StrCpy $Target "$INSTDIR\${EXE}"
    Call un.WaitForWritable
    StrCpy $Target $INSTDIR
    Call un.RemoveProductFiles
    ${If} ${FileExists} "$INSTDIR\${EXE}"
        MessageBox MB_OK|MB_ICONEXCLAMATION "无法删除 $INSTDIR\${EXE}，卸载没有完成。$\r$\n卸载项和开始菜单中的快捷方式都已保留，请稍后再卸载一次。" /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    !insertmacro REMOVE_RUN_VALUE HKCU
    !insertmacro REMOVE_RUN_VALUE HKLM  ; where this process may
    ; The entry and the shortcut are this copy's only when the entry names this folder.
    ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 == $INSTDIR
        Delete "$SMPROGRAMS\${PRODUCT}.lnk"
        DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ${EndIf}
SectionEnd
