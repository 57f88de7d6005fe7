; Per-user installer of Tandrel: no administrator rights, into a folder the program may write
; to (it keeps nastr.dat and etik.eti beside itself). Built by scripts/package_windows.sh, which
; defines VERSION, STAGE (the package folder), FILES (the include file listing it) and OUTFILE.
; A 64-bit installer for the 64-bit program (Wine here runs no 32-bit programs).
Target amd64-unicode
SetCompressor /SOLID lzma
SetDatablockOptimize on
RequestExecutionLevel user
ManifestDPIAware true

Name "Tandrel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tandrel"
InstallDirRegKey HKCU "Software\Tandrel" "InstallDir"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!include "${FILES}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tandrel"

Section "Tandrel"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    !insertmacro TandrelInstallFiles
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    ; The shortcut starts the program in its own folder: the working folder is the last
    ; SetOutPath, and progress files go to the working folder.
    SetOutPath "$INSTDIR"
    CreateDirectory "$SMPROGRAMS\Tandrel"
    CreateShortcut "$SMPROGRAMS\Tandrel\Tandrel.lnk" "$INSTDIR\Tandrel.exe"
    CreateShortcut "$SMPROGRAMS\Tandrel\Удалить Tandrel.lnk" "$INSTDIR\Uninstall.exe"
    WriteRegStr HKCU "Software\Tandrel" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tandrel"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes only what the installer put there, so the operator's settings (nastr.dat), label
; template (etik.eti), progress files (*.crc) and journals (journal-*.csv) stay; the folder goes
; only when nothing else is left in it.
Section "Uninstall"
    SetShellVarContext current
    !insertmacro TandrelRemoveFiles
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Tandrel\Tandrel.lnk"
    Delete "$SMPROGRAMS\Tandrel\Удалить Tandrel.lnk"
    RMDir "$SMPROGRAMS\Tandrel"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\Tandrel"
SectionEnd
