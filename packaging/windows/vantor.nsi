; The Windows installer: Vantor-<version>-setup.exe from the staged folder.
;   makensis -DSTAGE=<build/windows/Vantor> -DOUTFILE=<setup.exe> [-DVERSION=1.5] vantor.nsi
; Installs for the current user into %LOCALAPPDATA%\Programs\Vantor, or with
; /ALLUSERS (as an administrator) for everyone into Program Files; /S is
; silent and /D=<folder> picks the folder. Over an existing installation it
; first runs that one's own uninstaller silently, which keeps the user's data,
; so an upgrade replaces exactly the old program's files.
Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef STAGE | OUTFILE
  !error "usage: makensis -DSTAGE=<staged folder> -DOUTFILE=<setup.exe> [-DVERSION=x.y] vantor.nsi"
!endif
!ifndef VERSION
  !define VERSION 1.5
!endif
!define PUBLISHER "The Vantor team"
!define UNINSTALL_PARENT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALL_PARENT}\Vantor"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\Vantor.lnk"
; In the uninstall key, what the first installation made beside its own:
; the outermost new folder, and 1 when it made UNINSTALL_PARENT.
!define CREATED_FOLDER "VantorCreatedFolder"
!define CREATED_KEY "VantorCreatedKey"
; The user's own data, which the uninstaller keeps unless told otherwise.
!define DATA_KEY "Software\VTR"
!define PASSWORD_KEY "AppEvents\Schemes\Apps\System"
!define PASSWORD_VALUE "configuration"
!define PROTECTION_VALUE "ok"

!tempfile FILES
; makensis runs in this script's folder.
!system '"./files.sh" "${STAGE}" > "${FILES}"' = 0
!include "${FILES}"
!delfile "${FILES}"

!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh

Name "Vantor ${VERSION}"
OutFile "${OUTFILE}"
InstallDir ""
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey ProductName "Vantor"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "Vantor setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vantor.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

Var AllUsers ; " /ALLUSERS" for an installation for everyone, else empty

; Sets $AllUsers and the shell context from the command line; with /ALLUSERS
; stops unless the process is an administrator's.
!macro ChooseScope un
Function ${un}ChooseScope
  StrCpy $AllUsers ""
  SetShellVarContext current
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    UserInfo::GetAccountType
    Pop $R1
    ${If} $R1 != "Admin"
      MessageBox MB_ICONSTOP|MB_OK "/ALLUSERS needs an administrator: run this program as one." /SD IDOK
      SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
    StrCpy $AllUsers " /ALLUSERS"
    SetShellVarContext all
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ChooseScope ""
!insertmacro ChooseScope "un."

; The outermost folder of $INSTDIR that the installer makes, or "" when
; $INSTDIR exists; the uninstaller removes the folders up to it when empty.
Function OutermostNewFolder
  StrCpy $R0 ""
  StrCpy $R1 $INSTDIR
  ${Do}
    ${If} $R1 == ""
    ${OrIf} ${FileExists} "$R1\*.*"
      ${ExitDo}
    ${EndIf}
    StrCpy $R0 $R1
    ${GetParent} $R1 $R1
  ${Loop}
FunctionEnd

Function .onInit
  Call ChooseScope
  ; /D= sets $INSTDIR before this; otherwise upgrade where the program is.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" InstallLocation
  ${EndIf}
  ${If} $INSTDIR == ""
  ${AndIf} $AllUsers == ""
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Vantor"
  ${ElseIf} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES64\Vantor"
  ${EndIf}
FunctionEnd

Section "Vantor"
  Call OutermostNewFolder
  ClearErrors
  EnumRegKey $R3 SHCTX "${UNINSTALL_PARENT}" 0
  ${If} ${Errors}
    StrCpy $R3 1
  ${Else}
    StrCpy $R3 0
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" ${CREATED_FOLDER}
    ReadRegStr $R3 SHCTX "${UNINSTALL_KEY}" ${CREATED_KEY}
    DetailPrint "Removing the installed version from $INSTDIR"
    ; _? runs it in place and waits; silent, it keeps the user's data.
    ExecWait '"$INSTDIR\${UNINSTALLER}" /S$AllUsers _?=$INSTDIR' $R2
    ${If} $R2 != 0
      MessageBox MB_ICONSTOP|MB_OK "The installed version in $INSTDIR could not be removed (exit status $R2); nothing was changed." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    Delete "$INSTDIR\${UNINSTALLER}"
  ${EndIf}
  SetOverwrite on
  !insertmacro InstallFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\Vantor.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "Vantor"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Vantor.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\${UNINSTALLER}"$AllUsers'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\${UNINSTALLER}" /S$AllUsers'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize ${SIZE_KB}
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
  WriteRegStr SHCTX "${UNINSTALL_KEY}" ${CREATED_FOLDER} $R0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" ${CREATED_KEY} $R3
SectionEnd

Function un.onInit
  Call un.ChooseScope
FunctionEnd

Section "Uninstall"
  !insertmacro RemoveFiles
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" ${CREATED_FOLDER}
  StrCpy $R1 $INSTDIR
  ${Do}
    ${If} $R0 == ""
    ${OrIf} $R1 == $R0
    ${OrIf} $R1 == ""
      ${ExitDo}
    ${EndIf}
    ${GetParent} $R1 $R1
    RMDir $R1
  ${Loop}
  Delete "${SHORTCUT}"
  ReadRegStr $R3 SHCTX "${UNINSTALL_KEY}" ${CREATED_KEY}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${If} $R3 == 1
    DeleteRegKey /ifempty SHCTX "${UNINSTALL_PARENT}"
  ${EndIf}
  ; The user's data stays unless the user asks otherwise; silent, it stays.
  SetShellVarContext current
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Also remove your own Vantor data: your settings and presets (Software\VTR), your password and the copies kept before deletes ($LOCALAPPDATA\Vantor\deleted)?" \
    /SD IDNO IDNO done
  DeleteRegKey HKCU "${DATA_KEY}"
  DeleteRegKey HKLM "${DATA_KEY}"
  DeleteRegValue HKCU "${PASSWORD_KEY}" "${PASSWORD_VALUE}"
  DeleteRegValue HKCU "${PASSWORD_KEY}" "${PROTECTION_VALUE}"
  RMDir /r "$LOCALAPPDATA\Vantor\deleted"
  RMDir "$LOCALAPPDATA\Vantor"
  done:
SectionEnd
