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

}  // namespace bilhetor
