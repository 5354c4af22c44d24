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
  Delete "$INSTDIR\tavirel.exe"
  Delete "$INSTDIR\tavirel-batch.exe"
  Delete "$INSTDIR\guide.html"
  Delete "$INSTDIR\screenshot.png"
  Delete "$INSTDIR\screenshot-windows.png"
  Delete "$INSTDIR\screenshot-preview.png"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Tavirel.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Tavirel"
SectionEnd
