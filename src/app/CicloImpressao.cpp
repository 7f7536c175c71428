#include "app/CicloImpressao.h"

#include <cmath>

#include "common/Strings.h"
#include "db/MySqlEscape.h"

namespace bilhetor {

namespace {

// The fields of a query's current row, read the way the ticket reads them.
class TCamposQuery : public TCampos {
 public:
  explicit TCamposQuery(TDbQuery& query) : query_(query) {}
  std::string Texto(const std::string& campo) const override { return query_.FieldByName(campo).AsString(); }
  int Inteiro(const std::string& campo) const override { return query_.FieldByName(campo).AsInteger(); }
  double Numero(const std::string& campo) const override { return query_.FieldByName(campo).AsFloat(); }

 private:
  TDbQuery& query_;
};

// Closes a query and gives it a new statement, line by line.
void DefinirSql(TDbQuery& query, std::initializer_list<std::string> linhas) {
  query.Close();
  query.SQL.Clear();
  for (const std::string& linha : linhas) query.SQL.Add(linha);
}

// The volume total in ten-thousandths plus one quantity, the sum rounded to
// the nearest ten-thousandth (ties to even, the processor's rounding mode).
int64_t SomarVolume(int64_t total, double quantidade) {
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(total) + quantidade * 10000.0));
}

// Every field of the query's current row, each followed by a separator
// byte: what the ticket of an order is made of.
std::string ValoresLinha(TDbQuery& query) {
  std::string valores;
  for (std::size_t i = 0; i < query.FieldCount(); ++i) {
    valores += query.Fields(i).IsNull() ? std::string("\x01") : query.Fields(i).AsString();
    valores += '\x1F';
  }
  return valores;
}

// An item id goes into the update only as a whole number.
bool InteiroSql(const std::string& id) {
  const std::size_t inicio = !id.empty() && id[0] == '-' ? 1 : 0;
  return id.size() > inicio && id.size() - inicio <= 19 &&
         id.find_first_not_of("0123456789", inicio) == std::string::npos;
}

std::string Juntar(const std::vector<std::string>& partes, const char* separador) {
  std::string r;
  for (const std::string& p : partes) r += (r.empty() ? "" : separador) + p;
  return r;
}

std::string NomeVez(const std::string& banco) { return ("bilhetor." + banco).substr(0, 64); }

}  // namespace

TCicloImpressao::TCicloImpressao(TPosPrinter& impressora, TDbConnection& banco, TRelogioLocal& relogio,
                                 TMensagens& mensagens, TAvisos& avisos)
    : impressora_(impressora), banco_(banco), relogio_(relogio), mensagens_(mensagens), avisos_(avisos) {
  for (TDbQuery* q : {&qryComandas, &qryItens, &qryEu, &qryAtualiza2, &qryVez})
    q->SpecificOptions.SetValue("CommandTimeout", std::to_string(kSegundosComando));
}

TCicloImpressao::~TCicloImpressao() = default;

uint32_t TCicloImpressao::SessaoAtual() const {
  TMySQLConnection* interna = banco_.Internal();
  return banco_.Connected() && interna && interna->Session() ? interna->Session()->threadId : 0;
}

bool TCicloImpressao::ObterVez() {
  // The lock lives as long as the session that took it: a session made anew
  // by a reconnect has to take it again.
  if (sessaoVez_ != 0 && sessaoVez_ == SessaoAtual()) return true;
  sessaoVez_ = 0;
  const std::string nome = NomeVez(banco_.Database());
  DefinirSql(qryVez, {"select get_lock(" + LiteralSql(banco_, nome) + ", 0)"});
  qryVez.Open();
  const bool obtida = !qryVez.Eof() && qryVez.Fields(0).AsString() == "1";
  qryVez.Close();
  if (obtida) {
    sessaoVez_ = SessaoAtual();
    if (emEspera_)
      mensagens_.Informar("Este servidor assumiu a impress\xE3o dos pedidos do banco " + banco_.Database() + ".");
    emEspera_ = false;
    return true;
  }
  if (!emEspera_)
    mensagens_.Informar("Outro servidor imprime os pedidos do banco " + banco_.Database() +
                        " (trava " + nome + "): este fica em espera e assume quando aquele parar.");
  emEspera_ = true;
  return false;
}

bool TCicloImpressao::Marcar(const std::vector<std::string>& ids, const std::string& pedido,
                             const std::string& assunto) {
  const std::string inicio = "Pedido " + pedido + " impresso, mas seus itens " + Juntar(ids, ",") +
                             " n\xE3o foram marcados (nova tentativa a cada ciclo, sem reimprimir): ";
  for (const std::string& id : ids) {
    if (!InteiroSql(id)) {
      avisos_.Relatar(assunto, inicio + "id de item inv\xE1lido: " + id);
      return false;
    }
    try {
      DefinirSql(qryAtualiza2, {"update imprimir set impressao='S' where id = " + id});
      qryAtualiza2.Execute();
    } catch (const EDatabaseError& e) {
      // A lost link ends the pass; a refused mark (a lock that was not
      // released in time, a trigger, a permission) waits for the next one.
      if (!banco_.Connected()) throw;
      avisos_.Relatar(assunto, inicio + e.what());
      return false;
    }
  }
  if (avisos_.Encerrar(assunto)) mensagens_.Informar("Itens " + Juntar(ids, ",") + " do pedido " + pedido + " marcados.");
  return true;
}

void TCicloImpressao::ConcluirMarcas() {
  fimPasso_ = std::chrono::steady_clock::now() + std::chrono::seconds(kSegundosPorPasso);
  MarcarDevidos();
}

void TCicloImpressao::MarcarDevidos() {
  if (!diario_) return;
  const std::vector<TTicketDiario> devidos = diario_->Devidos();
  for (const TTicketDiario& t : devidos) {
    if (std::chrono::steady_clock::now() > fimPasso_) return;
    if (Marcar(t.Itens, t.Pedido, "marca:" + std::to_string(t.Numero))) AnotarMarcado(t.Numero);
  }
}

void TCicloImpressao::RelatarDiario(const std::exception& e) {
  avisos_.Relatar("diario", std::string(kMsgSemDiario) + e.what());
}

void TCicloImpressao::AnotarMarcado(uint64_t numero) {
  // The marks are done: a record that cannot be written only makes a later
  // start-up mark them again.
  try {
    diario_->RegistrarMarcado(numero, relogio_.Agora());
  } catch (const std::exception& e) {
    RelatarDiario(e);
  }
}

void TCicloImpressao::Executar(int colunasTicket, TTimer& timer2) {
  // A pass in which many rows wait on locks ends early, well before the
  // service's watchdog: the rest waits for the next tick.
  fimPasso_ = std::chrono::steady_clock::now() + std::chrono::seconds(kSegundosPorPasso);
  MarcarDevidos();
  DefinirSql(qryComandas, {"select imprimir.numped,imprimir.tipo,",
                            " cadcliente.cliente,cadcliente.fantasia,",
                            " cadcliente.endereco,cadcliente.numero,",
                            " cadcliente.tel1,cadcliente.tel2,",
                            " cadcliente.cidade,cadcliente.uf,pedido.obs2",
                            " from  imprimir,pedido,cadcliente,cadprod",
                            " where imprimir.CodProd = cadprod.codprod",
                            " and pedido.CodCli      = cadcliente.codcli",
                            " and imprimir.NumPed    = pedido.numped",
                            " and imprimir.impressao = 'N'",
                            " and cadprod.revenda    = 'S'",
                            " group by pedido.numped",
                            " order by pedido.numped"});
  qryComandas.Open();

  timer2.SetEnabled(false);
  qryComandas.First();
  // A reconnect in the middle of the pass loses the lock with the old
  // session: the pass ends, and the next tick takes the lock again first.
  const uint32_t sessao = sessaoVez_;
  while (!qryComandas.Eof() && (sessao == 0 || SessaoAtual() == sessao) &&
         std::chrono::steady_clock::now() <= fimPasso_) {
    ImprimirPedido(colunasTicket);
    qryComandas.Next();
  }
  timer2.SetEnabled(true);
}

void TCicloImpressao::Separar(const std::string& numped, const std::string& digital, const std::string& motivo) {
  separados_[numped] = TSeparado{digital, motivo, relogio_.Agora()};
  avisos_.Relatar("pedido:" + numped, "Pedido " + numped +
                                          " posto de lado (os outros seguem; nova tentativa quando seus dados"
                                          " mudarem): " + motivo);
}

bool TCicloImpressao::Separado(const std::string& numped, const std::string& digital) const {
  const auto it = separados_.find(numped);
  return it != separados_.end() && it->second.digital == digital &&
         MilissegundosEntre(it->second.desde, relogio_.Agora()) < kSegundosPedidoSeparado * 1000;
}

std::map<std::string, std::string> TCicloImpressao::PedidosSeparados() const {
  std::map<std::string, std::string> r;
  for (const auto& [numped, s] : separados_) r[numped] = s.motivo;
  return r;
}

void TCicloImpressao::ImprimirPedido(int colunasTicket) {
  const TCamposQuery pedido(qryComandas);
  const std::string numped = pedido.Texto("numped");

  // The order number goes into the statements as a quoted, escaped literal:
  // it is text from the database, never SQL.
  const std::string literalPedido = LiteralSql(banco_, numped);
  DefinirSql(qryItens, {"select imprimir.id, imprimir.codprod,",
                         " cadprod.descricao,cadprod.und,imprimir.qtde, ",
                         " cadprod.ean13",
                         " from imprimir,cadprod ",
                         " where imprimir.impressao='N'",
                         " and (cadprod.revenda='S'",
                         " or cadprod.ImpOS='S')",
                         " and imprimir.codprod=cadprod.codprod",
                         " and imprimir.numped=" + literalPedido,
                         " group by imprimir.id"});
  qryItens.Open();

  // Items whose ticket printed and whose marks are still owed stay out: they
  // are on paper already.
  std::string digital = ValoresLinha(qryComandas);
  int aImprimir = 0;
  for (qryItens.First(); !qryItens.Eof(); qryItens.Next()) {
    digital += '\x1E' + ValoresLinha(qryItens);
    if (!diario_ || !diario_->ItemDevido(qryItens.FieldByName("id").AsString())) ++aImprimir;
  }
  if (qryItens.RecordCount() > 0 && aImprimir == 0) return;
  if (Separado(numped, digital)) return;

  DefinirSql(qryEu, {"select nome from cadfunc where codfunc in (",
                      " select codfunc from pedido ",
                      " where numped=" + literalPedido + ")"});
  qryEu.Open();
  const std::string funcionario = qryEu.Eof() ? std::string() : qryEu.FieldByName("nome").AsString();

  // The ticket, and the ids of the items that go into it: only these are
  // marked, so an item queued while the ticket is composed waits for the
  // next pass.
  std::vector<std::string> linhas, ids;
  try {
    linhas = CabecalhoTicket(pedido, colunasTicket, relogio_.Agora());
    int64_t volumes = 0;
    const TCamposQuery item(qryItens);
    for (qryItens.First(); !qryItens.Eof(); qryItens.Next()) {
      const std::string id = item.Texto("id");
      if (diario_ && diario_->ItemDevido(id)) continue;
      for (std::string& l : ItemTicket(item)) linhas.push_back(std::move(l));
      volumes = SomarVolume(volumes, item.Numero("qtde"));
      ids.push_back(id);
    }
    for (std::string& l : RodapeTicket(pedido.Texto("tipo"), funcionario, aImprimir, volumes, colunasTicket))
      linhas.push_back(std::move(l));
  } catch (const EDatabaseError&) {
    throw;
  } catch (const std::exception& e) {
    return Separar(numped, digital, e.what());
  }

  std::size_t tamanho = 0;
  for (const std::string& linha : linhas) tamanho += linha.size() + 1;
  if (tamanho > limiteTicket_)
    return Separar(numped, digital,
                   Format("ticket de %zu bytes, maior que o limite de %zu bytes", tamanho, limiteTicket_));

  impressora_.Buffer().Clear();
  for (const std::string& linha : linhas) impressora_.Buffer().Add(linha);
  const uint64_t bytesAntes = impressora_.BytesEnviados();
  try {
    impressora_.Imprimir("", false, true, true, 1);
  } catch (const std::exception& e) {
    if (!impressora_.FalhouNoTexto()) throw;
    return Separar(numped, digital, e.what());
  }
  separados_.erase(numped);
  avisos_.Encerrar("pedido:" + numped);

  TTicketDiario ticket;
  ticket.Pedido = numped;
  ticket.Itens = ids;
  ticket.Bytes = impressora_.BytesEnviados() - bytesAntes;
  ticket.Porta = impressora_.Porta();
  mensagens_.Informar("Pedido " + numped + " impresso: itens " + (ids.empty() ? "-" : Juntar(ids, ",")) + ", " +
                      std::to_string(ticket.Bytes) + " bytes, porta " + ticket.Porta + ".");
  uint64_t numero = 0;
  if (diario_) {
    ticket.Texto = Juntar(linhas, "\n");
    try {
      numero = diario_->RegistrarImpressao(std::move(ticket), relogio_.Agora());
      avisos_.Encerrar("diario");
    } catch (const std::exception& e) {
      RelatarDiario(e);
    }
  }
  const std::string assunto = numero ? "marca:" + std::to_string(numero) : "pedido:" + numped;
  if (Marcar(ids, numped, assunto) && numero) AnotarMarcado(numero);
}

}  // namespace bilhetor
