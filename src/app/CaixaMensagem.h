#pragma once
// The one message box of the window. Whatever arrives while it is open goes
// into it instead of opening another box on top: a database that stays down
// reports the same error every three seconds, and the operator finds one box
// that counts them, not a pile of boxes.
//
// - The same text and caption again: counted; the caption shows the count
//   ("BILHETOR (3 vezes)").
// - Another message: replaces the one shown, and the count starts again.
// - Closing the box: the next message opens a new one.
#include <iosfwd>
#include <string>

#include "app/Plataforma.h"
#include "app/ServidorHeadless.h"

namespace bilhetor {

// The caption of the default error box: the application's title.
inline constexpr const char* kTituloErro = "BILHETOR";

class TCaixaMensagem {
 public:
  void Receber(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone);
  void Fechar() { aberta_ = false; }

  bool Aberta() const { return aberta_; }
  const std::string& Texto() const { return texto_; }
  TIconeMensagem Icone() const { return icone_; }
  // How many times the message shown has arrived since the box opened.
  int Vezes() const { return vezes_; }
  // The caption, followed by the count when the message came more than once.
  std::string Titulo() const;

 private:
  bool aberta_ = false;
  std::string texto_;
  std::string titulo_;
  TIconeMensagem icone_ = TIconeMensagem::Erro;
  int vezes_ = 0;
};

// The message boxes of a window (the Qt and the Win32 views): every message
// is also a line with the date and time on a stream (standard error), and
// goes into the one box, which the view then shows (Exibir).
class TMensagensJanela : public TMensagens {
 public:
  TMensagensJanela(std::ostream& log, const TRelogioLocal& relogio) : log_(log, relogio) {}
  void Mostrar(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone) override;
  void MostrarErro(const std::string& Mensagem) override;
  // A line on the stream only.
  void Informar(const std::string& Texto) override { log_.Informar(Texto); }
  const TCaixaMensagem& Estado() const { return caixa_; }

 protected:
  // Shows the box as caixa_ now has it.
  virtual void Exibir() = 0;
  TCaixaMensagem caixa_;

 private:
  TMensagensTerminal log_;
};

}  // namespace bilhetor
