#pragma once
// TEpsonUSBPrinter: Epson receipt printers on USB, through Epson's library
// InterfaceEpsonNF.dll (libInterfaceEpsonNF.so on Linux).
//
// The library takes printer commands and answers status questions through
// functions of its own; it has no way to read the printer's replies. So the
// two kinds of question the command sets ask are answered here:
//   DLE EOT n (10 04 n), real-time status: nothing is sent; the next Ler
//     gives one status byte built from the library's status functions
//     (n = 1: drawer, 2: off-line cause, 4: paper sensor; 00 for any other n).
//   GS I n (1D 49 n), printer information: nothing is sent; the next Ler
//     gives "2" -> 02, "A" -> "A", "B" -> "_EPSON", "C" -> the model name,
//     "D" -> the serial number (both without the blanks around them), any
//     other n -> nothing.
// Every other command goes to the printer as it is. A Ler with no question
// pending gives nothing; a pending status question is answered before a
// pending information question.
#include <string>

#include "device/EscPosHook.h"

namespace bilhetor {

class TEpsonUSBPrinter : public TPosPrinterHook {
 public:
  // InterfaceEpsonNF.dll on Windows, libInterfaceEpsonNF.so on Linux.
  static constexpr const char* cNomeBiblioteca = "InterfaceEpsonNF";
  static std::string NomeArquivo() { return NomeArquivoBiblioteca(cNomeBiblioteca); }

  // Brand "EPSON", library NomeArquivo().
  TEpsonUSBPrinter();
  // Closes the port when open and releases the library.
  ~TEpsonUSBPrinter() override;

  std::string NomeClasse() const override { return "TEpsonUSBPrinter"; }
  // IniciaPorta, FechaPorta, ComandoTX, Le_Status, Le_Status_Gaveta,
  // LeModelo, LeNumeroSerie, in that order; the first one missing is named in
  // the error.
  void CarregarFuncoes() override;
  void DescarregarFuncoes() override;
  // Also forgets any pending question.
  void Inicializar() override;
  // IniciaPorta("USB"); a result other than 1 raises "Erro ao Abrir porta"
  // and leaves the hook closed.
  void Abrir(const std::string& APort) override;
  // FechaPorta; a result other than 1 raises "Erro ao Fechar a porta" and
  // leaves the hook open.
  void Fechar() override;
  // A question is remembered; anything else goes through ComandoTX, whose
  // result other than 1 raises "Erro ao Enviar Dados para porta".
  void Enviar(const std::string& cmd) override;
  // The answer to the pending question (NumBytes and ATimeOut are not used).
  void Ler(int NumBytes, int ATimeOut, std::string& Retorno) override;

  // The library lies in the program's folder.
  static bool BibliotecaDisponivel() { return ArquivoNaPasta(NomeArquivo()); }
  static std::string NomeMarcaClasse() { return "EPSON"; }

  // The pending status question (the n of DLE EOT n), 0 = none.
  int StatusPedido() const { return statusPedido_; }
  // The pending information question (the n of GS I n), blank = none.
  char InfoPedida() const { return infoPedida_; }

 private:
  // The library's functions. Strings are 8-bit and zero-terminated; the
  // buffers of LeModelo and LeNumeroSerie are 32 bytes filled with blanks.
  using TIniciaPorta = int(BILHETOR_STDCALL*)(const char* Porta);
  using TFechaPorta = int(BILHETOR_STDCALL*)();
  using TComandoTX = int(BILHETOR_STDCALL*)(const char* Comando, int Tamanho);
  using TLeStatus = int(BILHETOR_STDCALL*)();
  using TLeStatusGaveta = int(BILHETOR_STDCALL*)();
  using TLeModelo = int(BILHETOR_STDCALL*)(char* Modelo);
  using TLeNumeroSerie = int(BILHETOR_STDCALL*)(char* NumeroSerie);

  // The status byte for the pending status question.
  char ByteStatus();
  // A text the library writes into a 32-byte buffer of blanks, without the
  // blanks around it; empty when the function does not return 1.
  static std::string LerTexto32(int(BILHETOR_STDCALL* Funcao)(char*));

  TIniciaPorta iniciaPorta_ = nullptr;
  TFechaPorta fechaPorta_ = nullptr;
  TComandoTX comandoTX_ = nullptr;
  TLeStatus leStatus_ = nullptr;
  TLeStatusGaveta leStatusGaveta_ = nullptr;
  TLeModelo leModelo_ = nullptr;
  TLeNumeroSerie leNumeroSerie_ = nullptr;

  int statusPedido_ = 0;
  char infoPedida_ = ' ';
};

}  // namespace bilhetor
