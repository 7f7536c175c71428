#pragma once
// The tag processor of the printer engine: finds the tags of the tag language
// in 8-bit text ("<n>", "</ce>", "<code39>...</code39>"), looks each up in a
// registry and replaces it by what a translation handler returns. A single
// tag is replaced by the translation of the tag; a block tag, together with
// its content and its closing tag, by the translation of the whole block.
// The processor knows nothing of printers.
//
// Text is scanned once, left to right, into one output buffer; replacements
// are never scanned again. Lookups go through a hash index that returns the
// first registered tag with a given mark.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bilhetor {

class TTags;

// One tag of the registry.
class TTag {
 public:
  // One-line help text; empty when none was given.
  std::string Descricao;
  // True for a block tag, which encloses content up to its closing tag.
  bool Bloco = false;

  // The tag text in lower case with its angle brackets ("<n>", "</corte>").
  const std::string& Marca() const { return marca_; }
  // Sets the mark from a name: blanks around it are trimmed, it is
  // lower-cased, and the angle brackets are added when missing, so "n",
  // "<N>" and " <n> " all give "<n>".
  void SetMarca(std::string_view texto);

  // 1-based position in the registry; 0 until the tag is added.
  int Ordem() const { return ordem_; }

 private:
  friend class TTags;
  std::string marca_;
  int ordem_ = 0;
  TTags* dono_ = nullptr;
};

// The registry: an owning list of tags in registration order.
class TTags {
 public:
  TTags() = default;
  TTags(const TTags&) = delete;
  TTags& operator=(const TTags&) = delete;

  // Creates a tag (not a block, empty mark), appends it and numbers it with
  // the new count (the first tag gets 1).
  TTag& NovaTag();

  // The first tag, in registration order, whose mark equals texto after
  // lower-casing; nullptr when there is none.
  const TTag* ProcurarTag(std::string_view texto) const;

  std::size_t Count() const { return itens_.size(); }
  // i is 0-based.
  TTag& operator[](std::size_t i) { return *itens_[i]; }
  const TTag& operator[](std::size_t i) const { return *itens_[i]; }

 private:
  friend class TTag;
  friend class TTagProcessor;
  // FNV-1a over the bytes of a mark.
  static constexpr uint32_t kHashInicial = 2166136261u;
  static constexpr uint32_t HashPasso(uint32_t h, char c) {
    return (h ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  static uint32_t Hash(std::string_view s) {
    uint32_t h = kHashInicial;
    for (char c : s) h = HashPasso(h, c);
    return h;
  }
  void MarcaAlterada() { indiceValido_ = false; }
  void ReconstruirIndice() const;
  // Finds an already lower-cased mark whose hash is h.
  const TTag* ProcurarMarca(std::string_view marca, uint32_t h) const;
  // Length of the longest mark: longer candidates cannot be tags.
  std::size_t MaiorMarca() const {
    if (!indiceValido_) ReconstruirIndice();
    return maiorMarca_;
  }

  struct Entrada {
    uint32_t hash = 0;
    const TTag* tag = nullptr;  // nullptr: free slot
  };

  std::vector<std::unique_ptr<TTag>> itens_;
  // Open addressing, linear probing, at most half full; rebuilt on the first
  // lookup after a change.
  mutable std::vector<Entrada> indice_;
  mutable std::size_t maiorMarca_ = 0;
  mutable bool indiceValido_ = false;
};

class TTagProcessor {
 public:
  // Translates one single tag: Tag is the tag as registered (lower case,
  // with brackets); Resultado is empty on entry and holds the replacement on
  // return.
  using TTagEvent = std::function<void(const std::string& Tag, std::string& Resultado)>;
  // Translates one block: Tag is the opening tag in lower case, Conteudo the
  // block's content after its own tags were processed; Resultado holds the
  // raw content on entry and the replacement of the whole block (opening
  // tag, content, closing tag) on return.
  using TTagBlocoEvent =
      std::function<void(const std::string& Tag, const std::string& Conteudo, std::string& Resultado)>;
  // Tells where a translation landed: called right after OnTag has
  // translated a single tag of the text given to ProcessarTags, with the tag
  // as registered and Fim, the position in the result just past the
  // translation. Tags inside a block are not reported: the block's handler
  // decides where their bytes go.
  using TTagTraduzidaEvent = std::function<void(const std::string& Tag, std::size_t Fim)>;

  TTagProcessor() = default;
  TTagProcessor(const TTagProcessor&) = delete;
  TTagProcessor& operator=(const TTagProcessor&) = delete;

  // When true, registered tags are removed instead of translated.
  bool IgnorarTags = false;
  TTagEvent OnTag;
  TTagBlocoEvent OnTagBloco;
  TTagTraduzidaEvent OnTagTraduzida;
  // The registry, owned by the processor.
  TTags Registro;
  // When false, texts pass through unchanged.
  bool TraduzirTags = true;

  // Registers one tag per name, in order; tag i gets help text Ajudas[i]
  // when there is one and the given kind.
  void RegistrarTags(const std::vector<std::string>& Nomes, const std::vector<std::string>& Ajudas, bool Bloco);

  // Replaces every registered tag of Texto by its translation. Exceptions of
  // the handlers pass out; the partly processed text is discarded.
  std::string ProcessarTags(std::string_view Texto);

  // Translation of one single tag: empty when IgnorarTags is set or there is
  // no handler.
  std::string ResolverTag(const std::string& Tag);
  // Translation of one block: the raw content when IgnorarTags is set or the
  // tag is "<ignorar_tags>"; otherwise the content is processed and handed to
  // OnTagBloco.
  std::string ResolverTagBloco(const std::string& Tag, std::string_view Conteudo);

 private:
  // externo: texto is the text given to ProcessarTags (not a block's
  // content), whose translated tags OnTagTraduzida reports.
  void Processar(std::string_view texto, std::string& saida, bool externo);
  void ResolverTagEm(const std::string& tag, std::string& resultado);
  void ResolverBlocoEm(const std::string& tag, std::string_view conteudo, std::string& resultado);
};

}  // namespace bilhetor
