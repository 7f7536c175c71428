// Message boxes as lines on a stream (the headless server's standard error).
#include "app/ServidorHeadless.h"

#include <ostream>

#include "common/Strings.h"
#include "common/Texto1252.h"

namespace bilhetor {

void TMensagensTerminal::Linha(int prioridade, const std::string& texto) {
  std::string umaLinha;
  for (std::size_t i = 0; i < texto.size(); ++i) {
    const char c = texto[i];
    if (c == '\r' || c == '\n') {
      if (!umaLinha.empty() && umaLinha.back() != ' ') umaLinha += ' ';
      continue;
    }
    umaLinha += c;
  }
  const TDataHora agora = relogio_.Agora();
  if (prioridades_) saida_ << '<' << prioridade << '>';
  saida_ << FormatarData(agora) << ' ' << FormatarHora(agora) << ' '
         << Cp1252ParaUtf8(TrimRight(umaLinha)) << std::endl;
}

void TMensagensTerminal::Mostrar(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone) {
  Linha(Icone == TIconeMensagem::Erro ? 3 : Icone == TIconeMensagem::Aviso ? 4 : 6, Titulo + ": " + Texto);
}

void TMensagensTerminal::MostrarErro(const std::string& Mensagem) { Linha(3, "Erro: " + Mensagem); }

void TMensagensTerminal::Informar(const std::string& Texto) { Linha(6, Texto); }

}  // namespace bilhetor
