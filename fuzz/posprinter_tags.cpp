// Fuzzes the tag processor with the tag language. The first byte picks the
// flags and the handlers' behaviour; the rest is the text. Checks: no crash,
// no sanitizer report, the output is never longer than the input plus what
// the handlers returned, and for short texts the output and the handler calls
// equal those of the plain quadratic algorithm.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/support/TagProcessorReference.h"
#include "posprinter/PosTags.h"
#include "posprinter/TagProcessor.h"

namespace {

using bilhetor::TTagProcessor;

std::string Traducao(unsigned modo, const std::string& tag) {
  switch ((modo + tag.size()) % 4) {
    case 0: return "";
    case 1: return tag;
    case 2: return "\x1B" + tag.substr(1, 1);
    default: return "<n>";
  }
}

void Falha(const char* o_que) {
  std::fprintf(stderr, "posprinter_tags: %s\n", o_que);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TTagProcessor* processador = [] {
    static TTagProcessor p;
    bilhetor::RegistrarTagsPosPrinter(p);
    return &p;
  }();
  if (size == 0) return 0;
  const unsigned modo = data[0];
  const std::string texto(reinterpret_cast<const char*>(data + 1), size - 1);

  TTagProcessor& p = *processador;
  p.IgnorarTags = (modo & 0x30) == 0x30;
  p.TraduzirTags = (modo & 0xC0) != 0xC0;

  std::size_t devolvido = 0;
  std::vector<std::string> chamadas;
  p.OnTag = [&](const std::string& tag, std::string& r) {
    chamadas.push_back(tag);
    r = Traducao(modo, tag);
    devolvido += r.size();
  };
  p.OnTagBloco = [&](const std::string& tag, const std::string& conteudo, std::string& r) {
    chamadas.push_back(tag + conteudo + "|" + r);
    if ((modo >> 2) & 1) r = Traducao(modo, tag) + conteudo;
    devolvido += r.size();
  };
  const std::string saida = p.ProcessarTags(texto);
  if (saida.size() > texto.size() + devolvido) Falha("output longer than input plus translations");

  if (texto.size() <= 2048) {
    bilhetor::testing::ReferenceTagProcessor ref;
    for (std::size_t i = 0; i < p.Registro.Count(); ++i)
      ref.registro.push_back({p.Registro[i].Marca(), p.Registro[i].Bloco});
    ref.ignorarTags = p.IgnorarTags;
    ref.traduzirTags = p.TraduzirTags;
    std::vector<std::string> chamadasRef;
    ref.onTag = [&](const std::string& tag, std::string& r) {
      chamadasRef.push_back(tag);
      r = Traducao(modo, tag);
    };
    ref.onTagBloco = [&](const std::string& tag, const std::string& conteudo, std::string& r) {
      chamadasRef.push_back(tag + conteudo + "|" + r);
      if ((modo >> 2) & 1) r = Traducao(modo, tag) + conteudo;
    };
    if (ref.ProcessarTags(texto) != saida) Falha("output differs from the plain algorithm");
    if (chamadasRef != chamadas) Falha("handler calls differ from the plain algorithm");
  }
  p.OnTag = nullptr;
  p.OnTagBloco = nullptr;
  return 0;
}
