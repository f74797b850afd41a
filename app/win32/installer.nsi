; The Windows installer: Nuvalo for the current user alone, without
; administrator rights, in %LOCALAPPDATA%\Programs\Nuvalo, with a Start-menu
; shortcut and an entry in the list of installed programs. The build gives
;   VERSION   the game's version, x.y.z
;   STAGE     the folder holding what the zip holds (nuvalo.exe, Ton\, texts)
;   ICON      the game's icon
;   OUTFILE   the setup program to write
; (cmake --build --preset windows --target installer)
; The game reads "Ton" and keeps "save.dat" in its working folder, so the
; shortcut starts it in the install folder, which must stay writable; and the
; uninstaller leaves save.dat, the player's best score, where it is, and the
; runs kept beside it. Run records (.nuvrun) open in the game, which shows
; them; the file type is the current user's too.
!pragma warning error all
; A 64-bit setup program for a 64-bit game: a 32-bit Windows refuses it at
; once, as it would refuse the game (and the tests' wine64 runs it).
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include Integration.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Nuvalo"
!define RUN_PROGID "Nuvalo.Run"
!define RUN_EXT_KEY "Software\Classes\.nuvrun"
!define RUN_PROGID_KEY "Software\Classes\${RUN_PROGID}"

Name "Nuvalo"
OutFile "${OUTFILE}"
RequestExecutionLevel user
ManifestDPIAware true
InstallDir "$LOCALAPPDATA\Programs\Nuvalo"
; A reinstall goes where the last one went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Nuvalo"
VIAddVersionKey "FileDescription" "Nuvalo setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "The Nuvalo developers, MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION RunGame
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function RunGame
    SetOutPath "$INSTDIR"
    Exec '"$INSTDIR\nuvalo.exe"'
FunctionEnd

Section "Nuvalo" SecGame
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${STAGE}/nuvalo.exe"
    File "${STAGE}/README.txt"
    File "${STAGE}/LICENSE.txt"
    SetOutPath "$INSTDIR\Ton"
    File "${STAGE}/Ton/*.wav"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; CreateShortcut takes the current output folder as the working folder.
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\Nuvalo.lnk" "$INSTDIR\nuvalo.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Nuvalo"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Nuvalo developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\nuvalo.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    SectionGetSize ${SecGame} $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

    WriteRegStr HKCU "${RUN_EXT_KEY}" "" "${RUN_PROGID}"
    WriteRegStr HKCU "${RUN_EXT_KEY}" "Content Type" "application/x-nuvalo-run"
    WriteRegStr HKCU "${RUN_PROGID_KEY}" "" "Nuvalo run"
    WriteRegStr HKCU "${RUN_PROGID_KEY}\DefaultIcon" "" "$INSTDIR\nuvalo.exe,0"
    WriteRegStr HKCU "${RUN_PROGID_KEY}\shell\open\command" "" '"$INSTDIR\nuvalo.exe" --replay "%1"'
    ${NotifyShell_AssocChanged}
SectionEnd

Function un.onInit
    SetShellVarContext current
FunctionEnd

; Only what the installer put there: save.dat stays, and with it the folder
; (RMDir without /r leaves a folder that is not empty).
Section "Uninstall"
    Delete "$SMPROGRAMS\Nuvalo.lnk"
    Delete "$INSTDIR\nuvalo.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\Ton\*.wav"
    RMDir "$INSTDIR\Ton"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"

    ; .nuvrun goes only while it still names the game: another program the
    ; player gave it since keeps it.
    DeleteRegKey HKCU "${RUN_PROGID_KEY}"
    ReadRegStr $0 HKCU "${RUN_EXT_KEY}" ""
    StrCmp $0 "${RUN_PROGID}" 0 +2
        DeleteRegKey HKCU "${RUN_EXT_KEY}"
    ${NotifyShell_AssocChanged}
SectionEnd
