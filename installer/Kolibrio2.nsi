; Installer of Kolibrio 2, built on Linux with makensis by installer/build-release.sh.
; Defines given by that script:
;   TARGET   NSIS stub: x86-unicode (shipped) or amd64-unicode (tests on
;            machines whose Wine runs only 64-bit programs)
;   STAGE    folder with the files that go beside the executable
;   EXE32    the 32-bit program, installed on 32-bit Windows
;   EXE64    the 64-bit program, installed on 64-bit Windows
;   FILES    generated list of File commands for STAGE
;   UNFILES  generated list of Delete/RMDir commands for the same files
;   LICENCE  the licence text for the licence page (UTF-8 with BOM)
;   ICON     the program's icon
;   OUTFILE  the installer to write
;
; Where settings live: the installed program keeps each user's setting.ini in
; that user's profile (%APPDATA%\Kolibrio 2), made at the user's first start
; from the setting.ini installed here (or the user's VirtualStore copy of an
; earlier 32-bit installation); its counters are under HKEY_LOCAL_MACHINE,
; and it must work for a standard user.
;  - The counters key is made writable for the Users group here. Nothing in
;    it is ever executed, so the grant cannot be used to gain rights, and
;    the counts stay one per installation, next to the installation's ID.
;  - The program folder is NOT made writable: a folder that users may write
;    to would let any of them replace Kolibrio2.exe or plant a DLL beside it,
;    which the autorun value then starts in every user's session, an
;    administrator's included.
;  - The Run value under HKEY_LOCAL_MACHINE is machine-wide and stays an
;    administrator's choice, made here.
;  - Registry view: every key is written in the view of the program that is
;    installed (the 64-bit view on 64-bit Windows), so the counters are the
;    ones the installed program reads and increments, and the Run value is
;    the one it keeps up to date.

Target ${TARGET}
Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Kolibrio 2"
!define VERSION "2.1"
!define PUBLISHER "TB-Venor"
!define EXE "Kolibrio2.exe"
!define COUNTERS_KEY "SOFTWARE\TB-Venor\Kolibrio 2"
!define VENDOR_KEY "SOFTWARE\TB-Venor"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Kolibrio2"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kolibrio2"
; The hidden window of the program's single-instance guard: a message-only
; window whose class is the guard's name.
!define GUARD_CLASS "Kolibrio2_TB-Venor"
!define END_WAIT_MS 20000
!define /math END_WAIT_STEPS ${END_WAIT_MS} / 100

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "2.1.0.0"
VIAddVersionKey /LANG=1029 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1029 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1029 "FileDescription" "Instalace programu ${PRODUCT}"
VIAddVersionKey /LANG=1029 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1029 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1029 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Spustit ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartUnelevated
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Czech"

; Without /D the folder is the earlier installation's, or Program Files of
; the installed program's kind.
Function .onInit
  StrCpy $1 "$INSTDIR"
  ${If} ${RunningX64}
    SetRegView 64
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
  ${If} $1 != "$PROGRAMFILES\${PRODUCT}"
    StrCpy $INSTDIR $1  ; chosen with /D
  ${EndIf}
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

; A running copy holds the program's file and would go on writing its
; settings: before anything is replaced or removed it is asked to end, as
; "Ukončit" ends it but without the question (an import in progress ends as
; cancelled, leaving no partial copy), and waited for. A copy that does not
; end stops the installer or the uninstaller before it has changed anything.
!macro END_RUNNING_PROGRAM UN WHAT
Function ${UN}EndRunningProgram
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $1 0  ; 0: every copy asked has ended
  ; After a hand-over that timed out two copies can run; each is asked.
  ${For} $3 1 5
    System::Call 'user32::FindWindowExW(p -3, p 0, w "${GUARD_CLASS}", p 0) p .r0'  ; HWND_MESSAGE
    ${IfThen} $0 P= 0 ${|} ${Break} ${|}
    DetailPrint "Ukončování programu ${PRODUCT}..."
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1) i'
    ; SYNCHRONIZE: the end of the process, not of its window, frees its files.
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i 0x0010, p 0, p 0) i'  ; WM_CLOSE
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${END_WAIT_MS}) i .r1'  ; 0: it ended
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; Without a handle of the process, its window going is what is seen.
      StrCpy $1 1
      ${For} $4 1 ${END_WAIT_STEPS}
        System::Call 'user32::IsWindow(p r0) i .r2'
        ${If} $2 = 0
          StrCpy $1 0
          Sleep 500  ; the process ends a moment after its window
          ${Break}
        ${EndIf}
        Sleep 100
      ${Next}
    ${EndIf}
    ${IfThen} $1 <> 0 ${|} ${Break} ${|}
  ${Next}
  ${If} $1 = 0
    System::Call 'user32::FindWindowExW(p -3, p 0, w "${GUARD_CLASS}", p 0) p .r0'
    ${If} $0 P<> 0
      StrCpy $1 1
    ${EndIf}
  ${EndIf}
  ${If} $1 <> 0
    MessageBox MB_OK|MB_ICONSTOP "Program ${PRODUCT} je spuštěn a nepodařilo se jej ukončit.$\r$\nUkončete jej (v nabídce jeho ikony v oznamovací oblasti zvolte Ukončit) a spusťte ${WHAT} znovu." /SD IDOK
    Abort "Program ${PRODUCT} je spuštěn a nepodařilo se jej ukončit."
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro END_RUNNING_PROGRAM "" "instalaci"
!insertmacro END_RUNNING_PROGRAM "un." "odinstalaci"

; The installer runs elevated; started from here directly, the program would
; be too, as the administrator rather than the user who installs. Explorer
; starts it with the user's own rights.
Function StartUnelevated
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${EXE}"'
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call EndRunningProgram
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "/oname=${EXE}" "${EXE64}"
  ${Else}
    File "/oname=${EXE}" "${EXE32}"
  ${EndIf}
  ; The first start already has the factory settings; an upgrade keeps the
  ; user's own.
  SetOverwrite off
  File "/oname=setting.ini" "${STAGE}\setting_def.ini"
  SetOverwrite on
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The program only ever increments these; an installation that is
  ; upgraded keeps its counts and its ID, a counter of the wrong kind is
  ; made a number again.
  ClearErrors
  ReadRegDWORD $0 HKLM "${COUNTERS_KEY}" "runcount"
  ${If} ${Errors}
    WriteRegDWORD HKLM "${COUNTERS_KEY}" "runcount" 0
  ${EndIf}
  ClearErrors
  ReadRegDWORD $0 HKLM "${COUNTERS_KEY}" "copycount"
  ${If} ${Errors}
    WriteRegDWORD HKLM "${COUNTERS_KEY}" "copycount" 0
  ${EndIf}
  ReadRegStr $0 HKLM "${COUNTERS_KEY}" "ID"
  ${If} $0 == ""
    System::Call 'ole32::CoCreateGuid(g .r1) i .r2'
    ${If} $2 != 0
    ${OrIf} $1 == ""
      Abort "Nelze vytvořit identifikátor instalace."
    ${EndIf}
    StrCpy $1 $1 36 1  ; without the braces
    WriteRegStr HKLM "${COUNTERS_KEY}" "ID" $1
  ${EndIf}
  Call GrantUsersCounters

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "Spouštět při startu Windows" SecAutorun
  ; Quoted: the value is a command line and the folder may hold blanks.
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${EXE}"'
SectionEnd

Section "Zástupce v nabídce Start" SecStartMenu
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Odinstalovat ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"
SectionEnd

; Users get full access to the counters key (the program opens it for full
; access); the inherited entries stay as they are. The key is opened in the
; registry view it was written in (the installed program's): a name alone
; would be looked up in the installer's own 32-bit view on 64-bit Windows,
; where there is no such key.
Function GrantUsersCounters
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "D:(A;CI;KA;;;BU)", i 1, *p .r1, p 0) i .r0'
  ${If} $0 == 0
    Abort "Nelze nastavit práva klíče ${COUNTERS_KEY}."
  ${EndIf}
  System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
  StrCpy $6 0x00040000  ; WRITE_DAC
  ${If} ${RunningX64}
    IntOp $6 $6 | 0x0100  ; KEY_WOW64_64KEY
  ${EndIf}
  ; HKEY_LOCAL_MACHINE, sign-extended as Windows defines it.
  System::Call 'advapi32::RegOpenKeyExW(p -2147483646, w "${COUNTERS_KEY}", i 0, i r6, *p .r7) i .r5'
  ${If} $5 = 0
    ; SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION
    System::Call 'advapi32::SetSecurityInfo(p r7, i 4, i 0x20000004, p 0, p 0, p r3, p 0) i .r5'
    System::Call 'advapi32::RegCloseKey(p r7)'
  ${EndIf}
  System::Call 'kernel32::LocalFree(p r1)'
  ${If} $5 != 0
    Abort "Nelze nastavit práva klíče ${COUNTERS_KEY} (chyba $5)."
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.EndRunningProgram
  ; Only what the installer put here, plus the settings the program wrote;
  ; anything else in the folder (photos imported into it, for one) stays,
  ; and so does the folder then.
  !include "${UNFILES}"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\setting.ini"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${COUNTERS_KEY}"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  DeleteRegKey HKLM "${UNINST_KEY}"

  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Odinstalovat ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
SectionEnd
