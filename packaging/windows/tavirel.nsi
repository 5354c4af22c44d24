; SPDX-License-Identifier: MIT
; The Windows installer. Built by the Windows build's windows_package target:
;   makensis -DVERSION=X.Y.Z -DSTAGE=<folder of the files> -DICON=<tavirel.ico> -DOUTFILE=<setup.exe> tavirel.nsi
; Installs into Program Files, adds a Start menu entry and an entry under Apps to uninstall it;
; /S installs silently, /D=FOLDER (last on the command line) installs elsewhere.
; A 64-bit installer for 64-bit programs: it runs wherever they do.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavirel"

Name "Tavirel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tavirel"
InstallDirRegKey HKLM "Software\Tavirel" "InstallDir"
RequestExecutionLevel admin
BrandingText "Tavirel ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Tavirel"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "Tavirel ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "The Tavirel developers"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (c) The Tavirel developers. MIT License."

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tavirel.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  ; A program that runs cannot be deleted: Tavirel is closed first, or nothing is removed.
check:
  Call un.ProgramsRunning
  StrCmp $0 "" done
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$0 正在运行。请先关闭它，再点“重试”。$\r$\n$0 is running. Close it, then choose Retry." /SD IDCANCEL IDRETRY check
  SetErrorLevel 2
  Abort
done:
FunctionEnd

; $0: the first of the programs that is running (its file cannot be opened for writing), or "".
Function un.ProgramsRunning
  StrCpy $0 "tavirel.exe"
  IfFileExists "$INSTDIR\$0" 0 batch
  ClearErrors
  FileOpen $1 "$INSTDIR\$0" a
  IfErrors running
  FileClose $1
batch:
  StrCpy $0 "tavirel-batch.exe"
  IfFileExists "$INSTDIR\$0" 0 none
  ClearErrors
  FileOpen $1 "$INSTDIR\$0" a
  IfErrors running
  FileClose $1
none:
  StrCpy $0 ""
running:
FunctionEnd

Section "Tavirel"
  SetOutPath "$INSTDIR"
  File "${STAGE}\tavirel.exe"
  File "${STAGE}\tavirel-batch.exe"
  File "${STAGE}\guide.html"
  File "${STAGE}\screenshot.png"
  File "${STAGE}\screenshot-windows.png"
  File "${STAGE}\screenshot-preview.png"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Tavirel.lnk" "$INSTDIR\tavirel.exe"

  WriteRegStr HKLM "Software\Tavirel" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tavirel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Tavirel developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavirel.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ClearErrors
  Delete "$INSTDIR\tavirel.exe"
  Delete "$INSTDIR\tavirel-batch.exe"
  Delete "$INSTDIR\guide.html"
  Delete "$INSTDIR\screenshot.png"
  Delete "$INSTDIR\screenshot-windows.png"
  Delete "$INSTDIR\screenshot-preview.png"
  Delete "$INSTDIR\LICENSE.txt"
  ; A file that stays (a program started since) keeps the entries, so that it can be uninstalled
  ; again once it is closed.
  IfErrors 0 removed
    SetErrorLevel 2
    Abort "Tavirel 的文件仍在使用，没有全部删除。/ Some of Tavirel's files are in use and were kept."
removed:
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Tavirel.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Tavirel"
SectionEnd
