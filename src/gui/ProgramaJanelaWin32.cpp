// The print server in its window on Windows: the same start-up as the
// headless server, with message boxes instead of lines, the window hidden in
// the notification area, and the message loop until the session ends or a
// console's Ctrl-C asks for a stop.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <ostream>

#include "app/ServidorHeadless.h"
#include "gui/JanelaBilhetorWin32.h"
#include "gui/JanelaConfiguraSerialWin32.h"
#include "gui/MensagensWin32.h"
#include "gui/ProgramaJanela.h"

namespace bilhetor {

namespace {

// The window that a console's stop goes to, and the sign that the loop ended.
std::atomic<HWND> janelaParada{nullptr};
HANDLE eventoEncerrado = nullptr;

// Ctrl-C, Ctrl-Break, closing the console, logging off and shutting down
// (when the program still has a console): the window ends its loop between
// two handlers. The system ends the process as soon as the handler of a
// close, log-off or shutdown returns, so the handler waits (a little less
// than the system's five seconds) for the loop to end.
BOOL WINAPI AoControle(DWORD tipo) {
  if (const HWND janela = janelaParada.load()) PostMessageW(janela, kMsgParar, 0, 0);
  if (tipo == CTRL_CLOSE_EVENT || tipo == CTRL_LOGOFF_EVENT || tipo == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(eventoEncerrado, 4500);
  return TRUE;
}

// The module that holds this code and its resources (the window module, or
// the test program).
HINSTANCE EsteModulo() {
  HMODULE modulo = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&EsteModulo), &modulo);
  return modulo;
}

// Whether a window can be made: not in a session without a desktop (a
// service), nor under Wine without an X display.
bool JanelaPossivel() {
  HWND teste = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!teste) return false;
  DestroyWindow(teste);
  return true;
}

}  // namespace

int ExecutarJanela(const std::string& executavel, const std::string& pasta, const std::string& estado, TTela tela,
                   std::ostream& erro) {
  if (tela == TTela::Nenhuma || !JanelaPossivel()) return kSemTela;
  const HINSTANCE instancia = EsteModulo();
  INITCOMMONCONTROLSEX controles{sizeof controles, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controles);

  TRelogioSistema relogio;
  TMensagensWin32 mensagens(erro, relogio, instancia);
  const TPartida partida(executavel, pasta, estado);
  if (!partida.Obtida(mensagens)) {
    mensagens.AguardarFechamento();
    return 1;
  }
  TMediaPlayerArquivo mediaPlayer;
  TDialogosWin32 dialogos(instancia);
  TfrmBilhetor form(partida.Pastas(), relogio, mensagens, dialogos, mediaPlayer);
  TJanelaBilhetorWin32 janela(form, instancia);
  dialogos.DefinirPai(janela.Janela());

  if (!eventoEncerrado) eventoEncerrado = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  janelaParada = janela.Janela();
  SetConsoleCtrlHandler(AoControle, TRUE);
  struct TAoSair {
    ~TAoSair() {
      janelaParada = nullptr;
      SetEvent(eventoEncerrado);
    }
  } aoSair;

  if (!form.ExecutarTratando([&] { form.FormCreate(); }) || form.Terminado()) {
    mensagens.AguardarFechamento();
    return 1;
  }
  janela.Iniciar();
  mensagens.Informar(DescricaoEmServico(form));
  // bilhetor.exe started on its own (double-clicked) got a console window of
  // its own: the program lives in the notification area and lets that
  // console go. (bilhetorw.exe, which the Start menu runs, has none.)
  DWORD processos[2];
  if (GetConsoleProcessList(processos, 2) == 1) FreeConsole();

  MSG mensagem;
  int status = 0;
  for (;;) {
    const BOOL obtida = GetMessageW(&mensagem, nullptr, 0, 0);
    if (obtida <= 0) {
      status = obtida == 0 ? static_cast<int>(mensagem.wParam) : 1;
      break;
    }
    if (janela.TratarTeclado(mensagem) || mensagens.TratarTeclado(mensagem)) continue;
    TranslateMessage(&mensagem);
    DispatchMessageW(&mensagem);
  }
  mensagens.Informar(kMsgEncerrado);
  return status;
}

}  // namespace bilhetor
