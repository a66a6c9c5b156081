; The console's installer for Windows: for the current user, without
; administrator rights. makensis gets VERSION, SOURCE (the folder with
; vxt4710.exe, vxt4710-cli.exe, vxt4710.ico and web\ with the page), DOCS (README.txt and
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
; The console's first start from the shortcut writes this greeting into the
; new initial text file: "欢迎使用VXT4710中文语音合成芯片。" in GBK, 33 bytes
; as 0xNN each.
!define GREETING_SIZE 33
!define GREETING "0xBB0xB60xD30xAD0xCA0xB90xD30xC30x560x580x540x340x370x310x300xD60xD00xCE0xC40xD30xEF0xD20xF40xBA0xCF0xB30xC90xD00xBE0xC60xAC0xA10xA3"

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
  File "${DOCS}\vxt4710.lua"
  ; The console for the browser, opened by a shortcut of its own.
  SetOutPath "$INSTDIR\web"
  File "${SOURCE}\web\index.html"
  File "${SOURCE}\web\vxt4710.js"
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\VXT4710 Console (browser).lnk" "$INSTDIR\web\index.html" "" \
    "$INSTDIR\vxt4710.ico" 0
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
  Delete "$INSTDIR\vxt4710.lua"
  Delete "$SMPROGRAMS\VXT4710 Console (browser).lnk"
  Delete "$INSTDIR\web\index.html"
  Delete "$INSTDIR\web\vxt4710.js"
  RMDir "$INSTDIR\web"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; Made for the install folder when the user had none.
  RMDir "$LOCALAPPDATA\Programs"

  ; The console writes the greeting into its initial text file when there
  ; is none, and makes it empty when it cannot: a file that holds exactly
  ; either goes, anything else the user wrote stays, and so does the folder.
  ClearErrors
  FileOpen $0 "${WORK}\${INITIAL}" r
  ${IfNot} ${Errors}
    FileSeek $0 0 END $1
    StrCpy $2 1
    ${If} $1 != 0
      ${If} $1 != ${GREETING_SIZE}
        StrCpy $2 0
      ${Else}
        FileSeek $0 0 SET
        StrCpy $3 0
        ${DoWhile} $3 < ${GREETING_SIZE}
          FileReadByte $0 $4
          IntOp $5 $3 * 4
          StrCpy $5 "${GREETING}" 4 $5
          ${If} $4 <> $5
            StrCpy $2 0
          ${EndIf}
          IntOp $3 $3 + 1
        ${Loop}
      ${EndIf}
    ${EndIf}
    FileClose $0
    ${If} $2 == 1
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
