#pragma once
// Reading the printer's status before printing: LerStatusImpressora asks the
// command set of the current model (retrying unreadable answers) and logs the
// flags it got; VerificarStatusImpressora is the check Imprimir runs when
// VerificarImpressora is on.
#include <string>

#include "posprinter/PosTypes.h"

namespace bilhetor {

class TPosPrinter;

// The enumeration name of a status flag ("stSemPapel").
std::string NomeStatus(TPosTipoStatus Flag);
// The names of the flags in the set, in bit order, each followed by ", ".
std::string TextoStatus(TPosStatus Status);

// Queries the printer up to Tentativas times (values below 2 mean once) while
// the answer is unreadable (stErroLeitura). Ports that cannot be queried
// (neither serial, nor TCP, nor a USB hook) give {stNaoSerial} without a
// byte being sent. The engine's active state is restored afterwards, and
// ConfigGaveta.SinalInvertido toggles stGavetaAberta.
TPosStatus LerStatusImpressora(TPosPrinter& Impressora, int Tentativas = 1);

// The text that stops a print for this status ("com Tampa Aberta", "Sem
// Papel", "Desligada", "em Erro", first match in that order), or empty when
// the printer may print.
std::string MotivoImpressoraParada(TPosStatus Status);

// Reads the status once and raises EPosPrinterException "Impressora " + the
// reason when the printer cannot print.
void VerificarStatusImpressora(TPosPrinter& Impressora);

}  // namespace bilhetor
