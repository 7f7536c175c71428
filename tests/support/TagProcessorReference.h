#pragma once
// A deliberately plain tag processor used to check the real one: 1-based
// positions, the whole text rebuilt at every replacement, a linear search of
// the registry and a fresh lower-cased copy of the text for every closing-tag
// search. Slow (quadratic) but easy to compare line by line with the rules of
// the tag language. Tests and benchmarks only.
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bilhetor::testing {

class ReferenceTagProcessor {
 public:
  struct Tag {
    std::string marca;  // lower case, with brackets
    bool bloco = false;
  };

  std::vector<Tag> registro;
  bool ignorarTags = false;
  bool traduzirTags = true;
  std::function<void(const std::string&, std::string&)> onTag;
  std::function<void(const std::string&, const std::string&, std::string&)> onTagBloco;

  static std::string Lower(std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  }

  const Tag* ProcurarTag(const std::string& texto) const {
    const std::string t = Lower(texto);
    for (const Tag& tag : registro)
      if (tag.marca == t) return &tag;
    return nullptr;
  }

  std::string ProcessarTags(const std::string& texto) {
    std::string resultado = texto;
    if (!traduzirTags) return resultado;
    auto [tag, p] = Localizar(resultado, 1);
    while (p > 0) {
      long long l = static_cast<long long>(tag.size());
      const Tag* def = ProcurarTag(tag);
      std::string cmd;
      if (def == nullptr) {
        cmd = tag;
      } else if (def->bloco) {
        const std::string fecho = "</" + tag.substr(1);
        const long long e = PosEx(fecho, Lower(resultado), p + l);
        if (e == 0) {
          cmd = "";
        } else {
          const std::string conteudo = Copy(resultado, p + l, e - (p + l));
          cmd = ResolverTagBloco(tag, conteudo);
          l = l + (e - p) + 1;
          tag = Copy(resultado, p, l);
        }
      } else {
        cmd = ResolverTag(tag);
      }
      long long fim = p + l - 1;
      if (cmd != tag) {
        resultado = Copy(resultado, 1, p - 1) + cmd + Copy(resultado, p + l, static_cast<long long>(resultado.size()));
        fim = fim + static_cast<long long>(cmd.size()) - l;
      }
      std::tie(tag, p) = Localizar(resultado, fim + 1);
    }
    return resultado;
  }

  std::string ResolverTag(const std::string& tag) {
    std::string r;
    if (!tag.empty() && !ignorarTags && onTag) onTag(tag, r);
    return r;
  }

  std::string ResolverTagBloco(const std::string& tag, const std::string& conteudo) {
    std::string r = conteudo;
    if (!tag.empty() && !ignorarTags && tag != "<ignorar_tags>") {
      const std::string processado = ProcessarTags(conteudo);
      if (onTagBloco) onTagBloco(tag, processado, r);
    }
    return r;
  }

 private:
  // 1-based position of sub in s at or after offset; 0 when none.
  static long long PosEx(const std::string& sub, const std::string& s, long long offset) {
    if (offset < 1 || offset > static_cast<long long>(s.size())) return 0;
    const std::size_t at = s.find(sub, static_cast<std::size_t>(offset - 1));
    return at == std::string::npos ? 0 : static_cast<long long>(at) + 1;
  }

  // count characters of s from 1-based index, clipped to the text.
  static std::string Copy(const std::string& s, long long index, long long count) {
    if (index < 1) index = 1;
    if (count <= 0 || index > static_cast<long long>(s.size())) return std::string();
    return s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
  }

  static std::pair<std::string, long long> Localizar(const std::string& texto, long long inicio) {
    long long p = PosEx("<", texto, inicio);
    if (p == 0) return {std::string(), 0};
    const long long f = PosEx(">", texto, p + 1);
    if (f == 0) return {std::string(), 0};
    long long q = PosEx("<", texto, p + 1);
    while (q != 0 && q < f) {
      p = q;
      q = PosEx("<", texto, q + 1);
    }
    return {Lower(Copy(texto, p, f - p + 1)), p};
  }
};

}  // namespace bilhetor::testing
