#include "support/UsbSubstituta.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace bilhetor::testing {

namespace fs = std::filesystem;

namespace {

const char* const kVariavel = "BILHETOR_USB_SUBSTITUTA";

std::string Prefixo(UsbSubstituta::Marca m) { return m == UsbSubstituta::Marca::Epson ? "epson" : "elgin"; }

}  // namespace

UsbSubstituta::UsbSubstituta() {
  fs::create_directories(dir_.Path() / "programa");
  fs::create_directories(dir_.Path() / "controle");
  DefinirVariavelAmbiente(kVariavel, (dir_.Path() / "controle").string());
}

UsbSubstituta::~UsbSubstituta() { ApagarVariavelAmbiente(kVariavel); }

std::string UsbSubstituta::Pasta() const { return (dir_.Path() / "programa").string() + "/"; }

// The names the build gave the stand-ins (usb/CMakeLists.txt), the ones the
// hooks load on this system.
std::string UsbSubstituta::NomeArquivo(Marca m) {
  return m == Marca::Epson ? BILHETOR_USB_ARQUIVO_EPSON : BILHETOR_USB_ARQUIVO_ELGIN;
}

void UsbSubstituta::Copiar(Marca m, bool incompleta) {
  const fs::path origem = fs::path(BILHETOR_USB_SUBSTITUTAS) / (incompleta ? "incompleta" : "completa") / NomeArquivo(m);
  // A new file, never the old one rewritten in place: a library still loaded
  // from it would change under the process.
  fs::remove(Pasta() + NomeArquivo(m));
  fs::copy_file(origem, Pasta() + NomeArquivo(m));
}

void UsbSubstituta::CopiarArquivoInvalido(Marca m) {
  fs::remove(Pasta() + NomeArquivo(m));
  WriteFile(Pasta() + NomeArquivo(m), "not a library\n");
}

void UsbSubstituta::Definir(Marca m, const std::string& Chave, const std::string& Valor) {
  auto& r = respostas_[m];
  bool trocou = false;
  for (auto& [chave, valor] : r)
    if (chave == Chave) {
      valor = Valor;
      trocou = true;
    }
  if (!trocou) r.emplace_back(Chave, Valor);
  Gravar(m);
}

void UsbSubstituta::AdicionarLeitura(const std::string& Bytes) {
  respostas_[Marca::Elgin].emplace_back("leitura", Hex(Bytes));
  Gravar(Marca::Elgin);
}

void UsbSubstituta::LimparLeituras() {
  auto& r = respostas_[Marca::Elgin];
  std::erase_if(r, [](const auto& par) { return par.first == "leitura"; });
  Gravar(Marca::Elgin);
}

std::vector<std::string> UsbSubstituta::Chamadas(Marca m) const {
  std::vector<std::string> linhas;
  std::ifstream in(Controle(m, "chamadas"));
  for (std::string l; std::getline(in, l);) linhas.push_back(l);
  return linhas;
}

void UsbSubstituta::Esquecer(Marca m) {
  std::error_code ec;
  fs::remove(Controle(m, "chamadas"), ec);
}

void UsbSubstituta::Gravar(Marca m) const {
  std::string texto;
  const auto it = respostas_.find(m);
  if (it != respostas_.end())
    for (const auto& [chave, valor] : it->second) texto += chave + "=" + valor + "\n";
  WriteFile(Controle(m, "respostas"), texto);
}

std::string UsbSubstituta::Controle(Marca m, const std::string& extensao) const {
  return (dir_.Path() / "controle" / (Prefixo(m) + "." + extensao)).string();
}

std::string Hex(const std::string& Bytes) {
  static const char digitos[] = "0123456789ABCDEF";
  std::string r;
  for (const unsigned char c : Bytes) {
    r += digitos[c >> 4];
    r += digitos[c & 0x0F];
  }
  return r;
}

}  // namespace bilhetor::testing
