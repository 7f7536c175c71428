// The spooler on Windows: printers are the local printers and the printer
// connections the spooler lists; raw jobs are documents of the "RAW" data
// type, whose bytes the spooler hands to the printer's port unchanged.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/ErroSistema.h"
#include "common/Strings.h"
#include "device/PrinterSpooler.h"

namespace bilhetor {

namespace {

bool NaoEncontrada(DWORD codigo) { return codigo == ERROR_INVALID_PRINTER_NAME; }

class TWindowsSpooler : public TPrinterSpooler {
 public:
  TListaImpressoras ListarImpressoras() override {
    TListaImpressoras lista;
    const DWORD tipos = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD precisa = 0;
    DWORD quantas = 0;
    EnumPrintersA(tipos, nullptr, 4, nullptr, 0, &precisa, &quantas);
    if (precisa == 0) return lista;
    std::vector<BYTE> buffer(precisa);
    if (!EnumPrintersA(tipos, nullptr, 4, buffer.data(), precisa, &precisa, &quantas)) return lista;
    const auto* info = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.data());
    for (DWORD i = 0; i < quantas; ++i)
      if (info[i].pPrinterName != nullptr) lista.Nomes.emplace_back(info[i].pPrinterName);

    DWORD tamanho = 0;
    GetDefaultPrinterA(nullptr, &tamanho);
    if (tamanho > 0) {
      std::string padrao(tamanho, '\0');
      if (GetDefaultPrinterA(padrao.data(), &tamanho)) {
        padrao.resize(padrao.find('\0') == std::string::npos ? padrao.size() : padrao.find('\0'));
        for (size_t i = 0; i < lista.Nomes.size(); ++i)
          if (SameText(lista.Nomes[i], padrao)) {
            lista.Padrao = static_cast<int>(i);
            break;
          }
      }
    }
    return lista;
  }

  TResultadoRaw ImprimirRaw(const std::string& Nome, const std::string& Titulo, const std::string& Dados,
                            std::string& Erro) override {
    Erro.clear();
    std::string nome = Nome;
    HANDLE impressora = nullptr;
    if (!OpenPrinterA(nome.data(), &impressora, nullptr)) {
      const DWORD codigo = GetLastError();
      Erro = DescricaoErroSistema(codigo);
      return NaoEncontrada(codigo) ? TResultadoRaw::NaoEncontrada : TResultadoRaw::Falhou;
    }
    std::string titulo = Titulo;
    char tipo[] = "RAW";
    DOC_INFO_1A documento{titulo.data(), nullptr, tipo};
    if (StartDocPrinterA(impressora, 1, reinterpret_cast<BYTE*>(&documento)) == 0) {
      Erro = DescricaoErroSistema(GetLastError());
      ClosePrinter(impressora);
      return TResultadoRaw::Falhou;
    }
    bool escrito = StartPagePrinter(impressora) != 0;
    for (size_t i = 0; escrito && i < Dados.size();) {
      const DWORD pedido = static_cast<DWORD>(std::min<size_t>(Dados.size() - i, 1u << 20));
      DWORD feitos = 0;
      escrito = WritePrinter(impressora, const_cast<char*>(Dados.data() + i), pedido, &feitos) != 0 && feitos > 0;
      i += feitos;
    }
    if (!escrito) {
      // The job is taken back: a part of a ticket is never printed.
      Erro = DescricaoErroSistema(GetLastError());
      AbortPrinter(impressora);
      ClosePrinter(impressora);
      return TResultadoRaw::Falhou;
    }
    const bool fim = EndPagePrinter(impressora) != 0 && EndDocPrinter(impressora) != 0;
    if (!fim) Erro = DescricaoErroSistema(GetLastError());
    ClosePrinter(impressora);
    return fim ? TResultadoRaw::Impresso : TResultadoRaw::Falhou;
  }
};

}  // namespace

std::shared_ptr<TPrinterSpooler> SpoolerDoSistema() { return std::make_shared<TWindowsSpooler>(); }

}  // namespace bilhetor
