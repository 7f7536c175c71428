#include "gui/JanelaBilhetorWin32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string_view>

#include "app/TabelaConfiguracao.h"
#include "gui/RecursosWin32.h"
#include "gui/TextoWin32.h"

namespace bilhetor {

namespace {

constexpr const wchar_t* kClasse = L"TfrmBilhetor";
constexpr UINT kIdIcone = 1;
constexpr UINT_PTR kTimer1 = 1, kTimer2 = 2;
// The window's margins and the space between controls, in dialog units.
constexpr int kMargem = 6, kEspaco = 4, kAltura = 12, kLinha = 15;

// The window's DPI: GetDpiForWindow where the system has it (Windows 10),
// else the system's.
UINT DpiDe(HWND janela) {
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpi && janela) return getDpi(janela);
  const HDC tela = GetDC(nullptr);
  const int dpi = GetDeviceCaps(tela, LOGPIXELSY);
  ReleaseDC(nullptr, tela);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The system's message font scaled to a DPI.
LOGFONTW FonteMensagens(UINT dpi) {
  NONCLIENTMETRICSW metricas{};
  metricas.cbSize = sizeof metricas;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metricas, &metricas, 0);
  LOGFONTW fonte = metricas.lfMessageFont;
  const UINT sistema = DpiDe(nullptr);
  if (fonte.lfHeight == 0) fonte.lfHeight = -12;
  fonte.lfHeight = MulDiv(fonte.lfHeight, static_cast<int>(dpi), static_cast<int>(sistema));
  return fonte;
}

// A list's items, and the selection.
using TItens = std::pair<std::vector<std::string>, int>;

void MostrarItens(HWND lista, const std::vector<std::string>& itens) {
  SendMessageW(lista, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : itens)
    SendMessageW(lista, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Largo(item).c_str()));
}

TJanelaBilhetorWin32* DaJanela(HWND hwnd) {
  return reinterpret_cast<TJanelaBilhetorWin32*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace

TJanelaBilhetorWin32::TJanelaBilhetorWin32(TfrmBilhetor& form, HINSTANCE instancia)
    : form_(form), instancia_(instancia) {
  icone_ = static_cast<HICON>(LoadImageW(instancia_, MAKEINTRESOURCEW(IDI_BILHETOR), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  iconePequeno_ = static_cast<HICON>(LoadImageW(instancia_, MAKEINTRESOURCEW(IDI_BILHETOR), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  WNDCLASSEXW classe{};
  classe.cbSize = sizeof classe;
  classe.lpfnWndProc = Procedimento;
  classe.hInstance = instancia_;
  classe.hIcon = icone_;
  classe.hIconSm = iconePequeno_;
  classe.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  classe.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  classe.lpszClassName = kClasse;
  if (!RegisterClassExW(&classe) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw Exception("A janela n\xE3o p\xF4" "de ser registrada");
  // A fixed-size border with the system menu and the minimize button.
  janela_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClasse, Largo(form_.Caption).c_str(),
                            WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                            CW_USEDEFAULT, 100, 100, nullptr, nullptr, instancia_, this);
  if (!janela_) throw Exception("A janela n\xE3o p\xF4" "de ser criada");

  AplicarDpi(DpiDe(janela_));
  int y = CriarSituacao(kMargem);
  y = CriarImpressora(y + kEspaco);
  y = CriarSecoes(y + kEspaco);
  cliente_.cy = y + kMargem;
  AplicarDpi(DpiDe(janela_));

  menu_ = CreatePopupMenu();
  AppendMenuW(menu_, MF_STRING, kMenuRestaurar1, Largo(kMenuRestaurar).c_str());
  AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu_, MF_STRING, kMenuEncerrarPrograma1, Largo(kMenuEncerrar).c_str());
  SetMenuDefaultItem(menu_, kMenuRestaurar1, FALSE);
  // Sent to every top-level window when the task bar starts again (Explorer
  // restarted): the icon must be added anew.
  msgTaskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
  Renderizar();
}

TJanelaBilhetorWin32::~TJanelaBilhetorWin32() {
  RemoverBandeja();
  if (janela_) {
    SetWindowLongPtrW(janela_, GWLP_USERDATA, 0);
    DestroyWindow(janela_);
  }
  if (menu_) DestroyMenu(menu_);
  for (HFONT f : {fonte_, fonteNegrito_})
    if (f) DeleteObject(f);
  for (HICON i : {icone_, iconePequeno_})
    if (i) DestroyIcon(i);
}

// --- the controls ------------------------------------------------------------------------

HWND TJanelaBilhetorWin32::Criar(const wchar_t* classe, const std::string& texto, DWORD estilo, int x, int y,
                                 int largura, int altura, const std::string& nome) {
  const int id = proximoId_++;
  const DWORD borda = std::wstring_view(classe) == WC_EDITW ? WS_EX_CLIENTEDGE : 0;
  HWND hwnd = CreateWindowExW(borda, classe, Largo(texto).c_str(), WS_CHILD | WS_VISIBLE | estilo, 0, 0, 0, 0, janela_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instancia_, nullptr);
  if (!hwnd) throw Exception("O controle " + nome + " n\xE3o p\xF4" "de ser criado");
  controles_.push_back({hwnd, {x, y, x + largura, y + altura}});
  if (!nome.empty()) nomes_[nome] = hwnd;
  // Room for the right edge of the group the control sits in.
  cliente_.cx = std::max<LONG>(cliente_.cx, x + largura + 2 * kMargem);
  return hwnd;
}

int TJanelaBilhetorWin32::LarguraTexto(const std::string& texto) const {
  const HDC dc = GetDC(janela_);
  const HGDIOBJ antes = SelectObject(dc, fonte_);
  const std::wstring largo = Largo(texto);
  SIZE tamanho{};
  GetTextExtentPoint32W(dc, largo.c_str(), static_cast<int>(largo.size()), &tamanho);
  SelectObject(dc, antes);
  ReleaseDC(janela_, dc);
  return (tamanho.cx * 4 + baseX_ - 1) / baseX_ + 2;
}

void TJanelaBilhetorWin32::Rotulo(const std::string& texto, int x, int y, int largura) {
  Criar(WC_STATICW, texto, SS_LEFT | SS_NOPREFIX, x, y + 2, largura ? largura : LarguraTexto(texto), 9);
}

int TJanelaBilhetorWin32::CriarSituacao(int y) {
  Criar(WC_BUTTONW, "Servidor", BS_GROUPBOX, kMargem, y, 0, 0);
  const std::size_t indiceGrupo = controles_.size() - 1;
  const std::pair<const char*, std::string TfrmBilhetor::*> relogios[] = {{"Hora Atual:", &TfrmBilhetor::Label4},
                                                                         {"Hora de In\xED" "cio:", &TfrmBilhetor::Label6},
                                                                         {"Tempo de Execu\xE7\xE3o:", &TfrmBilhetor::Label7},
                                                                         {"\xDAltima Execu\xE7\xE3o:", &TfrmBilhetor::Label10}};
  const char* nomes[] = {"Label4", "Label6", "Label7", "Label10"};
  int largura = 0;
  for (const auto& [titulo, valor] : relogios) largura = std::max(largura, LarguraTexto(titulo));
  int linha = y + 11;
  for (std::size_t i = 0; i < std::size(relogios); ++i) {
    Rotulo(relogios[i].first, kMargem + 8, linha, largura);
    HWND valor = Criar(WC_STATICW, "00:00:00", SS_LEFT, kMargem + 12 + largura, linha + 2, 44, 9, nomes[i]);
    negritos_.push_back(valor);
    renderizar_.push_back([this, valor, campo = relogios[i].second] {
      const std::string texto = form_.*campo;
      if (TextoDe(valor) != texto) DefinirTexto(valor, texto);
    });
    linha += 11;
  }
  Botao(form_.Button1, &TfrmBilhetor::Button1Click, "Button1", kMargem + 24 + largura + 52, y + 16, 70, 26);
  const int fim = linha + 4;
  // The group spans the window (right edge 0), whose width is known once
  // the rest is laid out.
  controles_[indiceGrupo].du = {kMargem, y, 0, fim};
  return fim;
}

int TJanelaBilhetorWin32::CriarImpressora(int y) {
  Criar(WC_BUTTONW, "Impressora", BS_GROUPBOX, kMargem, y, 0, 0);
  const std::size_t indiceGrupo = controles_.size() - 1;
  const int esquerda = kMargem + 8;
  // The settings of the printer from the table: the lists on the first row,
  // the numbers and the switches on rows of their own; the port and the log
  // file have rows of their own with their buttons.
  int x = esquerda, linha = y + 11;
  for (const TConfiguracao& l : Configuracoes()) {
    if (std::string_view(l.Secao) != "PosPrinter" || !l.Lista || l.Tipo != TTipoConfiguracao::Escolha) continue;
    Rotulo(l.Rotulo, x, linha);
    x += LarguraTexto(l.Rotulo) + 2;
    Lista(form_.*l.Lista, l.AoMudar, l.Nome, x, linha, 96);
    x += 96 + 8;
  }

  // The port: the serial ports found and the print queues, or any name typed.
  linha += kLinha;
  const TConfiguracao& porta = Configuracao("PosPrinter", "Porta");
  const TConfiguracao& log = Configuracao("PosPrinter", "ArqLog");
  const int larguraRotulo = std::max(LarguraTexto(porta.Rotulo), LarguraTexto(log.Rotulo));
  Rotulo(porta.Rotulo, esquerda, linha, larguraRotulo);
  cbxPorta_ = Criar(WC_COMBOBOXW, "", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
                    esquerda + larguraRotulo + 2, linha, 170, 120, "cbxPorta");
  auto itensPorta = std::make_shared<TVinculo<std::vector<std::string>>>(
      [this] { return form_.cbxPorta.Items; },
      [this](const std::vector<std::string>& itens) {
        MostrarItens(cbxPorta_, itens);
        DefinirTexto(cbxPorta_, form_.cbxPorta.Text);
      });
  renderizar_.push_back([itensPorta] { itensPorta->Renderizar(); });
  porta_ = std::make_unique<TVinculo<std::string>>([this] { return form_.cbxPorta.Text; },
                                                   [this](const std::string& t) { DefinirTexto(cbxPorta_, t); });
  comandos_[GetDlgCtrlID(cbxPorta_)] = [this](int notificacao) {
    if (notificacao == CBN_KILLFOCUS) {
      ConfirmarPorta();
    } else if (notificacao == CBN_SELCHANGE) {
      // The edit box takes the item's text after this notification.
      const LRESULT i = SendMessageW(cbxPorta_, CB_GETCURSEL, 0, 0);
      if (i >= 0 && static_cast<std::size_t>(i) < form_.cbxPorta.Items.size()) {
        DefinirTexto(cbxPorta_, form_.cbxPorta.Items[static_cast<std::size_t>(i)]);
        ConfirmarPorta();
      }
    }
  };
  Botao(form_.btSerial, &TfrmBilhetor::btSerialClick, "btSerial", esquerda + larguraRotulo + 176, linha - 1, 50, 14);

  // The numbers and the switches.
  linha += kLinha;
  int xNumeros = esquerda, xChaves = esquerda;
  for (const TConfiguracao& l : Configuracoes()) {
    if (std::string_view(l.Secao) != "PosPrinter") continue;
    if (l.Spin) {
      Rotulo(l.Rotulo, xNumeros, linha);
      xNumeros += LarguraTexto(l.Rotulo) + 2;
      Spin(form_.*l.Spin, l.Nome, xNumeros, linha);
      xNumeros += 36 + 8;
    } else if (l.Caixa) {
      xChaves += Caixa(form_.*l.Caixa, l.AoMudar, l.Nome, xChaves, linha + kLinha) + 8;
    }
  }

  // The log file and the activation.
  linha += 2 * kLinha;
  Rotulo(log.Rotulo, esquerda, linha, larguraRotulo);
  HWND edLog = Criar(WC_EDITW, "", ES_AUTOHSCROLL | WS_TABSTOP, esquerda + larguraRotulo + 2, linha, 170, kAltura,
                     "edLog");
  auto vinculoLog = std::make_shared<TVinculo<std::string>>([this] { return form_.edLog; },
                                                            [edLog](const std::string& t) { DefinirTexto(edLog, t); });
  renderizar_.push_back([vinculoLog] { vinculoLog->Renderizar(); });
  comandos_[GetDlgCtrlID(edLog)] = [this, edLog, vinculoLog](int notificacao) {
    if (notificacao != EN_CHANGE || renderizando_) return;
    form_.edLog = TextoDe(edLog);
    vinculoLog->Editado(form_.edLog);
  };
  Botao(form_.bAtivar, &TfrmBilhetor::bAtivarClick, "bAtivar", esquerda + larguraRotulo + 176, linha - 1, 60, 14);
  const int fim = linha + kLinha + 2;
  controles_[indiceGrupo].du = {kMargem, y, 0, fim};
  return fim;
}

int TJanelaBilhetorWin32::CriarSecoes(int y) {
  int x = kMargem, fim = y;
  std::vector<std::size_t> grupos;
  for (const auto& [secao, titulo] : {std::pair{"Barras", "C\xF3" "digo de barras"}, std::pair{"QRCode", "QR Code"},
                                      std::pair{"Logo", "Logo"}, std::pair{"Gaveta", "Gaveta"}}) {
    grupos.push_back(controles_.size());
    const RECT r = CriarSecao(secao, titulo, x, y);
    x = r.right + kEspaco;
    fim = std::max<int>(fim, r.bottom);
  }
  // The four groups side by side, as tall as the tallest.
  for (const std::size_t g : grupos) controles_[g].du.bottom = fim;
  return fim;
}

RECT TJanelaBilhetorWin32::CriarSecao(const char* secao, const char* titulo, int x, int y) {
  Criar(WC_BUTTONW, titulo, BS_GROUPBOX, x, y, 0, 0);
  const std::size_t indiceGrupo = controles_.size() - 1;
  int larguraRotulo = LarguraTexto(titulo) - 4;
  for (const TConfiguracao& l : Configuracoes())
    if (std::string_view(l.Secao) == secao && l.Spin) larguraRotulo = std::max(larguraRotulo, LarguraTexto(l.Rotulo));
  int linha = y + 11, largura = larguraRotulo + 2 + 36;
  for (const TConfiguracao& l : Configuracoes()) {
    if (std::string_view(l.Secao) != secao) continue;
    if (l.Spin) {
      Rotulo(l.Rotulo, x + 6, linha, larguraRotulo);
      Spin(form_.*l.Spin, l.Nome, x + 8 + larguraRotulo, linha);
    } else if (l.Caixa) {
      largura = std::max(largura, Caixa(form_.*l.Caixa, l.AoMudar, l.Nome, x + 6, linha));
    } else {
      continue;
    }
    linha += kLinha;
  }
  const RECT r{x, y, x + largura + 12, linha + 2};
  controles_[indiceGrupo].du = r;
  cliente_.cx = std::max<LONG>(cliente_.cx, r.right + kMargem);
  return r;
}

void TJanelaBilhetorWin32::Spin(TSpinEdit& modelo, const char* nome, int x, int y) {
  HWND edit = Criar(WC_EDITW, modelo.Text, ES_AUTOHSCROLL | WS_TABSTOP, x, y, 26, kAltura, nome);
  HWND setas = Criar(UPDOWN_CLASSW, "", UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, x + 26, y, 10, kAltura);
  SendMessageW(setas, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
  SendMessageW(setas, UDM_SETRANGE32, static_cast<WPARAM>(modelo.MinValue), modelo.MaxValue);
  auto vinculo = std::make_shared<TVinculo<std::string>>([&modelo] { return modelo.Text; },
                                                         [edit](const std::string& t) { DefinirTexto(edit, t); });
  // A spin box has no handler: the value waits in the model for the
  // activation (or the print cycle, for the columns).
  comandos_[GetDlgCtrlID(edit)] = [this, edit, &modelo, vinculo](int notificacao) {
    if (notificacao != EN_CHANGE || renderizando_) return;
    modelo.Text = TextoDe(edit);
    vinculo->Editado(modelo.Text);
  };
  renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
}

int TJanelaBilhetorWin32::Caixa(TCheckBox& modelo, void (TfrmBilhetor::*handler)(), const char* nome, int x, int y) {
  const int largura = LarguraTexto(modelo.Caption) + 14;
  HWND caixa = Criar(WC_BUTTONW, modelo.Caption, BS_AUTOCHECKBOX | WS_TABSTOP, x, y, largura, kAltura - 2, nome);
  auto vinculo = std::make_shared<TVinculo<bool>>(
      [&modelo] { return modelo.Checked; },
      [caixa](const bool& marcado) { SendMessageW(caixa, BM_SETCHECK, marcado ? BST_CHECKED : BST_UNCHECKED, 0); });
  comandos_[GetDlgCtrlID(caixa)] = [this, caixa, &modelo, &form = form_, handler, vinculo](int notificacao) {
    if (notificacao != BN_CLICKED) return;
    modelo.Checked = SendMessageW(caixa, BM_GETCHECK, 0, 0) == BST_CHECKED;
    vinculo->Editado(modelo.Checked);
    Executar([&form, handler] { (form.*handler)(); });
  };
  renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
  return largura;
}

void TJanelaBilhetorWin32::Lista(TComboBox& modelo, void (TfrmBilhetor::*handler)(), const char* nome, int x, int y,
                                 int largura) {
  HWND lista = Criar(WC_COMBOBOXW, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, x, y, largura, 140, nome);
  auto vinculo = std::make_shared<TVinculo<TItens>>([&modelo] { return TItens{modelo.Items, modelo.ItemIndex}; },
                                                    [lista](const TItens& itens) {
                                                      MostrarItens(lista, itens.first);
                                                      SendMessageW(lista, CB_SETCURSEL, itens.second, 0);
                                                    });
  comandos_[GetDlgCtrlID(lista)] = [this, lista, &modelo, &form = form_, handler, vinculo](int notificacao) {
    if (notificacao != CBN_SELCHANGE) return;
    modelo.ItemIndex = static_cast<int>(SendMessageW(lista, CB_GETCURSEL, 0, 0));
    vinculo->Editado({modelo.Items, modelo.ItemIndex});
    Executar([&form, handler] { (form.*handler)(); });
  };
  renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
}

void TJanelaBilhetorWin32::Botao(TButton& modelo, void (TfrmBilhetor::*handler)(), const char* nome, int x, int y,
                                 int largura, int altura) {
  HWND botao = Criar(WC_BUTTONW, modelo.Caption, BS_PUSHBUTTON | WS_TABSTOP, x, y, largura, altura, nome);
  comandos_[GetDlgCtrlID(botao)] = [this, &form = form_, handler](int notificacao) {
    if (notificacao == BN_CLICKED) Executar([&form, handler] { (form.*handler)(); });
  };
  renderizar_.push_back([botao, &modelo] {
    if (TextoDe(botao) != modelo.Caption) DefinirTexto(botao, modelo.Caption);
    EnableWindow(botao, modelo.Enabled);
    ShowWindow(botao, modelo.Visible ? SW_SHOWNA : SW_HIDE);
  });
}

void TJanelaBilhetorWin32::ConfirmarPorta() {
  const std::string texto = TextoDe(cbxPorta_);
  if (texto == form_.cbxPorta.Text) return;
  form_.cbxPorta.Text = texto;
  porta_->Editado(texto);
  Executar([this] { form_.cbxPortaChange(); });
}

HWND TJanelaBilhetorWin32::Controle(const std::string& nome) const {
  const auto it = nomes_.find(nome);
  return it == nomes_.end() ? nullptr : it->second;
}

// --- DPI and layout ------------------------------------------------------------------------------

int TJanelaBilhetorWin32::Px(int du, bool vertical) const {
  return vertical ? MulDiv(du, baseY_, 8) : MulDiv(du, baseX_, 4);
}

void TJanelaBilhetorWin32::AplicarDpi(UINT dpi) {
  for (HFONT f : {fonte_, fonteNegrito_})
    if (f) DeleteObject(f);
  LOGFONTW lf = FonteMensagens(dpi);
  fonte_ = CreateFontIndirectW(&lf);
  lf.lfWeight = FW_BOLD;
  fonteNegrito_ = CreateFontIndirectW(&lf);
  // The dialog base units of the font: its average width of the letters and
  // its height, as the dialog manager measures them.
  const HDC dc = GetDC(janela_);
  const HGDIOBJ antes = SelectObject(dc, fonte_);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SIZE letras{};
  GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letras);
  SelectObject(dc, antes);
  ReleaseDC(janela_, dc);
  baseX_ = std::max(1, static_cast<int>((letras.cx / 26 + 1) / 2));
  baseY_ = std::max(1, static_cast<int>(tm.tmHeight));

  const int larguraCliente = static_cast<int>(cliente_.cx);
  for (const TControle& c : controles_) {
    RECT du = c.du;
    // The groups that span the window.
    if (du.right == 0) du.right = larguraCliente - kMargem;
    MoveWindow(c.hwnd, Px(du.left, false), Px(du.top, true), Px(du.right - du.left, false),
               Px(du.bottom - du.top, true), FALSE);
    const bool negrito = std::find(negritos_.begin(), negritos_.end(), c.hwnd) != negritos_.end();
    SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(negrito ? fonteNegrito_ : fonte_), FALSE);
  }
  RECT janela{0, 0, Px(larguraCliente, false), Px(static_cast<int>(cliente_.cy), true)};
  AdjustWindowRectEx(&janela, static_cast<DWORD>(GetWindowLongPtrW(janela_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(janela_, GWL_EXSTYLE)));
  SetWindowPos(janela_, nullptr, 0, 0, janela.right - janela.left, janela.bottom - janela.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(janela_, nullptr, TRUE);
}

// --- showing the model ------------------------------------------------------------------------

void TJanelaBilhetorWin32::Executar(const std::function<void()>& handler) {
  form_.ExecutarTratando(handler);
  Renderizar();
}

void TJanelaBilhetorWin32::Renderizar() {
  // Writing to the controls makes them notify (EN_CHANGE); while the window
  // shows the model those notifications are not the operator's.
  renderizando_ = true;
  if (TextoDe(janela_) != form_.Caption) DefinirTexto(janela_, form_.Caption);
  for (const auto& renderizar : renderizar_) renderizar();
  porta_->Renderizar();
  if (iniciada_) {
    AtualizarBandeja();
    SincronizarTimer(kTimer1, form_.Timer1, partidas1_, timer1Ativo_);
    SincronizarTimer(kTimer2, form_.Timer2, partidas2_, timer2Ativo_);
    AplicarEstadoJanela();
  }
  renderizando_ = false;
}

void TJanelaBilhetorWin32::SincronizarTimer(UINT id, const TTimer& modelo, uint64_t& partidas, bool& ativo) {
  if (!modelo.Enabled()) {
    if (ativo) KillTimer(janela_, id);
    ativo = false;
    return;
  }
  // Enabled again since the last look: its interval starts anew.
  if (!ativo || modelo.Partidas() != partidas) SetTimer(janela_, id, static_cast<UINT>(modelo.Interval), nullptr);
  ativo = true;
  partidas = modelo.Partidas();
}

void TJanelaBilhetorWin32::AplicarEstadoJanela() {
  EnableWindow(janela_, form_.Enabled);
  const bool visivel = IsWindowVisible(janela_), minimizada = IsIconic(janela_);
  if (!form_.Visivel) {
    if (visivel) ShowWindow(janela_, SW_HIDE);
  } else if (form_.Minimizado) {
    if (!visivel || !minimizada) ShowWindow(janela_, SW_SHOWMINNOACTIVE);
  } else if (!visivel || minimizada) {
    ShowWindow(janela_, visivel ? SW_RESTORE : SW_SHOWNORMAL);
  }
}

void TJanelaBilhetorWin32::TrazerParaFrente() {
  if (!IsWindowVisible(janela_) || IsIconic(janela_)) return;
  SetForegroundWindow(janela_);
}

// --- the tray icon -----------------------------------------------------------------------------

void TJanelaBilhetorWin32::AtualizarBandeja() {
  NOTIFYICONDATAW dados{};
  dados.cbSize = sizeof dados;
  dados.hWnd = janela_;
  dados.uID = kIdIcone;
  if (!form_.TrayIcon1.Visible) {
    RemoverBandeja();
    return;
  }
  dados.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  dados.uCallbackMessage = kMsgBandeja;
  dados.hIcon = iconePequeno_ ? iconePequeno_ : icone_;
  const std::wstring dica = Largo(form_.TrayIcon1.Hint).substr(0, std::size(dados.szTip) - 1);
  std::copy(dica.begin(), dica.end(), dados.szTip);
  if (!iconeAdicionado_) {
    iconeAdicionado_ = Shell_NotifyIconW(NIM_ADD, &dados);
    form_.BandejaDisponivel = iconeAdicionado_;
  } else if (dica != DicaBandeja()) {
    Shell_NotifyIconW(NIM_MODIFY, &dados);
  }
  if (iconeAdicionado_) dica_ = dica;
}

void TJanelaBilhetorWin32::RemoverBandeja() {
  if (!iconeAdicionado_) return;
  NOTIFYICONDATAW dados{};
  dados.cbSize = sizeof dados;
  dados.hWnd = janela_;
  dados.uID = kIdIcone;
  Shell_NotifyIconW(NIM_DELETE, &dados);
  iconeAdicionado_ = false;
}

void TJanelaBilhetorWin32::MostrarMenuBandeja() {
  POINT ponto{};
  GetCursorPos(&ponto);
  // The menu closes when the operator clicks elsewhere only if the window is
  // in the foreground; the empty message after it lets the menu go.
  SetForegroundWindow(janela_);
  TrackPopupMenu(menu_, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, ponto.x, ponto.y, 0, janela_, nullptr);
  PostMessageW(janela_, WM_NULL, 0, 0);
}

// --- start, ticks and window messages ------------------------------------------------------------

void TJanelaBilhetorWin32::Iniciar() {
  iniciada_ = true;
  AtualizarBandeja();
  // Centred on the desktop's work area.
  RECT area{}, janela{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  GetWindowRect(janela_, &janela);
  const int largura = janela.right - janela.left, altura = janela.bottom - janela.top;
  SetWindowPos(janela_, nullptr, area.left + (area.right - area.left - largura) / 2,
               area.top + (area.bottom - area.top - altura) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The program starts minimized.
  Executar([this] { form_.ApplicationEvents1Minimize(); });
}

void TJanelaBilhetorWin32::Timer1Tick() {
  // A notification area that was not there at start (the task bar starts
  // after the program) takes the icon at the next second.
  if (!iconeAdicionado_) AtualizarBandeja();
  Executar([this] { form_.Timer1Timer(); });
}

void TJanelaBilhetorWin32::Timer2Tick() {
  Executar([this] { form_.Timer2Timer(); });
}

bool TJanelaBilhetorWin32::TratarTeclado(MSG& mensagem) {
  if (mensagem.message == WM_KEYDOWN && mensagem.wParam == VK_RETURN && cbxPorta_ &&
      (mensagem.hwnd == cbxPorta_ || IsChild(cbxPorta_, mensagem.hwnd))) {
    ConfirmarPorta();
    return true;
  }
  return IsDialogMessageW(janela_, &mensagem);
}

void TJanelaBilhetorWin32::Comando(int id, int notificacao) {
  if (const auto it = comandos_.find(id); it != comandos_.end()) it->second(notificacao);
}

LRESULT CALLBACK TJanelaBilhetorWin32::Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    const auto* criacao = reinterpret_cast<const CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(criacao->lpCreateParams));
  }
  TJanelaBilhetorWin32* janela = DaJanela(hwnd);
  if (!janela || !janela->janela_) return DefWindowProcW(hwnd, msg, wp, lp);
  return janela->Tratar(msg, wp, lp);
}

LRESULT TJanelaBilhetorWin32::Tratar(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == msgTaskbarCreated_ && msgTaskbarCreated_ != 0) {
    iconeAdicionado_ = false;
    AtualizarBandeja();
    return 0;
  }
  switch (msg) {
    case WM_TIMER:
      if (wp == kTimer1) Timer1Tick();
      else if (wp == kTimer2) Timer2Tick();
      return 0;
    case WM_COMMAND:
      if (lp == 0) {  // the tray menu
        if (LOWORD(wp) == kMenuRestaurar1) {
          Executar([this] { form_.Restaurar1Click(); });
          TrazerParaFrente();
        } else if (LOWORD(wp) == kMenuEncerrarPrograma1) {
          Executar([this] { form_.EncerrarPrograma1Click(); });
        }
      } else {
        Comando(LOWORD(wp), HIWORD(wp));
      }
      return 0;
    case kMsgBandeja:
      switch (LOWORD(lp)) {
        case WM_LBUTTONDBLCLK:
          Executar([this] { form_.TrayIcon1DblClick(); });
          TrazerParaFrente();
          break;
        case WM_LBUTTONUP:
          Executar([this] { form_.TrayIcon1Click(); });
          break;
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
          MostrarMenuBandeja();
          break;
        default:
          break;
      }
      return 0;
    case WM_SIZE:
      if (!renderizando_ && iniciada_) {
        if (wp == SIZE_MINIMIZED && !form_.Minimizado) {
          // The operator minimized the window: it goes to the tray once this
          // message is over.
          PostMessageW(janela_, kMsgMinimizar, 0, 0);
        } else if (wp == SIZE_RESTORED && form_.Minimizado && IsWindowVisible(janela_)) {
          // Restored from the task bar (where there is no tray).
          form_.Minimizado = false;
        }
      }
      return 0;
    case kMsgMinimizar:
      Executar([this] { form_.ApplicationEvents1Minimize(); });
      return 0;
    case WM_CLOSE: {
      bool fechar = true;
      Executar([this, &fechar] { fechar = form_.FormClose(); });
      if (fechar) PostQuitMessage(0);
      return 0;
    }
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The session ends (or an installer asks the program to end): between
      // two handlers, as every message is.
      if (wp) PostQuitMessage(0);
      return 0;
    case kMsgParar:
      PostQuitMessage(0);
      return 0;
    case WM_DPICHANGED: {
      AplicarDpi(HIWORD(wp));
      const RECT* sugerido = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(janela_, nullptr, sugerido->left, sugerido->top, sugerido->right - sugerido->left,
                   sugerido->bottom - sugerido->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      const HDC dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
      return DefWindowProcW(janela_, msg, wp, lp);
  }
}

}  // namespace bilhetor
