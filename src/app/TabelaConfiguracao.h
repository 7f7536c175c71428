#pragma once
// The printer settings, one row each, in the order of the settings file:
// where the file keeps it (section, key), what kind of value it is and its
// range, the field of TConfiguracaoImpressora that holds it, how it reaches
// the engine (and how the engine's current value is read back), and which
// control of the window shows it. The settings file code, the window's model
// and the views walk this table; a new setting is one row here, a field of
// TConfiguracaoImpressora and a control of the model.
#include <span>
#include <string>
#include <string_view>

#include "app/ConfiguracaoImpressora.h"
#include "app/Controles.h"

namespace bilhetor {

class TfrmBilhetor;
class TPosPrinter;

enum class TTipoConfiguracao {
  Numero,    // a whole number, clamped into its range when read
  Booleano,  // 1 and 0 in the file; any other number reads as true
  Escolha,   // an ordinal; one outside the range leaves the current choice
  Texto,
};

struct TConfiguracao {
  const char* Secao;
  const char* Chave;
  TTipoConfiguracao Tipo;
  int Minimo, Maximo;  // Numero: its range; Escolha: 0 and the last ordinal; Booleano: 0 and 1

  // The value in the settings: as a number (all but Texto) or as text.
  int (*Valor)(const TConfiguracaoImpressora&);
  void (*DefinirValor)(TConfiguracaoImpressora&, int);
  std::string TConfiguracaoImpressora::*Texto;

  // The engine's current value into the settings (none: the field's
  // default), and the settings' value into the engine on activation (none:
  // it never reaches the engine).
  void (*DoMotor)(TPosPrinter&, TConfiguracaoImpressora&);
  void (*ParaMotor)(TPosPrinter&, const TConfiguracaoImpressora&);

  // The window's control, one of these (none: the value lives in the engine
  // only, as the serial parameters in the device, and goes to it as soon as
  // the file is read), the handler the control runs when the operator
  // changes it (reading the file runs it only for a check box whose state
  // changes and for the port), its label, and the name the views give the
  // control.
  TSpinEdit TfrmBilhetor::*Spin;
  TCheckBox TfrmBilhetor::*Caixa;
  TComboBox TfrmBilhetor::*Lista;  // Escolha: the item index; Texto: the text
  std::string TfrmBilhetor::*Edicao;
  void (TfrmBilhetor::*AoMudar)();
  const char* Rotulo;  // Windows-1252
  const char* Nome;
};

// Every setting, in the order of the settings file.
std::span<const TConfiguracao> Configuracoes();
// The row of a key; raises Exception for one that is not in the table.
const TConfiguracao& Configuracao(std::string_view secao, std::string_view chave);

// The window's controls as the table describes them: a spin box with the
// setting's range, a check box with its label.
TSpinEdit SpinDe(std::string_view secao, std::string_view chave);
TCheckBox CaixaDe(std::string_view secao, std::string_view chave);

}  // namespace bilhetor
