; The Windows installer of the mail gateway (NSIS, built on Linux with makensis
; by packaging/windows/build-installer). It installs mailferry2.exe and
; ferryreg.exe into Program Files\MailFerry, the event message file
; MailFerryRes.dll into System32 (and FerryConsole.exe when the build has one),
; registers the service and its event source through "mailferry2 -install"
; (quoted program path, description, recovery actions) and starts it.
;
; Silent: "mailferry2-setup.exe /S". An upgrade is the same installer run again:
; it stops the service, replaces the programs and starts it; the settings stay.
; Uninstall: "uninstall.exe /S" keeps the settings as the .reg file -remove
; saves (C:\ProgramData\MailFerry\settings-backup.reg), which the next install
; puts back; "/REMOVESETTINGS" deletes that file as well.
;
; Defines given by the build script: BUILD (the Windows build folder, Windows
; path), OUTFILE, VERSION, and CONSOLE when FerryConsole.exe was built.
Unicode true
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "StrFunc.nsh"
${StrStr}
${UnStrStr}

!define SERVICE "Mailferry Service"
!define PARAMETERS "SYSTEM\CurrentControlSet\Services\Mailferry Service\Parameters"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MailFerry"

Name "MailFerry ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\MailFerry"
ShowInstDetails show

Var ProgramData

; Waits up to 30 s until the service is no longer running (or not there).
!macro WaitStopped UN
  StrCpy $R1 0
  ${Do}
    nsExec::ExecToStack '"$SYSDIR\sc.exe" query "${SERVICE}"'
    Pop $R2
    Pop $R3
    ${If} $R2 != 0
      ${ExitDo}
    ${EndIf}
    ${${UN}StrStr} $R4 $R3 "STOPPED"
    ${If} $R4 != ""
      ${ExitDo}
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${If} $R1 > 30
      ${ExitDo}
    ${EndIf}
    Sleep 1000
  ${Loop}
!macroend

Function .onInit
  ReadEnvStr $ProgramData "ProgramData"
  ${If} $ProgramData == ""
    StrCpy $ProgramData "C:\ProgramData"
  ${EndIf}
FunctionEnd

Section "Install"
  ; An upgrade: the running service lets go of its program first.
  nsExec::Exec '"$SYSDIR\sc.exe" stop "${SERVICE}"'
  Pop $0
  !insertmacro WaitStopped ""

  SetOutPath "$INSTDIR"
  File "${BUILD}/service/mailferry2.exe"
  File "${BUILD}/tools/ferryreg/ferryreg.exe"
!ifdef CONSOLE
  File "${BUILD}/bin/FerryConsole.exe"
  ; The Control Panel applet in MailFerryRes.dll finds the console here.
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\App Paths\FerryConsole.exe" "" "$INSTDIR\FerryConsole.exe"
!endif
  SetOutPath "$SYSDIR"
  File "${BUILD}/bin/MailFerryRes.dll"
  SetOutPath "$INSTDIR"

  ; Settings a removal saved come back when there are none.
  ClearErrors
  EnumRegValue $0 HKLM "${PARAMETERS}" 0
  ${If} ${Errors}
  ${AndIf} ${FileExists} "$ProgramData\MailFerry\settings-backup.reg"
    DetailPrint "Restoring the settings from $ProgramData\MailFerry\settings-backup.reg"
    nsExec::ExecToLog '"$INSTDIR\ferryreg.exe" import "$ProgramData\MailFerry\settings-backup.reg"'
    Pop $0
  ${EndIf}

  ExecWait '"$INSTDIR\mailferry2.exe" -install' $0
  ${If} $0 != 0
    SetErrorLevel 3
    Abort "mailferry2 -install failed with exit code $0"
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "MailFerry mail gateway"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  nsExec::Exec '"$SYSDIR\sc.exe" start "${SERVICE}"'
  Pop $0
SectionEnd

Function un.onInit
  ReadEnvStr $ProgramData "ProgramData"
  ${If} $ProgramData == ""
    StrCpy $ProgramData "C:\ProgramData"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; -remove stops the service and saves its settings before it deletes it.
  ExecWait '"$INSTDIR\mailferry2.exe" -remove' $0
  ${If} $0 != 0
    DetailPrint "mailferry2 -remove failed with exit code $0"
    nsExec::Exec '"$SYSDIR\sc.exe" query "${SERVICE}"'
    Pop $1
    ${If} $1 == 0
      SetErrorLevel 3
      Abort "the service could not be removed; nothing was uninstalled"
    ${EndIf}
  ${EndIf}
  !insertmacro WaitStopped "Un"

  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/REMOVESETTINGS" $2
  ${IfNot} ${Errors}
    Delete "$ProgramData\MailFerry\settings-backup.reg"
    RMDir "$ProgramData\MailFerry"
  ${EndIf}

  Delete "$INSTDIR\mailferry2.exe"
  Delete "$INSTDIR\ferryreg.exe"
  Delete "$INSTDIR\FerryConsole.exe"
  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\App Paths\FerryConsole.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The event source stays registered for the events already logged; its
  ; message file goes with the programs.
  Delete "$SYSDIR\MailFerryRes.dll"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
