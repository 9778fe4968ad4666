; The installer of a release: finds Winamp's folder, puts in_voskel.dll into
; its Plugins folder and the archive libraries beside winamp.exe, and writes
; an uninstaller that removes what it added and nothing else. Each Winamp
; folder it installs into is an installation of its own, with its own entry
; in Windows' list of installed programs and its own uninstaller.
;
; Built by scripts/package.sh:
;   makensis -DVERSION=0.9 -DSTAGE=<folder of the release's files> -DOUT_FILE=<setup.exe> in_voskel.nsi

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include MUI2.nsh

!define UNINSTALL_ROOT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
; A folder's entry is the key below UNINSTALL_ROOT whose InstallLocation names
; that folder. This installer names it "in_voskel-" and a hash of the folder
; (ENTRY_PREFIX); installers before it wrote one key, "in_voskel" (OLD_ENTRY),
; for the last folder they installed into, which is still read as that
; folder's entry and gives way to one of the new kind when it is installed
; into again.
!define OLD_ENTRY "in_voskel"
!define ENTRY_PREFIX "in_voskel-"
!define OWN_ENTRY_KEY "${UNINSTALL_ROOT}\$OwnEntry"
!define WINAMP_WINDOW_CLASS "Winamp v1.x"
!define WINAMP_QUIT_COMMAND 40001
; The release's own files go into a folder of their own below Plugins, with
; the uninstaller; Winamp loads only in_*.dll files from Plugins itself.
!define OWN_FOLDER "Plugins\in_voskel"

Name "in_voskel ${VERSION}"
OutFile "${OUT_FILE}"
BrandingText "in_voskel ${VERSION}, archived songs for Winamp"
; Found in .onInit, unless /D= gave it.
InstallDir ""
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 ProductName "in_voskel"
VIAddVersionKey /LANG=1033 FileDescription "Installer of the in_voskel ${VERSION} Winamp plugin"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (c) 2026 the in_voskel authors. MIT licence"

Var WinampFolder
; The name of the folder's entry below UNINSTALL_ROOT, "" while it has none.
Var OwnEntry
; 1 where this installation put the library there itself, 0 where one was there before.
Var AddedUnzip32
Var AddedUnrar
; The directory page's line that says the folder holds no winamp.exe.
Var NoWinampLine

; The folder asked for is Winamp's own, not one for the plugin: the page, its
; heading and the Browse dialog say so, and a line of the page says why
; Install is disabled while the folder holds no winamp.exe.
!define MUI_PAGE_HEADER_TEXT "Choose Winamp's Folder"
!define MUI_PAGE_HEADER_SUBTEXT "Choose the folder Winamp is installed in, the one that holds winamp.exe."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts in_voskel.dll into the Plugins folder of the Winamp installation below, and unzip32.dll and unrar.dll beside its winamp.exe (one already there is kept).$\r$\n$\r$\nThe folder must hold winamp.exe."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Winamp's folder"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW AddNoWinampLine
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The progress page stays until Next, so that its lines (a library kept) can
; be read. Winamp loads its plugins when it starts, the new one only once
; Winamp starts again: the last page offers to start it, and to show the
; readme. A silent installation is shown no page, and so starts nothing.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_TITLE "in_voskel ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "in_voskel ${VERSION} is installed into the Winamp in $INSTDIR.$\r$\n$\r$\nWinamp loads its plugins when it starts: start it again to play MDZ and MDR files. If it was running, Setup has closed it."
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN "$INSTDIR\winamp.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Winamp"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\${OWN_FOLDER}\readme.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the readme"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION ShowReadme
!insertmacro MUI_PAGE_FINISH
!define MUI_UNCONFIRMPAGE_TEXT_TOP "This removes in_voskel.dll from the Plugins folder of the Winamp installation below, the archive libraries that its installation put beside winamp.exe, the folder Plugins\in_voskel and the entry in Windows' list of installed programs. Winamp, its settings and other plugins stay."
!define MUI_UNCONFIRMPAGE_TEXT_LOCATION "Winamp's folder:"
!define MUI_UNCONFIRMPAGE_VARIABLE $WinampFolder
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
; What the Browse button's dialog asks.
LangString ^DirBrowseText ${LANG_ENGLISH} "Select Winamp's folder, the one that holds winamp.exe:"

; ---- finding Winamp -------------------------------------------------------

; $0: a command line as Windows keeps it for an uninstaller, its program
; quoted or not. Out: $0, the folder of that program.
Function ProgramFolder
    StrCpy $1 $0 1
    ${If} $1 == '"'
        StrCpy $0 $0 "" 1
        StrCpy $2 0
        ${Do}
            StrCpy $1 $0 1 $2
            ${IfThen} $1 == '"' ${|} ${ExitDo} ${|}
            ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
            IntOp $2 $2 + 1
        ${Loop}
        StrCpy $0 $0 $2
    ${EndIf}
    ${GetParent} $0 $0
FunctionEnd

; Where Winamp's own installer records its folder, the first that holds
; winamp.exe; else the folder it installs into by default.
Function FindWinamp
    ReadRegStr $0 HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp" "UninstallString"
    ${If} $0 != ""
        Call ProgramFolder
        ${If} ${FileExists} "$0\winamp.exe"
            StrCpy $INSTDIR $0
            Return
        ${EndIf}
    ${EndIf}
    ReadRegStr $0 HKCU "Software\Winamp" ""
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\winamp.exe"
        StrCpy $INSTDIR $0
        Return
    ${EndIf}
    StrCpy $INSTDIR "$PROGRAMFILES32\Winamp"
FunctionEnd

Function .onInit
    ${If} $INSTDIR == ""
        Call FindWinamp
    ${EndIf}
    ; The page below lets a user choose another folder; a silent installation
    ; has no one to ask, and must not leave its files in the wrong place.
    ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
    ${AndIf} ${Silent}
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd

; Install stays disabled on the directory page until the folder holds
; winamp.exe, and meanwhile the page's line that says why is shown.
Function .onVerifyInstDir
    ${If} ${FileExists} "$INSTDIR\winamp.exe"
        ShowWindow $NoWinampLine ${SW_HIDE}
    ${Else}
        ShowWindow $NoWinampLine ${SW_SHOW}
        Abort
    ${EndIf}
FunctionEnd

; A line of its own on the directory page, between the folder's box and the
; space figures, in the page's font, hidden until .onVerifyInstDir shows it.
; Hiding it, rather than emptying it, has the page paint over its text.
Function AddNoWinampLine
    System::Call "*(i, i, i, i) p .r0"
    System::Call "user32::GetWindowRect(p $mui.DirectoryPage.DirectoryBox, p r0)"
    System::Call "user32::MapWindowPoints(p 0, p $mui.DirectoryPage, p r0, i 2)"
    System::Call "*$0(i .r1, i, i .r3, i .r4)"
    System::Call "user32::GetWindowRect(p $mui.DirectoryPage.SpaceRequired, p r0)"
    System::Call "user32::MapWindowPoints(p 0, p $mui.DirectoryPage, p r0, i 2)"
    System::Call "*$0(i, i .r5)"
    System::Free $0
    IntOp $3 $3 - $1
    IntOp $5 $5 - $4
    System::Call "user32::CreateWindowExW(i 0, w 'STATIC', w 'This folder holds no winamp.exe: choose the folder Winamp is installed in.', i ${WS_CHILD}|${SS_LEFTNOWORDWRAP}|${SS_NOPREFIX}, i r1, i r4, i r3, i r5, p $mui.DirectoryPage, p 0, p 0, p 0) p .s"
    Pop $NoWinampLine
    SendMessage $mui.DirectoryPage ${WM_GETFONT} 0 0 $0
    SendMessage $NoWinampLine ${WM_SETFONT} $0 1
    SetCtlColors $NoWinampLine C00000 transparent
FunctionEnd

; The readme opens in the program that opens text files, or in Notepad where
; none is set.
Function ShowReadme
    ClearErrors
    ExecShell "open" "$INSTDIR\${OWN_FOLDER}\readme.txt"
    ${If} ${Errors}
        Exec '"$WINDIR\notepad.exe" "$INSTDIR\${OWN_FOLDER}\readme.txt"'
    ${EndIf}
FunctionEnd

; ---- a running Winamp ------------------------------------------------------

; Winamp holds its plugins loaded, so their files cannot be replaced or
; removed while it runs: it is asked to quit first (silently without asking).
!macro DEFINE_CLOSE_WINAMP prefix program again
Function ${prefix}CloseWinamp
    FindWindow $0 "${WINAMP_WINDOW_CLASS}"
    ${If} $0 == 0
        Return
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONINFORMATION "Winamp is running. ${program} will close it now." /SD IDOK IDOK close
    SetErrorLevel 1
    Quit
close:
    SendMessage $0 ${WM_COMMAND} ${WINAMP_QUIT_COMMAND} 0 /TIMEOUT=5000
    ${For} $1 1 100
        Sleep 100
        FindWindow $0 "${WINAMP_WINDOW_CLASS}"
        ${If} $0 == 0
            Return
        ${EndIf}
    ${Next}
    MessageBox MB_OK|MB_ICONSTOP "Winamp did not close. Close it, then ${again}." /SD IDOK
    SetErrorLevel 2
    Quit
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_WINAMP "" "Setup" "run Setup again"
!insertmacro DEFINE_CLOSE_WINAMP "un." "The uninstaller" "uninstall in_voskel again"

; ---- the entry in Windows' list of installed programs ----------------------

; $0: a Winamp folder. Out: $OwnEntry, the name of the entry whose
; InstallLocation names that folder (in either case), or "".
!macro DEFINE_FIND_ENTRY prefix
Function ${prefix}FindEntry
    StrCpy $OwnEntry ""
    StrCpy $1 0
    ${Do}
        EnumRegKey $2 HKLM "${UNINSTALL_ROOT}" $1
        ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
        IntOp $1 $1 + 1
        StrLen $3 "${ENTRY_PREFIX}"
        StrCpy $3 $2 $3
        ${If} $2 == "${OLD_ENTRY}"
        ${OrIf} $3 == "${ENTRY_PREFIX}"
            ReadRegStr $3 HKLM "${UNINSTALL_ROOT}\$2" "InstallLocation"
            ${If} $3 == $0
                StrCpy $OwnEntry $2
                ${ExitDo}
            ${EndIf}
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_FIND_ENTRY ""
!insertmacro DEFINE_FIND_ENTRY "un."

; Out: $OwnEntry, a name for a new entry of $INSTDIR: ENTRY_PREFIX and eight
; hex digits of a hash of its lower-cased path, so that a folder's entry
; keeps its name from one installation to the next. Should another folder's
; entry have that name already, a number follows it. Uses $0 to $3.
Function NameNewEntry
    StrCpy $0 $INSTDIR
    System::Call 'user32::CharLowerW(w r0 r0)'
    StrLen $1 $0
    IntOp $1 $1 * 2
    StrCpy $2 0
    System::Call 'shlwapi::HashData(w r0, i r1, *i 0 r2, i 4)'
    IntFmt $2 "%08X" $2
    StrCpy $OwnEntry "${ENTRY_PREFIX}$2"
    StrCpy $1 1
    ${Do}
        ClearErrors
        EnumRegKey $3 HKLM "${OWN_ENTRY_KEY}" 0
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        IntOp $1 $1 + 1
        StrCpy $OwnEntry "${ENTRY_PREFIX}$2-$1"
    ${Loop}
FunctionEnd

; ---- installing ------------------------------------------------------------

; An archive library goes beside winamp.exe unless one is there already that
; an earlier installation of this plugin did not put there: that one belongs
; to the user or another plugin, and is neither replaced nor removed later.
!macro PLACE_LIBRARY file added_value variable
    StrCpy ${variable} 0
    ${If} ${FileExists} "$INSTDIR\${file}"
        ${If} $OwnEntry != ""
            ReadRegDWORD $1 HKLM "${OWN_ENTRY_KEY}" "${added_value}"
            ${IfThen} $1 == 1 ${|} StrCpy ${variable} 1 ${|}
        ${EndIf}
    ${Else}
        StrCpy ${variable} 1
    ${EndIf}
    ${If} ${variable} == 1
        File "${STAGE}\${file}"
    ${Else}
        DetailPrint "Kept the ${file} that was already beside winamp.exe"
    ${EndIf}
!macroend

; Adds to $5 the bytes of the files named ${mask} in ${folder} (and in its
; subfolders where ${below} is 1). Uses $0 to $2.
!macro ADD_SIZE folder mask below
    ${GetSize} "${folder}" "/M=${mask} /S=0B /G=${below}" $0 $1 $2
    IntOp $5 $5 + $0
!macroend

Section "in_voskel"
    Call CloseWinamp
    ; What an earlier installation into this folder recorded.
    StrCpy $0 $INSTDIR
    Call FindEntry
    SetOutPath "$INSTDIR\Plugins"
    File "${STAGE}\in_voskel.dll"
    SetOutPath "$INSTDIR"
    !insertmacro PLACE_LIBRARY unzip32.dll AddedUnzip32 $AddedUnzip32
    !insertmacro PLACE_LIBRARY unrar.dll AddedUnrar $AddedUnrar
    SetOutPath "$INSTDIR\${OWN_FOLDER}"
    File "${STAGE}\readme.txt"
    File "${STAGE}\LICENSE.txt"
    File "${STAGE}\unzip32-LICENSE.txt"
    File "${STAGE}\unrar-license.txt"
    WriteUninstaller "$INSTDIR\${OWN_FOLDER}\uninstall.exe"

    ; A folder without an entry of its own gets one; the earlier installers'
    ; entry gives way to it, removed only once the new one is written, so
    ; that the folder always has one.
    StrCpy $4 $OwnEntry
    ${If} $OwnEntry == "${OLD_ENTRY}"
    ${OrIf} $OwnEntry == ""
        Call NameNewEntry
    ${EndIf}
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "DisplayName" "in_voskel ${VERSION} (Winamp plugin, $INSTDIR)"
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "Publisher" "The in_voskel authors"
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "UninstallString" '"$INSTDIR\${OWN_FOLDER}\uninstall.exe"'
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "QuietUninstallString" '"$INSTDIR\${OWN_FOLDER}\uninstall.exe" /S'
    WriteRegDWORD HKLM "${OWN_ENTRY_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${OWN_ENTRY_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${OWN_ENTRY_KEY}" "AddedUnzip32" $AddedUnzip32
    WriteRegDWORD HKLM "${OWN_ENTRY_KEY}" "AddedUnrar" $AddedUnrar
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "DisplayIcon" "$INSTDIR\${OWN_FOLDER}\uninstall.exe"
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "Readme" "$INSTDIR\${OWN_FOLDER}\readme.txt"
    WriteRegStr HKLM "${OWN_ENTRY_KEY}" "HelpLink" "$INSTDIR\${OWN_FOLDER}\readme.txt"
    ; The size of what this installation added, in KB, rounded up.
    StrCpy $5 0
    !insertmacro ADD_SIZE "$INSTDIR\Plugins" in_voskel.dll 0
    !insertmacro ADD_SIZE "$INSTDIR\${OWN_FOLDER}" "*.*" 1
    ${If} $AddedUnzip32 == 1
        !insertmacro ADD_SIZE "$INSTDIR" unzip32.dll 0
    ${EndIf}
    ${If} $AddedUnrar == 1
        !insertmacro ADD_SIZE "$INSTDIR" unrar.dll 0
    ${EndIf}
    IntOp $5 $5 + 1023
    IntOp $5 $5 / 1024
    WriteRegDWORD HKLM "${OWN_ENTRY_KEY}" "EstimatedSize" $5
    ${If} $4 == "${OLD_ENTRY}"
        DeleteRegKey HKLM "${UNINSTALL_ROOT}\${OLD_ENTRY}"
    ${EndIf}
SectionEnd

; ---- uninstalling ----------------------------------------------------------

; The uninstaller sits in <Winamp>\Plugins\in_voskel; its confirmation page
; shows Winamp's folder.
Function un.onInit
    ${GetParent} $INSTDIR $0
    ${GetParent} $0 $WinampFolder
FunctionEnd

Section "Uninstall"
    Call un.CloseWinamp

    ; The entry of this folder's installation, and nobody else's, says which
    ; libraries it put there itself; without one, they all stay.
    StrCpy $0 $WinampFolder
    Call un.FindEntry
    ${If} $OwnEntry != ""
        ReadRegDWORD $AddedUnzip32 HKLM "${OWN_ENTRY_KEY}" "AddedUnzip32"
        ReadRegDWORD $AddedUnrar HKLM "${OWN_ENTRY_KEY}" "AddedUnrar"
    ${EndIf}
    ${If} $AddedUnzip32 == 1
        Delete "$WinampFolder\unzip32.dll"
    ${EndIf}
    ${If} $AddedUnrar == 1
        Delete "$WinampFolder\unrar.dll"
    ${EndIf}
    Delete "$WinampFolder\Plugins\in_voskel.dll"
    Delete "$INSTDIR\readme.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\unzip32-LICENSE.txt"
    Delete "$INSTDIR\unrar-license.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Only if empty: whatever else is in it is not ours.
    RMDir "$INSTDIR"
    ${If} $OwnEntry != ""
        DeleteRegKey HKLM "${OWN_ENTRY_KEY}"
    ${EndIf}
SectionEnd
