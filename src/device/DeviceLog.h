#pragma once
// The log operations shared by the device log and the engine log: the
// readable form of control bytes, the append of one line to a log file, the
// time stamp of timed lines, and the clock behind them.
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace bilhetor {

// Every byte of Texto in readable form: the named control bytes as "[ESC]",
// "[LF]", ...; 32..126 as themselves; any other byte as "[" + decimal + "]".
std::string TraduzirControles(const std::string& Texto);

// Appends Texto and CR LF to the file Arquivo. Nothing when Arquivo is empty,
// nor when the file exists and Texto is empty. The file is created when it is
// missing (its folder is not); other writers are kept out while the line is
// written. Only a regular file is written: a FIFO, a terminal or another
// device named as the log is left alone, so logging never blocks. Never
// raises: a failed append is dropped.
void EscreverArquivoLog(const std::string& Arquivo, const std::string& Texto) noexcept;

// A local time to the millisecond, as the logs print it.
struct TMomentoLog {
  int Ano = 0;
  int Mes = 0;
  int Dia = 0;
  int Hora = 0;
  int Minuto = 0;
  int Segundo = 0;
  int Milissegundo = 0;
};

// "dd/mm hh:nn:ss:zzz".
std::string FormatarMomentoLog(const TMomentoLog& Momento);

// The clock of the device: the local time of log lines, a monotonic
// millisecond counter for deadlines, and the waits between pieces of a send.
// Tests install their own to fix the time and record the waits.
class TDeviceClock {
 public:
  virtual ~TDeviceClock() = default;
  virtual TMomentoLog Agora() = 0;
  virtual int64_t MonotonicoMs() = 0;
  virtual void Dormir(int Milissegundos) = 0;
};

// The machine's clock.
class TSystemClock : public TDeviceClock {
 public:
  TMomentoLog Agora() override;
  int64_t MonotonicoMs() override;
  void Dormir(int Milissegundos) override;
};

// The class name of an error object as the logs show it ("ESocketError",
// "Exception"), without namespaces.
std::string NomeClasseErro(const std::exception& E);

}  // namespace bilhetor
