#include "app/DiarioImpressao.h"

#include <algorithm>
#include <map>

#include "common/Strings.h"

namespace bilhetor {

namespace {

constexpr const char* kCabecalho = "# Bilhetor: tickets impressos (docs/diario.md), formato 1\n";

uint32_t Fnv1a(std::string_view s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

std::string Escapar(std::string_view s) {
  std::string r;
  r.reserve(s.size() + 16);
  for (unsigned char c : s) {
    switch (c) {
      case '\\': r += "\\\\"; break;
      case '\t': r += "\\t"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      default:
        if (c < 0x20 || c == 0x7F)
          r += Format("\\x%02X", c);
        else
          r += static_cast<char>(c);
    }
  }
  return r;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Desescapar(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      r += s[i];
      continue;
    }
    const char c = s[++i];
    if (c == 't') r += '\t';
    else if (c == 'n') r += '\n';
    else if (c == 'r') r += '\r';
    else if (c == 'x' && i + 2 < s.size() && Hex(s[i + 1]) >= 0 && Hex(s[i + 2]) >= 0) {
      r += static_cast<char>(Hex(s[i + 1]) * 16 + Hex(s[i + 2]));
      i += 2;
    } else r += c;
  }
  return r;
}

// A record: its fields joined by tabs, then the check of that text.
std::string Linha(const std::vector<std::string>& campos) {
  std::string linha;
  for (const std::string& c : campos) {
    linha += c;
    linha += '\t';
  }
  linha += Format("%08x\n", Fnv1a(linha));
  return linha;
}

// The fields of a record line (without its line end); empty when the line
// is a comment, or cut short or damaged (its check does not match).
std::vector<std::string> Campos(std::string_view linha) {
  const std::size_t tab = linha.rfind('\t');
  if (linha.empty() || linha[0] == '#' || tab == std::string_view::npos) return {};
  if (linha.substr(tab + 1) != Format("%08x", Fnv1a(linha.substr(0, tab + 1)))) return {};
  return Split(linha.substr(0, tab), '\t');
}

std::string RegistroImpressao(const TTicketDiario& t) {
  std::string itens;
  for (const std::string& id : t.Itens) itens += (itens.empty() ? "" : ",") + Escapar(id);
  return Linha({"I", std::to_string(t.Numero), t.Momento, Escapar(t.Pedido), itens, std::to_string(t.Bytes),
                Escapar(t.Porta), Escapar(t.Texto)});
}

std::string RegistroMarcado(const TTicketDiario& t) {
  return Linha({"M", std::to_string(t.Numero), t.MomentoMarcado});
}

// Days since 1970-01-01 of the date at the start of a "yyyy-mm-dd..." text.
int64_t Dia(std::string_view momento) {
  if (momento.size() < 10) return 0;
  const int64_t a0 = StrToInt64Def(momento.substr(0, 4), 1970), m = StrToInt64Def(momento.substr(5, 2), 1),
                d = StrToInt64Def(momento.substr(8, 2), 1);
  const int64_t a = m <= 2 ? a0 - 1 : a0;
  const int64_t era = (a >= 0 ? a : a - 399) / 400;
  const int64_t ano = a - era * 400;
  const int64_t diaAno = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + ano * 365 + ano / 4 - ano / 100 + diaAno - 719468;
}

// Every ticket of the file's content, oldest first.
std::vector<TTicketDiario> Interpretar(const std::string& conteudo) {
  std::vector<TTicketDiario> tickets;
  std::map<uint64_t, std::size_t> indice;
  std::size_t inicio = 0;
  while (inicio < conteudo.size()) {
    const std::size_t fim = conteudo.find('\n', inicio);
    if (fim == std::string::npos) break;  // a last line cut short
    const std::vector<std::string> c = Campos(std::string_view(conteudo).substr(inicio, fim - inicio));
    inicio = fim + 1;
    if (c.size() == 8 && c[0] == "I") {
      TTicketDiario t;
      t.Numero = static_cast<uint64_t>(StrToInt64Def(c[1], 0));
      t.Momento = c[2];
      t.Pedido = Desescapar(c[3]);
      if (!c[4].empty())
        for (const std::string& id : Split(c[4], ',')) t.Itens.push_back(Desescapar(id));
      t.Bytes = static_cast<uint64_t>(StrToInt64Def(c[5], 0));
      t.Porta = Desescapar(c[6]);
      t.Texto = Desescapar(c[7]);
      indice[t.Numero] = tickets.size();
      tickets.push_back(std::move(t));
    } else if (c.size() == 3 && c[0] == "M") {
      const auto it = indice.find(static_cast<uint64_t>(StrToInt64Def(c[1], 0)));
      if (it == indice.end()) continue;
      tickets[it->second].Marcado = true;
      tickets[it->second].MomentoMarcado = c[2];
    }
  }
  return tickets;
}

}  // namespace

std::string MomentoIso(const TDataHora& m) {
  return Format("%04d-%02d-%02d %02d:%02d:%02d", m.Ano, m.Mes, m.Dia, m.Hora, m.Minuto, m.Segundo);
}

TDiarioImpressao::TDiarioImpressao(std::string arquivo, TLimitesDiario limites)
    : arquivo_(std::move(arquivo)), limites_(limites) {}

TDiarioImpressao::~TDiarioImpressao() = default;

std::vector<TTicketDiario> TDiarioImpressao::Ler(const std::string& arquivo) {
  return Interpretar(LerArquivoInteiro(arquivo));
}

void TDiarioImpressao::Abrir(const TDataHora& agora) {
  anexo_.reset();
  devidos_.clear();
  itensDevidos_.clear();
  std::vector<TTicketDiario> tickets = Ler(arquivo_);
  for (const TTicketDiario& t : tickets) {
    proximo_ = std::max(proximo_, t.Numero + 1);
    if (t.Marcado) continue;
    devidos_.push_back(t);
    itensDevidos_.insert(t.Itens.begin(), t.Itens.end());
  }
  // Rewritten whole: a line cut short by a crash goes, and the new records
  // start on a line of their own.
  Compactar(agora, std::move(tickets));
}

void TDiarioImpressao::Compactar(const TDataHora& agora, std::vector<TTicketDiario> tickets) {
  const int64_t hoje = Dia(MomentoIso(agora));
  std::erase_if(tickets, [&](const TTicketDiario& t) { return t.Marcado && hoje - Dia(t.Momento) >= limites_.Dias; });
  const auto tamanho = [](const TTicketDiario& t) {
    return RegistroImpressao(t).size() + (t.Marcado ? RegistroMarcado(t).size() : 0);
  };
  uint64_t total = 0;
  for (const TTicketDiario& t : tickets) total += tamanho(t);
  for (auto it = tickets.begin(); it != tickets.end() && total > limites_.TamanhoMaximo / 2;) {
    if (!it->Marcado) {
      ++it;
      continue;
    }
    total -= tamanho(*it);
    it = tickets.erase(it);
  }
  std::string conteudo = kCabecalho;
  for (const TTicketDiario& t : tickets) {
    conteudo += RegistroImpressao(t);
    if (t.Marcado) conteudo += RegistroMarcado(t);
  }
  anexo_.reset();
  SubstituirArquivo(arquivo_, conteudo);
  anexo_ = std::make_unique<TArquivoAnexo>(arquivo_);
}

uint64_t TDiarioImpressao::RegistrarImpressao(TTicketDiario ticket, const TDataHora& agora) {
  if (!anexo_) throw EArquivoDuravel("Di\xE1rio de impress\xE3o fechado: " + arquivo_);
  ticket.Numero = proximo_;
  ticket.Momento = MomentoIso(agora);
  ticket.Marcado = false;
  anexo_->Anexar(RegistroImpressao(ticket), true);
  ++proximo_;
  itensDevidos_.insert(ticket.Itens.begin(), ticket.Itens.end());
  devidos_.push_back(std::move(ticket));
  return devidos_.back().Numero;
}

void TDiarioImpressao::RegistrarMarcado(uint64_t numero, const TDataHora& agora) {
  const auto it = std::find_if(devidos_.begin(), devidos_.end(), [&](const TTicketDiario& t) { return t.Numero == numero; });
  if (it == devidos_.end()) return;
  it->Marcado = true;
  it->MomentoMarcado = MomentoIso(agora);
  for (const std::string& id : it->Itens) itensDevidos_.erase(id);
  const std::string registro = RegistroMarcado(*it);
  devidos_.erase(it);
  if (anexo_) anexo_->Anexar(registro, false);
  if (anexo_ && anexo_->Tamanho() > limites_.TamanhoMaximo) Compactar(agora, Ler(arquivo_));
}

}  // namespace bilhetor
