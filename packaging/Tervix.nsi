; The setup program people download and package managers run: it lays the files of
; Tervix into the install folder, lists them in "Uninstall.lst" for the uninstall, and
; then hands every choice to the program's own setup ("Uninstall.exe /setup"), whose
; exit code becomes its own. The program reads this installer's command line from
; "sfxcmd" (its /S makes the run silent) and a preset "Tervix.ini" beside it through
; "sfxname".
;
; Whom it installs for: /ALLUSERS (every account: "Program Files", the entry under HKLM)
; or /CURRENTUSER (the running account alone: "%LOCALAPPDATA%\Programs\Tervix", the
; entry under HKCU, no administrator rights). Without either, a run with administrator
; rights installs for every account, and one without them asks on its first page (a
; silent one installs for every account, as before). It asks Windows for the rights only
; for a machine-wide install: it starts as the user that started it and, for such an
; install, starts itself again elevated (Windows asks the user then) and waits for that
; run, whose exit code becomes its own.
;
; scripts/package.sh builds it with Debian's makensis:
;   makensis -DTVX_VERSION=X.Y.Z -DTVX_PAYLOAD=<payload.nsh> -DTVX_OUTFILE=<setup.exe>
;            -DTVX_ICON=<icon> packaging/Tervix.nsi
; where payload.nsh lists the staged files (TVX_STAGE, TvxPayloadFiles, TvxPayloadFolders,
; TvxPayloadFoldersDeepestFirst).

Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestSupportedOS all
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include "${TVX_PAYLOAD}"

; A new file waits under this suffix beside its place until every file is free.
!define NEW ".tvxnew"
!define LIST "Uninstall.lst"
!define ENTRY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tervix archiver"
!define ERROR_SHARING_VIOLATION 32
!define ERROR_LOCK_VIOLATION 33
!define TOKEN_QUERY 8
!define TOKEN_ELEVATION_TYPE 18
!define TOKEN_ELEVATION 20
!define ELEVATION_TYPE_LIMITED 3
; SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC
!define SEE_MASK_WAIT_FOR_PROCESS 0x140
!define EXIT_CANCELLED 1
!define EXIT_REFUSED 5
!define EXIT_FAILED 1603
!define EXIT_BUSY 1618
!define EXIT_RESTART_NEEDED 3010

Name "Tervix"
OutFile "${TVX_OUTFILE}"
Icon "${TVX_ICON}"
BrandingText "Tervix ${TVX_VERSION}"
AutoCloseWindow true
ShowInstDetails hide

VIProductVersion "${TVX_VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "Tervix"
VIAddVersionKey /LANG=1033 CompanyName "Norvane Labs"
VIAddVersionKey /LANG=1033 FileDescription "Tervix setup"
VIAddVersionKey /LANG=1033 FileVersion "${TVX_VERSION}"
VIAddVersionKey /LANG=1033 ProductVersion "${TVX_VERSION}"
VIAddVersionKey /LANG=1033 LegalCopyright "Norvane Labs"

LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LangString TextBusy ${LANG_ENGLISH} "Tervix is being set up or uninstalled already.$\n$\nRun this setup again once that has finished."
LangString TextNeedsAdmin ${LANG_ENGLISH} "Setting up Tervix for every user of this computer needs administrator rights.$\n$\nRun this setup as an administrator, or set Tervix up for yourself alone."
LangString TextScopeQuestion ${LANG_ENGLISH} "Whom do you set Tervix up for?"
LangString TextScopeJustMe ${LANG_ENGLISH} "&Only for me: in my own folders, without administrator rights"
LangString TextScopeEveryone ${LANG_ENGLISH} "For &everyone who uses this computer: needs administrator rights"
LangString TextInUse ${LANG_ENGLISH} "$INSTDIR\$0 is in use by another program, Tervix itself perhaps.$\n$\nClose that program and choose Retry, choose Ignore to replace the file when Windows restarts, or choose Abort to stop setup without changing anything."
LangString TextCannotStart ${LANG_ENGLISH} "Setup could not start $INSTDIR\Uninstall.exe, and Tervix is not set up."
LangString TextRestart ${LANG_ENGLISH} "Some files of Tervix are replaced when Windows restarts.$\n$\nRestart now?"

Page custom ScopePage ScopePageLeave
Page directory
Page instfiles

; Where this install goes and whom it is for: every user ("Program Files", the entry
; under HKLM) or the running account alone ("%LOCALAPPDATA%\Programs", the entry under
; HKCU); SHCTX follows the shell context that ChooseScope sets.
Var PerUser
; The program's switch for it, appended to /setup.
Var ScopeSwitch
; /CURRENTUSER or /ALLUSERS was given: the first page asks nothing.
Var ScopeGiven
; /D= named the folder: no scope changes it.
Var FolderGiven
; This run has administrator rights; or it has not, but its account could get them.
Var Elevated
Var CanElevate
; The name this installer holds for its whole run (see IsAnotherRunBusy).
Var Claim
Var ScopeJustMe
Var ScopeEveryone
; The folder held no earlier install: a setup that ends without the product set up
; takes its files away again.
Var Fresh
; The program's own exit code, which becomes the installer's.
Var Result

Function ChooseScope
  ${If} $PerUser = 1
    SetShellVarContext current
    StrCpy $ScopeSwitch " /currentuser"
  ${Else}
    SetShellVarContext all
    StrCpy $ScopeSwitch ""
  ${EndIf}
  ; /D= has set the folder already; otherwise an earlier install of the same scope is set
  ; up again where it is.
  ${If} $FolderGiven = 1
    Return
  ${EndIf}
  ; The program writes the folder with its closing backslash.
  ReadRegStr $INSTDIR SHCTX "${ENTRY}" "InstallLocation"
  StrCpy $0 $INSTDIR 1 -1
  StrLen $1 $INSTDIR
  ${If} $0 == "\"
  ${AndIf} $1 > 3
    StrCpy $INSTDIR $INSTDIR -1
  ${EndIf}
  ${If} $INSTDIR != ""
    Return
  ${EndIf}
  ${If} $PerUser = 1
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Tervix"
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES64\Tervix"
  ${EndIf}
FunctionEnd

; Whether this run has administrator rights ($Elevated), and, without them, whether its
; account is an administrator's whom Windows lets have them on asking ($CanElevate).
Function ReadRights
  StrCpy $Elevated 0
  StrCpy $CanElevate 0
  System::Call 'kernel32::GetCurrentProcess() p .r0'
  System::Call 'advapi32::OpenProcessToken(p r0, i ${TOKEN_QUERY}, *p .r1) i .r2'
  ${If} $2 = 0
    Return
  ${EndIf}
  System::Call 'advapi32::GetTokenInformation(p r1, i ${TOKEN_ELEVATION}, *i .r3, i 4, *i .r4) i .r2'
  ${If} $2 <> 0
  ${AndIf} $3 <> 0
    StrCpy $Elevated 1
  ${EndIf}
  System::Call 'advapi32::GetTokenInformation(p r1, i ${TOKEN_ELEVATION_TYPE}, *i .r3, i 4, *i .r4) i .r2'
  ${If} $2 <> 0
  ${AndIf} $3 = ${ELEVATION_TYPE_LIMITED}
    StrCpy $CanElevate 1
  ${EndIf}
  System::Call 'kernel32::CloseHandle(p r1)'
FunctionEnd

; A machine-wide install without the rights: this installer starts itself again with
; them, for every account and with the folder it was given, and ends with that run's
; exit code. It lets go of its name first, which that run takes. Returns (with the
; system's error in $0) only when that run could not be started: the user said no.
Function RestartElevated
  ${GetParameters} $R0
  StrCpy $R1 "/ALLUSERS /ELEVATED $R0"
  ${If} $FolderGiven = 1
    StrCpy $R1 "$R1 /D=$INSTDIR"
  ${EndIf}
  System::Call 'kernel32::CloseHandle(p $Claim)'
  System::Call '*(i 112, i ${SEE_MASK_WAIT_FOR_PROCESS}, p $HWNDPARENT, w "runas", w "$EXEPATH", w R1, w "$EXEDIR", i ${SW_SHOWNORMAL}, i 0, p 0, p 0, p 0, p 0, i 0, i 0, p 0, p 0) p .r1'
  System::Call 'shell32::ShellExecuteExW(p r1) i .r2 ?e'
  Pop $0
  System::Call '*$1(i, i, p, p, p, p, p, i, i, p, p, p, p, i, i, p, p .r3)'
  System::Free $1
  ${If} $2 = 0
    ; This run goes on: it holds its name again.
    System::Call 'kernel32::CreateMutexW(p 0, i 0, w "Global\Tervix.SetupProgram") p .s'
    Pop $Claim
    Return
  ${EndIf}
  HideWindow
  System::Call 'kernel32::WaitForSingleObject(p r3, i -1)'
  System::Call 'kernel32::GetExitCodeProcess(p r3, *i .r4)'
  System::Call 'kernel32::CloseHandle(p r3)'
  SetErrorLevel $4
  Quit
FunctionEnd

; Asks a user without administrator rights whom Tervix is for, unless the command line
; said it: for every account (Windows then asks for the rights), or for this account alone.
Function ScopePage
  ${If} $ScopeGiven = 1
  ${OrIf} $Elevated = 1
    Abort
  ${EndIf}
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "$(TextScopeQuestion)"
  Pop $0
  ${NSD_CreateRadioButton} 10u 26u -10u 14u "$(TextScopeJustMe)"
  Pop $ScopeJustMe
  ${NSD_CreateRadioButton} 10u 44u -10u 14u "$(TextScopeEveryone)"
  Pop $ScopeEveryone
  ; An administrator gets the rights on asking; anybody else keeps the install to themselves.
  ${If} $CanElevate = 1
    ${NSD_Check} $ScopeEveryone
  ${Else}
    ${NSD_Check} $ScopeJustMe
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ScopePageLeave
  ${NSD_GetState} $ScopeEveryone $0
  ${If} $0 = ${BST_CHECKED}
    Call RestartElevated
    MessageBox MB_OK|MB_ICONSTOP "$(TextNeedsAdmin)"
    Abort
  ${EndIf}
  StrCpy $PerUser 1
  Call ChooseScope
FunctionEnd

!macro TvxReturnIfHeld NAME
  System::Call 'kernel32::OpenMutexW(i 0x100000, i 0, w "${NAME}") p .r4'
  ${If} $4 P<> 0
    System::Call 'kernel32::CloseHandle(p r4)'
    Return
  ${EndIf}
!macroend

; $0 is 1 when another of these installers, or a run of the program (setup or uninstall),
; holds its name. This installer keeps its own name for its whole run.
Function IsAnotherRunBusy
  StrCpy $0 1
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "Global\Tervix.SetupProgram") p .r1 ?e'
  Pop $2
  StrCpy $Claim $1
  ${If} $2 = 183
    Return
  ${EndIf}
  !insertmacro TvxReturnIfHeld "Global\Tervix.SetupOrUninstall"
  !insertmacro TvxReturnIfHeld "Local\Tervix.SetupOrUninstall.Session"
  StrCpy $0 0
FunctionEnd

Function .onInit
  SetRegView 64
  StrCpy $FolderGiven 0
  ${If} $INSTDIR != ""
    StrCpy $FolderGiven 1
  ${EndIf}
  StrCpy $PerUser 0
  StrCpy $ScopeGiven 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $0
  ${IfNot} ${Errors}
    StrCpy $PerUser 1
    StrCpy $ScopeGiven 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $0
  ${IfNot} ${Errors}
    StrCpy $PerUser 0
    StrCpy $ScopeGiven 1
  ${EndIf}
  Call IsAnotherRunBusy
  ${If} $0 = 1
    MessageBox MB_OK|MB_ICONINFORMATION "$(TextBusy)" /SD IDOK
    SetErrorLevel ${EXIT_BUSY}
    Quit
  ${EndIf}
  Call ReadRights
  ; A machine-wide install that nobody is asked about (silent, or named on the command
  ; line) gets its rights now; the first page asks the others.
  ${If} $PerUser = 0
  ${AndIf} $Elevated = 0
    ClearErrors
    ${GetOptions} $R0 "/ELEVATED" $0
    ${IfNot} ${Errors}
      ; Started again for the rights, and still without them.
      MessageBox MB_OK|MB_ICONSTOP "$(TextNeedsAdmin)" /SD IDOK
      SetErrorLevel ${EXIT_REFUSED}
      Quit
    ${EndIf}
    ${If} ${Silent}
    ${OrIf} $ScopeGiven = 1
      Call RestartElevated
      MessageBox MB_OK|MB_ICONSTOP "$(TextNeedsAdmin)" /SD IDOK
      SetErrorLevel ${EXIT_REFUSED}
      Quit
    ${EndIf}
  ${EndIf}
  Call ChooseScope
FunctionEnd

; ---- The files ------------------------------------------------------------------------
; Nothing of an earlier install changes until every new file is extracted and every old
; one it replaces is free, so that stopping before then leaves that install as it was.

!macro TvxMakeFolder NAME
  CreateDirectory "$INSTDIR\${NAME}"
!macroend
!macro TvxExtract NAME SOURCE
  File "/oname=$INSTDIR\${NAME}${NEW}" "${TVX_STAGE}/${SOURCE}"
!macroend
!macro TvxWaitUntilFree NAME SOURCE
  StrCpy $0 "${NAME}"
  Call WaitUntilFree
!macroend
!macro TvxPlace NAME SOURCE
  StrCpy $0 "${NAME}"
  Call Place
!macroend
!macro TvxDiscardNew NAME SOURCE
  Delete "$INSTDIR\${NAME}${NEW}"
!macroend
!macro TvxRemoveFile NAME SOURCE
  Delete "$INSTDIR\${NAME}"
!macroend
!macro TvxRemoveFolder NAME
  RMDir "$INSTDIR\${NAME}"
!macroend
!macro TvxListFolder NAME
  FileWrite $1 "${NAME}$\r$\n"
!macroend
!macro TvxListFile NAME SOURCE
  !insertmacro TvxListFolder "${NAME}"
!macroend
!macro TvxMatchFolder NAME
  StrCmp $2 "${NAME}" payloadEntry
!macroend
!macro TvxMatchFile NAME SOURCE
  !insertmacro TvxMatchFolder "${NAME}"
!macroend

; Takes away what a fresh install has laid down: the folder goes when nothing else is in it.
Function RemovePayload
  !insertmacro TvxPayloadFiles TvxDiscardNew
  !insertmacro TvxPayloadFiles TvxRemoveFile
  Delete "$INSTDIR\${LIST}"
  Delete "$INSTDIR\${LIST}${NEW}"
  !insertmacro TvxPayloadFoldersDeepestFirst TvxRemoveFolder
  ; No process may keep the folder as its current one.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
FunctionEnd

; Stopped by the user before anything of an earlier install was replaced.
Function StopUnchanged
  ${If} $Fresh = 1
    Call RemovePayload
  ${Else}
    !insertmacro TvxPayloadFiles TvxDiscardNew
  ${EndIf}
  SetErrorLevel ${EXIT_CANCELLED}
  Quit
FunctionEnd

; $0: a file to replace. A program that holds it open (the main program running, say)
; keeps it from being replaced: the user is told and may retry, leave the file for the
; next restart, or stop. A silent run leaves it for the restart.
Function WaitUntilFree
  ${IfNot} ${FileExists} "$INSTDIR\$0"
    Return
  ${EndIf}
  retry:
  ; Asking for write access fails for a file held without write sharing, and for a
  ; running program's file; it changes nothing.
  System::Call 'kernel32::CreateFileW(w "$INSTDIR\$0", i 0x40000000, i 7, p 0, i 3, i 0, p 0) p .r1 ?e'
  Pop $2
  ${If} $1 P<> -1
    System::Call 'kernel32::CloseHandle(p r1)'
    Return
  ${EndIf}
  ${If} $2 <> ${ERROR_SHARING_VIOLATION}
  ${AndIf} $2 <> ${ERROR_LOCK_VIOLATION}
    Return
  ${EndIf}
  MessageBox MB_ABORTRETRYIGNORE|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "$(TextInUse)" /SD IDIGNORE IDRETRY retry IDIGNORE ignore
  Call StopUnchanged
  ignore:
FunctionEnd

; $0: a file whose new version waits beside it. One that is still held is replaced at the
; next restart, as Windows installers do.
Function Place
  ${If} ${FileExists} "$INSTDIR\$0"
    SetFileAttributes "$INSTDIR\$0" NORMAL
    ClearErrors
    Delete "$INSTDIR\$0"
    ${If} ${Errors}
      Rename /REBOOTOK "$INSTDIR\$0${NEW}" "$INSTDIR\$0"
      DetailPrint "replaced when Windows restarts: $INSTDIR\$0"
      Return
    ${EndIf}
  ${EndIf}
  ; Without the old file the move cannot fail for its sake; should it fail all the same,
  ; the restart finishes it rather than leave the file missing.
  Rename /REBOOTOK "$INSTDIR\$0${NEW}" "$INSTDIR\$0"
FunctionEnd

; $2: a line of an earlier list, trimmed. Sets $3 to 1 when this version lists it anyway.
Function IsPayloadEntry
  StrCpy $3 1
  StrCmp $2 "${LIST}" payloadEntry
  !insertmacro TvxPayloadFolders TvxMatchFolder
  !insertmacro TvxPayloadFiles TvxMatchFile
  StrCpy $3 0
  payloadEntry:
FunctionEnd

; "Uninstall.lst", in the system's ANSI code page as the program reads it: every folder
; and file this setup laid down, the list itself, and what an earlier version listed that
; is still there and that this version no longer ships, so that the uninstall takes it too.
Function WriteFileList
  FileOpen $1 "$INSTDIR\${LIST}${NEW}" w
  !insertmacro TvxPayloadFolders TvxListFolder
  !insertmacro TvxPayloadFiles TvxListFile
  FileWrite $1 "${LIST}$\r$\n"
  ClearErrors
  FileOpen $0 "$INSTDIR\${LIST}" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileRead $0 $2
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      ; The program trims the same characters from the end of a line.
      ${Do}
        StrCpy $3 $2 1 -1
        ${If} $3 == "$\r"
        ${OrIf} $3 == "$\n"
        ${OrIf} $3 == " "
        ${OrIf} $3 == "$\t"
          StrCpy $2 $2 -1
        ${Else}
          ${Break}
        ${EndIf}
      ${Loop}
      ${If} $2 != ""
        Call IsPayloadEntry
        ${If} $3 = 0
        ${AndIf} ${FileExists} "$INSTDIR\$2"
          FileWrite $1 "$2$\r$\n"
        ${EndIf}
      ${EndIf}
    ${Loop}
    FileClose $0
  ${EndIf}
  FileClose $1
  Delete "$INSTDIR\${LIST}"
  Rename "$INSTDIR\${LIST}${NEW}" "$INSTDIR\${LIST}"
FunctionEnd

; ---- The program's setup --------------------------------------------------------------

; Splits the next argument off $R0 as the program splits its own command line: blanks and
; tabs separate arguments outside quotation marks, which group and are dropped. $R1 gets it.
Function NextArgument
  StrCpy $R1 ""
  StrCpy $R2 0
  ${Do}
    StrCpy $R3 $R0 1
    ${If} $R3 != " "
    ${AndIf} $R3 != "$\t"
      ${Break}
    ${EndIf}
    StrCpy $R0 $R0 "" 1
  ${Loop}
  ${Do}
    StrCpy $R3 $R0 1
    ${If} $R3 == ""
      ${Break}
    ${EndIf}
    ${If} $R2 = 0
      ${If} $R3 == " "
      ${OrIf} $R3 == "$\t"
        ${Break}
      ${EndIf}
    ${EndIf}
    StrCpy $R0 $R0 "" 1
    ${If} $R3 == '"'
      IntOp $R2 $R2 ^ 1
    ${Else}
      StrCpy $R1 "$R1$R3"
    ${EndIf}
  ${Loop}
FunctionEnd

; The program's command line: /setup, and this installer's -init option string and
; /log= file, which the program takes only from its own command line.
Function ProgramCommandLine
  StrCpy $R5 '"$INSTDIR\Uninstall.exe" /setup$ScopeSwitch'
  ${GetParameters} $R0
  ${Do}
    Call NextArgument
    StrCpy $R4 $R1 5
    ${If} $R4 == "-init"
    ${OrIf} $R4 == "/log="
      StrCpy $R5 '$R5 "$R1"'
    ${EndIf}
  ${LoopUntil} $R0 == ""
FunctionEnd

; The program's setup shows its own dialogs (or none when this run is silent) and writes
; the entry in Installed apps; the installer waits for it and takes its exit code.
Function RunProgramSetup
  ; The program finds a preset "Tervix.ini" beside this file, and this command line.
  StrCpy $0 $EXEPATH
  System::Call 'kernel32::SetEnvironmentVariableW(w "sfxname", w r0)'
  StrCpy $0 $CMDLINE
  System::Call 'kernel32::SetEnvironmentVariableW(w "sfxcmd", w r0)'
  Call ProgramCommandLine
  ; The program asks Windows for the highest rights the user has; an install for the
  ; account alone needs none, and an administrator is not asked for them.
  ${If} $PerUser = 1
    System::Call 'kernel32::SetEnvironmentVariableW(w "__COMPAT_LAYER", w "RunAsInvoker")'
  ${EndIf}
  SetOutPath "$INSTDIR"
  HideWindow
  ClearErrors
  ExecWait $R5 $Result
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(TextCannotStart)" /SD IDOK
    StrCpy $Result ${EXIT_FAILED}
  ${EndIf}
FunctionEnd

; Whether the program wrote the entry of this install in Installed apps: from then on the
; product is the entry's to remove, however its setup ended.
Function IsEntryOfThisFolder
  ReadRegStr $0 SHCTX "${ENTRY}" "InstallLocation"
  ${If} $0 == $INSTDIR
  ${OrIf} $0 == "$INSTDIR\"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
FunctionEnd

Section
  StrCpy $Fresh 1
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    StrCpy $Fresh 0
  ${EndIf}
  SetOutPath "$INSTDIR"
  !insertmacro TvxPayloadFolders TvxMakeFolder
  !insertmacro TvxPayloadFiles TvxExtract
  !insertmacro TvxPayloadFiles TvxWaitUntilFree
  !insertmacro TvxPayloadFiles TvxPlace
  Call WriteFileList

  Call RunProgramSetup
  ${If} $Result <> 0
    Call IsEntryOfThisFolder
    ${If} $Fresh = 1
    ${AndIf} $0 = 0
      Call RemovePayload
    ${EndIf}
  ${ElseIf} ${RebootFlag}
    MessageBox MB_YESNO|MB_ICONQUESTION "$(TextRestart)" /SD IDNO IDNO +2
    Reboot
    StrCpy $Result ${EXIT_RESTART_NEEDED}
  ${EndIf}
  SetErrorLevel $Result
SectionEnd
