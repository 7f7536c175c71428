#include "app/CaixaMensagem.h"

namespace bilhetor {

void TCaixaMensagem::Receber(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone) {
  if (aberta_ && Texto == texto_ && Titulo == titulo_ && Icone == icone_) {
    ++vezes_;
    return;
  }
  aberta_ = true;
  texto_ = Texto;
  titulo_ = Titulo;
  icone_ = Icone;
  vezes_ = 1;
}

std::string TCaixaMensagem::Titulo() const {
  return vezes_ > 1 ? titulo_ + " (" + std::to_string(vezes_) + " vezes)" : titulo_;
}

void TMensagensJanela::Mostrar(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone) {
  log_.Mostrar(Texto, Titulo, Icone);
  caixa_.Receber(Texto, Titulo, Icone);
  Exibir();
}

void TMensagensJanela::MostrarErro(const std::string& Mensagem) {
  log_.MostrarErro(Mensagem);
  caixa_.Receber(Mensagem, kTituloErro, TIconeMensagem::Erro);
  Exibir();
}

}  // namespace bilhetor
