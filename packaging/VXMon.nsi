; Per-user installer of the monitor. Built by scripts/package (the windows
; build's "installer" target):
;   makensis -DVERSION=1.2.3 -DBINDIR=<build>/bin -DSRCDIR=<repo> -DOUTFILE=<setup.exe> VXMon.nsi
; (optional -DPLUGINDIR=<folder> of NSIS plug-ins to use instead of NSIS's own)
; Command line of the built setup: /S silent, /NOSTART do not start the
; monitor at the end, /D=FOLDER another install folder (last, unquoted).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef VERSION
  !error "VERSION, BINDIR, SRCDIR and OUTFILE must be defined"
!endif
!ifndef BINDIR
  !error "BINDIR must be defined"
!endif
!ifndef SRCDIR
  !error "SRCDIR must be defined"
!endif
!ifndef OUTFILE
  !error "OUTFILE must be defined"
!endif

!define PRODUCT "Vantor Gaming Mouse Driver"
!define PUBLISHER "Vantor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VXMon"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define STARTUP_APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
; How long a running monitor gets to end after WM_CLOSE before it is stopped.
!define MONITOR_EXIT_MS 10000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\VXMon"
; An upgrade goes where the installed version is (unless /D says otherwise).
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Icon "${SRCDIR}\win32\res\VXMon.ico"
UninstallIcon "${SRCDIR}\win32\res\VXMon.ico"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

; scripts/package --sign: the uninstaller is signed before it is embedded,
; so the one a user runs is signed too, then the installer itself. Without
; --sign, sign.sh does nothing.
!ifdef PLUGINDIR
  ; The build's copy of NSIS's plug-ins, signed with the programs.
  !addplugindir /amd64-unicode "${PLUGINDIR}"
!endif
!uninstfinalize '"${SRCDIR}/packaging/sign.sh" "%1"' = 0
!finalize '"${SRCDIR}/packaging/sign.sh" "%1"' = 0

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!define MUI_ICON "${SRCDIR}\win32\res\VXMon.ico"
!define MUI_UNICON "${SRCDIR}\win32\res\VXMon.ico"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${SRCDIR}\packaging\LICENSE.txt"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"

LangString MsgEnding ${LANG_ENGLISH} "Asking the running monitor (process $1) to exit..."
LangString MsgEnding ${LANG_SIMPCHINESE} "正在请求运行中的监控程序（进程 $1）退出..."
LangString MsgEnding ${LANG_TRADCHINESE} "正在要求執行中的監控程式（處理程序 $1）結束..."
LangString MsgEnded ${LANG_ENGLISH} "The monitor exited."
LangString MsgEnded ${LANG_SIMPCHINESE} "监控程序已退出。"
LangString MsgEnded ${LANG_TRADCHINESE} "監控程式已結束。"
LangString MsgStopped ${LANG_ENGLISH} "The monitor did not exit within 10 seconds and was stopped. Your profiles are kept."
LangString MsgStopped ${LANG_SIMPCHINESE} "监控程序未在 10 秒内退出，已被停止。您的配置文件已保留。"
LangString MsgStopped ${LANG_TRADCHINESE} "監控程式未在 10 秒內結束，已被停止。您的設定檔已保留。"
LangString MsgNotStopped ${LANG_ENGLISH} "The monitor did not exit within 10 seconds and could not be stopped."
LangString MsgNotStopped ${LANG_SIMPCHINESE} "监控程序未在 10 秒内退出，且无法停止。"
LangString MsgNotStopped ${LANG_TRADCHINESE} "監控程式未在 10 秒內結束，且無法停止。"
LangString MsgNothingRemoved ${LANG_ENGLISH} "The monitor could not be ended, so nothing was removed. End VXMon.exe (for example in Task Manager) and run the uninstall again."
LangString MsgNothingRemoved ${LANG_SIMPCHINESE} "无法结束监控程序，因此未删除任何内容。请结束 VXMon.exe（例如在任务管理器中），然后再次运行卸载。"
LangString MsgNothingRemoved ${LANG_TRADCHINESE} "無法結束監控程式，因此未移除任何內容。請結束 VXMon.exe（例如在工作管理員中），然後再次執行解除安裝。"
LangString MsgKept ${LANG_ENGLISH} "Your profiles and macros are kept (registry key HKCU\software\Vantorgmmouse and the $\"Gaming Mouse Vantor$\" documents folder)."
LangString MsgKept ${LANG_SIMPCHINESE} "您的配置文件和宏已保留（注册表项 HKCU\software\Vantorgmmouse 和文档中的 $\"Gaming Mouse Vantor$\" 文件夹）。"
LangString MsgKept ${LANG_TRADCHINESE} "您的設定檔和巨集已保留（登錄機碼 HKCU\software\Vantorgmmouse 與文件中的 $\"Gaming Mouse Vantor$\" 資料夾）。"

; Appends one line to %TEMP%\VXMon-setup.log, so that a silent run leaves
; a trace of what it did with a running monitor.
!macro LOG_LINE text
  Push $9
  FileOpen $9 "$TEMP\VXMon-setup.log" a
  ${If} $9 != ""
    FileSeek $9 0 END
    FileWrite $9 "${text}$\r$\n"
    FileClose $9
  ${EndIf}
  Pop $9
!macroend

; Ends every running monitor the way its Exit does (WM_CLOSE to its window
; of class "TVXMonMain"), waiting up to MONITOR_EXIT_MS for its process; a
; monitor that does not answer is stopped, since its files are about to be
; replaced or removed. The monitor saves nothing when it ends. One run as
; administrator lets WM_CLOSE through and grants SYNCHRONIZE to this
; process, not PROCESS_TERMINATE: the right to stop it is asked for on its
; own, so that a denial does not cost the wait.
; 1 when a monitor is still running after EndMonitor.
Var MonitorStuck
!macro END_MONITOR_FUNCTION prefix who
Function ${prefix}EndMonitor
  StrCpy $MonitorStuck 0
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  StrCpy $4 0
  ${Do}
    FindWindow $0 "TVXMonMain"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    IntOp $4 $4 + 1
    ${If} $4 > 8
      ${Break}
    ${EndIf}
    StrCpy $1 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    ; SYNCHRONIZE
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    DetailPrint "$(MsgEnding)"
    !insertmacro LOG_LINE "${who} ${VERSION}: WM_CLOSE to the monitor, process $1"
    System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)'
    ${If} $2 != 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${MONITOR_EXIT_MS}) i .r3'
    ${Else}
      ; No handle on the process: watch its window instead.
      StrCpy $3 258
      StrCpy $5 0
      ${DoWhile} $5 < ${MONITOR_EXIT_MS}
        System::Call 'user32::IsWindow(p r0) i .r6'
        ${If} $6 == 0
          StrCpy $3 0
          ${Break}
        ${EndIf}
        Sleep 100
        IntOp $5 $5 + 100
      ${Loop}
    ${EndIf}
    ${If} $3 == 0
      DetailPrint "$(MsgEnded)"
      ${If} $2 != 0
        !insertmacro LOG_LINE "${who} ${VERSION}: the monitor exited"
      ${Else}
        !insertmacro LOG_LINE "${who} ${VERSION}: the monitor's window closed (its process could not be opened to wait)"
      ${EndIf}
    ${Else}
      ; PROCESS_TERMINATE
      System::Call 'kernel32::OpenProcess(i 0x0001, i 0, i r1) p .r7'
      StrCpy $3 0
      ${If} $7 != 0
        System::Call 'kernel32::TerminateProcess(p r7, i 1) i .r3'
        System::Call 'kernel32::CloseHandle(p r7)'
      ${EndIf}
      ${If} $3 != 0
        ${If} $2 != 0
          System::Call 'kernel32::WaitForSingleObject(p r2, i 5000)'
        ${Else}
          Sleep 1000
        ${EndIf}
        DetailPrint "$(MsgStopped)"
        !insertmacro LOG_LINE "${who} ${VERSION}: the monitor did not exit within ${MONITOR_EXIT_MS} ms and was stopped"
        MessageBox MB_OK|MB_ICONINFORMATION "$(MsgStopped)" /SD IDOK
      ${Else}
        StrCpy $MonitorStuck 1
      ${EndIf}
    ${EndIf}
    ${If} $2 != 0
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    ${If} $MonitorStuck == 1
      DetailPrint "$(MsgNotStopped)"
      !insertmacro LOG_LINE "${who} ${VERSION}: the monitor did not exit within ${MONITOR_EXIT_MS} ms and could not be stopped"
      ${Break}
    ${EndIf}
  ${Loop}
  ; A window that came back after every try counts as a monitor not ended.
  FindWindow $0 "TVXMonMain"
  ${If} $0 != 0
  ${AndIf} $MonitorStuck == 0
    StrCpy $MonitorStuck 1
    DetailPrint "$(MsgNotStopped)"
    !insertmacro LOG_LINE "${who} ${VERSION}: a monitor window is still there after $4 tries"
  ${EndIf}
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro END_MONITOR_FUNCTION "" "setup"
!insertmacro END_MONITOR_FUNCTION "un." "uninstall"

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
  ; The copy that removes an uninstaller run in place, once that has ended.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CLEANUP=" $R1
  ${IfNot} ${Errors}
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i R1) p .R2'
    ${If} $R2 != 0
      System::Call 'kernel32::WaitForSingleObject(p R2, i 30000)'
      System::Call 'kernel32::CloseHandle(p R2)'
    ${EndIf}
    Delete "$INSTDIR\Uninstall.exe"
    ; Its working folder is the one to remove.
    SetOutPath "$TEMP"
    RMDir "$INSTDIR"
    SetErrorLevel 0
    Quit
  ${EndIf}
FunctionEnd

Section "VXMon" SecMain
  SectionIn RO
  Call EndMonitor
  ${If} $MonitorStuck == 1
    ; Its files cannot be replaced while it runs; nothing has changed yet.
    MessageBox MB_OK|MB_ICONSTOP "$(MsgNotStopped)" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${BINDIR}\VXMon.exe"
  File "${BINDIR}\kwHook.dll"
  File "${BINDIR}\LangDesigner.exe"
  File "${BINDIR}\vxprofile.exe"
  File "${BINDIR}\kw.local"
  File "/oname=README.txt" "${SRCDIR}\README.md"
  File "${SRCDIR}\packaging\LICENSE.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; One entry in "Apps & features", replaced by every later version.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\VXMon.exe$\",0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; _?= runs the uninstaller in place: without it NSIS starts a copy from
  ; %TEMP% and returns 0 at once, so no caller would learn the result.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\Uninstall.exe$\" _?=$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\Uninstall.exe$\" /S _?=$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"

  ; Autostart at logon; Windows' own Startup switch turns it off and on.
  WriteRegStr HKCU "${RUN_KEY}" "VXMon" "$\"$INSTDIR\VXMon.exe$\""

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSTART" $1
  ${If} ${Errors}
    Exec "$\"$INSTDIR\VXMon.exe$\""
    !insertmacro LOG_LINE "setup ${VERSION}: installed in $INSTDIR, monitor started"
  ${Else}
    !insertmacro LOG_LINE "setup ${VERSION}: installed in $INSTDIR, monitor not started (/NOSTART)"
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.EndMonitor
  ${If} $MonitorStuck == 1
    ; Its files stay in use: removing the rest would leave an orphan that no
    ; entry can uninstall. Nothing has changed yet; a second try works.
    DetailPrint "$(MsgNothingRemoved)"
    !insertmacro LOG_LINE "uninstall ${VERSION}: the monitor could not be ended; nothing was removed"
    MessageBox MB_OK|MB_ICONSTOP "$(MsgNothingRemoved)" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; Only the files this setup put there: never a whole folder, which might
  ; have been chosen with /D and hold other things.
  Delete "$INSTDIR\VXMon.exe"
  Delete "$INSTDIR\kwHook.dll"
  Delete "$INSTDIR\LangDesigner.exe"
  Delete "$INSTDIR\vxprofile.exe"
  Delete "$INSTDIR\kw.local"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    ; Run in place (_?=), this program holds its own file open until it
    ; ends: a copy of it in %TEMP% removes the file and the folder then.
    ClearErrors
    CopyFiles /SILENT "$EXEPATH" "$TEMP\VXMon-Uninstall.exe"
    ${IfNot} ${Errors}
      System::Call 'kernel32::GetCurrentProcessId() i .r1'
      Exec '"$TEMP\VXMon-Uninstall.exe" /CLEANUP=$1 _?=$INSTDIR'
    ${EndIf}
  ${Else}
    RMDir "$INSTDIR"
  ${EndIf}

  DeleteRegValue HKCU "${RUN_KEY}" "VXMon"
  DeleteRegValue HKCU "${STARTUP_APPROVED_KEY}" "VXMon"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  DetailPrint "$(MsgKept)"
  !insertmacro LOG_LINE "uninstall ${VERSION}: removed $INSTDIR, the Run value and the uninstall entry; profiles kept"
SectionEnd
