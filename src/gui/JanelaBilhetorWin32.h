#pragma once
// TJanelaBilhetorWin32: the print server's window and tray icon on Windows,
// a view of the main window model (TfrmBilhetor), as the Qt window is on
// Linux. It holds no logic of its own: each operator action first puts the
// control's value into the model and then runs the model's handler (errors
// go to the default error box), and after every handler and every tick the
// window shows the model again; a control is rewritten only when the
// model's value changed since it last showed it (TVinculo).
//
// What the operator sees:
// - the four clocks, "PARAR"/"INICIAR", and the printer settings grouped as
//   printer, barcode, QR code, logo and drawer (the controls and their
//   labels come from the table of settings), with "Ativar"/"Desativar" and
//   "Serial" (shown for serial ports only);
// - a notification area icon with the hint "Vialto Gerenciador da
//   Impressão" and the menu "Restaurar", "Encerrar Programa"; a double
//   click brings the window back.
//
// The window's class is "TfrmBilhetor". It ends the program between two
// handlers when the session ends (WM_ENDSESSION; an installer that must
// replace the program sends it too) and when Parar() is called (a console's
// Ctrl-C, from another thread). The model's two timers run as window timers.
// Layout is in dialog units of the message font at the window's DPI, so the
// window is laid out again when it moves to a monitor of another DPI.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Bilhetor.h"
#include "app/Vinculo.h"

namespace bilhetor {

// Messages of the window.
inline constexpr UINT kMsgBandeja = WM_APP + 1;    // the tray icon's mouse events
inline constexpr UINT kMsgMinimizar = WM_APP + 2;  // the operator minimized the window
inline constexpr UINT kMsgParar = WM_APP + 3;      // end the program (Parar)

class TJanelaBilhetorWin32 {
 public:
  // Creates the window (hidden) and its controls; instancia holds the
  // resources (the icon). Raises Exception when the window cannot be made.
  TJanelaBilhetorWin32(TfrmBilhetor& form, HINSTANCE instancia);
  ~TJanelaBilhetorWin32();
  TJanelaBilhetorWin32(const TJanelaBilhetorWin32&) = delete;
  TJanelaBilhetorWin32& operator=(const TJanelaBilhetorWin32&) = delete;

  HWND Janela() const { return janela_; }

  // After a successful start-up: the tray icon (when the notification area
  // takes it; tried again every second until it does), the start minimized,
  // the window centred, the timers running.
  void Iniciar();

  // Runs a handler of the model (its error to the default error box), then
  // shows the model.
  void Executar(const std::function<void()>& handler);
  // Shows the model: controls, clocks, timers, window state, tray icon.
  void Renderizar();

  // The ticks of Timer1 and Timer2.
  void Timer1Tick();
  void Timer2Tick();

  // Ends the message loop between two handlers; may be called from any
  // thread.
  void Parar() const { PostMessageW(janela_, kMsgParar, 0, 0); }

  // Keyboard navigation between the controls (Tab, arrows, Alt+letter) and
  // Enter in the port box; true when the message was taken.
  bool TratarTeclado(MSG& mensagem);

  // A control by the model's name of it ("Button1", "cbxPorta", "Label4",
  // "seColunas", ...); null when there is none.
  HWND Controle(const std::string& nome) const;
  // Whether the icon is in the notification area, and its hint.
  bool IconeNaBandeja() const { return iconeAdicionado_; }
  const std::wstring& DicaBandeja() const { return dica_; }
  // The command numbers of the tray menu's items.
  static constexpr UINT kMenuRestaurar1 = 1001;
  static constexpr UINT kMenuEncerrarPrograma1 = 1002;
  HMENU MenuBandeja() const { return menu_; }
  // Whether the timers run (as the window set them from the model).
  bool TimerAtivo(int numero) const { return numero == 1 ? timer1Ativo_ : timer2Ativo_; }

 private:
  struct TControle {
    HWND hwnd;
    RECT du;  // position in dialog units
  };
  static LRESULT CALLBACK Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Tratar(UINT msg, WPARAM wp, LPARAM lp);
  void Comando(int id, int notificacao);

  // Building the controls: each returns its handle; x, y, largura, altura in
  // dialog units.
  HWND Criar(const wchar_t* classe, const std::string& texto, DWORD estilo, int x, int y, int largura, int altura,
             const std::string& nome = {});
  int LarguraTexto(const std::string& texto) const;
  int CriarSituacao(int y);
  int CriarImpressora(int y);
  int CriarSecoes(int y);
  // One group of the settings file's section; returns where it lies.
  RECT CriarSecao(const char* secao, const char* titulo, int x, int y);
  // A label; largura 0: as wide as its text.
  void Rotulo(const std::string& texto, int x, int y, int largura = 0);
  void Spin(TSpinEdit& modelo, const char* nome, int x, int y);
  int Caixa(TCheckBox& modelo, void (TfrmBilhetor::*handler)(), const char* nome, int x, int y);
  void Lista(TComboBox& modelo, void (TfrmBilhetor::*handler)(), const char* nome, int x, int y, int largura);
  void Botao(TButton& modelo, void (TfrmBilhetor::*handler)(), const char* nome, int x, int y, int largura,
             int altura);
  void ConfirmarPorta();

  // Fonts and positions for the window's DPI.
  void AplicarDpi(UINT dpi);
  int Px(int du, bool vertical) const;
  void AtualizarBandeja();
  void RemoverBandeja();
  void MostrarMenuBandeja();
  void AplicarEstadoJanela();
  void SincronizarTimer(UINT id, const TTimer& modelo, uint64_t& partidas, bool& ativo);
  void TrazerParaFrente();

  TfrmBilhetor& form_;
  HINSTANCE instancia_;
  HWND janela_ = nullptr;
  HFONT fonte_ = nullptr;
  HFONT fonteNegrito_ = nullptr;
  HICON icone_ = nullptr;
  HICON iconePequeno_ = nullptr;
  HMENU menu_ = nullptr;
  UINT msgTaskbarCreated_ = 0;
  int baseX_ = 6, baseY_ = 13;  // the font's average character width and height in pixels
  SIZE cliente_{};             // the client area in dialog units
  std::vector<TControle> controles_;
  std::map<std::string, HWND> nomes_;
  std::map<int, std::function<void(int)>> comandos_;  // by control id: what a notification does
  std::vector<std::function<void()>> renderizar_;
  std::vector<HWND> negritos_;
  int proximoId_ = 100;
  bool iniciada_ = false;
  bool iconeAdicionado_ = false;
  std::wstring dica_;
  bool renderizando_ = false;
  bool timer1Ativo_ = false, timer2Ativo_ = false;
  uint64_t partidas1_ = 0, partidas2_ = 0;
  HWND cbxPorta_ = nullptr;
  std::unique_ptr<TVinculo<std::string>> porta_;
};

}  // namespace bilhetor
