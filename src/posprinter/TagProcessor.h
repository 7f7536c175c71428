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
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  void MarcaAlterada() { indiceValido_ = false; }
  // Finds an already lower-cased mark.
  const TTag* ProcurarMarca(std::string_view marca) const;

  std::vector<std::unique_ptr<TTag>> itens_;
  mutable std::unordered_map<std::string, const TTag*, Hash, std::equal_to<>> indice_;
  mutable bool indiceValido_ = true;
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

  TTagProcessor() = default;
  TTagProcessor(const TTagProcessor&) = delete;
  TTagProcessor& operator=(const TTagProcessor&) = delete;

  // When true, registered tags are removed instead of translated.
  bool IgnorarTags = false;
  TTagEvent OnTag;
  TTagBlocoEvent OnTagBloco;
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
  void Processar(std::string_view texto, std::string& saida);
  void ResolverTagEm(const std::string& tag, std::string& resultado);
  void ResolverBlocoEm(const std::string& tag, std::string_view conteudo, std::string& resultado);
};

}  // namespace bilhetor
