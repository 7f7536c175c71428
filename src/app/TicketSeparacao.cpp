#include "app/TicketSeparacao.h"

#include <cmath>
#include <cstdlib>

#include "common/Strings.h"

namespace bilhetor {

TCamposTexto::TCamposTexto(std::initializer_list<std::pair<const std::string, std::string>> valores) {
  for (const auto& [campo, valor] : valores) Definir(campo, valor);
}

void TCamposTexto::Definir(const std::string& campo, const std::string& valor) {
  for (auto& [nome, atual] : valores_) {
    if (SameText(nome, campo)) {
      atual = valor;
      return;
    }
  }
  valores_.emplace_back(campo, valor);
}

std::string TCamposTexto::Texto(const std::string& campo) const {
  for (const auto& [nome, valor] : valores_)
    if (SameText(nome, campo)) return valor;
  throw EConversaoCampo(Format("Field '%s' not found", campo.c_str()));
}

int TCamposTexto::Inteiro(const std::string& campo) const {
  const std::string texto = Texto(campo);
  int valor = 0;
  // Only decimal digits with an optional sign; hexadecimal forms are not
  // numbers in a database column.
  const std::string limpo = Trim(texto);
  const bool decimal = !limpo.empty() && limpo.find_first_not_of("+-0123456789") == std::string::npos;
  if (!decimal || !TryStrToInt(limpo, valor))
    throw EConversaoCampo(Format("'%s' is not a valid integer value", texto.c_str()));
  return valor;
}

double TCamposTexto::Numero(const std::string& campo) const {
  const std::string texto = Texto(campo);
  std::string limpo = Trim(texto);
  for (char& c : limpo)
    if (c == ',') c = '.';
  char* fim = nullptr;
  const double valor = limpo.empty() ? 0 : std::strtod(limpo.c_str(), &fim);
  const bool valido = !limpo.empty() && fim && *fim == '\0' && std::isfinite(valor) &&
                      limpo.find_first_of("xXnN") == std::string::npos;  // no hex, inf or nan
  if (!valido) throw EConversaoCampo(Format("'%s' is not a valid floating point value", texto.c_str()));
  return valor;
}

std::string TextoLiteral(std::string_view texto) {
  std::string out(texto);
  for (char& ch : out) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || c == 0x23 || c == 0x26 || c == 0x27 || c == 0x3C || c == 0x3E || c == 0x7C) ch = ' ';
  }
  return out;
}

std::string SanitizarTexto(std::string_view texto) {
  std::string out = TextoLiteral(texto);
  for (char& ch : out) {
    const auto c = static_cast<unsigned char>(ch);
    char r = ch;
    switch (c) {
      case 0xA7: case 0xAA: case 0xB2: case 0xB3: case 0xB4: case 0xB9: case 0xBA:
        r = ' ';
        break;
      case 0xC7: r = 'C'; break;
      case 0xD1: r = 'N'; break;
      case 0xE7: r = 'c'; break;
      case 0xF1: r = 'n'; break;
      default:
        if (c >= 0xC0 && c <= 0xC4) r = 'A';
        else if (c >= 0xC8 && c <= 0xCB) r = 'E';
        else if (c >= 0xCC && c <= 0xCF) r = 'I';
        else if (c >= 0xD2 && c <= 0xD6) r = 'O';
        else if (c >= 0xD9 && c <= 0xDC) r = 'U';
        else if (c >= 0xE0 && c <= 0xE4) r = 'a';
        else if (c >= 0xE8 && c <= 0xEB) r = 'e';
        else if (c >= 0xEC && c <= 0xEF) r = 'i';
        else if (c >= 0xF2 && c <= 0xF6) r = 'o';
        else if (c >= 0xF9 && c <= 0xFC) r = 'u';
    }
    ch = r;
  }
  return out;
}

std::string FormatarInteiro(double valor, int digitos) {
  const double arredondado = std::round(valor);  // halves away from zero
  const bool negativo = arredondado < 0;
  const std::string numero = Format("%.0f", std::fabs(arredondado));
  const std::string corpo =
      numero.size() < static_cast<std::size_t>(digitos) ? PadLeft(numero, static_cast<std::size_t>(digitos), '0') : numero;
  return negativo ? "-" + corpo : corpo;
}

std::string FormatarDataHora(const TDataHora& m) {
  std::string texto = Format("%02d/%02d/%04d", m.Dia, m.Mes, m.Ano);
  if (m.Hora != 0 || m.Minuto != 0 || m.Segundo != 0 || m.Milissegundo != 0)
    texto += Format(" %02d:%02d:%02d", m.Hora, m.Minuto, m.Segundo);
  return texto;
}

namespace {

// Blanks before a centred-by-hand title: columns / 2 - k, truncated toward
// zero, none when that is zero or negative.
std::string Recuo(int colunas, double k) {
  const double n = std::trunc(colunas / 2.0 - k);
  return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string();
}

}  // namespace

std::vector<std::string> CabecalhoTicket(const TCampos& pedido, int colunasTicket, const TDataHora& agora) {
  std::vector<std::string> linhas;
  linhas.push_back("</zera>");
  linhas.push_back("</linha_simples>");

  const std::string tipo = pedido.Texto("tipo");
  if (tipo.empty()) {
    linhas.push_back("<n><e></ce>MAPA DE SEPARACAO");
    linhas.push_back("<code39>" + TextoLiteral(pedido.Texto("numped")) + "</code39>");
  } else if (tipo == "C") {
    linhas.push_back(Recuo(colunasTicket, 11.5) + "C A N C E L A M E N T O");
  } else if (tipo == "T") {
    linhas.push_back("</fn></ce>C A N C E L A M E N T O");
    linhas.push_back(Recuo(colunasTicket, 4.5) + "T O T A L");
  }

  linhas.push_back("</ae></fn>DATA/HORA: " + FormatarDataHora(agora));
  linhas.push_back("</ae></fn>PEDIDO...: " + FormatarInteiro(pedido.Inteiro("numped"), 3));
  linhas.push_back("</linha_simples>");
  linhas.push_back("<n><e></ce>DADOS DO CLIENTE");
  linhas.push_back("</ae></fn>");
  linhas.push_back("CLIENTE.: " + SanitizarTexto(pedido.Texto("cliente")));
  linhas.push_back("CIDADE..: " + SanitizarTexto(pedido.Texto("cidade") + " - " + pedido.Texto("uf")));
  linhas.push_back("ENDERECO: " + SanitizarTexto(pedido.Texto("endereco") + ", " + pedido.Texto("numero")));
  linhas.push_back("TELEFONE: " + TextoLiteral(pedido.Texto("tel1")) + "|" + TextoLiteral(pedido.Texto("tel2")));
  linhas.push_back("</linha_simples>");
  linhas.push_back("<n><e></ce>OBSERVACAO");
  linhas.push_back("</ae></fn>");
  linhas.push_back(SanitizarTexto(pedido.Texto("obs2")));
  linhas.push_back("</linha_simples>");
  return linhas;
}

std::vector<std::string> ItemTicket(const TCampos& item) {
  return {
      TextoLiteral(item.Texto("qtde")) + " X " + TextoLiteral(item.Texto("und")) + " " +
          SanitizarTexto(item.Texto("descricao")),
      "CODIGO: " + FormatarInteiro(item.Numero("codprod"), 5) + " - BARRAS: " + TextoLiteral(item.Texto("ean13")),
      "    ",
  };
}

std::vector<std::string> RodapeTicket(const std::string& tipo, const std::string& funcionario, int quantidadeItens,
                                      int64_t totalVolumesDecimos, int colunasTicket) {
  // The volume total is held in ten-thousandths; round it to whole volumes,
  // halves away from zero, without going through floating point.
  const int64_t inteiro = totalVolumesDecimos / 10000;
  const int64_t resto = totalVolumesDecimos % 10000;
  const int64_t volumes = inteiro + (resto >= 5000 ? 1 : resto <= -5000 ? -1 : 0);

  std::vector<std::string> linhas;
  linhas.push_back("</linha_simples>");
  linhas.push_back((tipo.empty() ? "<n>ATENDENTE: " : "<n>CANCELADO POR: ") + TextoLiteral(funcionario));
  linhas.push_back(std::string(colunasTicket > 0 ? static_cast<std::size_t>(colunasTicket) : 0, '-'));
  linhas.push_back("<n>QUANTIDADE DE ITENS..: " + FormatarInteiro(quantidadeItens, 2));
  linhas.push_back("<n>QUANTIDADE DE VOLUMES: " + FormatarInteiro(static_cast<double>(volumes), 2));
  linhas.push_back("</linha_simples>");
  linhas.push_back("<n></ce>* * * F I M * * *");
  linhas.push_back(" ");
  linhas.push_back(" ");
  linhas.push_back("</corte_total>");
  linhas.push_back("</corte_parcial>");
  return linhas;
}

}  // namespace bilhetor
