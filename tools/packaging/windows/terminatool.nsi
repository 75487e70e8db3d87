; The setup program of TerminaTool for Windows: the program, the driver
; TERMINA-1.dll and the C++ runtime DLLs they need, a Start-menu entry, an
; entry in the list of installed programs and an uninstaller.  `/S` installs
; (and, for Uninstall.exe, removes) silently.
;
; tools/windows builds it with Debian's makensis:
;
;   makensis -DVERSION=1.0.0 -DFILES=<folder of TerminaTool.exe> -DOUTFILE=<setup.exe>
;            [-DARCH=64] [-DPUBLISHER=...] [-DICON=<program icon>] [-DCOMPRESSOR=zlib]
;            terminatool.nsi
;
; FILES holds TerminaTool.exe, TERMINA-1.dll and the runtime DLLs (the bin
; folder of the zip).  The shipped setup is the 32-bit one; ARCH=64 makes a
; 64-bit setup of the 64-bit build, which installs into the 64-bit program
; folder.
Unicode true

!ifndef VERSION | FILES | OUTFILE
  !error "VERSION, FILES and OUTFILE must be defined (-DVERSION=... -DFILES=... -DOUTFILE=...)"
!endif
!ifndef ARCH
  !define ARCH 32
!endif
!ifndef PUBLISHER
  !define PUBLISHER "Termina developers"
!endif
; The smallest setup by default; a quicker one for trying it.
!ifndef COMPRESSOR
  !define COMPRESSOR "/SOLID lzma"
!endif

!if ${ARCH} == 64
  Target amd64-unicode
  !define PROGRAMS_DIR "$PROGRAMFILES64"
!else
  !define PROGRAMS_DIR "$PROGRAMFILES"
!endif

; The driver reads its settings from this very path, whatever the system's
; program folder is called, so the folder is created under this name.
!define INI_DIR "C:\Program Files\Orvelsoft"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TerminaTool"
!define SHORTCUT "$SMPROGRAMS\TerminaTool.lnk"

Name "TerminaTool ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS_DIR}\TerminaTool"
; A second install goes where the first one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor ${COMPRESSOR}
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_FINISHPAGE_RUN "$INSTDIR\TerminaTool.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "TerminaTool"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Установка TerminaTool"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "${PUBLISHER}"

; The installed files; the uninstaller removes these names and no others.
; The GCC support library is libgcc_s_dw2-1.dll in a 32-bit build and
; libgcc_s_seh-1.dll in a 64-bit one.
!macro ProgramFiles how
  !insertmacro ${how} "TerminaTool.exe"
  !insertmacro ${how} "TERMINA-1.dll"
  !insertmacro ${how} "libstdc++-6.dll"
  !insertmacro ${how} "libwinpthread-1.dll"
  !if /FileExists "${FILES}\libgcc_s_dw2-1.dll"
    !insertmacro ${how} "libgcc_s_dw2-1.dll"
  !endif
  !if /FileExists "${FILES}\libgcc_s_seh-1.dll"
    !insertmacro ${how} "libgcc_s_seh-1.dll"
  !endif
!macroend
!macro Put name
  File "${FILES}\${name}"
!macroend
!macro Remove name
  Delete "$INSTDIR\${name}"
!macroend

Section "TerminaTool"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  !insertmacro ProgramFiles Put
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateDirectory "${INI_DIR}"
  ; Every user of the computer sets the port, speed and password in this one
  ; file, and the driver in their point-of-sale programs reads it.  Without
  ; the right to change it, Windows would send an ordinary user's changes to
  ; a copy of their own that no other program reads.  The group is named by
  ; its number (Users), which is the same in every language of Windows.
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${INI_DIR}" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0
  CreateShortcut "${SHORTCUT}" "$INSTDIR\TerminaTool.exe" "" "$INSTDIR\TerminaTool.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "TerminaTool"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TerminaTool.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The INI file stays: it holds the user's port, speed and password, which
; the driver and other programs using it share.  Its folder goes only when
; nothing is left in it.
Section "Uninstall"
  SetShellVarContext all
  Delete "${SHORTCUT}"
  !insertmacro ProgramFiles Remove
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "${INI_DIR}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
