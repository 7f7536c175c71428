#include "device/EscPosHookEpsonDLL.h"

#include <climits>
#include <cstring>

#include "common/Strings.h"

namespace bilhetor {

TEpsonUSBPrinter::TEpsonUSBPrinter() {
  nomeMarca_ = NomeMarcaClasse();
  nomeDLL_ = NomeArquivo();
}

TEpsonUSBPrinter::~TEpsonUSBPrinter() { FinalizarAoDestruir(); }

void TEpsonUSBPrinter::CarregarFuncoes() {
  if (EstaCarregada()) return;
  CarregarFuncao("IniciaPorta", iniciaPorta_);
  CarregarFuncao("FechaPorta", fechaPorta_);
  CarregarFuncao("ComandoTX", comandoTX_);
  CarregarFuncao("Le_Status", leStatus_);
  CarregarFuncao("Le_Status_Gaveta", leStatusGaveta_);
  CarregarFuncao("LeModelo", leModelo_);
  CarregarFuncao("LeNumeroSerie", leNumeroSerie_);
}

void TEpsonUSBPrinter::DescarregarFuncoes() {
  TPosPrinterHook::DescarregarFuncoes();
  iniciaPorta_ = nullptr;
  fechaPorta_ = nullptr;
  comandoTX_ = nullptr;
  leStatus_ = nullptr;
  leStatusGaveta_ = nullptr;
  leModelo_ = nullptr;
  leNumeroSerie_ = nullptr;
}

void TEpsonUSBPrinter::Inicializar() {
  if (EstaCarregada()) return;
  TPosPrinterHook::Inicializar();
  statusPedido_ = 0;
  infoPedida_ = ' ';
}

void TEpsonUSBPrinter::Abrir(const std::string& APort) {
  if (EstaConectada()) return;
  TPosPrinterHook::Abrir(APort);
  try {
    if (iniciaPorta_(portaHook_.c_str()) != 1)
      throw Exception(Format(cMsgHookErroAbrir, portaHook_.c_str(), nomeMarca_.c_str()));
  } catch (...) {
    conectada_ = false;
    portaHook_.clear();
    throw;
  }
}

void TEpsonUSBPrinter::Fechar() {
  if (!EstaConectada()) return;
  // A port the library could not close stays marked open, so a later Fechar
  // tries again.
  if (fechaPorta_() != 1) throw Exception(Format(cMsgHookErroFechar, portaHook_.c_str(), nomeMarca_.c_str()));
  TPosPrinterHook::Fechar();
}

void TEpsonUSBPrinter::Enviar(const std::string& cmd) {
  VerificarConectada();
  if (cmd.size() >= 2 && cmd[0] == '\x10' && cmd[1] == '\x04') {
    statusPedido_ = cmd.size() > 2 ? static_cast<unsigned char>(cmd[2]) : 0;
    return;
  }
  if (cmd.size() >= 2 && cmd[0] == '\x1D' && cmd[1] == '\x49') {
    infoPedida_ = cmd.size() > 2 ? cmd[2] : ' ';
    return;
  }
  // The library takes the byte count as an int; a ticket never comes near it.
  const int tamanho = cmd.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(cmd.size());
  if (comandoTX_(cmd.data(), tamanho) != 1)
    throw Exception(Format(cMsgHookErroEnviar, portaHook_.c_str(), nomeMarca_.c_str()));
}

namespace {

std::string ComCabecalho(const std::string& texto) { return texto.empty() ? texto : "_" + texto; }

}  // namespace

void TEpsonUSBPrinter::Ler(int, int, std::string& Retorno) {
  Retorno.clear();
  VerificarConectada();
  if (statusPedido_ >= 1) {
    const char b = ByteStatus();
    statusPedido_ = 0;
    Retorno.assign(1, b);
  } else if (infoPedida_ != ' ') {
    switch (infoPedida_) {
      case '2': Retorno.assign(1, '\x02'); break;
      case 'A': Retorno = "A"; break;
      case 'B': Retorno = "_EPSON"; break;
      // A printer answers GS I with a header byte before the text, as
      // "_EPSON" shows; the model and serial number get it too, so that the
      // command set, which drops that byte, reads them whole.
      case 'C': Retorno = ComCabecalho(LerTexto32(leModelo_)); break;
      case 'D': Retorno = ComCabecalho(LerTexto32(leNumeroSerie_)); break;
      default: break;
    }
    infoPedida_ = ' ';
  }
}

char TEpsonUSBPrinter::ByteStatus() {
  // The library's codes turned into the bits of the printer's own status
  // bytes, which the command set decodes.
  unsigned char b = 0;
  switch (statusPedido_) {
    case 1:  // printer status: bit 2 is the drawer signal
      if (leStatusGaveta_() == 2) b |= 0x04;
      break;
    case 2: {  // off-line cause
      const int s = leStatus_();
      if (s == 0)
        b |= 0x40;  // error
      else if (s == 9)
        b |= 0x04;  // cover open
      else if (s == 32)
        b |= 0x20;  // paper end
      break;
    }
    case 4: {  // paper sensor: each state is a pair of bits, as the printer sends it
      const int s = leStatus_();
      if (s == 5)
        b |= 0x0C;  // paper near end
      else if (s == 32)
        b |= 0x60;  // paper end
      break;
    }
    default: break;
  }
  return static_cast<char>(b);
}

std::string TEpsonUSBPrinter::LerTexto32(int(BILHETOR_STDCALL* Funcao)(char*)) {
  // One byte more than the library is told of, zero, in case it ends the
  // text with a zero after a name of the whole 32 bytes.
  char buffer[33];
  std::memset(buffer, ' ', 32);
  buffer[32] = '\0';
  if (Funcao(buffer) != 1) return {};
  return Trim(std::string_view(buffer, 32));
}

}  // namespace bilhetor
