; Bilhetor's Windows installer (NSIS 3, MUI2, Brazilian Portuguese pages).
;
; Built by the Windows build's target bilhetor_instalador
; (cmake/InstaladorWindows.cmake), which stages the files and runs
;   makensis -INPUTCHARSET UTF8 -DVERSAO=<x.y.z> -DPASTA=<staging folder> -DSAIDA=<setup.exe> bilhetor.nsi
; The staging folder (an absolute path: makensis works from the script's
; folder) holds the stripped programs and the examples with CRLF line ends;
; everything this script packs comes from there.
;
; Command line (besides NSIS's own /S and /D=<folder>):
;   setup.exe /S /SEMINICIAR            do not start Bilhetor with Windows
;   desinstalar.exe /S /REMOVERCONFIG   also remove the shop's settings in C:\bkp
; Exit code 3: a running Bilhetor did not end when asked; nothing was changed.

Unicode true
; A 64-bit installer: the programs are 64-bit, they go under the 64-bit
; Program Files, and the registry is seen without WOW64 redirection.
Target amd64-unicode

!ifndef VERSAO
  !error "Pass the version: makensis -DVERSAO=x.y.z -DPASTA=<staging folder>"
!endif
!ifndef PASTA
  !error "Pass the staging folder: makensis -DPASTA=<folder> (the build's instalador folder)"
!endif
!define /ifndef SAIDA "bilhetor-${VERSAO}-setup.exe"

; The shop's settings folder. The copy under Program Files reads sys.txt,
; banco.txt and keeps bilhetor.ini there: Program Files is not writable by
; the shop's user, and a folder made at the root of C: inherits write access
; for authenticated users.
!define CONFIG "C:\bkp"
; The sound the window plays, at the fixed place the program opens it from.
!define PASTA_SOM "C:\Vialto\Musica"
!define CHAVE_DESINSTALAR "Software\Microsoft\Windows\CurrentVersion\Uninstall\Bilhetor"
!define CHAVE_RUN "Software\Microsoft\Windows\CurrentVersion\Run"
!define DESINSTALADOR "desinstalar.exe"
!define MENU "$SMPROGRAMS\Bilhetor"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

Name "Bilhetor ${VERSAO}"
OutFile "${SAIDA}"
InstallDir "$PROGRAMFILES64\Bilhetor"
; A reinstall goes where the previous install went (unless /D= says otherwise).
InstallDirRegKey HKLM "${CHAVE_DESINSTALAR}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText "Bilhetor ${VERSAO}"

; The version as Windows shows it in the file's properties: four numbers
; ("1.2" is 1.2.0.0, "0.1.0" is 0.1.0.0).
!searchparse "${VERSAO}.0.0." "" V_MAIOR "." V_MENOR "." V_REVISAO "."
VIProductVersion "${V_MAIOR}.${V_MENOR}.${V_REVISAO}.0"
VIFileVersion "${V_MAIOR}.${V_MENOR}.${V_REVISAO}.0"

; The program's icon.
!define MUI_ICON "${PASTA}/bilhetor.ico"
!define MUI_UNICON "${PASTA}/bilhetor.ico"

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
; Where the operator chooses whether the shop's settings go too.
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "PortugueseBR"

VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "ProductName" "Bilhetor"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "ProductVersion" "${VERSAO}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "FileVersion" "${VERSAO}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "FileDescription" "Instalador do Bilhetor"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "CompanyName" "Bilhetor"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "LegalCopyright" "Bilhetor"

; A running copy holds its files open: it is asked to end the way Windows
; asks at log-off (WM_ENDSESSION with wParam 1), which it does between two
; print cycles, so no ticket is cut in half. The installer waits up to ten
; seconds for its window to go. If it stays, the operator is told (retry or
; give up); a silent run gives up with an error exit code.
!macro FUNCAO_FECHAR_BILHETOR PREFIXO
Function ${PREFIXO}FecharBilhetor
  FindWindow $0 "TfrmBilhetor"
  ${If} $0 = 0
    Return
  ${EndIf}
  pedir:
  DetailPrint "Pedindo ao Bilhetor aberto que termine..."
  SendMessage $0 ${WM_ENDSESSION} 1 0 /TIMEOUT=5000
  ${For} $1 1 50
    Sleep 200
    FindWindow $0 "TfrmBilhetor"
    ${If} $0 = 0
      ; The window is gone; give the process a moment to close its files.
      Sleep 1000
      Return
    ${EndIf}
  ${Next}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "O Bilhetor continua aberto (talvez no meio de uma impressão). Aguarde um pouco e clique em Repetir." \
    /SD IDCANCEL IDRETRY pedir
  DetailPrint "O Bilhetor continua aberto: nada foi alterado."
  SetErrorLevel 3
  Abort
FunctionEnd
!macroend
!insertmacro FUNCAO_FECHAR_BILHETOR ""
!insertmacro FUNCAO_FECHAR_BILHETOR "un."

Section "!Bilhetor" SEC_PROGRAMA
  SectionIn RO
  Call FecharBilhetor

  SetOutPath "$INSTDIR"
  File "${PASTA}/bilhetor.exe"
  File "${PASTA}/bilhetorw.exe"
  File "${PASTA}/bilhetor-print.exe"
  File "${PASTA}/bilhetor-janela.dll"

  ; The examples and the order system's tables, for whoever sets a shop up.
  SetOutPath "$INSTDIR\exemplos"
  File "${PASTA}/sys.txt"
  File "${PASTA}/banco.txt"
  File "${PASTA}/bilhetor.ini"
  File "${PASTA}/schema.sql"
  File "${PASTA}/sample-data.sql"

  ; Settings and the sound go in only where the shop has none: a reinstall
  ; or an upgrade never overwrites them.
  SetOverwrite off
  SetOutPath "${CONFIG}"
  File "${PASTA}/sys.txt"
  File "${PASTA}/banco.txt"
  File "${PASTA}/bilhetor.ini"
  SetOutPath "${PASTA_SOM}"
  File "${PASTA}/Som.wav"
  SetOverwrite on

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${DESINSTALADOR}"

  ; Start menu entries for every user of the machine.
  SetShellVarContext all
  CreateDirectory "${MENU}"
  ; bilhetorw.exe: the program without a console window of its own.
  CreateShortcut "${MENU}\Bilhetor.lnk" "$INSTDIR\bilhetorw.exe"
  CreateShortcut "${MENU}\Desinstalar o Bilhetor.lnk" "$INSTDIR\${DESINSTALADOR}"

  ; Starting with Windows is the next section's choice; a reinstall without
  ; it takes the old value away.
  DeleteRegValue HKCU "${CHAVE_RUN}" "Bilhetor"

  ; Programs and Features (Add/Remove Programs).
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "DisplayName" "Bilhetor"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "DisplayVersion" "${VERSAO}"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "Publisher" "Bilhetor"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "DisplayIcon" "$INSTDIR\bilhetor.exe,0"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "UninstallString" '"$INSTDIR\${DESINSTALADOR}"'
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "QuietUninstallString" '"$INSTDIR\${DESINSTALADOR}" /S'
  WriteRegDWORD HKLM "${CHAVE_DESINSTALAR}" "NoModify" 1
  WriteRegDWORD HKLM "${CHAVE_DESINSTALAR}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=1" $0 $1 $2
  WriteRegDWORD HKLM "${CHAVE_DESINSTALAR}" "EstimatedSize" $0
SectionEnd

; For the user logged in. (When an administrator other than the shop's user
; elevates the install, this is the administrator's own Run key.)
Section "Iniciar com o Windows" SEC_INICIAR
  WriteRegStr HKCU "${CHAVE_RUN}" "Bilhetor" '"$INSTDIR\bilhetorw.exe"'
SectionEnd

Section "un.Bilhetor" SEC_UN_PROGRAMA
  SectionIn RO
  Call un.FecharBilhetor

  Delete "$INSTDIR\bilhetor.exe"
  Delete "$INSTDIR\bilhetorw.exe"
  Delete "$INSTDIR\bilhetor-print.exe"
  Delete "$INSTDIR\bilhetor-janela.dll"
  Delete "$INSTDIR\exemplos\sys.txt"
  Delete "$INSTDIR\exemplos\banco.txt"
  Delete "$INSTDIR\exemplos\bilhetor.ini"
  Delete "$INSTDIR\exemplos\schema.sql"
  Delete "$INSTDIR\exemplos\sample-data.sql"
  RMDir "$INSTDIR\exemplos"
  Delete "$INSTDIR\${DESINSTALADOR}"
  ; Only our files go: the folder goes only when nothing else is left in it.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "${MENU}\Bilhetor.lnk"
  Delete "${MENU}\Desinstalar o Bilhetor.lnk"
  RMDir "${MENU}"

  DeleteRegValue HKCU "${CHAVE_RUN}" "Bilhetor"
  DeleteRegKey HKLM "${CHAVE_DESINSTALAR}"
SectionEnd

; Off unless asked: the shop's settings outlive the program, so that a
; reinstall finds them. The sound stays in any case: the installer puts it
; there only when it is absent, so the file there may not be ours.
Section /o "un.Configurações da loja (${CONFIG})" SEC_UN_CONFIG
  Delete "${CONFIG}\sys.txt"
  Delete "${CONFIG}\banco.txt"
  Delete "${CONFIG}\bilhetor.ini"
  RMDir "${CONFIG}"
SectionEnd

Function .onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SEMINICIAR" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SEC_INICIAR}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVERCONFIG" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SEC_UN_CONFIG}
  ${EndIf}
FunctionEnd
