#pragma once
// TCicloImpressao: the print server's pass over the waiting orders, with its
// four statements, the journal of printed tickets beside it, and the
// database-wide lock that lets one server print from a database at a time.
// The main window's model drives it (Timer2Timer) and keeps its own handlers
// and states.
//
// What one order goes through:
//   items query -> employee query -> ticket composed -> Imprimir ->
//   journal record (on the disk) -> one update per item -> "marked" record.
// The guarantees that follow:
// - A ticket that fails to print leaves its items waiting; a later pass
//   prints it.
// - A ticket that printed is never printed again because a mark failed: its
//   items stay in the journal as owed, are left out of later tickets, and
//   their marks are retried at every pass (and at start-up) until they hold.
//   A mark that keeps failing is reported once, and again when its error
//   changes.
// - Errors by their source. A printer or device error ends the pass and
//   reaches the caller (which may reopen the printer). A database error ends
//   the pass without touching the printer, except a failed mark on a link
//   that is still up (a lock wait that timed out, a trigger that refused it):
//   that order's marks stay owed and the pass goes on with the next order.
// - A bad order is set aside: when its data makes the ticket fail (a number
//   that is not a number, a picture the engine cannot read, a ticket larger
//   than the limit), the order is
//   reported once with its number and the reason and the pass goes on; it is
//   tried again when its rows change, or after kSegundosPedidoSeparado.
// - One active server per database: before printing, the server takes
//   GET_LOCK('bilhetor.<database>') on its own session. Without it the
//   server waits on standby and tries again at every tick; it takes over
//   within a tick after the active server's session ends.
//
// - Bounded passes: every statement ends within kSegundosComando, and a pass
//   starts no new order after kSegundosPorPasso (rows held by the order
//   system cost two seconds each), well under the service's watchdog.
//
// Duplicates remain possible in one case: the printer took the ticket but the
// program died (or the disk failed) before the journal recorded it.
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Avisos.h"
#include "app/Controles.h"
#include "app/DiarioImpressao.h"
#include "app/Plataforma.h"
#include "db/DbAccess.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

// How long an order set aside waits before it is tried again although its
// rows did not change.
inline constexpr long long kSegundosPedidoSeparado = 600;
// The journal cannot be written (followed by the reason).
inline constexpr const char* kMsgSemDiario =
    "Di\xE1rio de impress\xE3o indispon\xEDvel (os itens s\xE3o marcados sem ele): ";
// Each statement of the cycle ends after this many seconds at most.
inline constexpr int kSegundosComando = 20;
// The largest ticket (its tagged text) printed by default; a larger one is
// set aside as a bad order instead of printing metres of paper.
inline constexpr std::size_t kBytesMaximoTicket = 256 * 1024;
// A pass starts no new order (and no owed mark) after this many seconds.
inline constexpr int kSegundosPorPasso = 45;

class TCicloImpressao {
 public:
  TCicloImpressao(TPosPrinter& impressora, TDbConnection& banco, TRelogioLocal& relogio, TMensagens& mensagens,
                  TAvisos& avisos);
  ~TCicloImpressao();

  // The journal of printed tickets, opened. Without one (none given, or it
  // could not be written) the marks follow the print at once.
  void DefinirDiario(std::unique_ptr<TDiarioImpressao> diario) { diario_ = std::move(diario); }
  TDiarioImpressao* Diario() const { return diario_.get(); }
  void DefinirLimiteTicket(std::size_t bytes) { limiteTicket_ = bytes; }

  // Takes (or keeps) the database-wide lock; true while this server is the
  // active one. Says once when it goes on standby and when it takes over.
  // Raises EDbError when the database cannot be asked.
  bool ObterVez();
  bool EmEspera() const { return emEspera_; }

  // Retries the marks the journal says are owed. Raises only when the link
  // to the database is lost.
  void ConcluirMarcas();

  // One pass over the waiting orders (after ConcluirMarcas); timer2 is
  // disabled while the orders are walked and enabled again after the last.
  void Executar(int colunasTicket, TTimer& timer2);

  // The orders set aside, with the reason.
  std::map<std::string, std::string> PedidosSeparados() const;

 private:
  struct TSeparado {
    std::string digital, motivo;
    TDataHora desde;
  };
  void ImprimirPedido(int colunasTicket);
  // Marks the items; false (reported under the subject) when a mark failed
  // on a link that is still up. Raises when the link is lost.
  bool Marcar(const std::vector<std::string>& ids, const std::string& pedido, const std::string& assunto);
  void MarcarDevidos();
  void AnotarMarcado(uint64_t numero);
  void RelatarDiario(const std::exception& e);
  void Separar(const std::string& numped, const std::string& digital, const std::string& motivo);
  bool Separado(const std::string& numped, const std::string& digital) const;
  uint32_t SessaoAtual() const;

  TPosPrinter& impressora_;
  TDbConnection& banco_;
  TRelogioLocal& relogio_;
  TMensagens& mensagens_;
  TAvisos& avisos_;
  std::unique_ptr<TDiarioImpressao> diario_;
  TDbQuery qryComandas{&banco_};
  TDbQuery qryItens{&banco_};
  TDbQuery qryEu{&banco_};
  TDbQuery qryAtualiza2{&banco_};
  TDbQuery qryVez{&banco_};
  // The session that holds the lock (0: none).
  uint32_t sessaoVez_ = 0;
  bool emEspera_ = false;
  std::size_t limiteTicket_ = kBytesMaximoTicket;
  std::chrono::steady_clock::time_point fimPasso_;
  std::map<std::string, TSeparado> separados_;
};

}  // namespace bilhetor
