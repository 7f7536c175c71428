#include "app/PrintTool.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>

#include "app/ConfiguracaoImpressora.h"
#include "app/TicketSeparacao.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "device/DeviceLog.h"
#include "posprinter/CodePage.h"
#include "posprinter/PosModelos.h"
#include "posprinter/PosPrinter.h"
#include "posprinter/PosStatus.h"

namespace bilhetor {

namespace {

// The help text around the --modelo lines, which TextoAjuda makes from the
// table of models.
const char* const kAjudaInicio =
    "Uso: bilhetor-print [opcoes] [ARQUIVO]\n"
    "Imprime um texto com tags (ARQUIVO, ou a entrada padrao quando ausente ou \"-\")\n"
    "pelo motor de impressao, na porta e no modelo configurados.\n"
    "\n"
    "  --config ARQ          arquivo de configuracao da impressora (padrao: bilhetor.ini\n"
    "                        ao lado deste programa, quando existe)\n"
    "  --porta PORTA         porta: COM1, LPT1, /dev/ttyUSB0, TCP:host:9100, RAW:fila,\n"
    "                        RAW:* (impressora padrao), FILE:caminho ou um caminho de arquivo\n";
const char* const kAjudaFim =
    "  --colunas N           colunas na fonte normal (1 a 999)\n"
    "  --pagina-codigo PC    pagina de codigo: numero (0 a 6) ou nome (pcNone, pc437, pc850,\n"
    "                        pc852, pc860, pcUTF8, pc1252)\n"
    "  --log ARQ             arquivo de log do motor e da porta\n"
    "  --status              apenas consulta e mostra o status da impressora\n"
    "  --ticket-exemplo      imprime o ticket de separacao de exemplo em vez de um texto\n"
    "  --mostrar             mostra o texto com tags e os bytes enviados (controles por nome)\n"
    "  --descrever ARQ       apenas mostra os bytes do arquivo ARQ (o que uma impressora\n"
    "                        recebeu), controles por nome\n"
    "  --preview IMG.png     desenha em IMG.png o papel que uma impressora Epson ESC/POS\n"
    "                        imprimiria; sem --porta nada e impresso, com --porta tambem\n"
    "  --desenhar ARQ        apenas desenha os bytes do arquivo ARQ (o que uma impressora\n"
    "                        recebeu) na imagem de --preview, ou em ARQ com extensao .png\n"
    "  --papel MM            largura do papel da imagem: 80 (padrao) ou 58\n"
    "  --help                mostra esta ajuda\n";

const char* const kPaginas[] = {"pcNone", "pc437", "pc850", "pc852", "pc860", "pcUTF8", "pc1252"};

// The names of the models, in the order of their ordinals.
std::vector<const char*> NomesModelos() {
  std::vector<const char*> nomes;
  for (const TModeloImpressora& m : ModelosImpressora()) nomes.push_back(m.Nome);
  return nomes;
}

// The help text, the --modelo lines listing every model of the table, wrapped
// under the column of the option texts.
std::string TextoAjuda() {
  constexpr std::size_t kLargura = 89;  // the widest line of the other options
  const std::string recuo(24, ' ');
  const std::vector<const char*> nomes = NomesModelos();
  std::string texto = kAjudaInicio;
  std::string linha = "  --modelo MODELO       modelo: numero (0 a " + std::to_string(nomes.size() - 1) + ") ou nome (";
  for (std::size_t i = 0; i < nomes.size(); ++i) {
    const std::string item = std::string(nomes[i]) + (i + 1 < nomes.size() ? "," : ")");
    if (i == 0) {
      linha += item;
    } else if (linha.size() + 1 + item.size() > kLargura) {
      texto += linha + "\n";
      linha = recuo + item;
    } else {
      linha += " " + item;
    }
  }
  return texto + linha + "\n" + kAjudaFim;
}

// An ordinal or a name of the list (with or without its two-letter prefix).
std::optional<int> LerOrdinal(const std::string& texto, std::span<const char* const> nomes) {
  int n;
  if (TryStrToInt(texto, n)) {
    if (n >= 0 && n < static_cast<int>(nomes.size())) return n;
    return std::nullopt;
  }
  for (std::size_t i = 0; i < nomes.size(); ++i) {
    const std::string nome = nomes[i];
    if (SameText(texto, nome) || SameText(texto, nome.substr(2))) return static_cast<int>(i);
  }
  return std::nullopt;
}

struct TOpcoes {
  std::string config;
  std::optional<std::string> porta, log, descrever, preview, desenhar;
  int papel = 80;
  std::optional<TPosPrinterModelo> modelo;
  std::optional<int> colunas;
  std::optional<TPosPaginaCodigo> pagina;
  bool status = false, exemplo = false, mostrar = false, ajuda = false;
  std::string arquivo;
};

class EUso : public Exception {
 public:
  using Exception::Exception;
};

TOpcoes LerOpcoes(const std::vector<std::string>& args) {
  TOpcoes o;
  bool temArquivo = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    std::string valor;
    bool temValor = false;
    const std::size_t igual = a.find('=');
    if (a.rfind("--", 0) == 0 && igual != std::string::npos) {
      valor = a.substr(igual + 1);
      a = a.substr(0, igual);
      temValor = true;
    }
    auto proximo = [&]() -> std::string {
      if (temValor) return valor;
      if (i + 1 >= args.size()) throw EUso("a opcao " + a + " precisa de um valor");
      return args[++i];
    };
    if (a == "--help" || a == "-h") o.ajuda = true;
    else if (a == "--status") o.status = true;
    else if (a == "--ticket-exemplo") o.exemplo = true;
    else if (a == "--mostrar") o.mostrar = true;
    else if (a == "--config") o.config = proximo();
    else if (a == "--porta") o.porta = proximo();
    else if (a == "--log") o.log = proximo();
    else if (a == "--descrever") o.descrever = proximo();
    else if (a == "--preview") o.preview = proximo();
    else if (a == "--desenhar") o.desenhar = proximo();
    else if (a == "--papel") {
      const std::string v = proximo();
      int n;
      if (!TryStrToInt(v, n) || (n != 80 && n != 58)) throw EUso("papel deve ser 80 ou 58: " + v);
      o.papel = n;
    }
    else if (a == "--modelo") {
      const std::string v = proximo();
      const auto n = LerOrdinal(v, NomesModelos());
      if (!n) throw EUso("modelo desconhecido: " + v);
      o.modelo = ModelosImpressora()[static_cast<std::size_t>(*n)].Modelo;
    } else if (a == "--pagina-codigo") {
      const std::string v = proximo();
      const auto n = LerOrdinal(v, kPaginas);
      if (!n) throw EUso("pagina de codigo desconhecida: " + v);
      o.pagina = static_cast<TPosPaginaCodigo>(*n);
    } else if (a == "--colunas") {
      const std::string v = proximo();
      int n;
      if (!TryStrToInt(v, n) || n < 1 || n > 999) throw EUso("colunas deve ser um numero de 1 a 999: " + v);
      o.colunas = n;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      throw EUso("opcao desconhecida: " + a);
    } else {
      if (temArquivo) throw EUso("mais de um arquivo: " + a);
      o.arquivo = a;
      temArquivo = true;
    }
  }
  if (o.exemplo && temArquivo) throw EUso("--ticket-exemplo nao usa ARQUIVO");
  if (o.preview && (o.status || o.descrever)) throw EUso("--preview nao combina com --status nem --descrever");
  if (o.desenhar && (temArquivo || o.exemplo || o.status || o.descrever))
    throw EUso("--desenhar so combina com --preview e --papel");
  if (o.preview && o.preview->empty()) throw EUso("--preview precisa do nome da imagem");
  return o;
}

// Messages and texts are Windows-1252; the terminal reads UTF-8.
std::string ParaTerminal(const std::string& texto) {
  return CodificarPaginaDeCodigo(texto, TPosPaginaCodigo::pcUTF8);
}

// Draws, and shows the drawing's warnings (at most kAvisosMostrados of them).
void Desenhar(const TDesenharPreview& desenhar, const std::string& bytes, const std::string& arquivo, int papel,
              std::ostream& erro) {
  constexpr std::size_t kAvisosMostrados = 20;
  const std::vector<std::string> avisos = desenhar(bytes, arquivo, papel);
  for (std::size_t i = 0; i < avisos.size() && i < kAvisosMostrados; ++i)
    erro << "bilhetor-print: aviso: " << ParaTerminal(avisos[i]) << "\n";
  if (avisos.size() > kAvisosMostrados)
    erro << "bilhetor-print: ... e mais " << avisos.size() - kAvisosMostrados << " avisos (veja a imagem)\n";
}

std::string LerTexto(const TOpcoes& o, std::istream& entrada) {
  if (o.arquivo.empty() || o.arquivo == "-")
    return std::string(std::istreambuf_iterator<char>(entrada), std::istreambuf_iterator<char>());
  std::ifstream in(o.arquivo, std::ios::binary);
  if (!in) throw Exception("nao foi possivel ler o arquivo " + o.arquivo);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<std::string> TicketExemplo(int colunas) {
  const TCamposTexto pedido{{"numped", "57"},    {"tipo", ""},       {"cliente", "Jos\xE9 \xC1vila"},
                            {"cidade", "Rio Claro"}, {"uf", "SP"},   {"endereco", "Rua A"},
                            {"numero", "10"},    {"tel1", "1234"},   {"tel2", "5678"},
                            {"obs2", "Entregar \xE0 tarde"}};
  const TCamposTexto item{
      {"qtde", "2"}, {"und", "UN"}, {"descricao", "Caixa Grande"}, {"codprod", "42"}, {"ean13", "7891234567895"}};
  const TDataHora momento{2024, 3, 5, 14, 20, 1, 0};
  std::vector<std::string> linhas = CabecalhoTicket(pedido, colunas, momento);
  for (auto& l : ItemTicket(item)) linhas.push_back(std::move(l));
  for (auto& l : RodapeTicket("", "MARIA", 1, 20000, colunas)) linhas.push_back(std::move(l));
  return linhas;
}

std::string DescreverBytes(const std::string& bytes) {
  std::string out;
  std::size_t inicio = 0;
  while (inicio < bytes.size()) {
    std::size_t fim = bytes.find('\n', inicio);
    fim = fim == std::string::npos ? bytes.size() : fim + 1;
    out += TraduzirControles(bytes.substr(inicio, fim - inicio));
    out += '\n';
    inicio = fim;
  }
  return out;
}

int ExecutarBilhetorPrint(const std::vector<std::string>& argumentos, std::istream& entrada, std::ostream& saida,
                          std::ostream& erro, const std::string& executavel, const TDesenharPreview& desenhar) {
  TOpcoes o;
  try {
    o = LerOpcoes(argumentos);
  } catch (const EUso& e) {
    erro << "bilhetor-print: " << e.Message() << "\nUse --help para ver as opcoes.\n";
    return 2;
  }
  if (o.ajuda) {
    saida << TextoAjuda();
    return 0;
  }
  if (o.descrever) {
    std::ifstream in(*o.descrever, std::ios::binary);
    if (!in) {
      erro << "bilhetor-print: nao foi possivel ler o arquivo " << *o.descrever << "\n";
      return 1;
    }
    saida << DescreverBytes(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    return 0;
  }
  if ((o.preview || o.desenhar) && !desenhar) {
    erro << "bilhetor-print: este programa nao desenha a pre-visualizacao\n";
    return 1;
  }
  if (o.desenhar) {
    std::ifstream in(*o.desenhar, std::ios::binary);
    if (!in) {
      erro << "bilhetor-print: nao foi possivel ler o arquivo " << *o.desenhar << "\n";
      return 1;
    }
    const std::string bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
    const std::string imagem =
        o.preview ? *o.preview : std::filesystem::path(*o.desenhar).replace_extension(".png").string();
    try {
      Desenhar(desenhar, bytes, imagem, o.papel, erro);
    } catch (const std::exception& e) {
      erro << "bilhetor-print: " << ParaTerminal(e.what()) << "\n";
      return 1;
    }
    return 0;
  }
  try {
    TConfiguracaoImpressora config;
    std::string arquivoConfig = o.config;
    if (arquivoConfig.empty()) {
      const std::string padrao =
          (std::filesystem::path(executavel).parent_path() / "bilhetor.ini").string();
      if (std::filesystem::exists(padrao)) arquivoConfig = padrao;
    } else if (!std::filesystem::exists(arquivoConfig)) {
      throw Exception("arquivo de configuracao nao encontrado: " + arquivoConfig);
    }
    if (!arquivoConfig.empty()) CarregarConfiguracao(TIniFile(arquivoConfig), config);
    if (o.porta) config.Porta = *o.porta;
    if (o.modelo) config.Modelo = *o.modelo;
    if (o.colunas) config.Colunas = *o.colunas;
    if (o.pagina) config.PaginaDeCodigo = *o.pagina;
    if (o.log) config.ArqLog = *o.log;
    // --preview alone only draws: the bytes go nowhere, through a port that
    // takes everything (the engine prints only through an open port).
    const bool imprimir = !o.preview || o.porta;
    if (!imprimir) config.Porta = "FILE:/dev/null";
    if (Trim(config.Porta).empty()) throw Exception("nenhuma porta configurada: use --porta ou --config");

    TPosPrinter impressora;
    PrepararImpressora(impressora);
    AplicarConfiguracao(impressora, config);

    if (o.status) {
      const TPosStatus status = LerStatusImpressora(impressora, 3);
      std::string texto = TextoStatus(status);
      if (texto.size() >= 2) texto.resize(texto.size() - 2);
      const std::string motivo = MotivoImpressoraParada(status);
      saida << "Status: " << (texto.empty() ? "OK" : texto) << "\n";
      if (!motivo.empty()) saida << "Impressora " << motivo << "\n";
      return motivo.empty() ? 0 : 1;
    }

    std::string texto;
    if (o.exemplo) {
      for (const auto& l : TicketExemplo(config.Colunas)) texto += l + "\n";
    } else {
      texto = LerTexto(o, entrada);
    }
    if (o.mostrar) {
      saida << "== Texto com tags\n" << ParaTerminal(texto) << (texto.empty() || texto.back() == '\n' ? "" : "\n");
      // The tags the model declares it cannot print, where the text uses them.
      const std::string minusculo = LowerCase(texto);
      for (const std::string& tag : impressora.ConjuntoComandos().TagsSemSuporte)
        if (minusculo.find(LowerCase(tag)) != std::string::npos)
          erro << "bilhetor-print: aviso: o modelo " << NomeModeloEnum(config.Modelo) << " nao imprime a tag " << tag
               << "\n";
    }

    if (o.preview && !ModeloEscPos(config.Modelo))
      erro << "bilhetor-print: aviso: o modelo " << NomeModeloEnum(config.Modelo)
           << " nao usa ESC/POS; a imagem mostra o que uma impressora Epson faria com estes bytes\n";
    std::string enviado;
    if (o.mostrar || o.preview)
      impressora.OnEnviarStringDevice = [&enviado, imprimir](const std::string& dados, bool& tratado) {
        enviado += dados;
        tratado = !imprimir;
      };
    impressora.Ativar();
    // The lines go through the buffer, as the print server sends a ticket.
    std::size_t inicio = 0;
    while (inicio < texto.size()) {
      std::size_t fim = texto.find('\n', inicio);
      if (fim == std::string::npos) fim = texto.size();
      std::string linha = texto.substr(inicio, fim - inicio);
      if (!linha.empty() && linha.back() == '\r') linha.pop_back();
      impressora.Buffer().Add(linha);
      inicio = fim + 1;
    }
    impressora.Imprimir("", false, true, true, 1);
    impressora.Desativar();
    if (o.mostrar) saida << "== Bytes enviados (" << enviado.size() << ")\n" << DescreverBytes(enviado);
    if (o.preview) Desenhar(desenhar, enviado, *o.preview, o.papel, erro);
    return 0;
  } catch (const std::exception& e) {
    erro << "bilhetor-print: " << ParaTerminal(e.what()) << "\n";
    return 1;
  }
}

}  // namespace bilhetor
