#include "posprinter/TagProcessor.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Strings.h"
#include "posprinter/PosTags.h"
#include "support/TagProcessorReference.h"

namespace bilhetor {
namespace {

// --- Registry ---------------------------------------------------------------

TEST(TTag, MarcaIsNormalisedToLowerCaseWithBrackets) {
  TTag t;
  const std::vector<std::pair<std::string, std::string>> casos = {
      {"n", "<n>"},           {"<N>", "<n>"},      {"  <Ce>  ", "<ce>"}, {"/CORTE", "</corte>"},
      {"</corte", "</corte>"}, {"code39>", "<code39>"}, {"", "<>"},        {"\t<QrCode>\r\n", "<qrcode>"},
  };
  for (const auto& [entrada, esperado] : casos) {
    t.SetMarca(entrada);
    EXPECT_EQ(t.Marca(), esperado) << "from \"" << entrada << "\"";
  }
}

TEST(TTags, NovaTagNumbersInOrderAndLookupFindsTheFirstMatch) {
  TTags tags;
  EXPECT_EQ(tags.ProcurarTag("<n>"), nullptr);
  TTag& a = tags.NovaTag();
  EXPECT_EQ(a.Ordem(), 1);
  EXPECT_FALSE(a.Bloco);
  EXPECT_TRUE(a.Descricao.empty());
  a.SetMarca("<n>");
  TTag& b = tags.NovaTag();
  b.SetMarca("<x>");
  b.Bloco = true;
  TTag& c = tags.NovaTag();
  c.SetMarca("<X>");  // same mark as b, registered later
  EXPECT_EQ(b.Ordem(), 2);
  EXPECT_EQ(c.Ordem(), 3);
  ASSERT_EQ(tags.Count(), 3u);

  EXPECT_EQ(tags.ProcurarTag("<N>"), &a);
  EXPECT_EQ(tags.ProcurarTag("<x>"), &b);
  EXPECT_EQ(tags.ProcurarTag("<X>")->Ordem(), 2);
  EXPECT_EQ(tags.ProcurarTag("n"), nullptr);  // no normalisation beyond case
  EXPECT_EQ(tags.ProcurarTag("<y>"), nullptr);

  // Changing a mark after a lookup is seen by the next lookup.
  b.SetMarca("<y>");
  EXPECT_EQ(tags.ProcurarTag("<x>"), &c);
  EXPECT_EQ(tags.ProcurarTag("<y>"), &b);
  TTag& d = tags.NovaTag();
  d.SetMarca("<z>");
  EXPECT_EQ(tags.ProcurarTag("<Z>"), &d);
  EXPECT_EQ(&tags[3], &d);
}

TEST(TTagProcessor, RegistrarTagsGivesHelpOnlyWhereThereIsOne) {
  TTagProcessor p;
  EXPECT_TRUE(p.TraduzirTags);
  EXPECT_FALSE(p.IgnorarTags);
  p.RegistrarTags({"a", "<B>", "c"}, {"help a", "help b"}, true);
  p.RegistrarTags({"d"}, {}, false);
  ASSERT_EQ(p.Registro.Count(), 4u);
  EXPECT_EQ(p.Registro[0].Marca(), "<a>");
  EXPECT_EQ(p.Registro[1].Marca(), "<b>");
  EXPECT_EQ(p.Registro[1].Descricao, "help b");
  EXPECT_EQ(p.Registro[2].Descricao, "");
  EXPECT_TRUE(p.Registro[2].Bloco);
  EXPECT_FALSE(p.Registro[3].Bloco);
  EXPECT_EQ(p.Registro[3].Ordem(), 4);
}

// --- The tag language -------------------------------------------------------

TEST(PosTags, RegistersTheSeventySevenTagsInOrder) {
  TTagProcessor p;
  RegistrarTagsPosPrinter(p);
  ASSERT_EQ(p.Registro.Count(), static_cast<std::size_t>(cQuantidadeTagsPosPrinter));

  // Ordem, mark and kind of the first and last tag of every batch, and of the
  // tags whose kind changes in the tags added one by one.
  struct Esperado {
    int ordem;
    const char* marca;
    bool bloco;
  };
  const Esperado marcos[] = {
      {1, "<e>", false},          {13, "</fn>", false},          {14, "</fa>", false},
      {19, "</ce>", false},       {20, "</ad>", false},          {21, "</linha_simples>", false},
      {23, "</pular_linhas>", false}, {24, "</logo>", false},    {33, "</reset>", false},
      {34, "<ad>", true},         {36, "<ce>", true},            {37, "<ean8>", true},
      {52, "<qrcode>", true},     {53, "<abre_gaveta>", true},   {57, "<qrcode>", true},
      {61, "<bmp>", true},        {62, "<mp>", false},           {63, "</mp>", false},
      {64, "</mp_imprimir>", false}, {65, "<mp_direcao>", true}, {70, "<mp_espaco>", true},
      {71, "</mp_configurar>", false}, {72, "<logo_imprimir>", true}, {77, "<ignorar_tags>", true},
  };
  for (const Esperado& e : marcos) {
    const TTag& t = p.Registro[static_cast<std::size_t>(e.ordem - 1)];
    EXPECT_EQ(t.Ordem(), e.ordem);
    EXPECT_EQ(t.Marca(), e.marca) << "Ordem " << e.ordem;
    EXPECT_EQ(t.Bloco, e.bloco) << e.marca;
  }

  int blocos = 0;
  std::set<std::string> marcas;
  for (std::size_t i = 0; i < p.Registro.Count(); ++i) {
    const TTag& t = p.Registro[i];
    EXPECT_EQ(t.Ordem(), static_cast<int>(i) + 1);
    EXPECT_FALSE(t.Descricao.empty()) << t.Marca();
    blocos += t.Bloco ? 1 : 0;
    marcas.insert(t.Marca());
    // Every mark is already normalised.
    TTag copia;
    copia.SetMarca(t.Marca());
    EXPECT_EQ(copia.Marca(), t.Marca());
  }
  EXPECT_EQ(blocos, 3 + 16 + 9 + 6 + 6);
  EXPECT_EQ(marcas.size(), 76u);  // "<qrcode>" twice

  // Lookups find the first "<qrcode>"; the closing forms of four blocks are
  // single tags of their own.
  EXPECT_EQ(p.Registro.ProcurarTag("<QRCODE>")->Ordem(), 52);
  EXPECT_EQ(p.Registro.ProcurarTag("</abre_gaveta>")->Ordem(), 28);
  EXPECT_FALSE(p.Registro.ProcurarTag("</ae>")->Bloco);
  EXPECT_EQ(p.Registro.ProcurarTag("</code39>"), nullptr);
}

TEST(PosTags, HelpTextsAreWindows1252) {
  TTagProcessor p;
  RegistrarTagsPosPrinter(p);
  auto ajuda = [&](int ordem) { return p.Registro[static_cast<std::size_t>(ordem - 1)].Descricao; };
  EXPECT_EQ(ajuda(1), "Liga Expandido");
  EXPECT_EQ(ajuda(24), "Imprime Logotipo j\xE1 gravado na Impressora (use utilit\xE1rio do fabricante)");
  EXPECT_EQ(ajuda(25), "Efetua Corte, conforme configura\xE7\xE3o de \"TipoCorte\"");
  EXPECT_EQ(ajuda(30),
            "Reseta as configura\xE7\xF5"
            "es de Fonte Alinhamento.<LF>Ajusta P\xE1gina de C\xF3"
            "digo e Espa\xE7o entre Linhas");
  EXPECT_EQ(ajuda(52), "Cod.Barras QrCode");
  EXPECT_EQ(ajuda(57), "Imprime QRCode de acordo com \"ConfigQRCode\"");
  EXPECT_EQ(ajuda(72), "Configura a Impress\xE3o ou n\xE3o do Logo Tipo: 0-N\xC3O, 1-SIM (default = 1)");
  EXPECT_EQ(ajuda(77), "Ignora todas as Tags contidas no Bloco");
  // No UTF-8 sequences slipped in: a lead byte C2..F4 followed by a
  // continuation byte does not occur in Portuguese Windows-1252 text.
  for (std::size_t i = 0; i < p.Registro.Count(); ++i) {
    const std::string& d = p.Registro[i].Descricao;
    for (std::size_t k = 0; k + 1 < d.size(); ++k) {
      const auto a = static_cast<unsigned char>(d[k]), b = static_cast<unsigned char>(d[k + 1]);
      EXPECT_FALSE(a >= 0xC2 && a <= 0xF4 && b >= 0x80 && b <= 0xBF) << "tag " << i + 1 << ": " << d;
    }
  }
}

// --- Processing ---------------------------------------------------------------

// A processor with the tag language and handlers that write visible marks:
// "{<n>}" for a single tag, "B(<ce>|processed|raw)" for a block.
class Processing : public ::testing::Test {
 protected:
  void SetUp() override {
    RegistrarTagsPosPrinter(p);
    p.OnTag = [this](const std::string& tag, std::string& r) {
      EXPECT_TRUE(r.empty());
      tags.push_back(tag);
      r = "{" + tag + "}";
    };
    p.OnTagBloco = [this](const std::string& tag, const std::string& conteudo, std::string& r) {
      tags.push_back("B" + tag);
      r = "B(" + tag + "|" + conteudo + "|" + r + ")";
    };
  }
  TTagProcessor p;
  std::vector<std::string> tags;
};

TEST_F(Processing, TextWithoutTagsIsUnchanged) {
  EXPECT_EQ(p.ProcessarTags(""), "");
  EXPECT_EQ(p.ProcessarTags("plain text\r\n\xE7\xE3"), "plain text\r\n\xE7\xE3");
  EXPECT_EQ(p.ProcessarTags(std::string("a\0b>c", 5)), std::string("a\0b>c", 5));
  p.TraduzirTags = false;
  EXPECT_EQ(p.ProcessarTags("<n>x</n><ce>y</ce>"), "<n>x</n><ce>y</ce>");
  EXPECT_TRUE(tags.empty());
}

TEST_F(Processing, SingleTagsAnyCaseReachTheHandlerInLowerCase) {
  EXPECT_EQ(p.ProcessarTags("a<N>b</n>c<E>"), "a{<n>}b{</n>}c{<e>}");
  EXPECT_EQ(tags, (std::vector<std::string>{"<n>", "</n>", "<e>"}));
}

TEST_F(Processing, UnregisteredCandidatesStayAsWritten) {
  EXPECT_EQ(p.ProcessarTags("<XyZ> < b > <1.5> <> </Code39>"), "<XyZ> < b > <1.5> <> </Code39>");
  EXPECT_EQ(p.ProcessarTags("<n>a < b, c <n"), "{<n>}a < b, c <n");
  EXPECT_EQ(p.ProcessarTags("x > y <n>"), "x > y {<n>}");
  EXPECT_EQ(p.ProcessarTags("<<n>"), "<{<n>}");
  EXPECT_EQ(p.ProcessarTags("<a<b<N>>"), "<a<b{<n>}>");
  EXPECT_EQ(tags, (std::vector<std::string>{"<n>", "<n>", "<n>", "<n>"}));
}

TEST_F(Processing, BlockWithoutClosingTagLosesOnlyTheOpeningTag) {
  EXPECT_EQ(p.ProcessarTags("<ce>abc"), "abc");
  EXPECT_EQ(p.ProcessarTags("<ce>a<n>b"), "a{<n>}b");
  EXPECT_EQ(p.ProcessarTags("<code39>1<ce>2<ce>3</CE>4"), "1B(<ce>|23|2<ce>3)4");
  EXPECT_EQ(tags, (std::vector<std::string>{"<n>", "B<ce>"}));
}

TEST_F(Processing, BlockReceivesProcessedAndRawContent) {
  EXPECT_EQ(p.ProcessarTags("<ce>x<n>y</n></ce>z"), "B(<ce>|x{<n>}y{</n>}|x<n>y</n>)z");
  EXPECT_EQ(p.ProcessarTags("<CE>Ab</Ce>"), "B(<ce>|Ab|Ab)");
  EXPECT_EQ(tags, (std::vector<std::string>{"<n>", "</n>", "B<ce>", "B<ce>"}));
}

TEST_F(Processing, BlocksOfTheSameTagDoNotNest) {
  EXPECT_EQ(p.ProcessarTags("<ce>a<ce>b</ce>c</ce>"), "B(<ce>|ab|a<ce>b)c{</ce>}");
}

TEST_F(Processing, BlocksOfDifferentTagsNest) {
  EXPECT_EQ(p.ProcessarTags("<ce><code39>12</code39><n>x</ce>"),
            "B(<ce>|B(<code39>|12|12){<n>}x|<code39>12</code39><n>x)");
  EXPECT_EQ(tags, (std::vector<std::string>{"B<code39>", "<n>", "B<ce>"}));
  // Overlapping blocks: the inner one is cut at the outer closing tag.
  tags.clear();
  EXPECT_EQ(p.ProcessarTags("<ce>a<ad>b</ce>c</ad>"), "B(<ce>|ab|a<ad>b)c{</ad>}");
}

TEST_F(Processing, StandaloneClosingFormsAreSingleTags) {
  EXPECT_EQ(p.ProcessarTags("</ce>x</abre_gaveta><abre_gaveta>1</abre_gaveta>"),
            "{</ce>}x{</abre_gaveta>}B(<abre_gaveta>|1|1)");
}

TEST_F(Processing, IgnorarTagsBlockKeepsItsContentLiterally) {
  EXPECT_EQ(p.ProcessarTags("a<ignorar_tags><n>x</n></ignorar_tags>b<n>"), "a<n>x</n>b{<n>}");
  EXPECT_EQ(p.ProcessarTags("<IGNORAR_TAGS><ce>1</ce></Ignorar_Tags>"), "<ce>1</ce>");
  EXPECT_EQ(tags, (std::vector<std::string>{"<n>"}));
}

TEST_F(Processing, IgnorarTagsRemovesSingleTagsAndUnwrapsBlocks) {
  p.IgnorarTags = true;
  EXPECT_EQ(p.ProcessarTags("<n>x</n>"), "x");
  EXPECT_EQ(p.ProcessarTags("<ce><n>x</n></ce>"), "<n>x</n>");
  EXPECT_EQ(p.ProcessarTags("<xyz><ce>open"), "<xyz>open");
  EXPECT_TRUE(tags.empty());
}

TEST_F(Processing, WithoutHandlersTagsVanishAndBlocksKeepRawContent) {
  p.OnTag = nullptr;
  p.OnTagBloco = nullptr;
  EXPECT_EQ(p.ProcessarTags("<n>x</n><ce>a<e>b</ce><q>"), "xa<e>b<q>");
}

TEST_F(Processing, HandlerReturningTheTagLeavesTheTextAsWritten) {
  p.OnTag = [](const std::string& tag, std::string& r) { r = tag; };
  p.OnTagBloco = [](const std::string& tag, const std::string&, std::string& r) {
    r = tag + r + "</" + tag.substr(1);
  };
  EXPECT_EQ(p.ProcessarTags("<N>a<n>"), "<N>a<n>");
  EXPECT_EQ(p.ProcessarTags("<ce>a<n>b</ce>"), "<ce>a<n>b</ce>");
  // A block written in upper case differs from the handler's lower-case copy,
  // so it is replaced.
  EXPECT_EQ(p.ProcessarTags("<CE>a</CE>"), "<ce>a</ce>");
}

TEST_F(Processing, ReplacementsAreNotScannedAgain) {
  p.OnTag = [this](const std::string& tag, std::string& r) {
    tags.push_back(tag);
    r = tag == "<e>" ? "<n></n" : "";
  };
  EXPECT_EQ(p.ProcessarTags("<e>>x<n>"), "<n></n>x");
  EXPECT_EQ(tags, (std::vector<std::string>{"<e>", "<n>"}));
}

TEST_F(Processing, HandlerExceptionsPassOut) {
  p.OnTag = [](const std::string& tag, std::string&) {
    if (tag == "</n>") throw std::runtime_error("falhou");
  };
  EXPECT_THROW(p.ProcessarTags("<n>a</n>"), std::runtime_error);
  EXPECT_THROW(p.ProcessarTags("<ce><n>a</n></ce>"), std::runtime_error);
  // The processor is usable afterwards.
  EXPECT_EQ(p.ProcessarTags("<n>a"), "a");
}

TEST_F(Processing, ResolverStepsFollowTheFlags) {
  EXPECT_EQ(p.ResolverTag("<n>"), "{<n>}");
  EXPECT_EQ(p.ResolverTag(""), "");
  EXPECT_EQ(p.ResolverTagBloco("<ce>", "a<n>"), "B(<ce>|a{<n>}|a<n>)");
  EXPECT_EQ(p.ResolverTagBloco("<ignorar_tags>", "a<n>"), "a<n>");
  EXPECT_EQ(p.ResolverTagBloco("", "a<n>"), "a<n>");
  p.IgnorarTags = true;
  EXPECT_EQ(p.ResolverTag("<n>"), "");
  EXPECT_EQ(p.ResolverTagBloco("<ce>", "a<n>"), "a<n>");
}

TEST_F(Processing, TranslatedTagsOfTheOuterTextReportWhereTheirTranslationEnds) {
  std::vector<std::pair<std::string, std::size_t>> fins;
  p.OnTagTraduzida = [&](const std::string& tag, std::size_t fim) { fins.emplace_back(tag, fim); };
  using Fins = std::vector<std::pair<std::string, std::size_t>>;
  // "ab{<n>}c" ends at 8; the block's own tags are not reported.
  const std::string r = p.ProcessarTags("ab<N>c<ce>x</n>y</ce></reset>");
  EXPECT_EQ(r, "ab{<n>}cB(<ce>|x{</n>}y|x</n>y){</reset>}");
  EXPECT_EQ(fins, (Fins{{"<n>", 7}, {"</reset>", r.size()}}));
  fins.clear();
  p.ResolverTagBloco("<ce>", "<n>");
  EXPECT_TRUE(fins.empty());
  // A translation equal to the tag leaves the text as written, upper case
  // included; the positions still count it.
  p.OnTag = [](const std::string& tag, std::string& t) { t = tag; };
  EXPECT_EQ(p.ProcessarTags("x<N>yy<e>"), "x<N>yy<e>");
  EXPECT_EQ(fins, (Fins{{"<n>", 4}, {"<e>", 9}}));
  // Removed or untranslated tags are not reported.
  fins.clear();
  p.IgnorarTags = true;
  EXPECT_EQ(p.ProcessarTags("a<n>b"), "ab");
  p.IgnorarTags = false;
  p.OnTag = nullptr;
  EXPECT_EQ(p.ProcessarTags("a<n>b"), "ab");
  EXPECT_TRUE(fins.empty());
}

TEST_F(Processing, ManyUnclosedAndClosedBlocksInOneText) {
  // Earlier closing-tag searches of one scan are reused; the answers must
  // stay those of a fresh search.
  p.OnTagBloco = [this](const std::string& tag, const std::string& conteudo, std::string& r) {
    tags.push_back(tag + conteudo);
    r = "#";
  };
  std::string in, esperado;
  for (int i = 0; i < 50; ++i) {
    in += "<ce>" + std::to_string(i) + "<ad>" + std::to_string(i) + "</ad>";
    esperado += std::to_string(i) + "#";
  }
  in += "<ae>end</ae><ce>";
  esperado += "#";
  EXPECT_EQ(p.ProcessarTags(in), esperado);
  ASSERT_EQ(tags.size(), 51u);
  EXPECT_EQ(tags[49], "<ad>49");
  EXPECT_EQ(tags[50], "<ae>end");

  tags.clear();
  // The first "<ad>" reaches the only "</ad>"; the "<ce>" blocks before it
  // close, the one after it does not.
  EXPECT_EQ(p.ProcessarTags("<ce>1</ce><ad>a<ce>2</ce>b</ad><ce>3</ce><ce>4"), "###4");
  EXPECT_EQ(tags, (std::vector<std::string>{"<ce>1", "<ce>2", "<ad>a#b", "<ce>3"}));
}

// --- Randomised comparison with the plain algorithm ---------------------------

std::string Caso(std::mt19937& rng, const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'a' && c <= 'z' && rng() % 4 == 0) c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string TextoAleatorio(std::mt19937& rng) {
  static const std::vector<std::string> pedacos = {
      "<n>", "</n>", "<e>", "</e>", "<ce>", "</ce>", "<ad>", "</ad>", "<code39>", "</code39>",
      "<qrcode>", "</qrcode>", "<ignorar_tags>", "</ignorar_tags>", "<abre_gaveta>", "</abre_gaveta>",
      "</corte>", "<bmp>", "</bmp>", "<xyz>", "< b >", "<>", "</>", "<", ">", "</", "<<", ">>",
      "a", "bc", "Z", " ", "\n", "\xE7", "12", "<x", "e>", "ce>",
  };
  std::string s;
  const int n = static_cast<int>(rng() % 30);
  for (int i = 0; i < n; ++i) s += Caso(rng, pedacos[rng() % pedacos.size()]);
  return s;
}

struct Comportamento {
  unsigned tipoTag;    // what OnTag returns
  unsigned tipoBloco;  // what OnTagBloco returns
};

void InstalarHandlers(const Comportamento& c, std::vector<std::string>& log,
                      std::function<void(const std::string&, std::string&)>& onTag,
                      std::function<void(const std::string&, const std::string&, std::string&)>& onTagBloco) {
  onTag = [c, &log](const std::string& tag, std::string& r) {
    log.push_back("T" + tag + "|" + r);
    switch ((c.tipoTag + tag.size()) % 4) {
      case 0: r = ""; break;
      case 1: r = tag; break;
      case 2: r = "[" + tag + "]"; break;
      default: r = "<n>"; break;
    }
  };
  onTagBloco = [c, &log](const std::string& tag, const std::string& conteudo, std::string& r) {
    log.push_back("B" + tag + "|" + conteudo + "|" + r);
    switch ((c.tipoBloco + conteudo.size()) % 4) {
      case 0: r = ""; break;
      case 1: break;  // raw content
      case 2: r = tag + r + "</" + tag.substr(1); break;
      default: r = "(" + conteudo + ")"; break;
    }
  };
}

void CompararComReferencia(const std::vector<std::pair<std::string, bool>>& registro, unsigned semente,
                           int casos) {
  std::mt19937 rng(semente);
  TTagProcessor real;
  testing::ReferenceTagProcessor ref;
  for (const auto& [nome, bloco] : registro) {
    real.RegistrarTags({nome}, {}, bloco);
    ref.registro.push_back({real.Registro[real.Registro.Count() - 1].Marca(), bloco});
  }
  std::vector<std::string> logReal, logRef;
  for (int i = 0; i < casos; ++i) {
    const std::string texto = TextoAleatorio(rng);
    const Comportamento c{static_cast<unsigned>(rng()), static_cast<unsigned>(rng())};
    const unsigned flags = rng() % 8;
    real.IgnorarTags = ref.ignorarTags = (flags == 1);
    if (flags == 2) {
      real.OnTag = nullptr, ref.onTag = nullptr, real.OnTagBloco = nullptr, ref.onTagBloco = nullptr;
    } else {
      InstalarHandlers(c, logReal, real.OnTag, real.OnTagBloco);
      InstalarHandlers(c, logRef, ref.onTag, ref.onTagBloco);
    }
    // Each reported position must end the translation the handler gave for
    // that tag (in the letter case of the text when it was left unchanged).
    std::string ultima;
    std::vector<std::pair<std::string, std::size_t>> fins;
    if (real.OnTag) {
      real.OnTag = [original = real.OnTag, &ultima](const std::string& tag, std::string& r) {
        original(tag, r);
        ultima = r;
      };
    }
    real.OnTagTraduzida = [&](const std::string&, std::size_t fim) { fins.emplace_back(ultima, fim); };
    logReal.clear();
    logRef.clear();
    const std::string esperado = ref.ProcessarTags(texto);
    const std::string obtido = real.ProcessarTags(texto);
    ASSERT_EQ(obtido, esperado) << "text: " << texto << " case " << i;
    ASSERT_EQ(logReal, logRef) << "text: " << texto << " case " << i;
    for (const auto& [traducao, fim] : fins) {
      ASSERT_GE(fim, traducao.size()) << "text: " << texto << " case " << i;
      ASSERT_LE(fim, obtido.size()) << "text: " << texto << " case " << i;
      ASSERT_EQ(LowerCase(obtido.substr(fim - traducao.size(), traducao.size())), LowerCase(traducao))
          << "text: " << texto << " case " << i;
    }
  }
}

// The plain algorithm is the oracle of the randomised comparison; it must
// itself give the known answers.
TEST(TagProcessorRandomised, PlainAlgorithmGivesTheKnownAnswers) {
  TTagProcessor language;
  RegistrarTagsPosPrinter(language);
  testing::ReferenceTagProcessor ref;
  for (std::size_t i = 0; i < language.Registro.Count(); ++i)
    ref.registro.push_back({language.Registro[i].Marca(), language.Registro[i].Bloco});
  ref.onTag = [](const std::string& tag, std::string& r) { r = "{" + tag + "}"; };
  ref.onTagBloco = [](const std::string& tag, const std::string& conteudo, std::string& r) {
    r = "B(" + tag + "|" + conteudo + "|" + r + ")";
  };
  EXPECT_EQ(ref.ProcessarTags("<<N> <xyz> <n"), "<{<n>} <xyz> <n");
  EXPECT_EQ(ref.ProcessarTags("<ce>abc"), "abc");
  EXPECT_EQ(ref.ProcessarTags("<ce>x<n>y</n></ce>z"), "B(<ce>|x{<n>}y{</n>}|x<n>y</n>)z");
  EXPECT_EQ(ref.ProcessarTags("<ce>a<ce>b</ce>c</ce>"), "B(<ce>|ab|a<ce>b)c{</ce>}");
  EXPECT_EQ(ref.ProcessarTags("<ignorar_tags><n>x</n></ignorar_tags>"), "<n>x</n>");
  ref.ignorarTags = true;
  EXPECT_EQ(ref.ProcessarTags("<ce><n>x</n></ce><n>y"), "<n>x</n>y");
}

TEST(TagProcessorRandomised, MatchesThePlainAlgorithmWithTheTagLanguage) {
  TTagProcessor language;
  RegistrarTagsPosPrinter(language);
  std::vector<std::pair<std::string, bool>> registro;
  for (std::size_t i = 0; i < language.Registro.Count(); ++i)
    registro.emplace_back(language.Registro[i].Marca(), language.Registro[i].Bloco);
  CompararComReferencia(registro, 20261209u, 6000);
}

TEST(TagProcessorRandomised, MatchesThePlainAlgorithmWithOddRegistries) {
  // Empty marks, a block "<>" closed by "</>", a mark registered as single
  // and then as block, and "<x" names that only match with the bracket added.
  CompararComReferencia({{"", true}, {"<n>", false}, {"<n>", true}, {"ce", true}, {"/ce", false},
                         {"x", false}, {"b", true}, {"</bmp>", true}, {"<e>", true}},
                        7u, 4000);
}

}  // namespace
}  // namespace bilhetor
