#include "gui/MensagensWin32.h"

#include <commctrl.h>

#include <algorithm>

#include "common/Strings.h"
#include "gui/TextoWin32.h"

namespace bilhetor {

namespace {

constexpr const wchar_t* kClasse = L"TCaixaMensagem";

}  // namespace

TMensagensWin32::TMensagensWin32(std::ostream& log, const TRelogioLocal& relogio, HINSTANCE instancia)
    : TMensagensJanela(log, relogio), instancia_(instancia) {}

TMensagensWin32::~TMensagensWin32() {
  if (janela_) {
    SetWindowLongPtrW(janela_, GWLP_USERDATA, 0);
    DestroyWindow(janela_);
  }
  if (fonte_) DeleteObject(fonte_);
}

void TMensagensWin32::Exibir() {
  if (!janela_) {
    WNDCLASSEXW classe{};
    classe.cbSize = sizeof classe;
    classe.lpfnWndProc = Procedimento;
    classe.hInstance = instancia_;
    classe.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    classe.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    classe.lpszClassName = kClasse;
    RegisterClassExW(&classe);
    janela_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClasse, L"",
                              WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr,
                              nullptr, instancia_, nullptr);
    if (!janela_) return;  // the line on the stream is all there is
    SetWindowLongPtrW(janela_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    NONCLIENTMETRICSW metricas{};
    metricas.cbSize = sizeof metricas;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metricas, &metricas, 0);
    fonte_ = CreateFontIndirectW(&metricas.lfMessageFont);
    icone_ = CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_ICON, 0, 0, 0, 0, janela_, nullptr,
                             instancia_, nullptr);
    texto_ = CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, janela_,
                             nullptr, instancia_, nullptr);
    ok_ = CreateWindowExW(0, WC_BUTTONW, L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
                          janela_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instancia_, nullptr);
    for (HWND c : {texto_, ok_}) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(fonte_), FALSE);
  }
  static const LPCWSTR kIcones[] = {MAKEINTRESOURCEW(32516), MAKEINTRESOURCEW(32515),
                                    MAKEINTRESOURCEW(32513)};  // information, warning, error
  SendMessageW(icone_, STM_SETICON,
               reinterpret_cast<WPARAM>(LoadIconW(nullptr, kIcones[static_cast<int>(caixa_.Icone())])), 0);
  DefinirTexto(janela_, caixa_.Titulo());
  // Some texts separate their lines with a CR alone (the second copy's message).
  const std::string texto = ReplaceAll(ReplaceAll(ReplaceAll(caixa_.Texto(), "\r\n", "\n"), "\r", "\n"), "\n", "\r\n");
  DefinirTexto(texto_, texto);

  // Sized to the text: as a message box, wide enough for the caption.
  const HDC dc = GetDC(janela_);
  const HGDIOBJ antes = SelectObject(dc, fonte_);
  RECT medida{0, 0, 420, 0};
  const std::wstring largo = Largo(texto);
  DrawTextW(dc, largo.c_str(), static_cast<int>(largo.size()), &medida, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, antes);
  ReleaseDC(janela_, dc);
  const int u = std::max<int>(8, static_cast<int>(tm.tmHeight));  // one line
  const int icone = GetSystemMetrics(SM_CXICON);
  const int larguraTexto = std::max<int>(medida.right, 12 * u);
  const int alturaTexto = std::max<int>(medida.bottom, icone);
  const int larguraBotao = 6 * u, alturaBotao = u * 7 / 4;
  MoveWindow(icone_, u, u, icone, icone, FALSE);
  MoveWindow(texto_, 2 * u + icone, u, larguraTexto, alturaTexto, FALSE);
  const int largura = 3 * u + icone + larguraTexto;
  const int altura = 3 * u + alturaTexto + alturaBotao;
  MoveWindow(ok_, (largura - larguraBotao) / 2, 2 * u + alturaTexto, larguraBotao, alturaBotao, FALSE);
  RECT janela{0, 0, largura, altura};
  AdjustWindowRectEx(&janela, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME);
  const int w = janela.right - janela.left, h = janela.bottom - janela.top;
  if (IsWindowVisible(janela_)) {
    // Already on the screen: the count (or the new text) changes in place,
    // where the operator left the box, and the focus stays where it is.
    SetWindowPos(janela_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(janela_, nullptr, TRUE);
    return;
  }
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  SetWindowPos(janela_, HWND_TOP, area.left + (area.right - area.left - w) / 2,
               area.top + (area.bottom - area.top - h) / 2, w, h, SWP_SHOWWINDOW);
  SetForegroundWindow(janela_);
  SetFocus(ok_);
}

void TMensagensWin32::Fechar() {
  caixa_.Fechar();
  ShowWindow(janela_, SW_HIDE);
}

bool TMensagensWin32::TratarTeclado(MSG& mensagem) {
  return janela_ && IsWindowVisible(janela_) && IsDialogMessageW(janela_, &mensagem);
}

void TMensagensWin32::AguardarFechamento() {
  MSG mensagem;
  while (caixa_.Aberta() && GetMessageW(&mensagem, nullptr, 0, 0) > 0) {
    if (TratarTeclado(mensagem)) continue;
    TranslateMessage(&mensagem);
    DispatchMessageW(&mensagem);
  }
}

LRESULT CALLBACK TMensagensWin32::Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* mensagens = reinterpret_cast<TMensagensWin32*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (mensagens) {
    switch (msg) {
      case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) mensagens->Fechar();
        return 0;
      case WM_CLOSE:
        mensagens->Fechar();
        return 0;
      case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      default:
        break;
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace bilhetor
