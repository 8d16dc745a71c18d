; The Windows installer: the three programs and the README under Program Files, a Start-menu
; entry for the window, an uninstaller that Windows' "Apps" list knows.
;   makensis -DVERSION=x.y.z -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> installer.nsi
; A 64-bit installer for the 64-bit programs: it writes the 64-bit registry and Program Files.
Target amd64-unicode
SetCompressor /SOLID lzma

!define NAME "Korvan Updater"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KorvanUpdater"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
RequestExecutionLevel admin
ShowInstDetails show
ShowUnInstDetails show
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "FileDescription" "${NAME} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Korvan"
VIAddVersionKey "LegalCopyright" "Korvan"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}/korvan-updater.exe"
  File "${STAGE}/korvan.exe"
  File "${STAGE}/korvan-emu.exe"
  File "${STAGE}/README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Korvan"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvan-updater.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Last: the entry appears once everything it starts is in place.
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\korvan-updater.exe"
SectionEnd

; Only what the installer put there: the working files the programs made are the user's (they
; live in %LOCALAPPDATA%\Korvan Updater when the program folder is not writable).
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\korvan-updater.exe"
  Delete "$INSTDIR\korvan.exe"
  Delete "$INSTDIR\korvan-emu.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
