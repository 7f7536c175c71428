#include "gui/JanelaConfiguraSerialWin32.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Vinculo.h"
#include "gui/RecursosWin32.h"
#include "gui/TextoWin32.h"

namespace bilhetor {

namespace {

constexpr UINT kMsgAberto = WM_APP + 10;

class TJanelaConfiguraSerial {
 public:
  TJanelaConfiguraSerial(TfrConfiguraSerial& dialogo, const std::function<void(HWND)>& aoAbrir)
      : dialogo_(dialogo), aoAbrir_(aoAbrir) {}

  static INT_PTR CALLBACK Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    auto* janela = reinterpret_cast<TJanelaConfiguraSerial*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return janela ? janela->Tratar(hwnd, msg, wp) : FALSE;
  }

 private:
  INT_PTR Tratar(HWND hwnd, UINT msg, WPARAM wp) {
    switch (msg) {
      case WM_INITDIALOG:
        janela_ = hwnd;
        Criar();
        PostMessageW(hwnd, kMsgAberto, 0, 0);
        return TRUE;  // the focus on the first control, the port
      case kMsgAberto:
        if (aoAbrir_) aoAbrir_(hwnd);
        return TRUE;
      case WM_COMMAND:
        Comando(LOWORD(wp), HIWORD(wp));
        return TRUE;
      default:
        return FALSE;
    }
  }

  void Criar() {
    DefinirTexto(janela_, dialogo_.Caption);
    Lista(IDC_PORTA_SERIAL, dialogo_.cmbPortaSerial, &TfrConfiguraSerial::cmbPortaSerialChange, true);
    Lista(IDC_BAUD_RATE, dialogo_.cmbBaudRate, &TfrConfiguraSerial::cmbBaudRateChange, true);
    Lista(IDC_DATA_BITS, dialogo_.cmbDataBits, &TfrConfiguraSerial::cmbDataBitsChange, false);
    Lista(IDC_PARITY, dialogo_.cmbParity, &TfrConfiguraSerial::cmbParityChange, false);
    Lista(IDC_STOP_BITS, dialogo_.cmbStopBits, &TfrConfiguraSerial::cmbStopBitsChange, false);
    Lista(IDC_HANDSHAKING, dialogo_.cmbHandShaking, &TfrConfiguraSerial::cmbHandShakingChange, false);
    Caixa(IDC_HARD_FLOW, dialogo_.chHardFlow, &TfrConfiguraSerial::chHardFlowClick);
    Caixa(IDC_SOFT_FLOW, dialogo_.chSoftFlow, &TfrConfiguraSerial::chSoftFlowClick);
    Renderizar();
  }

  void Lista(int id, TComboBox& modelo, void (TfrConfiguraSerial::*handler)(), bool editavel) {
    HWND lista = GetDlgItem(janela_, id);
    for (const std::string& item : modelo.Items)
      SendMessageW(lista, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Largo(item).c_str()));
    if (!editavel) {
      auto vinculo = std::make_shared<TVinculo<int>>([&modelo] { return modelo.ItemIndex; },
                                                     [lista](const int& i) { SendMessageW(lista, CB_SETCURSEL, i, 0); });
      comandos_.push_back({id, [this, lista, &modelo, handler, vinculo](int notificacao) {
                             if (notificacao != CBN_SELCHANGE) return;
                             modelo.ItemIndex = static_cast<int>(SendMessageW(lista, CB_GETCURSEL, 0, 0));
                             vinculo->Editado(modelo.ItemIndex);
                             Handler(handler);
                           }});
      renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
      return;
    }
    auto vinculo = std::make_shared<TVinculo<std::string>>([&modelo] { return modelo.Text; },
                                                           [lista](const std::string& t) {
                                                             SendMessageW(lista, CB_SETCURSEL, Achar(lista, t), 0);
                                                             DefinirTexto(lista, t);
                                                           });
    auto confirmar = [this, lista, &modelo, handler, vinculo] {
      const std::string texto = TextoDe(lista);
      if (texto == modelo.Text) return;
      modelo.Text = texto;
      modelo.ItemIndex = Achar(lista, texto);
      vinculo->Editado(texto);
      Handler(handler);
    };
    comandos_.push_back({id, [lista, confirmar](int notificacao) {
                           if (notificacao == CBN_SELCHANGE) {
                             // The edit box takes the item's text after this notification.
                             const LRESULT i = SendMessageW(lista, CB_GETCURSEL, 0, 0);
                             if (i < 0) return;
                             std::wstring item(static_cast<std::size_t>(SendMessageW(lista, CB_GETLBTEXTLEN, i, 0)) + 1,
                                               L'\0');
                             SendMessageW(lista, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
                             SetWindowTextW(lista, item.c_str());
                             confirmar();
                           } else if (notificacao == CBN_KILLFOCUS) {
                             confirmar();
                           }
                         }});
    confirmar_.push_back(confirmar);
    renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
  }

  void Caixa(int id, TCheckBox& modelo, void (TfrConfiguraSerial::*handler)()) {
    HWND caixa = GetDlgItem(janela_, id);
    DefinirTexto(caixa, modelo.Caption);
    auto vinculo = std::make_shared<TVinculo<bool>>([&modelo] { return modelo.Checked; },
                                                    [caixa](const bool& marcado) {
                                                      SendMessageW(caixa, BM_SETCHECK,
                                                                   marcado ? BST_CHECKED : BST_UNCHECKED, 0);
                                                    });
    comandos_.push_back({id, [this, caixa, &modelo, handler, vinculo](int notificacao) {
                           if (notificacao != BN_CLICKED) return;
                           modelo.Checked = SendMessageW(caixa, BM_GETCHECK, 0, 0) == BST_CHECKED;
                           vinculo->Editado(modelo.Checked);
                           Handler(handler);
                         }});
    renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
  }

  static int Achar(HWND lista, const std::string& texto) {
    return static_cast<int>(
        SendMessageW(lista, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(Largo(texto).c_str())));
  }

  void Comando(int id, int notificacao) {
    if (id == IDOK && notificacao == BN_CLICKED) {
      for (const auto& confirmar : confirmar_) confirmar();
      dialogo_.btOKClick();
      EndDialog(janela_, IDOK);
      return;
    }
    if (id == IDCANCEL) {  // the button, Esc or the close box
      dialogo_.btCancelarClick();
      EndDialog(janela_, IDCANCEL);
      return;
    }
    for (const auto& [controle, comando] : comandos_)
      if (controle == id) comando(notificacao);
  }

  void Handler(void (TfrConfiguraSerial::*handler)()) {
    dialogo_.ExecutarTratando([&dialogo = dialogo_, handler] { (dialogo.*handler)(); });
    Renderizar();
  }

  void Renderizar() {
    for (const auto& renderizar : renderizar_) renderizar();
  }

  TfrConfiguraSerial& dialogo_;
  const std::function<void(HWND)>& aoAbrir_;
  HWND janela_ = nullptr;
  std::vector<std::pair<int, std::function<void(int)>>> comandos_;
  std::vector<std::function<void()>> confirmar_;
  std::vector<std::function<void()>> renderizar_;
};

}  // namespace

TModalResult TDialogosWin32::MostrarModal(TfrConfiguraSerial& Dialogo) {
  TJanelaConfiguraSerial janela(Dialogo, AoAbrir);
  const INT_PTR resultado = DialogBoxParamW(instancia_, MAKEINTRESOURCEW(IDD_CONFIGURA_SERIAL), pai_,
                                            TJanelaConfiguraSerial::Procedimento, reinterpret_cast<LPARAM>(&janela));
  if (resultado == -1) throw Exception("O di\xE1logo da porta serial n\xE3o p\xF4" "de ser aberto");
  return resultado == IDOK && Dialogo.ModalResult == TModalResult::mrOk ? TModalResult::mrOk : TModalResult::mrCancel;
}

}  // namespace bilhetor
