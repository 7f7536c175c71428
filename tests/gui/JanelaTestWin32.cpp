// The Windows window (under Wine on a private X server): a started print
// server (private MariaDB, a file port) shown by TJanelaBilhetorWin32, its
// controls driven with the messages Windows sends when the operator uses
// them. What is checked is that each control reaches the model and that the
// model reaches the controls; the model's own rules are the app tests'.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <fstream>

#include "ServidorTeste.h"
#include "gui/JanelaBilhetorWin32.h"
#include "gui/JanelaConfiguraSerialWin32.h"
#include "gui/MensagensWin32.h"
#include "gui/RecursosWin32.h"
#include "gui/TextoWin32.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::MediaPlayerTeste;
using testing::PastasTeste;
using testing::RelogioTeste;

HINSTANCE EsteModulo() { return GetModuleHandleW(nullptr); }

// The print server with its window, as the program puts them together, but
// with a test clock, a recorded log and a recorded media player.
struct Tela {
  explicit Tela(const PastasTeste& pastas)
      : form(pastas.Pastas(), relogio, mensagens, dialogos, mediaPlayer), janela(form, EsteModulo()) {
    dialogos.DefinirPai(janela.Janela());
  }
  RelogioTeste relogio;
  std::ostringstream log;
  TMensagensWin32 mensagens{log, relogio, EsteModulo()};
  TDialogosWin32 dialogos{EsteModulo()};
  MediaPlayerTeste mediaPlayer;
  TfrmBilhetor form;
  TJanelaBilhetorWin32 janela;
};

// Runs the messages that wait (posted ones, timers that are due).
void Processar() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

// What Windows tells the parent when the operator changes a control.
void Notificar(HWND controle, int notificacao) {
  SendMessageW(GetParent(controle), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(controle), notificacao),
               reinterpret_cast<LPARAM>(controle));
}

void Escolher(HWND lista, int item) {
  SendMessageW(lista, CB_SETCURSEL, item, 0);
  Notificar(lista, CBN_SELCHANGE);
}

void Digitar(HWND campo, const std::string& texto) { DefinirTexto(campo, texto); }

bool Marcado(HWND caixa) { return SendMessageW(caixa, BM_GETCHECK, 0, 0) == BST_CHECKED; }

class JanelaWin32 : public ::testing::Test {
 protected:
  Tela& Iniciar(const std::string& porta = "") {
    INITCOMMONCONTROLSEX controles{sizeof controles, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controles);
    pastas.Configurar(banco, porta);
    tela = std::make_unique<Tela>(pastas);
    tela->form.FormCreate();
    EXPECT_FALSE(tela->form.Terminado());
    tela->janela.Iniciar();
    return *tela;
  }
  HWND C(const char* nome) {
    HWND controle = tela->janela.Controle(nome);
    if (!controle) throw std::runtime_error(std::string("no control ") + nome);
    return controle;
  }
  void Clicar(const char* botao) { SendMessageW(C(botao), BM_CLICK, 0, 0); }
  void Menu(UINT item) { SendMessageW(tela->janela.Janela(), WM_COMMAND, item, 0); }

  void TearDown() override { tela.reset(); }

  BancoTeste banco;
  PastasTeste pastas;
  std::unique_ptr<Tela> tela;
};

TEST_F(JanelaWin32, StartsInTheTrayAndEveryKindOfControlReachesTheModel) {
  Tela& t = Iniciar();
  HWND janela = t.janela.Janela();
  EXPECT_FALSE(IsWindowVisible(janela));
  EXPECT_TRUE(t.janela.IconeNaBandeja());
  EXPECT_EQ(Estreito(t.janela.DicaBandeja()), kDicaBandeja);
  wchar_t classe[32] = {};
  GetClassNameW(janela, classe, 32);
  EXPECT_EQ(std::wstring(classe), L"TfrmBilhetor");
  EXPECT_EQ(TextoDe(janela), t.form.Caption);
  EXPECT_EQ(GetMenuItemCount(t.janela.MenuBandeja()), 3);
  EXPECT_TRUE(t.janela.TimerAtivo(1));
  EXPECT_TRUE(t.janela.TimerAtivo(2));

  // "Restaurar" shows it in its normal state; the sound file is opened.
  Menu(TJanelaBilhetorWin32::kMenuRestaurar1);
  EXPECT_TRUE(IsWindowVisible(janela));
  EXPECT_FALSE(IsIconic(janela));
  EXPECT_EQ(t.mediaPlayer.abertos.size(), 1u);

  // The clocks show the model's after a tick.
  t.relogio.Avancar(5);
  t.janela.Timer1Tick();
  EXPECT_EQ(TextoDe(C("Label7")), "00:00:05");
  EXPECT_EQ(TextoDe(C("Label4")), t.form.Label4);

  // A button runs its handler, and the window shows the result.
  Clicar("Button1");
  EXPECT_FALSE(t.form.Timer2.Enabled());
  EXPECT_EQ(TextoDe(C("Button1")), "INICIAR");
  EXPECT_FALSE(t.janela.TimerAtivo(2));
  Clicar("Button1");
  EXPECT_TRUE(t.janela.TimerAtivo(2));

  // A check box, a list, a spin box, the log file, the port.
  const bool cortar = t.form.cbCortarPapel.Checked;
  Clicar("cbCortarPapel");
  EXPECT_EQ(t.form.cbCortarPapel.Checked, !cortar);
  Escolher(C("cbxPagCodigo"), 3);
  EXPECT_EQ(t.form.cbxPagCodigo.ItemIndex, 3);
  Digitar(C("seColunas"), "40");
  EXPECT_EQ(t.form.seColunas.Text, "40");
  Digitar(C("edLog"), "Z:\\tmp\\motor.log");
  EXPECT_EQ(t.form.edLog, "Z:\\tmp\\motor.log");
  Digitar(C("cbxPorta"), "COM3");
  Notificar(C("cbxPorta"), CBN_KILLFOCUS);
  EXPECT_EQ(t.form.cbxPorta.Text, "COM3");
  // Serial ports have the serial settings button.
  EXPECT_TRUE(IsWindowVisible(C("btSerial")));
  // A value being typed survives the clock's ticks.
  Digitar(C("seColunas"), "4");
  t.janela.Timer1Tick();
  EXPECT_EQ(TextoDe(C("seColunas")), "4");

  // Activation from the button; its caption and the serial button follow.
  Digitar(C("cbxPorta"), "FILE:" + pastas.Saida());
  Notificar(C("cbxPorta"), CBN_KILLFOCUS);
  Clicar("bAtivar");
  EXPECT_TRUE(t.form.Ativo());
  EXPECT_EQ(TextoDe(C("bAtivar")), "Desativar");
  EXPECT_FALSE(IsWindowEnabled(C("btSerial")));

  // Minimized by the operator: back in the tray.
  ShowWindow(janela, SW_MINIMIZE);
  Processar();
  EXPECT_TRUE(t.form.Minimizado);
  EXPECT_FALSE(IsWindowVisible(janela));
  // A double click on the icon brings it back.
  SendMessageW(janela, kMsgBandeja, 1, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(janela));
}

TEST_F(JanelaWin32, CloseIsRefusedInOneBoxThatCountsTheRepeats) {
  Tela& t = Iniciar();
  for (int i = 0; i < 3; ++i) SendMessageW(t.janela.Janela(), WM_CLOSE, 0, 0);
  Menu(TJanelaBilhetorWin32::kMenuEncerrarPrograma1);
  HWND caixa = t.mensagens.Caixa();
  ASSERT_NE(caixa, nullptr);
  EXPECT_TRUE(IsWindowVisible(caixa));
  EXPECT_EQ(TextoDe(caixa), std::string(kTituloAtencao) + " (4 vezes)");
  EXPECT_TRUE(IsWindow(t.janela.Janela()));
  // OK closes it; the next message opens the box anew.
  SendMessageW(caixa, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(t.mensagens.Caixa(), nullptr);
  EXPECT_FALSE(IsWindowVisible(caixa));
  t.mensagens.MostrarErro("falha");
  EXPECT_EQ(TextoDe(t.mensagens.Caixa()), kTituloErro);

  // The end of the session (or an installer that replaces the program) ends
  // the message loop.
  SendMessageW(t.janela.Janela(), WM_ENDSESSION, TRUE, 0);
  MSG m;
  EXPECT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(JanelaWin32, TheSerialDialogEditsItsOwnDeviceAndOkGivesThePortBack) {
  Tela& t = Iniciar("COM1");
  bool mostrado = false;
  t.dialogos.AoAbrir = [&](HWND dialogo) {
    mostrado = true;
    EXPECT_EQ(TextoDe(dialogo), "Porta Serial");
    EXPECT_EQ(TextoDe(GetDlgItem(dialogo, IDC_PORTA_SERIAL)), "COM1");
    // XON/XOFF: the SoftFlow switch shows what the device made of it.
    Escolher(GetDlgItem(dialogo, IDC_HANDSHAKING), 1);
    EXPECT_TRUE(Marcado(GetDlgItem(dialogo, IDC_SOFT_FLOW)));
    // A speed that is not a number: the error box, the dialog stays.
    Digitar(GetDlgItem(dialogo, IDC_BAUD_RATE), "rapido");
    Notificar(GetDlgItem(dialogo, IDC_BAUD_RATE), CBN_KILLFOCUS);
    EXPECT_NE(t.mensagens.Caixa(), nullptr);
    Escolher(GetDlgItem(dialogo, IDC_BAUD_RATE), 8);  // 19200
    Digitar(GetDlgItem(dialogo, IDC_PORTA_SERIAL), "COM12");
    SendMessageW(GetDlgItem(dialogo, IDOK), BM_CLICK, 0, 0);
  };
  Clicar("btSerial");
  EXPECT_TRUE(mostrado);
  EXPECT_EQ(t.form.cbxPorta.Text, "COM12");
  EXPECT_EQ(TextoDe(C("cbxPorta")), "COM12");
  EXPECT_NE(t.form.PosPrinter1.Device().ParamsString().find("19200"), std::string::npos);

  // Cancel gives nothing back.
  t.dialogos.AoAbrir = [](HWND dialogo) {
    Digitar(GetDlgItem(dialogo, IDC_PORTA_SERIAL), "COM7");
    SendMessageW(GetDlgItem(dialogo, IDCANCEL), BM_CLICK, 0, 0);
  };
  Clicar("btSerial");
  EXPECT_EQ(t.form.cbxPorta.Text, "COM12");
}

// A picture of the window for the documentation, when BILHETOR_FOTO_JANELA
// names the file (a 24-bit BMP of the window's client area).
TEST_F(JanelaWin32, APictureOfTheWindow) {
  const char* arquivo = std::getenv("BILHETOR_FOTO_JANELA");
  if (!arquivo) GTEST_SKIP() << "BILHETOR_FOTO_JANELA names the picture to write";
  Tela& t = Iniciar("COM1");
  Menu(TJanelaBilhetorWin32::kMenuRestaurar1);
  t.relogio.Avancar(3 * 3600 + 25 * 60 + 7);
  t.janela.Timer1Tick();
  for (int i = 0; i < 20; ++i) {
    Processar();
    Sleep(50);
  }
  RECT r{};
  GetClientRect(t.janela.Janela(), &r);
  MapWindowPoints(t.janela.Janela(), nullptr, reinterpret_cast<POINT*>(&r), 2);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC tela = GetDC(nullptr);
  HDC memoria = CreateCompatibleDC(tela);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP imagem = CreateDIBSection(tela, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ antes = SelectObject(memoria, imagem);
  ASSERT_TRUE(BitBlt(memoria, 0, 0, w, h, tela, r.left, r.top, SRCCOPY));
  GdiFlush();
  const DWORD linha = static_cast<DWORD>((w * 3 + 3) & ~3);
  BITMAPFILEHEADER cabecalho{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  cabecalho.bfSize = cabecalho.bfOffBits + linha * static_cast<DWORD>(h);
  std::ofstream saida(arquivo, std::ios::binary);
  saida.write(reinterpret_cast<const char*>(&cabecalho), sizeof cabecalho);
  saida.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  saida.write(static_cast<const char*>(bits), static_cast<std::streamsize>(linha * static_cast<DWORD>(h)));
  EXPECT_TRUE(saida.good());
  SelectObject(memoria, antes);
  DeleteObject(imagem);
  DeleteDC(memoria);
  ReleaseDC(nullptr, tela);
}

}  // namespace
}  // namespace bilhetor
