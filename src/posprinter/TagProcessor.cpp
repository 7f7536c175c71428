#include "posprinter/TagProcessor.h"

#include <cstring>

#include "common/Strings.h"

namespace bilhetor {

namespace {

constexpr std::string_view kIgnorarTags = "<ignorar_tags>";

inline char Minuscula(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Position of the first byte c in s at or after from; npos when none.
inline std::size_t Achar(std::string_view s, char c, std::size_t from) {
  if (from >= s.size()) return std::string_view::npos;
  const void* p = std::memchr(s.data() + from, c, s.size() - from);
  return p ? static_cast<std::size_t>(static_cast<const char*>(p) - s.data()) : std::string_view::npos;
}

// Position of the last byte c in s[from, to); npos when none.
inline std::size_t AcharUltimo(std::string_view s, char c, std::size_t from, std::size_t to) {
  for (std::size_t i = to; i > from; --i)
    if (s[i - 1] == c) return i - 1;
  return std::string_view::npos;
}

// Where the closing tag `fecho` (lower case) was last looked for inside one
// text, and what was found. Positions only grow within one scan, so a later
// search can reuse the answer: no occurrence lies between `desde` and
// `achado`.
struct BuscaFecho {
  std::string fecho;
  std::size_t desde;
  std::size_t achado;  // npos: none from `desde` to the end
};

// Case-insensitive (ASCII) search of the lower-case `fecho` in s from `from`.
std::size_t AcharFecho(std::string_view s, std::string_view fecho, std::size_t from) {
  const std::size_t n = fecho.size();
  std::size_t i = from;
  while ((i = Achar(s, fecho[0], i)) != std::string_view::npos) {
    if (s.size() - i < n) return std::string_view::npos;
    std::size_t k = 1;
    while (k < n && Minuscula(s[i + k]) == fecho[k]) ++k;
    if (k == n) return i;
    ++i;
  }
  return std::string_view::npos;
}

std::size_t AcharFechoComCache(std::vector<BuscaFecho>& cache, std::string_view s, const std::string& fecho,
                               std::size_t from) {
  for (BuscaFecho& b : cache) {
    if (b.fecho != fecho) continue;
    if (from >= b.desde && (b.achado == std::string_view::npos || from <= b.achado)) return b.achado;
    b.desde = from;
    b.achado = AcharFecho(s, fecho, from);
    return b.achado;
  }
  std::size_t achado = AcharFecho(s, fecho, from);
  cache.push_back(BuscaFecho{fecho, from, achado});
  return achado;
}

}  // namespace

// --- TTag -------------------------------------------------------------------

void TTag::SetMarca(std::string_view texto) {
  std::string m = LowerCase(Trim(texto));
  // The brackets are checked on the trimmed name, so a name written with
  // blanks around it ("<n> ") still gives a mark that can match ("<n>").
  if (m.empty() || m.front() != '<') m.insert(m.begin(), '<');
  if (m.size() < 2 || m.back() != '>') m.push_back('>');
  marca_ = std::move(m);
  if (dono_) dono_->MarcaAlterada();
}

// --- TTags ------------------------------------------------------------------

TTag& TTags::NovaTag() {
  itens_.push_back(std::make_unique<TTag>());
  TTag& t = *itens_.back();
  t.ordem_ = static_cast<int>(itens_.size());
  t.dono_ = this;
  indiceValido_ = false;
  return t;
}

void TTags::ReconstruirIndice() const {
  std::size_t slots = 16;
  while (slots < 2 * itens_.size()) slots *= 2;
  indice_.assign(slots, Entrada{});
  maiorMarca_ = 0;
  const std::size_t mascara = slots - 1;
  for (const auto& t : itens_) {
    const std::string& m = t->Marca();
    const uint32_t h = Hash(m);
    std::size_t i = h & mascara;
    // A mark already in the table keeps its slot: lookups find the tag
    // registered first.
    while (indice_[i].tag && !(indice_[i].hash == h && indice_[i].tag->Marca() == m)) i = (i + 1) & mascara;
    if (!indice_[i].tag) indice_[i] = Entrada{h, t.get()};
    if (m.size() > maiorMarca_) maiorMarca_ = m.size();
  }
  indiceValido_ = true;
}

const TTag* TTags::ProcurarMarca(std::string_view marca, uint32_t h) const {
  if (!indiceValido_) ReconstruirIndice();
  const std::size_t mascara = indice_.size() - 1;
  for (std::size_t i = h & mascara;; i = (i + 1) & mascara) {
    const Entrada& e = indice_[i];
    if (!e.tag) return nullptr;
    if (e.hash == h && e.tag->Marca() == marca) return e.tag;
  }
}

const TTag* TTags::ProcurarTag(std::string_view texto) const {
  const std::string m = LowerCase(texto);
  return ProcurarMarca(m, Hash(m));
}

// --- TTagProcessor ----------------------------------------------------------

void TTagProcessor::RegistrarTags(const std::vector<std::string>& Nomes, const std::vector<std::string>& Ajudas,
                                  bool Bloco) {
  for (std::size_t i = 0; i < Nomes.size(); ++i) {
    TTag& t = Registro.NovaTag();
    t.SetMarca(Nomes[i]);
    if (i < Ajudas.size()) t.Descricao = Ajudas[i];
    t.Bloco = Bloco;
  }
}

std::string TTagProcessor::ProcessarTags(std::string_view Texto) {
  std::string saida;
  if (!TraduzirTags) {
    saida.assign(Texto);
    return saida;
  }
  saida.reserve(Texto.size());
  Processar(Texto, saida, true);
  return saida;
}

std::string TTagProcessor::ResolverTag(const std::string& Tag) {
  std::string r;
  ResolverTagEm(Tag, r);
  return r;
}

std::string TTagProcessor::ResolverTagBloco(const std::string& Tag, std::string_view Conteudo) {
  std::string r;
  ResolverBlocoEm(Tag, Conteudo, r);
  return r;
}

void TTagProcessor::ResolverTagEm(const std::string& tag, std::string& resultado) {
  resultado.clear();
  if (!tag.empty() && !IgnorarTags && OnTag) OnTag(tag, resultado);
}

void TTagProcessor::ResolverBlocoEm(const std::string& tag, std::string_view conteudo, std::string& resultado) {
  resultado.assign(conteudo);
  if (tag.empty() || IgnorarTags || tag == kIgnorarTags) return;
  // The content is processed even without a block handler: its single tags
  // reach OnTag in text order, as they would outside the block.
  std::string processado;
  if (TraduzirTags) {
    processado.reserve(conteudo.size());
    Processar(conteudo, processado, false);
  } else {
    processado.assign(conteudo);
  }
  if (OnTagBloco) OnTagBloco(tag, processado, resultado);
}

// One left-to-right scan of texto. A candidate runs from the last "<" before
// the first ">" after a "<" through that ">". Bytes between candidates and
// unchanged candidates are copied to saida in runs; a replaced span is
// replaced by its translation, which is never scanned again.
void TTagProcessor::Processar(std::string_view texto, std::string& saida, bool externo) {
  constexpr std::size_t npos = std::string_view::npos;
  std::size_t copiado = 0;  // texto[0, copiado) is already in saida
  std::size_t pos = 0;      // where the next candidate is looked for
  std::string tag;          // the candidate, lower-cased
  std::string cmd;          // its translation
  std::string fecho;        // closing tag of a block
  std::vector<BuscaFecho> cache;

  auto substituir = [&](std::size_t inicio, std::size_t fim) {
    saida.append(texto.data() + copiado, inicio - copiado);
    saida.append(cmd);
    copiado = fim;
  };

  while (true) {
    std::size_t p = Achar(texto, '<', pos);
    if (p == npos) break;
    const std::size_t f = Achar(texto, '>', p + 1);
    if (f == npos) break;  // no later "<" can have a ">" after it either
    const std::size_t q = AcharUltimo(texto, '<', p + 1, f);
    if (q != npos) p = q;

    const std::size_t l = f - p + 1;
    if (l > Registro.MaiorMarca()) {
      pos = f + 1;  // longer than any mark: not a tag
      continue;
    }
    tag.resize(l);
    uint32_t h = TTags::kHashInicial;
    for (std::size_t i = 0; i < l; ++i) {
      tag[i] = Minuscula(texto[p + i]);
      h = TTags::HashPasso(h, tag[i]);
    }

    const TTag* def = Registro.ProcurarMarca(tag, h);
    if (!def) {
      pos = f + 1;  // unregistered: stays as written
      continue;
    }

    if (def->Bloco) {
      fecho.assign("</");
      fecho.append(tag, 1, npos);
      const std::size_t e = AcharFechoComCache(cache, texto, fecho, p + l);
      if (e == npos) {
        // No closing tag: only the opening tag goes; the content is scanned
        // next like any other text.
        cmd.clear();
        substituir(p, p + l);
        pos = p + l;
        continue;
      }
      const std::size_t fim = e + fecho.size();
      ResolverBlocoEm(tag, texto.substr(p + l, e - (p + l)), cmd);
      if (texto.substr(p, fim - p) != cmd) substituir(p, fim);
      pos = fim;
    } else {
      ResolverTagEm(tag, cmd);
      if (cmd != tag) substituir(p, f + 1);
      pos = f + 1;
      // The bytes of texto up to f + 1 not yet copied will follow saida.
      if (externo && OnTagTraduzida && !IgnorarTags && OnTag) OnTagTraduzida(tag, saida.size() + (pos - copiado));
    }
  }
  saida.append(texto.data() + copiado, texto.size() - copiado);
}

}  // namespace bilhetor
