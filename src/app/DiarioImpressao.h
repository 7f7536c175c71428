#pragma once
// The journal of printed tickets: one record, flushed to the disk, for every
// ticket the printer took, written after the print and before the items are
// marked; one more when its items have been marked. A ticket whose marks are
// still owed (the mark failed, or the program died between the print and the
// marks) has its marks retried from here and is never printed again.
//
// The file is text, one record per line, fields separated by a tab, bytes as
// the engine got them (Windows-1252); docs/diario.md describes it:
//   I <n> <date time> <order> <item ids, comma-separated> <bytes> <port> <tagged text> <check>
//   M <n> <date time> <check>
// with "\\", "\t", "\n", "\r" and "\xHH" (other control bytes) escaping the
// fields, and <check> the FNV-1a hash (8 hex digits) of the line before it,
// so that a line cut short by a crash is recognised and ignored. Lines that
// begin with "#" are comments.
//
// The journal stays bounded: when it grows past its size limit (and when it
// is opened) it is rewritten with the tickets of the last `Dias` days and the
// tickets still owed; if that is still more than half the limit, the oldest
// marked tickets go first.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/ArquivoDuravel.h"
#include "app/TicketSeparacao.h"

namespace bilhetor {

struct TLimitesDiario {
  int Dias = 30;
  uint64_t TamanhoMaximo = 64ull * 1024 * 1024;
};

// One printed ticket as the journal keeps it.
struct TTicketDiario {
  uint64_t Numero = 0;
  std::string Momento;  // "yyyy-mm-dd hh:nn:ss", local time
  std::string Pedido;   // the order number as the database gave it
  std::vector<std::string> Itens;  // the ids of the items that went into it
  uint64_t Bytes = 0;   // bytes sent to the printer
  std::string Porta;
  std::string Texto;    // the tagged text, lines joined by "\n"
  bool Marcado = false;
  std::string MomentoMarcado;
};

class TDiarioImpressao {
 public:
  TDiarioImpressao(std::string arquivo, TLimitesDiario limites = {});
  ~TDiarioImpressao();

  // Reads the file (a missing one is empty) and keeps the tickets whose
  // marks are owed; compacts it. Raises EArquivoDuravel when it cannot be
  // read or written.
  void Abrir(const TDataHora& agora);
  bool Aberto() const { return anexo_ != nullptr; }
  const std::string& Arquivo() const { return arquivo_; }

  // Records a printed ticket, on the disk before it returns; its number.
  // Raises EArquivoDuravel.
  uint64_t RegistrarImpressao(TTicketDiario ticket, const TDataHora& agora);
  // Records that the ticket's items are marked (not flushed at once: the
  // marks are idempotent, so a lost record only marks them again).
  void RegistrarMarcado(uint64_t numero, const TDataHora& agora);

  // The tickets whose marks are owed, oldest first.
  const std::vector<TTicketDiario>& Devidos() const { return devidos_; }
  bool ItemDevido(const std::string& id) const { return itensDevidos_.count(id) != 0; }

  // Every ticket of a journal file, oldest first (for reading it back).
  static std::vector<TTicketDiario> Ler(const std::string& arquivo);

 private:
  // Rewrites the file from its tickets (as read from it).
  void Compactar(const TDataHora& agora, std::vector<TTicketDiario> tickets);

  std::string arquivo_;
  TLimitesDiario limites_;
  std::unique_ptr<TArquivoAnexo> anexo_;
  std::vector<TTicketDiario> devidos_;
  std::unordered_set<std::string> itensDevidos_;
  uint64_t proximo_ = 1;
};

// "yyyy-mm-dd hh:nn:ss" of a local time.
std::string MomentoIso(const TDataHora& momento);

}  // namespace bilhetor
