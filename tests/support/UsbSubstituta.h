#pragma once
// The stand-ins for the makers' USB printer libraries that the tests build
// (tests/support/usb): InterfaceEpsonNF and HprtPrinter (libInterfaceEpsonNF.so
// and libHprtPrinter.so on Linux, InterfaceEpsonNF.dll and HprtPrinter.dll on
// Windows) export the functions the hooks call, record every call with its
// arguments, and return what the test sets. See usb/EpsonSubstituta.cpp and usb/ElginSubstituta.cpp
// for the names of the results and the form of the recorded calls.
//
// An object makes a program folder (Pasta) to copy libraries into, and a
// control folder that it names in the environment (BILHETOR_USB_SUBSTITUTA),
// so a stand-in loaded by this process or by a program it starts reports to
// it. Tests point the hooks' library folder at Pasta.
#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace bilhetor::testing {

class UsbSubstituta {
 public:
  enum class Marca { Epson, Elgin };

  UsbSubstituta();
  // Takes the control folder out of the environment.
  ~UsbSubstituta();
  UsbSubstituta(const UsbSubstituta&) = delete;
  UsbSubstituta& operator=(const UsbSubstituta&) = delete;

  // The program folder, ending in "/".
  std::string Pasta() const;
  // The library's file name ("libInterfaceEpsonNF.so", "InterfaceEpsonNF.dll").
  static std::string NomeArquivo(Marca m);
  // Copies the built stand-in into Pasta: the whole one, or the one that
  // lacks a function (Le_Status_Gaveta for Epson, PrtDirectIO for Elgin).
  void Copiar(Marca m, bool incompleta = false);
  // Puts a file of that name into Pasta that is not a library at all.
  void CopiarArquivoInvalido(Marca m);

  // What a function returns from now on (written at once; the stand-in reads
  // it at each call).
  void Definir(Marca m, const std::string& Chave, const std::string& Valor);
  void Definir(Marca m, const std::string& Chave, int Valor) { Definir(m, Chave, std::to_string(Valor)); }
  // Elgin: the bytes the next unanswered read of the printer gives (empty:
  // 0 bytes).
  void AdicionarLeitura(const std::string& Bytes);
  // Elgin: no answers any more; every read gives 0 bytes.
  void LimparLeituras();

  // The calls recorded so far, in order; Esquecer starts the record afresh.
  std::vector<std::string> Chamadas(Marca m) const;
  void Esquecer(Marca m);

 private:
  void Gravar(Marca m) const;
  std::string Controle(Marca m, const std::string& extensao) const;

  TempDir dir_;
  std::map<Marca, std::vector<std::pair<std::string, std::string>>> respostas_;
};

// The environment of this process, which a stand-in loaded into it reads
// (UsbSubstitutaPosix.cpp, UsbSubstitutaWin32.cpp).
void DefinirVariavelAmbiente(const char* Nome, const std::string& Valor);
void ApagarVariavelAmbiente(const char* Nome);

// Bytes as the stand-ins record them: upper-case hexadecimal, two digits each.
std::string Hex(const std::string& Bytes);

}  // namespace bilhetor::testing
