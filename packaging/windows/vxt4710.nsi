; The console's installer for Windows: for the current user, without
; administrator rights. makensis gets VERSION, SOURCE (the folder with
; vxt4710.exe, vxt4710-cli.exe and vxt4710.ico), DOCS (README.txt and
; LICENSE.txt with CR LF) and OUTFILE with -D.
; The programs are 64-bit, and so is the installer (a 64-bit Wine runs it too).
Target amd64-unicode
!include LogicLib.nsh
!include WinMessages.nsh
!include WordFunc.nsh

!define APP "VXT4710"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VXT4710"
!define WORK "$LOCALAPPDATA\vxt4710"
!define INITIAL "初始默认文本.txt"

Name "VXT4710 Console ${VERSION}"
OutFile "${OUTFILE}"
Icon "${SOURCE}\vxt4710.ico"
UninstallIcon "${SOURCE}\vxt4710.ico"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\VXT4710"
SetCompressor /SOLID lzma
; Same bytes from the same sources.
SetDateSave off

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${SOURCE}\vxt4710.exe"
  File "${SOURCE}\vxt4710-cli.exe"
  File "${SOURCE}\vxt4710.ico"
  File "${DOCS}\README.txt"
  File "${DOCS}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The console works in the user's folder ${WORK}, so that its initial
  ; text file lives there: --user-folder makes it when missing and enters
  ; it. A shortcut whose working folder is gone may not start at all, so
  ; the shortcut's is the one above it, which is always there.
  SetOutPath "$LOCALAPPDATA"
  CreateShortCut "$SMPROGRAMS\VXT4710 Console.lnk" "$INSTDIR\vxt4710.exe" "--user-folder" \
    "$INSTDIR\vxt4710.ico" 0
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "VXT4710 Console"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The VXT4710 console developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vxt4710.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

  ; vxt4710-cli for a command prompt: the folder goes at the end of the
  ; user's PATH, once.
  ReadRegStr $0 HKCU "Environment" "Path"
  ${WordReplace} ";$0;" ";$INSTDIR;" ";" "+" $1
  ${If} $1 == ";$0;"
    ${If} $0 == ""
      StrCpy $0 "$INSTDIR"
    ${Else}
      StrCpy $0 "$0;$INSTDIR"
    ${EndIf}
    WriteRegExpandStr HKCU "Environment" "Path" "$0"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\VXT4710 Console.lnk"
  Delete "$INSTDIR\vxt4710.exe"
  Delete "$INSTDIR\vxt4710-cli.exe"
  Delete "$INSTDIR\vxt4710.ico"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; Made for the install folder when the user had none.
  RMDir "$LOCALAPPDATA\Programs"

  ; The console makes its initial text file empty when it is missing: that
  ; one goes, anything the user wrote stays, and so does the folder then.
  ClearErrors
  FileOpen $0 "${WORK}\${INITIAL}" r
  ${IfNot} ${Errors}
    FileSeek $0 0 END $1
    FileClose $0
    ${If} $1 == 0
      Delete "${WORK}\${INITIAL}"
    ${EndIf}
  ${EndIf}
  RMDir "${WORK}"

  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ; Only the entry the installer added leaves the user's PATH.
  ReadRegStr $0 HKCU "Environment" "Path"
  ${un.WordReplace} ";$0;" ";$INSTDIR;" ";" "+" $1
  ${If} $1 != ";$0;"
    StrCpy $1 $1 "" 1
    StrCpy $1 $1 -1
    ${If} $1 == ""
      DeleteRegValue HKCU "Environment" "Path"
    ${Else}
      WriteRegExpandStr HKCU "Environment" "Path" "$1"
    ${EndIf}
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}

  ; The uninstaller runs as a copy in a temporary folder, which it has
  ; marked to go at the next start of Windows before the copy inside it, so
  ; that the folder would stay: marked again, after the copy.
  ${If} $EXEDIR != $INSTDIR
    RMDir /REBOOTOK "$EXEDIR"
  ${EndIf}
SectionEnd
