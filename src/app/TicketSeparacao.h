#pragma once
// The separation ticket ("MAPA DE SEPARACAO"): the tagged lines the print
// cycle appends to the engine's buffer for one order. Everything here is a
// function of its inputs (the order row, the item rows, the employee, the
// totals, the column count and the time), so a ticket can be reproduced byte
// for byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/DataHora.h"
#include "common/Exception.h"

namespace bilhetor {

// Conversion of a field value to a number failed ("'%s' is not a valid
// integer value").
BILHETOR_DECLARE_ERROR(EConversaoCampo);

// Reads the fields of the current row of a query by name, the way the print
// cycle reads them: as text (NULL reads as the empty text), as an integer, or
// as a floating-point number. The database query component is adapted to
// this; tests use TCamposTexto.
class TCampos {
 public:
  virtual ~TCampos() = default;
  virtual std::string Texto(const std::string& campo) const = 0;
  virtual int Inteiro(const std::string& campo) const = 0;
  virtual double Numero(const std::string& campo) const = 0;
};

// Fields given as text, converted like text columns of the database: an
// integer must be decimal digits with an optional sign, a number may use ","
// or "." as its decimal separator; anything else raises EConversaoCampo.
class TCamposTexto : public TCampos {
 public:
  TCamposTexto() = default;
  TCamposTexto(std::initializer_list<std::pair<const std::string, std::string>> valores);
  void Definir(const std::string& campo, const std::string& valor);
  std::string Texto(const std::string& campo) const override;
  int Inteiro(const std::string& campo) const override;
  double Numero(const std::string& campo) const override;

 private:
  std::vector<std::pair<std::string, std::string>> valores_;
};


// Database text as literal text for the engine: the bytes it could read as
// tags or that reach the printer as commands become blanks: "# & ' < > |"
// and the control bytes (00-1F, 7F). Letters, digits and the rest stay, and
// the length never changes. Every field of the ticket goes through it.
std::string TextoLiteral(std::string_view texto);

// TextoLiteral, and also the bytes the printer cannot show ("§ ª ² ³ ´ ¹ º"
// become blanks) and the accents of Windows-1252 letters (they are dropped).
// The length never changes.
std::string SanitizarTexto(std::string_view texto);

// A number rounded to a whole number (halves away from zero) and printed
// with at least `digitos` digits, a leading "-" for negatives.
std::string FormatarInteiro(double valor, int digitos);

// "dd/mm/yyyy hh:nn:ss", the time left out when it is exactly midnight.
std::string FormatarDataHora(const TDataHora& momento);

// Lines 1-17: reset, rule, title, date, order, customer and observation
// blocks. `pedido` is the order row (numped, tipo, cliente, cidade, uf,
// endereco, numero, tel1, tel2, obs2).
std::vector<std::string> CabecalhoTicket(const TCampos& pedido, int colunasTicket, const TDataHora& agora);

// The three lines of one item row (qtde, und, descricao, codprod, ean13).
std::vector<std::string> ItemTicket(const TCampos& item);

// Lines 18-28: employee, totals and the two cuts. `totalVolumesDecimos`
// is the volume total in ten-thousandths.
std::vector<std::string> RodapeTicket(const std::string& tipo, const std::string& funcionario, int quantidadeItens,
                                      int64_t totalVolumesDecimos, int colunasTicket);

}  // namespace bilhetor
