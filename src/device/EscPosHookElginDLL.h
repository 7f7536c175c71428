#pragma once
// TElginUSBPrinter: Elgin receipt printers on USB, through the printer
// library HprtPrinter.dll (libHprtPrinter.so on Linux).
//
// Loading also creates the library's printer object (model "i7"); the hook
// counts as loaded exactly while it holds that object. Every command goes to
// the printer as it is, status questions included, and Ler hands over what
// the printer has answered so far (up to 1024 bytes, possibly nothing): the
// device's hook reading asks again until it has enough or its time runs out.
// The library reports no failure of a write or a read; they show only as a
// missing or short answer.
#include <string>

#include "device/EscPosHook.h"

namespace bilhetor {

class TElginUSBPrinter : public TPosPrinterHook {
 public:
  // HprtPrinter.dll on Windows, libHprtPrinter.so on Linux.
  static constexpr const char* cNomeBiblioteca = "HprtPrinter";
  static std::string NomeArquivo() { return NomeArquivoBiblioteca(cNomeBiblioteca); }
  // The printer model the library's object is created for.
  static constexpr const char16_t* cModeloImpressora = u"i7";
  // The most a Ler takes from the library at once.
  static constexpr unsigned cTamanhoLeitura = 1024;

  // Brand "ELGIN", library NomeArquivo().
  TElginUSBPrinter();
  // Closes the port when open and releases the library.
  ~TElginUSBPrinter() override;

  std::string NomeClasse() const override { return "TElginUSBPrinter"; }
  // Loaded while the library's printer object exists.
  bool EstaCarregada() const override;
  // PrtPrinterCreatorW, PrtPortOpenW, PrtPortClose, PrtDirectIO, in that
  // order; the first one missing is named in the error.
  void CarregarFuncoes() override;
  void DescarregarFuncoes() override;
  // Loads the library and creates the printer object; a creation result
  // other than 0 raises EPosPrinterHook "Erro ao criar instância do Objeto da
  // impressora ELGIN: <result>" and leaves the hook unloaded.
  void Inicializar() override;
  // Closes, releases the library and forgets the printer object.
  void Finalizar() override;
  // PrtPortOpenW(object, u"USB"); a result other than 0 raises "Erro ao
  // Abrir porta" and leaves the hook closed.
  void Abrir(const std::string& APort) override;
  // PrtPortClose; a result other than 0 raises "Erro ao Fechar a porta" and
  // leaves the hook open.
  void Fechar() override;
  // PrtDirectIO writing cmd, reading nothing; its result is not looked at.
  void Enviar(const std::string& cmd) override;
  // PrtDirectIO reading up to 1024 bytes; Retorno is what it read (NumBytes
  // and ATimeOut are not used).
  void Ler(int NumBytes, int ATimeOut, std::string& Retorno) override;

  // The library lies in the program's folder.
  static bool BibliotecaDisponivel() { return ArquivoNaPasta(NomeArquivo()); }
  static std::string NomeMarcaClasse() { return "ELGIN"; }

  // The library's printer object, nullptr when none.
  void* Instancia() const { return instancia_; }

 private:
  // The library's functions (C calling convention). Texts are UTF-16 and
  // zero-terminated.
  using TPrtPrinterCreatorW = int(BILHETOR_CDECL*)(void** Instancia, const char16_t* Modelo);
  using TPrtPortOpenW = int(BILHETOR_CDECL*)(void* Instancia, const char16_t* Porta);
  using TPrtPortClose = int(BILHETOR_CDECL*)(void* Instancia);
  using TPrtDirectIO = int(BILHETOR_CDECL*)(void* Instancia, const unsigned char* Escrever, unsigned QtdeEscrever,
                                            unsigned char* Ler, unsigned QtdeLer, unsigned* QtdeLida);

  TPrtPrinterCreatorW prtPrinterCreatorW_ = nullptr;
  TPrtPortOpenW prtPortOpenW_ = nullptr;
  TPrtPortClose prtPortClose_ = nullptr;
  TPrtDirectIO prtDirectIO_ = nullptr;

  void* instancia_ = nullptr;
};

}  // namespace bilhetor
